#pragma once
// The window's instrument link without a window: the port component with the
// window's line settings, the link's port events and port menu commands, and
// the pump that hands the serial library's messages to this thread. What the
// link shows goes into the headless window's state, as it would into the
// window's.
#include <chrono>
#include <functional>
#include <string>

#include "comm/VkPort.h"
#include "link/ComponentPort.h"
#include "link/LinkCommands.h"
#include "link/TransferState.h"
#include "tools/HeadlessWindow.h"

namespace zop {

class HeadlessLink {
public:
    explicit HeadlessLink(HeadlessWindow& window);
    ~HeadlessLink(); // closes the port
    HeadlessLink(const HeadlessLink&) = delete;
    HeadlessLink& operator=(const HeadlessLink&) = delete;

    LinkCommands& Commands() { return m_commands; }
    TVskComPort& Component() { return m_component; }
    const TransferState& Transfer() const { return m_transfer; }
    // Forgets a transfer in progress, as when its line went away with it.
    void DropTransfer() { m_transfer.Restart(); }

    // The port the port menu has checked (1..4), 0 when none.
    int CheckedPort() const;

    // Runs after every line end the link has handled.
    std::function<void()> OnLineEnd;
    // Runs when a received transfer has become the shown document (measured
    // and drawn), before the port is opened again.
    std::function<void()> OnTransferApplied;

    // Hands over the serial library's messages that arrive within `wait`.
    void Pump(std::chrono::milliseconds wait);

private:
    HeadlessWindow& m_window;
    TransferState m_transfer;
    TVskComPort m_component;
    ComponentPort m_port;
    LinkCommands m_commands;
};

} // namespace zop
