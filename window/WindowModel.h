#pragma once
// The main window without its widgets: the window's state (form, record and
// flags, cursors, incoming image, transfer), every command object (document,
// trace view, output, link), the instrument's port, and the rules that
// belong to the window as a whole: its start-up state, field edits marking
// the document modified, a received waveform waiting while another command's
// question is open, the close question. The Qt window holds one and only
// builds widgets, forwards their events here and mirrors the state after
// each change; zop5-tool holds one and drives it from the command line.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/VkPort.h"
#include "display/TracePicture.h"
#include "display/TraceView.h"
#include "document/DocumentCommands.h"
#include "document/FormState.h"
#include "document/UserInterface.h"
#include "link/ComponentPort.h"
#include "link/LinkCommands.h"
#include "link/LinkPort.h"
#include "link/TransferState.h"
#include "output/OutputCommands.h"
#include "waveform/WaveformRecord.h"
#include "window/CommandRunner.h"

namespace zop {

// The system's short date and long time in the C library's regional
// formats (the user's locale), as a transfer dates its waveform.
class SystemDateTime final : public DateTimeSource {
public:
    std::string CurrentDate() override;
    std::string CurrentTime() override;
};

// What the host gives the model. Only the user interface is required; for
// each other device left out the model uses a stand-in: the trace drawing is
// discarded, the system's clock in the C library's formats, Save As's
// pictures and the clipboard and printer refuse with "not available", and
// the model opens its own port component.
struct WindowDevices {
    UserInterface& Ui;
    TracePicture* Picture = nullptr;
    DateTimeSource* Clock = nullptr;
    PictureFiles* Pictures = nullptr;
    WaveformClipboard* Clipboard = nullptr;
    PagePrinter* Printer = nullptr;
    LinkPort* Port = nullptr;
    // The drawing mode the window starts in (the configuration's).
    TraceMode StartMode = TraceMode::Smooth;
};

// A mouse event on the trace picture, in picture coordinates.
struct TraceMouse {
    enum Kind { Down, Move, Up } Type;
    MouseButton Button; // the button that changed (Down, Up)
    ShiftState Shift; // buttons held and keys after the event
    int X, Y;
};

class WindowModel {
public:
    explicit WindowModel(const WindowDevices& devices);
    ~WindowModel(); // closes the port first
    WindowModel(const WindowModel&) = delete;
    WindowModel& operator=(const WindowModel&) = delete;

    // The window's state.
    FormState& Form() { return m_form; }
    const FormState& Form() const { return m_form; }
    WaveformRecord& Record() { return m_record; }
    const WaveformRecord& Record() const { return m_record; }
    DocumentFlags& Flags() { return m_flags; }
    const DocumentFlags& Flags() const { return m_flags; }
    CursorPositions& Cursors() { return m_cursors; }
    const CursorPositions& Cursors() const { return m_cursors; }
    IncomingImage& Incoming() { return m_incoming; }
    const TransferState& Transfer() const { return m_transfer; }
    // Forgets a transfer in progress, as when its line went away with it.
    void DropTransfer() { m_transfer.Restart(); }
    bool& CursorsAtRest() { return m_cursorsAtRest; }
    UserInterface& Ui() { return m_ui; }
    DateTimeSource& Clock() { return *m_clock; }
    DocumentParts Parts() { return { m_form, m_record, m_flags, m_cursors, m_incoming, m_ui }; }

    // The command objects, for what the window's events do not cover.
    DocumentCommands& Document() { return m_document; }
    TraceView& View() { return m_view; }
    OutputCommands& Output() { return m_output; }
    LinkCommands& Link() { return m_link; }
    CommandRunner& Runner() { return m_runner; }
    const CommandRunner& Runner() const { return m_runner; }
    // The port component VskComPort1; null when the host gave its own port.
    TVskComPort* Component() { return m_component.get(); }
    // The port the port menu has checked (1..4), 0 when none.
    int CheckedPort() const;
    // Save As's picture writers (the host may make them after the model).
    void SetPictureFiles(PictureFiles& pictures) { m_document.SetPictureFiles(pictures); }

    // What the host attaches.
    // Runs after every command, nested ones too: the window mirrors the state.
    std::function<void()> Changed;
    // About and Help Topics, which only a window can show.
    std::function<void()> ShowAbout;
    std::function<void()> ShowHelp;
    // Runs after every line end the link has handled.
    std::function<void()> LineHandled;
    // Runs when a received waveform has been measured and drawn as the
    // document, before the port is opened again.
    std::function<void()> TransferShown;

    // Start-up, once the host is ready: opens the waveform file named first
    // in `files` (the system's bytes; a refused file is ignored), then finds
    // and opens a serial port unless `findPorts` is false.
    void Start(const std::vector<std::string>& files, bool findPorts = true);

    // The window's events; each runs as a command (the general error report,
    // then Changed).
    // A menu item or button: runs its command. A button runs its item's.
    void Click(Cmd command);
    // The user typed in a field: the field's new text.
    void DescriptionTyped(std::string text);
    void DateTyped(std::string text);
    void TimeTyped(std::string text);
    void DateFieldDblClick();
    void TimeFieldDblClick();
    void EditMenuOpened();
    void ComMenuOpened();
    // Activation and deactivation.
    void Activated();
    // Local files dropped on the window, as the system's bytes.
    void FilesDropped(const std::vector<std::string>& paths);
    void PictureMouse(const TraceMouse& event);
    // The port's two events.
    void PortBytesAvailable(uint16_t count);
    void PortLineEnd(uint16_t triggerHandle);
    // Closing the window: whether it may close. A waveform shown while the
    // question was open keeps the window open.
    bool CloseQuery();

    // Hands over the serial library's messages that arrive within `wait`
    // (a program without an event loop of its own; the window's loop does
    // this itself).
    void PumpPortMessages(std::chrono::milliseconds wait);

private:
    void Run(const std::function<void()>& action) { m_runner.Run(action); }
    void InitialiseWindowState(TraceMode mode);
    // Measuring and drawing for the commands; `received` for the link's.
    DisplayHooks Display(bool received);

    UserInterface& m_ui;
    FormState m_form;
    WaveformRecord m_record;
    DocumentFlags m_flags;
    CursorPositions m_cursors;
    IncomingImage m_incoming;
    TransferState m_transfer;
    bool m_cursorsAtRest = true;

    SystemDateTime m_systemClock;
    DateTimeSource* m_clock;
    std::unique_ptr<TracePicture> m_ownPicture;
    std::unique_ptr<PictureFiles> m_ownPictures;
    std::unique_ptr<WaveformClipboard> m_ownClipboard;
    std::unique_ptr<PagePrinter> m_ownPrinter;
    std::unique_ptr<TVskComPort> m_component;
    std::unique_ptr<ComponentPort> m_componentPort;

    CommandRunner m_runner;
    TraceView m_view;
    DocumentCommands m_document;
    OutputCommands m_output;
    LinkCommands m_link;
};

} // namespace zop
