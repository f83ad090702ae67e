#include "app/TZop5Form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include <QGuiApplication>
#include <QLocale>

#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "app/FieldShortcuts.h"
#include "app/ToolIcons.h"
#include "display/FormatGeneral3.h"
#include "display/Graticule.h"
#include "output/ReportSheet.h"
#include "platform/Configuration.h"
#include "platform/Cp1252Qt.h"

namespace zop {

namespace {

struct MenuRow {
    const char* Name;
    const char* Caption;
    const char* Hint;
};

constexpr std::array<MenuRow, 6> kMenus = { {
    { "FileMenu", "&File", "Clear, open, save, print, config or quit" },
    { "EditMenu", "&Edit", "Cut, copy & paste" },
    { "ViewMenu", "&View", "Views the waveform in 3 different ways" },
    { "ProbeMenu", "&Probe", "Probe multiplication factor" },
    { "ComMenu", "&Communiction Port", "Select communication port" },
    { "HelpMenu", "&Help", "Access information about the program" },
} };

struct ItemRow {
    Cmd Item;
    int Menu;
    const char* Caption;
    const char* Shortcut; // empty: none
    const char* Hint; // the long hint shown in the status line
    bool SeparatorBefore;
    bool Checkable;
};

constexpr std::array<ItemRow, 20> kItems = { {
    { Cmd::NewItem, 0, "&New", "Ctrl+N", "Clears the waveform window", false, false },
    { Cmd::OpenItem, 0, "&Open...", "Ctrl+O", "Opens a waveform file", false, false },
    { Cmd::SaveItem, 0, "&Save", "Ctrl+S", "Saves the current waveform", false, false },
    { Cmd::SaveasItem, 0, "Save &As...", "", "Saves the current waveform to a file", false, false },
    { Cmd::PrintItem, 0, "&Print...", "", "Prints the current waveform", true, false },
    { Cmd::ExitItem, 0, "E&xit", "", "Quits and prompt to save", true, false },
    { Cmd::CutItem, 1, "&Cut", "Ctrl+X", "Cuts the image & puts it on the clipboard", false, false },
    { Cmd::CopyItem, 1, "&Copy", "Ctrl+C", "Copies the image to the clipboard", false, false },
    { Cmd::PasteItem, 1, "&Paste", "Ctrl+V", "Inserts the clipboard contents", false, false },
    { Cmd::DotItem, 2, "&Dot", "Ctrl+D", "Displays sample points", false, true },
    { Cmd::BarItem, 2, "&Bar", "Ctrl+B", "Connects samples with bar", false, true },
    { Cmd::SmoothItem, 2, "&Smooth", "Ctrl+I", "Lineair interpolation between samples", false, true },
    { Cmd::Probex1Item, 3, "x&1 Probe", "", "Probe setting x1", false, true },
    { Cmd::Probex10Item, 3, "x1&0 Probe", "", "Probe setting x10", false, true },
    { Cmd::Com1Item, 4, "Com&1", "", "Select COM1", false, true },
    { Cmd::Com2Item, 4, "Com&2", "", "Select COM2", false, true },
    { Cmd::Com3Item, 4, "Com&3", "", "Select COM3", false, true },
    { Cmd::Com4Item, 4, "Com&4", "", "Select COM4", false, true },
    { Cmd::HelpTopicsItem, 5, "&Help Topics", "F1", "Displays Help topics", false, false },
    { Cmd::AboutItem, 5, "&About", "", "Displays the version number", true, false },
} };

struct ButtonRow {
    Cmd Button; // runs its menu item's command (MenuItemOf)
    const char* Caption;
    const char* Hint; // short text, "|", long text
    bool GroupStart;
    bool Checkable;
};

constexpr std::array<ButtonRow, 12> kButtons = { {
    { Cmd::NewBtn, "", "New|Clears the waveform window", false, false },
    { Cmd::OpenBtn, "", "Open|Opens a waveform file", false, false },
    { Cmd::SaveBtn, "", "Save|Save the current waveform to a file", false, false },
    { Cmd::PrintBtn, "", "Print|Print the current waveform", false, false },
    { Cmd::CutBtn, "", "Cut|Cuts the image & puts it on the clipboard", true, false },
    { Cmd::CopyBtn, "", "Copy|Copies the image to the clipboard", false, false },
    { Cmd::PasteBtn, "", "Paste|Inserts the clipboard contents", false, false },
    { Cmd::DotBtn, "", "Dot|Displays sample points", true, true },
    { Cmd::BarBtn, "", "Bar|Connects samples with bar", false, true },
    { Cmd::SmoothBtn, "", "Smooth|Lineair interpolation between samples", false, true },
    { Cmd::Probex1Btn, "x1", "x1 Probe|Probe setting x1", true, true },
    { Cmd::Probex10Btn, "x10", "x10 Probe|Probe setting x10", false, true },
} };

// The two halves of a "short|long" hint; a hint without a bar is both.
QString ShortHint(const char* hint)
{
    const QString text = QString::fromLatin1(hint);
    return text.section('|', 0, 0);
}

QString LongHint(const char* hint)
{
    const QString text = QString::fromLatin1(hint);
    return text.contains('|') ? text.section('|', 1) : text;
}

void ApplyHint(QWidget* widget, const char* hint)
{
    widget->setToolTip(ShortHint(hint));
    widget->setStatusTip(LongHint(hint));
}

// A status panel's text in the window's font, or, when it is wider than the
// panel, in a smaller size, so that a readout is never cut off at its left
// end, where its sign and leading digits are ("-0.000789 dB", "dV=0.0504V").
void ShowPanelText(QLabel* label, const QString& text, QFont font)
{
    // Every event of the port brings the widgets up to date; measuring is
    // only worth it for a text that changed.
    if (label->text() == text)
        return;
    constexpr int kSmallestPixelSize = 8;
    const int room = label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
    while (font.pixelSize() > kSmallestPixelSize && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setPixelSize(font.pixelSize() - 1);
    if (label->font() != font)
        label->setFont(font);
    label->setText(text);
}

constexpr int kClientWidth = 388;
constexpr int kSpeedPanelHeight = 33;
constexpr int kTitlePanelHeight = 24;
constexpr int kScopePanelHeight = TraceHeight + 4;
constexpr int kStatusLineHeight = 19;
constexpr int kClientHeight = kSpeedPanelHeight + kTitlePanelHeight + kScopePanelHeight + 2 * kStatusLineHeight;
static_assert(kClientHeight == 354);

// A local file's name as the system's bytes. The URL keeps the bytes of a
// name that is not valid UTF-8 percent-encoded; QUrl::toLocalFile would
// replace them.
std::string LocalFileBytes(const QUrl& url)
{
    QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!url.host().isEmpty())
        path.prepend("//" + url.host(QUrl::FullyEncoded).toLatin1());
    return path.toStdString();
}

ShiftState ShiftOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers keys)
{
    ShiftState shift = 0;
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    if (keys & Qt::AltModifier)
        shift |= ssAlt;
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}

MouseButton ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return MouseButton::Left;
    case Qt::RightButton:
        return MouseButton::Right;
    default:
        return MouseButton::Middle;
    }
}

