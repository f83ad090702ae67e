#pragma once
// The window's instrument link: the two port events that assemble and
// recognise the instrument's transfer, the completion that turns a received
// transfer into the shown document, and the port menu (probing, choosing a
// port, re-probing). Works on the window's plain state; the Qt window routes
// the port component's events and the menu commands here.
#include <cstdint>
#include <functional>
#include <string>

#include "document/DocumentCommands.h"
#include "document/FormState.h"
#include "document/UserInterface.h"
#include "link/LinkPort.h"
#include "link/TransferState.h"
#include "waveform/WaveformRecord.h"

namespace zop {

// The warnings of the link, exactly as the user sees them.
extern const std::string NoFreePortMessage;
inline constexpr std::string_view UnableToOpenPortMessage = "Unable to open communication port!";
inline constexpr std::string_view UnableToReopenPortMessage = "Unable to re-open communication port!";
// "Unable to open Com1!" .. "Unable to open Com4!"
std::string UnableToOpenComMessage(int number);

// The port menu command of COMn (1..4).
Cmd ComItem(int number);

// The window's state the link works on; all owned by the window.
struct LinkParts {
    FormState& Form;
    WaveformRecord& Record;
    DocumentFlags& Flags;
    TransferState& Transfer;
    UserInterface& Ui;
};

class LinkCommands {
public:
    // `documents` gives the save question (and learns from the transfer
    // state when to word it for a new waveform); `port`, `documents` and
    // `clock` must outlive the commands.
    LinkCommands(
        LinkParts parts, LinkPort& port, DocumentCommands& documents, DisplayHooks display, DateTimeSource& clock);
    LinkCommands(const LinkCommands&) = delete;
    LinkCommands& operator=(const LinkCommands&) = delete;

    // OnTriggerAvail: takes `count` bytes from the port into the line.
    void VskComPort1TriggerAvail(uint16_t count);
    // OnTriggerData: a line end; classifies the line and completes the
    // transfer when the last sample has arrived.
    void VskComPort1TriggerData(uint16_t triggerHandle);
    // Applies the received waveform as a new untitled document (after the
    // save question), with the port closed meanwhile and opened again.
    void CompleteTransfer();

    // `busy` tells whether another command of the window is still running
    // (its question or dialog open, whose event loop delivers the port's
    // events). A transfer that completes meanwhile is not applied then: it
    // would ask its own question inside the other one, and the other command
    // would go on with a document it never saw. It waits, and
    // CompleteDeferredTransfer applies it once that command has ended.
    void SetDocumentBusy(std::function<bool()> busy) { m_documentBusy = std::move(busy); }
    bool CompletionDeferred() const { return m_completionDeferred; }
    // Applies a transfer put off while the window was busy; false when there
    // was none.
    bool CompleteDeferredTransfer();

    // Finds the ports that open, opens the first and arms the line end.
    void ProbePorts();
    // The port menu was opened: probe again when no port is usable.
    void ComMenuClick();
    // Moves to COMn (1..4).
    void SelectPort(int number);
    void Com1ItemClick() { SelectPort(1); }
    void Com2ItemClick() { SelectPort(2); }
    void Com3ItemClick() { SelectPort(3); }
    void Com4ItemClick() { SelectPort(4); }

private:
    // The line-end trigger is armed once: triggers survive closes and port
    // changes, and a second one would deliver every line end twice and use
    // up the port's trigger slots.
    void ArmLineEndTrigger();
    void Warn(std::string_view text);
    // Runs one step of the line-end handling under the failure guard: a
    // step that fails or reports a corrupt line restarts the transfer and
    // opens the port again (completion may have closed it). No message.
    void LineEndGuard(const std::function<bool()>& step);

    FormState& m_form;
    DocumentFlags& m_flags;
    TransferState& m_transfer;
    UserInterface& m_ui;
    LinkPort& m_port;
    DocumentCommands& m_documents;
    DisplayHooks m_display;
    DateTimeSource& m_clock;
    std::function<bool()> m_documentBusy;
    bool m_completionDeferred = false;
};

} // namespace zop
