#pragma once
// The dispatcher threads of a port, as the port layer calls them at open and
// close. Implemented with the triggers in comm/Dispatcher.cpp.
#include <cstdint>

#include "comm/PortRecord.h"

namespace zop {

// Starts the event, dispatcher and output threads unless the port's
// dispatcher mode is already non-zero; returns the mode in force (4).
std::int32_t StartDispatcher(PortHandle port, std::uint16_t mode);

// Stops the three threads with bounded waits; returns 0. Safe to call from
// the port's own dispatcher thread (a deferred close).
std::int32_t StopDispatcher(PortHandle port);

// Empties all trigger tables and sets the availability threshold to 0.
std::int32_t ClearTriggers(PortHandle port);

} // namespace zop