// The picture's mouse event as the trace view takes it: a press counts its
// own button among those held.
TraceMouse TraceMouseOf(const PictureMouseEvent& e)
{
    const ShiftState shift = ShiftOf(e.Buttons, e.Keys);
    switch (e.Type) {
    case PictureMouseEvent::Down:
        return { TraceMouse::Down, ButtonOf(e.Button), shift | ShiftOf(e.Button, {}), e.X, e.Y };
    case PictureMouseEvent::Move:
        return { TraceMouse::Move, MouseButton::Left, shift, e.X, e.Y };
    case PictureMouseEvent::Up:
        break;
    }
    return { TraceMouse::Up, ButtonOf(e.Button), shift, e.X, e.Y };
}

// The user's decimal separator, when the code page can hold it.
void UseRegionalDecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        SetDecimalSeparator(static_cast<char>(point.at(0).unicode()));
}

} // namespace

TZop5Form::TZop5Form(UserInterface& ui, DateTimeSource* clock, QWidget* parent)
    : QMainWindow(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_image2(MakeGraticulePicture())
    , m_image1(m_image2.copy())
    , m_configuration(std::make_unique<Configuration>())
    , m_tracePicture(m_image1, m_image2, [this] { PictureChanged(); })
    , m_clipboard(QGuiApplication::clipboard())
    , m_printer(this)
    , m_pictureFiles([this] { return SheetFromWindow(State(), Record(), Cursors()); }, [this] { return m_image1; })
    , m_model(WindowDevices { ui, &m_tracePicture, clock ? clock : &m_systemClock, &m_pictureFiles, &m_clipboard,
          &m_printer, nullptr, m_configuration->ReadViewMode() })
{
    UseRegionalDecimalSeparator();
    m_model.Changed = [this] { SyncFromState(); };
    m_model.ShowAbout = [this] {
        if (!m_about)
            m_about = new TAboutBox(this);
        m_about->exec();
    };
    m_model.ShowHelp = [this] { ShowHelp(); };
    setObjectName("Zop5Form");
    // The window was laid out for an 8-point sans-serif of Arial's metrics:
    // the status panels are 65 pixels wide and "dV=88.2mV" must fit.
    QFont font("Liberation Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    setWindowIcon(ProgramIcon());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);

    BuildMenus();
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* speedPanel = new QFrame(client);
    speedPanel->setObjectName("SpeedPanel");
    speedPanel->setFixedHeight(kSpeedPanelHeight);
    speedPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    BuildToolBar(speedPanel);
    column->addWidget(speedPanel);
    column->addWidget(BuildTitlePanel());
    column->addWidget(BuildScopePanel());
    column->addWidget(BuildStatusLine(m_settingsPanels, { 65, 65, 65, 65, 65, 65 }, 6));
    column->addWidget(BuildStatusLine(m_statusPanels, { 195, 65, 65, 65, 0, 0 }, 4));
    m_settingsPanels[0]->parentWidget()->setObjectName("SettingsPanel");
    m_statusPanels[0]->parentWidget()->setObjectName("StatusBar");
    m_settingsPanels[0]->parentWidget()->setStatusTip("Current waveform information");
    m_settingsPanels[0]->parentWidget()->setToolTip("Current waveform information");
    // The bars around the picture have the colour of buttons, the window white.
    for (QWidget* bar : { static_cast<QWidget*>(speedPanel), m_description->parentWidget(),
             m_settingsPanels[0]->parentWidget(), m_statusPanels[0]->parentWidget() }) {
        QPalette barPalette = bar->palette();
        barPalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
        bar->setPalette(barPalette);
        bar->setAutoFillBackground(true);
    }
    setCentralWidget(client);
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());

    WireFields();
    new FieldShortcuts(menuBar(), { m_description, m_date, m_time }); // the menu's shortcuts before the fields' keys
    m_picture->OnMouse = [this](const PictureMouseEvent& e) { m_model.PictureMouse(TraceMouseOf(e)); };
    setAcceptDrops(true); // files dropped from the desktop
    SyncFromState();
}

TZop5Form::~TZop5Form() = default;

void TZop5Form::ShowHelp()
{
    if (!m_help)
        m_help = new HelpWindow(this);
    m_help->ShowContents();
}

void TZop5Form::BuildMenus()
{
    for (size_t i = 0; i < kMenus.size(); ++i) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(kMenus[i].Caption));
        menu->setObjectName(kMenus[i].Name);
        menu->menuAction()->setStatusTip(kMenus[i].Hint);
        menu->setToolTipsVisible(false);
        m_menus[i] = menu;
    }
    connect(m_menus[1], &QMenu::aboutToShow, this, [this] { m_model.EditMenuOpened(); });
    connect(m_menus[4], &QMenu::aboutToShow, this, [this] { m_model.ComMenuOpened(); });
    for (const ItemRow& row : kItems) {
        QMenu* menu = m_menus[static_cast<size_t>(row.Menu)];
        if (row.SeparatorBefore)
            menu->addSeparator();
        QAction* action = menu->addAction(QString::fromLatin1(row.Caption));
        action->setObjectName(QString::fromLatin1(CommandName(row.Item).data(), CommandName(row.Item).size()));
        action->setStatusTip(row.Hint);
        action->setCheckable(row.Checkable);
        if (*row.Shortcut)
            action->setShortcut(QKeySequence(QString::fromLatin1(row.Shortcut)));
        const Cmd item = row.Item;
        connect(action, &QAction::triggered, this, [this, item] { Click(item); });
        m_actions[static_cast<size_t>(item)] = action;
    }
}

