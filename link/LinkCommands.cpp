#include "link/LinkCommands.h"

#include <array>

namespace zop {

namespace {

constexpr std::string_view LineEnd(&LineEndByte, 1);
constexpr std::array<Cmd, 4> ComItems = { Cmd::Com1Item, Cmd::Com2Item, Cmd::Com3Item, Cmd::Com4Item };

// Runs `action`; any failure is swallowed and reported as false.
template <class Action> bool Guarded(Action&& action)
{
    try {
        action();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

const std::string NoFreePortMessage = "No free communication port available!"
                                      "\n\r\r"
                                      "You can only view waveform files!"
                                      "\n\r\r"
                                      "If you want to download waveforms from the Tracelet"
                                      "\n\r"
                                      "install another ComPort or close an application using a serial port.";

std::string UnableToOpenComMessage(int number)
{
    return "Unable to open Com" + std::to_string(number) + "!";
}

Cmd ComItem(int number)
{
    return ComItems.at(static_cast<size_t>(number - 1));
}

LinkCommands::LinkCommands(
    LinkParts parts, LinkPort& port, DocumentCommands& documents, DisplayHooks display, DateTimeSource& clock)
    : m_form(parts.Form)
    , m_flags(parts.Flags)
    , m_transfer(parts.Transfer)
    , m_ui(parts.Ui)
    , m_port(port)
    , m_documents(documents)
    , m_display(std::move(display))
    , m_clock(clock)
{
    m_documents.SetTransferFlag(m_transfer.TransferComplete);
}

void LinkCommands::Warn(std::string_view text)
{
    m_ui.Message(BoxKind::Warning, std::string(text), BoxButtons::Ok);
}

void LinkCommands::VskComPort1TriggerAvail(uint16_t count)
{
    // A failure to take a byte ends the event; the rest stays in the port.
    Guarded([&] {
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t byte = m_port.GetChar();
            // A line end normally comes as its trigger's event, which empties
            // the line, and only then as a byte. Met here with the line still
            // holding bytes, its event was given up while this thread was
            // busy: it ends the line now, so the next line is not joined to it.
            if (byte == static_cast<uint8_t>(LineEndByte)
                && (!m_transfer.LineBuffer.empty() || m_transfer.LineOverflowed)) {
                VskComPort1TriggerData(m_transfer.DataTriggerHandle);
                continue;
            }
            m_transfer.ReceiveByte(byte);
        }
    });
}

void LinkCommands::VskComPort1TriggerData(uint16_t triggerHandle)
{
    LineEndGuard([&] {
        switch (m_transfer.HandleLineEnd(triggerHandle, m_form.ProbeMenuFactor())) {
        case LineEndOutcome::NotOurs:
        case LineEndOutcome::Consumed:
            break;
        case LineEndOutcome::Restarted:
            return false;
        case LineEndOutcome::Complete:
            if (m_documentBusy && m_documentBusy())
                m_completionDeferred = true;
            else
                CompleteTransfer();
            break;
        }
        return true;
    });
}

bool LinkCommands::CompleteDeferredTransfer()
{
    if (!m_completionDeferred)
        return false;
    m_completionDeferred = false;
    // A failure guard may have dropped the transfer meanwhile.
    if (!m_transfer.AllFlagsSet())
        return false;
    LineEndGuard([&] {
        CompleteTransfer();
        return true;
    });
    return true;
}

void LinkCommands::LineEndGuard(const std::function<bool()>& step)
{
    bool failed = false;
    try {
        failed = !step();
    } catch (...) {
        failed = true;
    }
    if (!failed)
        return;
    m_transfer.Restart();
    Guarded([&] { m_port.SetOpen(true); });
}

void LinkCommands::CompleteTransfer()
{
    m_port.SetOpen(false);
    m_ui.RestoreAndRaise();
    if (!m_flags.Unsaved() || m_documents.ConfirmSave()) {
        ShownWaveform waveform;
        waveform.Caption = "Tracelet - [Untitled]";
        waveform.Image.Date = m_clock.CurrentDate();
        waveform.Image.Time = m_clock.CurrentTime();
        waveform.Image.TimeLabel = m_transfer.PendingTimeLabel;
        waveform.Image.VoltsLabel = m_transfer.PendingVoltLabel;
        waveform.Image.ZeroRef = m_transfer.PendingZeroRef;
        waveform.Image.TimeIndex = m_transfer.PendingTimeIndex;
        waveform.Image.VoltIndex = m_transfer.PendingVoltIndex;
        waveform.Image.Samples = m_transfer.PendingSamples;
        // The instrument knows nothing of the probe: the menu's choice stays.
        waveform.Image.ProbeFactor = m_form.ProbeMenuFactor();
        waveform.TakesCursors = false;
        // A received waveform is new: its date and time mark it unsaved.
        waveform.CountsAsSaved = false;
        m_documents.ShowWaveform(waveform, m_display);
        m_transfer.ResetFlags();
    }
    // A cancelled question leaves the waveform pending: the next line end
    // brings it back.
    if (!Guarded([&] { m_port.SetOpen(true); })) {
        Warn(UnableToReopenPortMessage);
        const uint16_t number = m_port.ComNumber();
        if (number >= 1 && number <= 4) {
            m_form[ComItem(number)].Checked = false;
            m_form[ComItem(number)].Enabled = false;
        }
    }
}

void LinkCommands::ArmLineEndTrigger()
{
    uint16_t handle = m_port.FindDataTrigger(LineEnd, false);
    if (handle == 0)
        handle = m_port.AddDataTrigger(LineEnd, false);
    m_transfer.DataTriggerHandle = handle;
    // A port just opened: what is left of a line cut off on the port before
    // would be joined in front of the first line received here.
    m_transfer.EmptyLineBuffer();
}

void LinkCommands::ProbePorts()
{
    for (const Cmd item : ComItems)
        m_form[item].Enabled = true;
    for (int number = 1; number <= 4; ++number) {
        const bool usable = Guarded([&] {
            m_port.SetComNumber(static_cast<uint16_t>(number));
            m_port.SetOpen(true);
            m_port.SetOpen(false);
        });
        if (!usable)
            m_form[ComItem(number)].Enabled = false;
    }
    int first = 0;
    for (int number = 4; number >= 1; --number)
        if (m_form[ComItem(number)].Enabled)
            first = number;
    if (first == 0) {
        Warn(NoFreePortMessage);
        return;
    }
    const bool opened = Guarded([&] {
        m_port.SetComNumber(static_cast<uint16_t>(first));
        m_port.SetOpen(true);
        m_form[ComItem(first)].Checked = true;
        ArmLineEndTrigger();
    });
    if (!opened) {
        Warn(UnableToOpenPortMessage);
        for (const Cmd item : ComItems)
            m_form[item].Checked = false;
    }
}

void LinkCommands::ComMenuClick()
{
    // An instrument whose device vanished (its adapter unplugged, the other
    // end of its line gone) leaves the port open on nothing. Let go of it and
    // look for the ports afresh, so that opening this menu once the device is
    // back receives again.
    if (m_port.Open() && m_port.DeviceLost()) {
        Guarded([&] { m_port.SetOpen(false); });
        for (const Cmd item : ComItems)
            m_form[item].Checked = false;
        ProbePorts();
        return;
    }
    for (const Cmd item : ComItems)
        if (m_form[item].Enabled)
            return;
    ProbePorts();
}

void LinkCommands::SelectPort(int number)
{
    const Cmd chosen = ComItem(number);
    if (m_form[chosen].Checked)
        return;
    const bool moved = Guarded([&] {
        for (const Cmd item : ComItems)
            if (item != chosen)
                m_form[item].Checked = false;
        m_port.SetComNumber(static_cast<uint16_t>(number));
        m_port.SetOpen(true);
        ArmLineEndTrigger();
        m_form[chosen].Checked = true;
    });
    if (!moved) {
        Warn(UnableToOpenComMessage(number));
        m_form[chosen].Checked = false;
    }
}

} // namespace zop
