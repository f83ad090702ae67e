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
    // Guards claiming and releasing slots and lookups by device handle.
    std::mutex Mutex;
};

PortTable& Ports();

// The record of an open port, or nullptr for 0, a handle above 50, a free
// slot or a port whose close is pending.
PortRecord* LookupPort(PortHandle port);

// The open port that uses a device handle, or nullptr.
PortRecord* FindPortByDevice(DeviceHandle device);

} // namespace zop