void TZop5Form::BuildToolBar(QWidget* panel)
{
    int x = 4;
    for (const ButtonRow& row : kButtons) {
        if (row.GroupStart)
            x += 8;
        auto* button = new QToolButton(panel);
        button->setObjectName(QString::fromLatin1(CommandName(row.Button).data(), CommandName(row.Button).size()));
        button->setGeometry(x, 4, 25, 25);
        button->setAutoRaise(false);
        button->setCheckable(row.Checkable);
        button->setFocusPolicy(Qt::NoFocus);
        if (*row.Caption) {
            button->setText(row.Caption);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        } else {
            button->setIcon(ToolIcon(row.Button));
            button->setIconSize(QSize(16, 16));
        }
        ApplyHint(button, row.Hint);
        const Cmd command = row.Button;
        connect(button, &QToolButton::clicked, this, [this, command] { Click(command); });
        m_buttons[static_cast<size_t>(row.Button)] = button;
        x += 25;
    }
}

QWidget* TZop5Form::BuildTitlePanel()
{
    auto* panel = new QFrame;
    panel->setObjectName("TittlePanel");
    panel->setFixedHeight(kTitlePanelHeight);
    auto makeField = [panel](const char* name, int x, int width, int maxLength, const char* hint) {
        auto* edit = new QLineEdit(panel);
        edit->setObjectName(name);
        edit->setGeometry(x, 1, width, 22);
        edit->setMaxLength(maxLength);
        edit->setEnabled(false);
        ApplyHint(edit, hint);
        return edit;
    };
    m_description = makeField("Description", 2, 258, 40, "Desciption|Description of current waveform");
    m_date = makeField("DateField", 264, 70, 10, "Date|Creation date of current waveform");
    m_time = makeField("TimeField", 336, 50, 8, "Time|Creation time of current waveform");
    return panel;
}

