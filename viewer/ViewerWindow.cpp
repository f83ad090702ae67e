#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QVBoxLayout>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QUrl>
#include <algorithm>
#include <stdexcept>

#include "display/FormatGeneral3.h"
#include "viewer/DesktopTheme.h"
#include "viewer/FolderFollower.h"
#include "viewer/MeasurementTable.h"
#include "viewer/PlotWidget.h"
#include "viewer/SpectrumView.h"
#include "viewer/ViewExport.h"

namespace zop::viewer {

namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Column titles of the measurement table, by the quantity's key.
QString QuantityTitle(const std::string& key)
{
    static const std::pair<const char*, const char*> Titles[] = {
        { "time_per_div", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Time/div") },
        { "volts_per_div", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Volts/div") },
        { "dc_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "DC") },
        { "peak_to_peak_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Peak-to-peak") },
        { "rms_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "RMS") },
        { "db", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Level") },
        { "min_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Minimum") },
        { "max_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Maximum") },
        { "mean_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Mean") },
        { "ac_rms_volts", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "AC RMS") },
        { "frequency_hz", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Frequency") },
        { "period_seconds", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Period") },
        { "duty_cycle", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Duty cycle") },
        { "positive_width_seconds", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Positive width") },
        { "negative_width_seconds", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Negative width") },
        { "rise_seconds", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Rise time") },
        { "fall_seconds", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Fall time") },
        { "crest_factor", QT_TRANSLATE_NOOP("zop::viewer::ViewerWindow", "Crest factor") },
    };
    for (const auto& [name, title] : Titles)
        if (key == name)
            return QCoreApplication::translate("zop::viewer::ViewerWindow", title);
    return FromUtf8(key);
}

QIcon Swatch(const QColor& colour, Qt::PenStyle style)
{
    QPixmap pixmap(24, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(colour, 3, style));
    painter.drawLine(2, 6, 22, 6);
    return QIcon(pixmap);
}

enum LegendColumn { LegendCapture, LegendReference, LegendDescription, LegendDate, LegendTime, LegendColumns };

} // namespace

ViewerWindow::ViewerWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_plot(new PlotWidget(this))
    , m_legend(new QTableWidget(0, LegendColumns, this))
    , m_table(new QTableWidget(this))
    , m_legendDock(new QDockWidget(tr("Captures"), this))
    , m_tableDock(new QDockWidget(tr("Measurements"), this))
    , m_spectrumDock(new QDockWidget(tr("Spectrum"), this))
    , m_spectrum(new SpectrumView(this))
    , m_spectrumSummary(new QLabel(this))
    , m_spectrumWindow(new QComboBox(this))
    , m_readout(new QLabel(this))
    , m_followLabel(new QLabel(this))
    , m_follower(new FolderFollower(this))
    , m_desktopTheme(new DesktopTheme(QApplication::palette(), this))
{
    setObjectName("ViewerWindow");
    setAccessibleName(tr("Tracelet Viewer"));
    setAcceptDrops(true);
    setCentralWidget(m_plot);
    m_plot->SetSceneSource([this] { return Scene(); });

    m_legend->setObjectName("Legend");
    m_legend->setAccessibleName(tr("Captures"));
    m_legend->setAccessibleDescription(
        tr("One row per capture: the check box shows or hides it; the reference column chooses the capture the "
           "measurements are compared with"));
    m_legend->setHorizontalHeaderLabels({ tr("Capture"), tr("Reference"), tr("Description"), tr("Date"), tr("Time") });
    m_legend->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_legend->setSelectionMode(QAbstractItemView::SingleSelection);
    m_legend->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_legend->verticalHeader()->hide();
    m_legend->horizontalHeader()->setStretchLastSection(true);
    m_legend->setTabKeyNavigation(false);
    m_legendDock->setObjectName("LegendPanel");
    m_legendDock->setAccessibleName(tr("Captures panel"));
    m_legendDock->setWidget(m_legend);
    addDockWidget(Qt::RightDockWidgetArea, m_legendDock);

    m_table->setObjectName("MeasurementTable");
    m_table->setAccessibleName(tr("Measurements"));
    m_table->setAccessibleDescription(tr("One row per capture; in brackets the difference to the reference capture"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->setTabKeyNavigation(false);
    m_tableDock->setObjectName("MeasurementPanel");
    m_tableDock->setAccessibleName(tr("Measurements panel"));
    m_tableDock->setWidget(m_table);
    addDockWidget(Qt::BottomDockWidgetArea, m_tableDock);
    resizeDocks({ m_legendDock }, { 380 }, Qt::Horizontal);

    m_spectrumWindow->setObjectName("SpectrumWindow");
    m_spectrumWindow->setAccessibleName(tr("Spectrum window function"));
    m_spectrumWindow->addItem(tr("Hann window"));
    m_spectrumWindow->addItem(tr("Rectangular window"));
    m_spectrumSummary->setObjectName("SpectrumSummary");
    m_spectrumSummary->setAccessibleName(tr("Dominant frequency and distortion"));
    m_spectrumSummary->setTextFormat(Qt::PlainText);
    m_spectrumSummary->setWordWrap(true);
    m_spectrumSummary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* spectrumPanel = new QWidget(this);
    spectrumPanel->setObjectName("SpectrumPanelContents");
    auto* spectrumColumn = new QVBoxLayout(spectrumPanel);
    spectrumColumn->setContentsMargins(4, 4, 4, 4);
    spectrumColumn->addWidget(m_spectrumWindow);
    spectrumColumn->addWidget(m_spectrumSummary);
    spectrumColumn->addWidget(m_spectrum, 1);
    m_spectrumDock->setObjectName("SpectrumPanel");
    m_spectrumDock->setAccessibleName(tr("Spectrum panel"));
    m_spectrumDock->setWidget(spectrumPanel);
    addDockWidget(Qt::RightDockWidgetArea, m_spectrumDock);
    splitDockWidget(m_legendDock, m_spectrumDock, Qt::Vertical);
    connect(m_spectrumWindow, &QComboBox::currentIndexChanged, this, [this] { UpdateSpectrum(); });

    m_readout->setObjectName("CursorReadout");
    m_readout->setAccessibleName(tr("Cursor readout"));
    m_readout->setTextFormat(Qt::PlainText);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_followLabel->setObjectName("FollowState");
    m_followLabel->setAccessibleName(tr("Followed folder"));
    m_followLabel->setTextFormat(Qt::PlainText);
    statusBar()->setObjectName("StatusLine");
    statusBar()->setAccessibleName(tr("Status line"));
    statusBar()->addWidget(m_readout, 1);
    statusBar()->addPermanentWidget(m_followLabel);

    connect(m_legend, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_filling)
            return;
        // The legend is rebuilt after the change, never inside its own signal.
        const auto row = static_cast<size_t>(item->row());
        const int column = item->column();
        const bool checked = item->checkState() == Qt::Checked;
        QMetaObject::invokeMethod(
            this,
            [this, row, column, checked] {
                if (column == LegendCapture)
                    SetShown(row, checked);
                else if (column == LegendReference && checked)
                    SetReference(row);
                else if (column == LegendReference)
                    FillLegend(); // the reference stays until another is chosen
            },
            Qt::QueuedConnection);
    });
    connect(m_legend, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!m_filling && row >= 0)
            SetSelected(static_cast<size_t>(row));
    });
    connect(m_plot, &PlotWidget::CursorsChanged, this, &ViewerWindow::UpdateReadout);
    connect(m_follower, &FolderFollower::CaptureArrived, this, &ViewerWindow::CaptureArrived);
    connect(m_desktopTheme, &DesktopTheme::Changed, this, [this] { ApplyTheme(); });

    BuildMenus();
    ApplyTheme();
    CapturesChanged();
    resize(1100, 760);
}

ViewerWindow::~ViewerWindow() = default;

QAction* ViewerWindow::AddCommand(
    QMenu* menu, const QString& text, const QKeySequence& key, const QString& name, std::function<void()> run)
{
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!key.isEmpty())
        action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    menu->addAction(action);
    addAction(action); // its key works while the menu bar is hidden too
    return action;
}

void ViewerWindow::BuildMenus()
{
    menuBar()->setAccessibleName(tr("Menu bar"));
    QMenu* file = menuBar()->addMenu(tr("&File"));
    AddCommand(file, tr("&Open..."), QKeySequence::Open, "OpenCommand", [this] { AskOpen(); });
    AddCommand(file, tr("&Follow a folder..."), QKeySequence(tr("Ctrl+F")), "FollowCommand", [this] { AskFollow(); });
    AddCommand(file, tr("&Stop following"), QKeySequence(tr("Ctrl+Shift+F")), "StopFollowCommand",
        [this] { StopFollowing(); });
    AddCommand(file, tr("&Keep the last captures..."), QKeySequence(tr("Ctrl+K")), "PersistenceCommand",
        [this] { AskPersistence(); });
    file->addSeparator();
    AddCommand(
        file, tr("&Export the view..."), QKeySequence(tr("Ctrl+E")), "ExportViewCommand", [this] { AskExportView(); });
    AddCommand(file, tr("Export the &table..."), QKeySequence(tr("Ctrl+Shift+E")), "ExportTableCommand",
        [this] { AskExportTable(); });
    file->addSeparator();
    AddCommand(file, tr("&Remove the capture"), QKeySequence::Delete, "RemoveCommand", [this] {
        if (m_captures.Selected())
            RemoveCapture(*m_captures.Selected());
    });
    AddCommand(file, tr("Remove &all captures"), QKeySequence(tr("Ctrl+Shift+Del")), "RemoveAllCommand", [this] {
        m_captures.Clear();
        CapturesChanged();
    });
    file->addSeparator();
    AddCommand(file, tr("&Quit"), QKeySequence(tr("Ctrl+Q")), "QuitCommand", [this] { close(); });

    QMenu* captures = menuBar()->addMenu(tr("&Captures"));
    AddCommand(captures, tr("&Show or hide the capture"), QKeySequence(tr("Ctrl+H")), "ShowHideCommand", [this] {
        if (const auto selected = m_captures.Selected())
            SetShown(*selected, !m_captures[*selected].Shown);
    });
    AddCommand(captures, tr("Make it the &reference"), QKeySequence(tr("Ctrl+R")), "ReferenceCommand", [this] {
        if (const auto selected = m_captures.Selected())
            SetReference(*selected);
    });
    AddCommand(captures, tr("&Next capture"), QKeySequence(tr("Ctrl+PgDown")), "NextCommand", [this] {
        if (const auto selected = m_captures.Selected(); selected && *selected + 1 < m_captures.Size())
            SetSelected(*selected + 1);
    });
    AddCommand(captures, tr("&Previous capture"), QKeySequence(tr("Ctrl+PgUp")), "PreviousCommand", [this] {
        if (const auto selected = m_captures.Selected(); selected && *selected > 0)
            SetSelected(*selected - 1);
    });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    AddCommand(
        view, tr("Zoom &in (time)"), QKeySequence(tr("+")), "ZoomInTimeCommand", [this] { m_plot->ZoomTime(2); });
    AddCommand(
        view, tr("Zoom &out (time)"), QKeySequence(tr("-")), "ZoomOutTimeCommand", [this] { m_plot->ZoomTime(0.5); });
    AddCommand(view, tr("Zoom in (&volts)"), QKeySequence(tr("Shift+Up")), "ZoomInVoltsCommand",
        [this] { m_plot->ZoomVolts(2); });
    AddCommand(view, tr("Zoom out (vo&lts)"), QKeySequence(tr("Shift+Down")), "ZoomOutVoltsCommand",
        [this] { m_plot->ZoomVolts(0.5); });
    AddCommand(
        view, tr("&Reset the zoom"), QKeySequence(tr("Home")), "ResetZoomCommand", [this] { m_plot->ResetZoom(); });
    QMenu* pan = view->addMenu(tr("&Move the view"));
    AddCommand(
        pan, tr("Earlier"), QKeySequence(tr("Shift+Left")), "PanLeftCommand", [this] { m_plot->PanBy(-0.1, 0); });
    AddCommand(pan, tr("Later"), QKeySequence(tr("Shift+Right")), "PanRightCommand", [this] { m_plot->PanBy(0.1, 0); });
    AddCommand(pan, tr("Up"), QKeySequence(tr("Ctrl+Shift+Up")), "PanUpCommand", [this] { m_plot->PanBy(0, 0.1); });
    AddCommand(
        pan, tr("Down"), QKeySequence(tr("Ctrl+Shift+Down")), "PanDownCommand", [this] { m_plot->PanBy(0, -0.1); });
    view->addSeparator();
    AddCommand(view, tr("Cursor &A"), QKeySequence(tr("A")), "CursorACommand", [this] { m_plot->PlaceCursor(false); });
    AddCommand(view, tr("Cursor &B"), QKeySequence(tr("B")), "CursorBCommand", [this] { m_plot->PlaceCursor(true); });
    QMenu* move = view->addMenu(tr("Move the cursor"));
    AddCommand(
        move, tr("Left"), QKeySequence(tr("Alt+Left")), "CursorLeftCommand", [this] { m_plot->MoveCursor(-0.01, 0); });
    AddCommand(move, tr("Right"), QKeySequence(tr("Alt+Right")), "CursorRightCommand",
        [this] { m_plot->MoveCursor(0.01, 0); });
    AddCommand(move, tr("Up"), QKeySequence(tr("Alt+Up")), "CursorUpCommand", [this] { m_plot->MoveCursor(0, 0.01); });
    AddCommand(
        move, tr("Down"), QKeySequence(tr("Alt+Down")), "CursorDownCommand", [this] { m_plot->MoveCursor(0, -0.01); });
    AddCommand(view, tr("&Clear the cursors"), QKeySequence(tr("Esc")), "ClearCursorsCommand",
        [this] { m_plot->ClearCursors(); });
    view->addSeparator();
    QAction* legendPanel = m_legendDock->toggleViewAction();
    legendPanel->setText(tr("Captures &panel"));
    legendPanel->setShortcut(QKeySequence(tr("Ctrl+1")));
    view->addAction(legendPanel);
    QAction* tablePanel = m_tableDock->toggleViewAction();
    tablePanel->setText(tr("&Measurements panel"));
    tablePanel->setShortcut(QKeySequence(tr("Ctrl+2")));
    view->addAction(tablePanel);
    QAction* spectrumPanel = m_spectrumDock->toggleViewAction();
    spectrumPanel->setText(tr("&Spectrum panel"));
    spectrumPanel->setShortcut(QKeySequence(tr("Ctrl+3")));
    view->addAction(spectrumPanel);
    AddCommand(view, tr("Spectrum &window: Hann or rectangular"), QKeySequence(tr("Ctrl+Shift+W")),
        "SpectrumWindowCommand", [this] { m_spectrumWindow->setCurrentIndex(1 - m_spectrumWindow->currentIndex()); });
    AddCommand(view, tr("Go to the plo&t"), QKeySequence(tr("F6")), "FocusPlotCommand", [this] { m_plot->setFocus(); });
    QMenu* themes = view->addMenu(tr("&Theme"));
    m_themeGroup = new QActionGroup(this);
    const std::pair<ThemeChoice, QString> choices[] = { { ThemeChoice::Desktop, tr("As the &desktop") },
        { ThemeChoice::Light, tr("&Light") }, { ThemeChoice::Dark, tr("Dar&k") } };
    for (const auto& [choice, text] : choices) {
        QAction* action = AddCommand(themes, text, {}, QString("Theme%1Command").arg(int(choice)),
            [this, choice = choice] { SetThemeChoice(choice); });
        action->setCheckable(true);
        action->setChecked(choice == m_themeChoice);
        m_themeGroup->addAction(action);
    }
    AddCommand(themes, tr("&Switch light and dark"), QKeySequence(tr("Ctrl+T")), "SwitchThemeCommand",
        [this] { SetThemeChoice(m_theme == Theme::Dark ? ThemeChoice::Light : ThemeChoice::Dark); });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    AddCommand(help, tr("&Keys and mouse"), QKeySequence::HelpContents, "KeysCommand", [this] { ShowKeys(); });
}

QStringList ViewerWindow::OpenFiles(const QStringList& paths)
{
    QStringList refused;
    for (const QString& path : paths) {
        auto capture = CaptureFromFile(QFile::encodeName(path).toStdString());
        if (!capture) {
            refused << path;
            continue;
        }
        capture->Name = QFileInfo(path).fileName().toStdString();
        m_captures.Add(std::move(*capture));
        m_lastFolder = QFileInfo(path).absolutePath();
    }
    CapturesChanged();
    return refused;
}

void ViewerWindow::ReportRefused(const QStringList& refused)
{
    if (refused.isEmpty())
        return;
    QStringList names;
    for (const QString& path : refused)
        names << QFileInfo(path).fileName();
    ShowError(tr("Not a capture the program can open:\n%1").arg(names.join('\n')));
}

void ViewerWindow::ShowError(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Tracelet Viewer"), text, QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName("ErrorMessage");
    box->open(); // never blocks the captures that keep arriving
}

bool ViewerWindow::Follow(const QString& folder)
{
    if (!m_follower->Follow(folder)) {
        ShowError(tr("%1 is not a folder the program can read.").arg(folder));
        UpdateTitle();
        return false;
    }
    UpdateTitle();
    return true;
}

void ViewerWindow::StopFollowing()
{
    m_follower->Stop();
    UpdateTitle();
}

void ViewerWindow::SetPersistence(int count)
{
    m_captures.SetPersistence(static_cast<size_t>(std::max(count, 1)));
    CapturesChanged();
}

void ViewerWindow::CaptureArrived(const QString& path)
{
    auto capture = CaptureFromFile(QFile::encodeName(path).toStdString());
    if (!capture) {
        // A file still being written by another program is taken when it changes again.
        statusBar()->showMessage(tr("%1 is not a capture (yet)").arg(QFileInfo(path).fileName()), 4000);
        return;
    }
    capture->Name = QFileInfo(path).fileName().toStdString();
    m_captures.Add(std::move(*capture), true);
    CapturesChanged();
}

void ViewerWindow::SetShown(size_t index, bool shown)
{
    m_captures.SetShown(index, shown);
    CapturesChanged();
}

void ViewerWindow::SetReference(size_t index)
{
    m_captures.SetReference(index);
    CapturesChanged();
}

void ViewerWindow::SetSelected(size_t index)
{
    m_captures.SetSelected(index);
    if (m_legend->currentRow() != static_cast<int>(index)) {
        m_filling = true;
        m_legend->setCurrentCell(static_cast<int>(index), LegendCapture);
        m_filling = false;
    }
    m_table->selectRow(static_cast<int>(index));
    UpdateSpectrum();
    m_plot->update(); // the selected capture is drawn on top, thicker
}

void ViewerWindow::RemoveCapture(size_t index)
{
    m_captures.Remove(index);
    CapturesChanged();
}

void ViewerWindow::CapturesChanged()
{
    const std::vector<const Capture*> shown = m_captures.ShownCaptures();
    double minimumTime = 1e-3, minimumVolts = 1;
    for (const Capture* capture : shown) {
        minimumTime = std::min(minimumTime, capture->SampleInterval() / 100);
        minimumVolts = std::min(minimumVolts, capture->VoltsPerCount() / 100);
    }
    m_plot->SetZoomLimits(minimumTime, minimumVolts);
    m_plot->SetHome(HomeWindow(shown));
    FillLegend();
    FillTable();
    UpdateReadout();
    UpdateSpectrum();
    UpdateTitle();
    m_plot->update();
}

void ViewerWindow::UpdateSpectrum()
{
    const auto selected = m_captures.Selected();
    if (!selected) {
        m_spectrum->SetScene(std::nullopt);
        m_spectrumSummary->setText(tr("No capture selected"));
        return;
    }
    const CaptureEntry& entry = m_captures[*selected];
    SpectrumScene scene;
    scene.Data = Spectrum(entry.Data.Waveform,
        m_spectrumWindow->currentIndex() == 1 ? SpectrumWindow::Rectangular : SpectrumWindow::Hann);
    scene.SampleSeconds = entry.Data.SampleInterval();
    scene.Colour = CaptureColour(entry.ColourIndex, m_theme);
    scene.Colours = ThemeColours(m_theme);
    const char separator = DecimalSeparator();
    const QString name = FromUtf8(entry.Data.Name);
    if (!scene.Data.Bins)
        m_spectrumSummary->setText(tr("%1: no spectrum, the capture is clipped").arg(name));
    else if (!scene.Data.DominantHz)
        m_spectrumSummary->setText(tr("%1: no dominant frequency (a flat line)").arg(name));
    else
        m_spectrumSummary->setText(
            tr("%1: dominant %2 at %3 dBV, THD %4")
                .arg(name, FromUtf8(FormatQuantity(scene.Data.DominantHz, Unit::Hertz, separator)),
                    FromUtf8(FormatGeneral3(*scene.Data.DominantDbv, separator)),
                    scene.Data.ThdPercent ? FromUtf8(FormatGeneral3(*scene.Data.ThdPercent, separator)) + "%"
                                          : tr("not measurable")));
    m_spectrum->SetScene(scene);
}

PlotScene ViewerWindow::Scene() const
{
    PlotScene scene;
    scene.Colours = ThemeColours(m_theme);
    const auto& entries = m_captures.Entries();
    // Division sizes of the reference while it is shown, else of the first capture shown.
    std::optional<size_t> divisions = m_captures.Reference();
    if (!divisions || !entries[*divisions].Shown) {
        divisions.reset();
        for (size_t i = 0; i < entries.size() && !divisions; ++i)
            if (entries[i].Shown)
                divisions = i;
    }
    if (divisions) {
        scene.TimeDivision = entries[*divisions].Data.SecondsPerDivision();
        scene.VoltsDivision = entries[*divisions].Data.VoltsPerDivision();
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const CaptureEntry& entry = entries[i];
        if (!entry.Shown)
            continue;
        PlotTrace trace;
        trace.Data = &entry.Data;
        trace.Colour = CaptureColour(entry.ColourIndex, m_theme);
        trace.Style = CaptureLineStyle(entry.ColourIndex);
        trace.Label = FromUtf8(entry.Data.Name);
        if (const auto age = m_captures.FollowedAge(i); age && *age > 0) {
            // Older captures of a followed folder fade, the newest is whole.
            const double share = 1.0 - double(*age) / double(m_captures.Persistence() + 1);
            trace.Colour.setAlphaF(float(std::max(0.25, share * 0.8)));
            trace.Width = 1.0;
        }
        if (m_captures.Selected() == i)
            trace.Width = 2.0;
        scene.Traces.push_back(trace);
    }
    // The selected capture is drawn on top.
    std::stable_partition(scene.Traces.begin(), scene.Traces.end(), [this](const PlotTrace& trace) {
        return !m_captures.Selected() || trace.Data != &m_captures[*m_captures.Selected()].Data;
    });
    return scene;
}

void ViewerWindow::FillLegend()
{
    m_filling = true;
    const auto& entries = m_captures.Entries();
    m_legend->setRowCount(static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const CaptureEntry& entry = entries[i];
        const int row = static_cast<int>(i);
        const QString name = FromUtf8(entry.Data.Name);
        const bool reference = m_captures.Reference() == i;
        auto* capture = new QTableWidgetItem(
            Swatch(CaptureColour(entry.ColourIndex, m_theme), CaptureLineStyle(entry.ColourIndex)), name);
        capture->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        capture->setCheckState(entry.Shown ? Qt::Checked : Qt::Unchecked);
        capture->setData(Qt::AccessibleTextRole,
            tr("%1, %2%3")
                .arg(name, entry.Shown ? tr("shown") : tr("hidden"), reference ? tr(", reference") : QString()));
        capture->setToolTip(FromUtf8(entry.Data.Path));
        // The text says what the box does, also where a dark style draws the empty box faintly.
        auto* referenceItem = new QTableWidgetItem(reference ? tr("reference") : tr("make reference"));
        if (!reference)
            referenceItem->setForeground(ThemePalette(m_theme).color(QPalette::PlaceholderText));
        referenceItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        referenceItem->setCheckState(reference ? Qt::Checked : Qt::Unchecked);
        referenceItem->setData(Qt::AccessibleTextRole,
            reference ? tr("%1 is the reference").arg(name) : tr("Make %1 the reference").arg(name));
        m_legend->setItem(row, LegendCapture, capture);
        m_legend->setItem(row, LegendReference, referenceItem);
        m_legend->setItem(row, LegendDescription, new QTableWidgetItem(FromUtf8(entry.Data.Description)));
        m_legend->setItem(row, LegendDate, new QTableWidgetItem(FromUtf8(entry.Data.Date)));
        m_legend->setItem(row, LegendTime, new QTableWidgetItem(FromUtf8(entry.Data.Time)));
    }
    if (const auto selected = m_captures.Selected())
        m_legend->setCurrentCell(
            static_cast<int>(*selected), m_legend->currentColumn() < 0 ? 0 : m_legend->currentColumn());
    m_legend->resizeColumnsToContents();
    m_filling = false;
}

void ViewerWindow::FillTable()
{
    const auto& quantities = TableQuantities();
    const char separator = DecimalSeparator();
    m_table->setColumnCount(static_cast<int>(quantities.size()) + 1);
    QStringList titles { tr("Capture") };
    for (const Quantity& quantity : quantities)
        titles << QuantityTitle(quantity.Key);
    m_table->setHorizontalHeaderLabels(titles);
    const auto& entries = m_captures.Entries();
    m_table->setRowCount(static_cast<int>(entries.size()));
    std::vector<std::vector<Cell>> rows;
    for (const CaptureEntry& entry : entries)
        rows.push_back(MeasureCapture(entry.Data, separator));
    const auto reference = m_captures.Reference();
    for (size_t r = 0; r < rows.size(); ++r) {
        const QString name = FromUtf8(entries[r].Data.Name);
        auto* nameItem = new QTableWidgetItem(reference == r ? tr("%1 (reference)").arg(name) : name);
        nameItem->setIcon(
            Swatch(CaptureColour(entries[r].ColourIndex, m_theme), CaptureLineStyle(entries[r].ColourIndex)));
        m_table->setItem(static_cast<int>(r), 0, nameItem);
        for (size_t c = 0; c < quantities.size(); ++c) {
            const Cell& cell = rows[r][c];
            QString text = FromUtf8(cell.Text);
            QString spoken = text;
            if (reference && reference != r && quantities[c].Kind != Unit::Text) {
                const QString difference
                    = FromUtf8(FormatDifference(Difference(cell, rows[*reference][c]), quantities[c].Kind, separator));
                text += QString("  (%1)").arg(difference);
                spoken = tr("%1, %2 from the reference").arg(FromUtf8(cell.Text), difference);
            }
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setData(Qt::AccessibleTextRole, tr("%1 %2: %3").arg(name, QuantityTitle(quantities[c].Key), spoken));
            m_table->setItem(static_cast<int>(r), static_cast<int>(c) + 1, item);
        }
    }
    m_table->resizeColumnsToContents();
}

void ViewerWindow::UpdateReadout()
{
    const char separator = DecimalSeparator();
    const auto& a = m_plot->CursorA();
    const auto& b = m_plot->CursorB();
    const auto point = [&](const CursorPoint& p) {
        return QString("%1, %2").arg(FromUtf8(FormatQuantity(p.Seconds, Unit::Seconds, separator)),
            FromUtf8(FormatQuantity(p.Volts, Unit::Volts, separator)));
    };
    if (a && b) {
        const double dt = b->Seconds - a->Seconds;
        m_readout->setText(
            tr("dt = %1    1/dt = %2    dV = %3")
                .arg(FromUtf8(FormatDifference(dt, Unit::Seconds, separator)),
                    FromUtf8(FormatQuantity(
                        dt == 0 ? std::nullopt : std::optional<double>(1 / std::abs(dt)), Unit::Hertz, separator)),
                    FromUtf8(FormatDifference(b->Volts - a->Volts, Unit::Volts, separator))));
    } else if (a || b) {
        m_readout->setText(
            tr("Cursor %1 at %2; place the other with %3")
                .arg(a ? "A" : "B", point(a ? *a : *b), a ? tr("a right click or B") : tr("a click or A")));
    } else {
        m_readout->setText(m_captures.Empty()
                ? tr("Open captures with Ctrl+O or drop .zop files here")
                : tr("Click for cursor A, right click for cursor B; wheel or drag to zoom, Home to reset"));
    }
}

void ViewerWindow::UpdateTitle()
{
    QString title = tr("Tracelet Viewer");
    if (m_follower->Following()) {
        title += tr(" - following %1").arg(QDir::toNativeSeparators(m_follower->Folder()));
        m_followLabel->setText(tr("Following %1, keeping %2").arg(m_follower->Folder()).arg(m_captures.Persistence()));
    } else {
        m_followLabel->clear();
    }
    setWindowTitle(title);
}

void ViewerWindow::SetThemeChoice(ThemeChoice choice)
{
    m_themeChoice = choice;
    if (m_themeGroup)
        for (QAction* action : m_themeGroup->actions())
            action->setChecked(action->objectName() == QString("Theme%1Command").arg(int(choice)));
    ApplyTheme();
}

void ViewerWindow::ApplyTheme()
{
    m_theme = m_themeChoice == ThemeChoice::Desktop ? m_desktopTheme->Current()
        : m_themeChoice == ThemeChoice::Dark        ? Theme::Dark
                                                    : Theme::Light;
    QApplication::setPalette(ThemePalette(m_theme));
    FillLegend();
    FillTable();
    UpdateSpectrum();
    m_plot->update();
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
}

void ViewerWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    ReportRefused(OpenFiles(paths));
}

void ViewerWindow::AskOpen()
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, tr("Open captures"), m_lastFolder, tr("Captures (*.zop *.ZOP *.json *.csv);;All files (*)"));
    if (!paths.isEmpty())
        ReportRefused(OpenFiles(paths));
}

void ViewerWindow::AskFollow()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Follow a folder"), m_lastFolder);
    if (!folder.isEmpty() && Follow(folder))
        m_lastFolder = folder;
}

