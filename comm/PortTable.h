#pragma once
// The process-wide table of open ports, indexed by port handle 1..50.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "comm/PortRecord.h"

namespace zop {

constexpr int MaxPorts = 50;

struct PortTable {
    std::array<std::atomic<PortRecord*>, MaxPorts + 1> Records {};
    std::array<std::atomic<std::uint32_t>, MaxPorts + 1> InUse {};
    std::array<std::atomic<std::uint16_t>, MaxPorts + 1> DispatcherMode {};
    // Guards claiming and releasing slots.
    std::mutex Mutex;
};

// Never destroyed: a detached dispatcher thread may still use it while the
// program's static objects are being destroyed at exit.
inline PortTable& Ports()
{
    static PortTable& table = *new PortTable;
    return table;
}

// The record of an open port, or nullptr for 0, a handle above 50, a free
// slot or a port whose close is pending. A slot holds a record only while it
// is in use (claimed before, released after). Inline: every byte taken
// looks the port up.
inline PortRecord* LookupPort(PortHandle port)
{
    if (port < 1 || port > MaxPorts)
        return nullptr;
    PortRecord* record = Ports().Records[port].load(std::memory_order_acquire);
    if (!record || record->ClosePending.load(std::memory_order_relaxed))
        return nullptr;
    return record;
}

} // namespace zop
