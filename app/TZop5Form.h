#pragma once
// The main window. It holds the window model (state, commands, rules),
// builds the widgets, forwards every user action to the model, and mirrors
// the model's state into the widgets after each change. The Qt devices the
// commands use (picture, clipboard, printer, picture files, clock, the
// serial library's message pump) are made here and lent to the model.
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommMessagePump.h"
#include "app/OutputQt.h"
#include "document/FormState.h"
#include "document/UserInterface.h"
#include "platform/ImageTracePicture.h"
#include "platform/PictureFormats.h"
#include "platform/QtDateTimeSource.h"
#include "window/WindowModel.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

namespace zop {

class Configuration;
class HelpWindow;
class TAboutBox;
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
    // `ui` answers every question the commands ask; `clock` (optional)
    // replaces the system's date and time. The window comes up in its empty
    // state, with the drawing mode read from the configuration.
    explicit TZop5Form(UserInterface& ui, DateTimeSource* clock = nullptr, QWidget* parent = nullptr);
    ~TZop5Form() override;

    // The window's model: its state, commands and rules.
    WindowModel& Model() { return m_model; }
    FormState& State() { return m_model.Form(); }
    WaveformRecord& Record() { return m_model.Record(); }
    DocumentFlags& Flags() { return m_model.Flags(); }
    CursorPositions& Cursors() { return m_model.Cursors(); }
    IncomingImage& Incoming() { return m_model.Incoming(); }
    bool& CursorsAtRest() { return m_model.CursorsAtRest(); }
    UserInterface& Ui() { return m_model.Ui(); }

    // Image1 is the visible trace picture; Image2 the blank graticule every
    // redraw starts from.
    QImage& Image1() { return m_image1; }
    const QImage& Image2() const { return m_image2; }
    // Repaints the picture control after Image1 changed.
    void PictureChanged();

    // The rest of the window's creation: opens the waveform file named first
    // in `files` (the program's file arguments as the system's bytes), then
    // finds and opens a serial port.
    void Start(const std::vector<std::string>& files);

    // Runs the command's handler as a click on its menu item or button would.
    void Click(Cmd command);
    // Runs `action` as a command: a failure nothing below handled reaches the
    // general error report and the program goes on; the widgets are brought
    // up to date afterwards.
    void RunCommand(const std::function<void()>& action);
    // Brings every widget up to date with State().
    void SyncFromState();
    // True while a command runs: its question or dialog may be open, and
    // events delivered by that dialog's loop arrive inside it.
    bool CommandRunning() const { return m_model.Runner().Running(); }
    CommandRunner& Runner() { return m_model.Runner(); }
    // Hands the serial library's messages waiting now to the window's thread.
    CommMessagePump& Pump() { return m_pump; }

    // Widgets, for tests and for the Qt adapters.
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
    void ShowHelp();

    QImage m_image2;
    QImage m_image1;
    std::unique_ptr<Configuration> m_configuration;
    ImageTracePicture m_tracePicture;
    QtDateTimeSource m_systemClock;
    QtWaveformClipboard m_clipboard;
    QtPagePrinter m_printer;
    QtPictureFiles m_pictureFiles;
    WindowModel m_model;
    CommMessagePump m_pump;
    QPointer<TAboutBox> m_about;
    QPointer<HelpWindow> m_help;

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
