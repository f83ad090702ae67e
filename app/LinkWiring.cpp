#include "app/LinkWiring.h"

#include "app/TZop5Form.h"

namespace zop {

LinkWiring::LinkWiring(TZop5Form& form, DocumentCommands& documents, DisplayHooks display, DateTimeSource* clock)
    : m_form(form)
    , m_port(m_component)
    , m_commands({ form.State(), form.Record(), form.Flags(), m_transfer, form.Ui() }, m_port, documents,
          std::move(display), clock ? *clock : m_systemClock)
{
    m_component.SetName("VskComPort1");
    ApplyWindowPortSettings(m_component);
    // Each event runs as a command, so the widgets show what it changed.
    m_component.OnTriggerAvail = [this](TVskCustomComPort&, std::uint16_t count) {
        m_form.Runner().RunPortEvent([&] { m_commands.VskComPort1TriggerAvail(count); });
    };
    m_component.OnTriggerData = [this](TVskCustomComPort&, std::uint16_t triggerHandle) {
        m_form.Runner().RunPortEvent([&] { m_commands.VskComPort1TriggerData(triggerHandle); });
    };

    TZop5Form::Handlers& on = form.On();
    const auto command = [&on](Cmd item) -> std::function<void()>& { return on.Commands[static_cast<size_t>(item)]; };
    command(Cmd::Com1Item) = [this] { m_commands.Com1ItemClick(); };
    command(Cmd::Com2Item) = [this] { m_commands.Com2ItemClick(); };
    command(Cmd::Com3Item) = [this] { m_commands.Com3ItemClick(); };
    command(Cmd::Com4Item) = [this] { m_commands.Com4ItemClick(); };
    on.ComMenuOpened = [this] { m_commands.ComMenuClick(); };
    on.ProbePorts = [this] { m_commands.ProbePorts(); };
    // The port's events are delivered by every event loop, modal ones
    // included; a command running when they arrive is another one's.
    m_commands.SetDocumentBusy([this] { return m_form.Runner().OtherCommandRunning(); });
    on.RunDeferred = [this] { return m_commands.CompleteDeferredTransfer(); };
}

LinkWiring::~LinkWiring()
{
    TZop5Form::Handlers& on = m_form.On();
    for (Cmd item : { Cmd::Com1Item, Cmd::Com2Item, Cmd::Com3Item, Cmd::Com4Item })
        on.Commands[static_cast<size_t>(item)] = nullptr;
    on.ComMenuOpened = nullptr;
    on.ProbePorts = nullptr;
    on.RunDeferred = nullptr;
    m_component.OnTriggerAvail = nullptr;
    m_component.OnTriggerData = nullptr;
    // Closing the port stops its dispatcher threads before the link goes.
    try {
        m_component.SetOpen(false);
    } catch (...) {
    }
}

void LinkWiring::ProbePorts()
{
    m_form.RunCommand([this] { m_commands.ProbePorts(); });
}

} // namespace zop
