#pragma once
// Connects the instrument link to the main window: the port component
// VskComPort1 with the window's line settings, its two events, the port
// menu with its four commands, and the pump that hands the serial library's
// messages to the window's thread from the event loop.
#include "app/CommMessagePump.h"
#include "comm/VkPort.h"
#include "document/DocumentCommands.h"
#include "link/ComponentPort.h"
#include "link/LinkCommands.h"
#include "link/TransferState.h"
#include "platform/QtDateTimeSource.h"

namespace zop {

class TZop5Form;

class LinkWiring {
public:
    // `display` measures and redraws a received waveform; `clock` (optional)
    // replaces the system's date and time.
    LinkWiring(TZop5Form& form, DocumentCommands& documents, DisplayHooks display, DateTimeSource* clock = nullptr);
    ~LinkWiring();
    LinkWiring(const LinkWiring&) = delete;
    LinkWiring& operator=(const LinkWiring&) = delete;

    // Start-up: finds the ports and opens the first usable one.
    void ProbePorts();

    LinkCommands& Commands() { return m_commands; }
    TVskComPort& VskComPort1() { return m_component; }
    TransferState& Transfer() { return m_transfer; }

private:
    TZop5Form& m_form;
    QtDateTimeSource m_systemClock;
    TransferState m_transfer;
    TVskComPort m_component;
    ComponentPort m_port;
    LinkCommands m_commands;
    CommMessagePump m_pump;
};

} // namespace zop