QWidget* TZop5Form::BuildScopePanel()
{
    auto* panel = new QFrame;
    panel->setObjectName("ScopePanel");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    panel->setFixedSize(kClientWidth, kScopePanelHeight);
    m_picture = new TraceImageWidget(m_image1, panel);
    m_picture->setObjectName("Image1");
    m_picture->setGeometry(2, 2, TraceWidth, TraceHeight);
    return panel;
}

QWidget* TZop5Form::BuildStatusLine(std::array<QLabel*, 6>& labels, const std::array<int, 6>& widths, int count)
{
    auto* line = new QFrame;
    line->setFixedSize(kClientWidth, kStatusLineHeight);
    int x = 0;
    for (int i = 0; i < count; ++i) {
        auto* label = new QLabel(line);
        label->setTextFormat(Qt::PlainText); // texts from files and the line are never markup
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        label->setMargin(1);
        // The space a framed label leaves beside its text by default, kept
        // when a text has to be shown smaller.
        label->setIndent(fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - label->margin());
        const bool hintPanel = count == 4 && i == 0;
        label->setAlignment((hintPanel ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        // The last panel takes what is left of the line, as a status bar does.
        const int width = std::min(widths[static_cast<size_t>(i)], kClientWidth - x);
        label->setGeometry(x, 0, width, kStatusLineHeight);
        labels[static_cast<size_t>(i)] = label;
        x += widths[static_cast<size_t>(i)];
    }
    return line;
}

void TZop5Form::WireFields()
{
    struct FieldBinding {
        QLineEdit* Edit;
        void (WindowModel::*Typed)(std::string);
    };
    for (FieldBinding binding : { FieldBinding { m_description, &WindowModel::DescriptionTyped },
             FieldBinding { m_date, &WindowModel::DateTyped }, FieldBinding { m_time, &WindowModel::TimeTyped } }) {
        connect(binding.Edit, &QLineEdit::textEdited, this,
            [this, binding](const QString& text) { (m_model.*binding.Typed)(FromQString(text)); });
        binding.Edit->installEventFilter(this);
    }
}

bool TZop5Form::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == m_date && m_date->isEnabled()) {
            m_model.DateFieldDblClick();
            return true;
        }
        if (watched == m_time && m_time->isEnabled()) {
            m_model.TimeFieldDblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TZop5Form::Start(const std::vector<std::string>& files)
{
    m_model.Start(files);
}

void TZop5Form::Click(Cmd command)
{
    m_model.Click(command);
}

void TZop5Form::RunCommand(const std::function<void()>& action)
{
    m_model.Runner().Run(action);
}

void TZop5Form::SyncFromState()
{
    if (m_syncing)
        return;
    m_syncing = true;
    setWindowTitle(ToQString(State().Caption));
    for (size_t i = 0; i < CommandCount; ++i) {
        const CommandState& command = State().Commands[i];
        if (QAction* action = m_actions[i]) {
            action->setEnabled(command.Enabled);
            if (action->isCheckable())
                action->setChecked(command.Checked);
        }
        if (QToolButton* button = m_buttons[i]) {
            button->setEnabled(command.Enabled);
            if (button->isCheckable())
                button->setChecked(command.Checked);
        }
    }
    struct FieldBinding {
        QLineEdit* Edit;
        const EditField* Field;
    };
    for (FieldBinding binding : { FieldBinding { m_description, &State().Description },
             FieldBinding { m_date, &State().DateField }, FieldBinding { m_time, &State().TimeField } }) {
        const QString text = ToQString(binding.Field->Text());
        // The length limit binds typing only: a longer text from a file is
        // shown whole (the widget would cut it, and the next keystroke would
        // store the cut text). Both only when the text changed: either resets
        // the cursor and selection of the text being typed.
        if (binding.Edit->text() != text) {
            binding.Edit->setMaxLength(std::max(binding.Field->MaxLength, static_cast<int>(text.size())));
            binding.Edit->setText(text);
        }
        binding.Edit->setEnabled(binding.Field->Enabled);
    }
    for (size_t i = 0; i < State().SettingsPanel.size(); ++i)
        ShowPanelText(m_settingsPanels[i], ToQString(State().SettingsPanel[i]), font());
    m_statusPanels[0]->setText(ToQString(State().StatusBar[HintPanel])); // the hint
    for (size_t i = 1; i < State().StatusBar.size(); ++i)
        ShowPanelText(m_statusPanels[i], ToQString(State().StatusBar[i]), font());
    m_picture->update();
    m_syncing = false;
}

void TZop5Form::PictureChanged()
{
    m_picture->update();
}

QAction* TZop5Form::Action(Cmd item) const
{
    return m_actions[static_cast<size_t>(item)];
}

QToolButton* TZop5Form::Button(Cmd button) const
{
    return m_buttons[static_cast<size_t>(button)];
}

void TZop5Form::RestoreAndRaise()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

bool TZop5Form::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        // The application's hint handler: the long hint of whatever the
        // pointer is over goes to the first panel of the status line.
        State().StatusBar[HintPanel] = FromQString(static_cast<QStatusTipEvent*>(event)->tip());
        m_statusPanels[0]->setText(ToQString(State().StatusBar[HintPanel]));
        return true;
    }
    return QMainWindow::event(event);
}

