#pragma once
// The main window. It builds the widgets, forwards every user action to the
// command handlers, and mirrors the window state (FormState) into the
// widgets after each one. The behaviour lives in the subsystem libraries;
// this class only wires it.
#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/FormState.h"
#include "document/UserInterface.h"
#include "window/CommandRunner.h"
#include "waveform/WaveformRecord.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

namespace zop {

class Configuration;
class TraceImageWidget;

// Mouse events of the trace picture, in picture coordinates.
struct PictureMouseEvent {
    enum Kind { Down, Move, Up } Type;
    Qt::MouseButton Button; // the button that changed (Down, Up)
    Qt::MouseButtons Buttons; // the buttons held after the event
    Qt::KeyboardModifiers Keys; // Shift, Ctrl, Alt
    int X, Y;
};

class TZop5Form : public QMainWindow {
    Q_OBJECT
public:
    // `ui` answers every question the commands ask. The window comes up in
    // its empty state, with the drawing mode read from the configuration.
    explicit TZop5Form(UserInterface& ui, QWidget* parent = nullptr);
    ~TZop5Form() override;

    // The document and the window state.
    FormState& State() { return m_state; }
    WaveformRecord& Record() { return m_record; }
    DocumentFlags& Flags() { return m_flags; }
    CursorPositions& Cursors() { return m_cursors; }
    IncomingImage& Incoming() { return m_incoming; }
    bool& CursorsAtRest() { return m_cursorsAtRest; }
    UserInterface& Ui() { return m_ui; }

    // Image1 is the visible trace picture; Image2 the blank graticule every
    // redraw starts from.
    QImage& Image1() { return m_image1; }
    const QImage& Image2() const { return m_image2; }
    // Repaints the picture control after Image1 changed.
    void PictureChanged();

    // The rest of the window's creation, once the subsystems are wired: opens
    // the waveform file named first in `files` (the program's file arguments
    // as the system's bytes), finds and opens a serial port, and lets Paste
    // follow the clipboard.
    void Start(const std::vector<std::string>& files);

    // Runs the command's handler as a click on its menu item or button would.
    void Click(Cmd command);
    // Runs `action` as a command: a failure nothing below handled reaches the
    // general error report (one message box with the error's text) and the
    // program goes on; the widgets are brought up to date afterwards.
    void RunCommand(const std::function<void()>& action);
    // Brings every widget up to date with State().
    void SyncFromState();
    // True while a command runs: its question or dialog may be open, and
    // events delivered by that dialog's loop arrive inside it.
    bool CommandRunning() const { return m_runner.Running(); }
    // How the window's commands run: the general error report, the work put
    // off during another command's question, the close question.
    CommandRunner& Runner() { return m_runner; }

    // The handlers of the subsystems, set while the window is wired.
    struct Handlers {
        std::array<std::function<void()>, CommandCount> Commands;
        std::function<void()> DateFieldDblClick;
        std::function<void()> TimeFieldDblClick;
        std::function<void()> EditMenuOpened;
        std::function<void()> ComMenuOpened;
        std::function<void()> Activated; // activation and deactivation
        // Local files as the system's bytes, whatever their encoding.
        std::function<void(const std::vector<std::string>&)> FilesDropped;
        std::function<void(const PictureMouseEvent&)> PictureMouse;
        // Returns whether the window may close.
        std::function<bool()> CloseQuery;
        std::function<void(const std::string&)> StartupFile;
        std::function<void()> ProbePorts;
        // Work put off while a command was running (a waveform received
        // meanwhile); runs when the outermost command has ended. Returns
        // whether it changed the document.
        std::function<bool()> RunDeferred;
    };
    Handlers& On() { return m_handlers; }

    // Widgets, for tests and for the subsystems' Qt adapters.
    QAction* Action(Cmd item) const;
    QToolButton* Button(Cmd button) const;
    QMenu* Menu(int index) const { return m_menus.at(static_cast<size_t>(index)); }
    QLineEdit* DescriptionEdit() const { return m_description; }
    QLineEdit* DateEdit() const { return m_date; }
    QLineEdit* TimeEdit() const { return m_time; }
    QLabel* SettingsPanelLabel(int panel) const { return m_settingsPanels.at(static_cast<size_t>(panel)); }
    QLabel* StatusBarLabel(int panel) const { return m_statusPanels.at(static_cast<size_t>(panel)); }
    TraceImageWidget* Picture() const { return m_picture; }

    // Restores the window from the minimised state and brings it forward
    // (a second copy of the program asks for this).
    void RestoreAndRaise();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar(QWidget* panel);
    QWidget* BuildTitlePanel();
    QWidget* BuildScopePanel();
    QWidget* BuildStatusLine(std::array<QLabel*, 6>& labels, const std::array<int, 6>& widths, int count);
    void WireFields();
    void FormCreate();
    void InitialiseWindowState();

    UserInterface& m_ui;
    FormState m_state;
    WaveformRecord m_record;
    DocumentFlags m_flags;
    CursorPositions m_cursors;
    IncomingImage m_incoming;
    bool m_cursorsAtRest = true;
    QImage m_image1;
    QImage m_image2;
    std::unique_ptr<Configuration> m_configuration;
    Handlers m_handlers;

    std::array<QAction*, CommandCount> m_actions {};
    std::array<QToolButton*, CommandCount> m_buttons {};
    std::array<QMenu*, 6> m_menus {};
    QLineEdit* m_description = nullptr;
    QLineEdit* m_date = nullptr;
    QLineEdit* m_time = nullptr;
    std::array<QLabel*, 6> m_settingsPanels {};
    std::array<QLabel*, 6> m_statusPanels {};
    TraceImageWidget* m_picture = nullptr;
    bool m_syncing = false;
    CommandRunner m_runner;
};

// The visible trace picture control: shows Image1 and reports mouse events.
class TraceImageWidget : public QWidget {
    Q_OBJECT
public:
    TraceImageWidget(const QImage& image, QWidget* parent);
    std::function<void(const PictureMouseEvent&)> OnMouse;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Report(PictureMouseEvent::Kind kind, QMouseEvent* event);
    const QImage& m_image;
};

} // namespace zop