void ViewerWindow::AskPersistence()
{
    bool ok = false;
    const int count = QInputDialog::getInt(this, tr("Keep the last captures"),
        tr("Captures of the followed folder kept overlaid:"), int(m_captures.Persistence()), 1, 100, 1, &ok);
    if (ok)
        SetPersistence(count);
}

void ViewerWindow::ExportViewTo(const QString& path)
{
    const auto format = ViewFormatOf(path);
    if (!format)
        throw std::runtime_error(tr("Choose a name ending in .png, .svg or .pdf.").toStdString());
    PlotScene scene = m_plot->CurrentScene();
    scene.DrawLegend = true;
    scene.RubberBand.reset();
    QString title = tr("Tracelet Viewer");
    if (const auto reference = m_captures.Reference(); reference && !m_captures[*reference].Data.Description.empty())
        title = FromUtf8(m_captures[*reference].Data.Description);
    ExportView(path, *format, scene, QSizeF(m_plot->size()), m_plot->font(), m_plot->devicePixelRatioF(), title);
}

void ViewerWindow::ExportTableTo(const QString& path)
{
    std::vector<TableRow> rows;
    for (const CaptureEntry& entry : m_captures.Entries())
        rows.push_back({ entry.Data.Name, entry.Data.Description, entry.Data.Date, entry.Data.Time,
            MeasureCapture(entry.Data, '.') });
    const std::string csv = TableCsv(rows, m_captures.Reference());
    WriteWhole(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size())));
}