void TZop5Form::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange)
        m_model.Activated();
    QMainWindow::changeEvent(event);
}

void TZop5Form::closeEvent(QCloseEvent* event)
{
    // A waveform that arrived while the close question was open is shown,
    // not thrown away with the window: the user closes again after seeing it.
    if (!m_model.CloseQuery()) {
        event->ignore();
        return;
    }
    m_configuration->WriteViewMode(State().ViewMode);
    event->accept();
}

void TZop5Form::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TZop5Form::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths.push_back(url.isLocalFile() ? LocalFileBytes(url) : url.toString().toStdString());
    event->acceptProposedAction();
    m_model.FilesDropped(paths);
}

TraceImageWidget::TraceImageWidget(const QImage& image, QWidget* parent)
    : QWidget(parent)
    , m_image(image)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void TraceImageWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

void TraceImageWidget::Report(PictureMouseEvent::Kind kind, QMouseEvent* event)
{
    if (!OnMouse)
        return;
    const QPoint p = event->position().toPoint();
    OnMouse(PictureMouseEvent { kind, event->button(), event->buttons(), event->modifiers(), p.x(), p.y() });
}

void TraceImageWidget::mousePressEvent(QMouseEvent* event)
{
    Report(PictureMouseEvent::Down, event);
}

void TraceImageWidget::mouseMoveEvent(QMouseEvent* event)
{
    Report(PictureMouseEvent::Move, event);
}

void TraceImageWidget::mouseReleaseEvent(QMouseEvent* event)
{
    Report(PictureMouseEvent::Up, event);
}

} // namespace zop
