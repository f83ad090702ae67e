#include "tools/HeadlessLink.h"

#include "comm/MessageWindow.h"

namespace zop {

namespace {

DisplayHooks LinkDisplay(HeadlessWindow& window, HeadlessLink& link)
{
    DisplayHooks hooks;
    hooks.UpdateMeasurements = [&window] { window.View().UpdateMeasurements(); };
    hooks.RedrawTrace = [&window, &link] {
        window.View().RedrawTrace();
        if (link.OnTransferApplied)
            link.OnTransferApplied();
    };
    return hooks;
}

} // namespace

HeadlessLink::HeadlessLink(HeadlessWindow& window)
    : m_window(window)
    , m_port(m_component)
    , m_commands({ window.Form(), window.Record(), window.Flags(), m_transfer, window.Ui() }, m_port, window.Document(),
          LinkDisplay(window, *this), window.Clock())
{
    m_component.SetName("VskComPort1");
    ApplyWindowPortSettings(m_component);
    ConnectLinkEvents(m_component, m_commands);
    // Watch the line ends after the link has dealt with them.
    auto lineEnd = m_component.OnTriggerData;
    m_component.OnTriggerData = [this, lineEnd](TVskCustomComPort& port, std::uint16_t triggerHandle) {
        lineEnd(port, triggerHandle);
        if (OnLineEnd)
            OnLineEnd();
    };
}

HeadlessLink::~HeadlessLink()
{
    m_component.OnTriggerAvail = nullptr;
    m_component.OnTriggerData = nullptr;
    try {
        m_component.SetOpen(false);
    } catch (...) {
        // Closing at exit: nothing left to tell.
    }
}

int HeadlessLink::CheckedPort() const
{
    for (int number = 1; number <= 4; ++number)
        if (m_window.Form()[ComItem(number)].Checked)
            return number;
    return 0;
}

void HeadlessLink::Pump(std::chrono::milliseconds wait)
{
    if (WaitForMessages(wait))
        PumpMessages();
}

} // namespace zop
