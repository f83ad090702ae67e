#pragma once
// The viewer's main window: the plot in the middle, the legend, the
// measurement table and the spectrum in panels beside it, every command in
// the menus with a key, and captures from files, drops and a followed folder.
#include <QMainWindow>
#include <QStringList>
#include <optional>

#include "viewer/CaptureSet.h"
#include "viewer/PlotRenderer.h"

class QActionGroup;
class QComboBox;
class QDockWidget;
class QLabel;
class QTableWidget;
class QTableWidgetItem;

namespace zop::viewer {

class DesktopTheme;
class FolderFollower;
class PlotWidget;
class SpectrumView;

enum class ThemeChoice { Desktop, Light, Dark };

class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ViewerWindow(QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // Opens each file; returns those that are not captures the program reads.
    QStringList OpenFiles(const QStringList& paths);
    bool Follow(const QString& folder);
    void StopFollowing();
    void SetPersistence(int count);
    void SetThemeChoice(ThemeChoice choice);
    Theme CurrentTheme() const { return m_theme; }

    const CaptureSet& Captures() const { return m_captures; }
    void SetShown(size_t index, bool shown);
    void SetReference(size_t index);
    void SetSelected(size_t index);
    void RemoveCapture(size_t index);

    PlotWidget* Plot() const { return m_plot; }
    QTableWidget* Legend() const { return m_legend; }
    QTableWidget* Table() const { return m_table; }
    QLabel* CursorReadout() const { return m_readout; }
    QLabel* SpectrumSummary() const { return m_spectrumSummary; }

    // The view and the table as files (the view at the plot's size).
    void ExportViewTo(const QString& path);
    void ExportTableTo(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    QAction* AddCommand(
        QMenu* menu, const QString& text, const QKeySequence& key, const QString& name, std::function<void()> run);
    void CapturesChanged();
    void FillLegend();
    void FillTable();
    void UpdateReadout();
    void UpdateSpectrum();
    void UpdateTitle();
    void ApplyTheme();
    PlotScene Scene() const;
    void ReportRefused(const QStringList& refused);
    void CaptureArrived(const QString& path);
    void AskOpen();
    void AskFollow();
    void AskPersistence();
    void AskExportView();
    void AskExportTable();
    void ShowError(const QString& text);
    void ShowKeys();

    CaptureSet m_captures;
    PlotWidget* m_plot;
    QTableWidget* m_legend;
    QTableWidget* m_table;
    QDockWidget* m_legendDock;
    QDockWidget* m_tableDock;
    QDockWidget* m_spectrumDock;
    SpectrumView* m_spectrum;
    QLabel* m_spectrumSummary;
    QComboBox* m_spectrumWindow;
    QLabel* m_readout;
    QLabel* m_followLabel;
    FolderFollower* m_follower;
    DesktopTheme* m_desktopTheme;
    QActionGroup* m_themeGroup = nullptr;
    ThemeChoice m_themeChoice = ThemeChoice::Desktop;
    Theme m_theme = Theme::Light;
    bool m_filling = false; // the legend is being refilled: its changes are not the user's
    QString m_lastFolder;
};

} // namespace zop::viewer