void ViewerWindow::AskExportView()
{
    QString filter = tr("PNG picture (*.png)");
    const QString path = QFileDialog::getSaveFileName(this, tr("Export the view"), m_lastFolder,
        tr("PNG picture (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"), &filter);
    if (path.isEmpty())
        return;
    try {
        QString named = path;
        if (!ViewFormatOf(named))
            named += filter.contains("svg") ? ".svg" : filter.contains("pdf") ? ".pdf" : ".png";
        ExportViewTo(named);
        statusBar()->showMessage(tr("Exported %1").arg(named), 4000);
    } catch (const std::exception& error) {
        ShowError(QString::fromStdString(error.what()));
    }
}

void ViewerWindow::AskExportTable()
{
    QString path = QFileDialog::getSaveFileName(this, tr("Export the table"), m_lastFolder, tr("CSV table (*.csv)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(".csv", Qt::CaseInsensitive))
        path += ".csv";
    try {
        ExportTableTo(path);
        statusBar()->showMessage(tr("Exported %1").arg(path), 4000);
    } catch (const std::exception& error) {
        ShowError(QString::fromStdString(error.what()));
    }
}

void ViewerWindow::ShowKeys()
{
    QStringList lines;
    const std::function<void(QMenu*, const QString&)> collect = [&](QMenu* menu, const QString& path) {
        for (QAction* action : menu->actions()) {
            if (action->menu())
                collect(action->menu(), path + action->text().remove('&') + " > ");
            else if (!action->isSeparator() && !action->shortcut().isEmpty())
                lines << QString("%1\t%2%3")
                             .arg(action->shortcut().toString(QKeySequence::NativeText), path,
                                 action->text().remove('&').remove("..."));
        }
    };
    for (QAction* menu : menuBar()->actions())
        if (menu->menu())
            collect(menu->menu(), menu->text().remove('&') + " > ");
    auto* box = new QMessageBox(QMessageBox::Information, tr("Keys and mouse"),
        tr("Mouse on the plot: wheel zooms in time about the pointer, Ctrl+wheel in volts, Shift+wheel moves "
           "the view; drag a rectangle to zoom to it; click places cursor A, right click or Shift+click cursor B.")
            + "\n\n" + lines.join('\n'),
        QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace zop::viewer
