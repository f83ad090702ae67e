#pragma once
// Trigger registration and the receiver list of a port, and the matcher that
// watches the received stream for a data trigger's pattern. All operations
// take the port handle first and work under the port's lock; results are 0,
// a trigger handle, or a negative code of comm/ErrorCodes.h.
#include <cstdint>

#include "comm/PortRecord.h"
#include "comm/TriggerTables.h"

namespace zop {

// Adds a receiver of the port's trigger messages at the head of the list: a
// window (when window is not 0) or a procedure. With passOn the message goes
// on to the next receiver after this one.
std::int32_t RegisterTriggerHandler(PortHandle port, WindowHandle window, TriggerProcedure procedure, bool passOn);
// Marks the first receiver with that window (when not 0) or that procedure
// removed; it is unlinked after the current or next delivery.
std::int32_t DeregisterTriggerHandler(PortHandle port, WindowHandle window, TriggerProcedure procedure);

// Arms a data trigger on `length` bytes of `pattern`; returns its handle
// 2..41, -5002 when longer than 21 bytes, -5001 when no slot or handle is free.
std::int32_t AddDataTrigger(PortHandle port, const std::uint8_t* pattern, bool ignoreCase, std::uint16_t length);
// The availability threshold: a TriggerAvailMsg is sent once at least this
// many bytes wait (0: never).
std::int32_t SetTriggerLength(PortHandle port, std::uint16_t threshold);
std::int32_t SaveTriggers(PortHandle port, TriggerSnapshot* snapshot);
std::int32_t RestoreTriggers(PortHandle port, const TriggerSnapshot* snapshot);
// The status kind 1..5 when the handle designates a status trigger, else 0.
std::int32_t GetStatusTriggerKind(PortHandle port, std::uint16_t triggerHandle);

// The handle of an armed data trigger with exactly this pattern and case
// rule, or 0 when none is armed. Lets a caller arm a trigger only once.
std::uint16_t FindDataTrigger(
    const TriggerSnapshot& triggers, const std::uint8_t* pattern, bool ignoreCase, std::uint16_t length);

// Empties the tables of a record (threshold 0).
void ClearTriggerTables(PortRecord& record);

// ASCII-only upper-casing: case-insensitive comparisons fold ASCII letters
// only (texts are Windows-1252 bytes).
constexpr std::uint8_t FoldCase(std::uint8_t byte)
{
    return byte >= 'a' && byte <= 'z' ? static_cast<std::uint8_t>(byte - 'a' + 'A') : byte;
}

// Offers one received byte to a data trigger: advances every partial match
// in progress, starts at most one new one, and answers whether the byte
// completes the pattern (all partial matches are then dropped; the completing
// byte may begin the next one in a later slot). Length 0 never matches.
bool MatchDataTrigger(DataTrigger& trigger, std::uint8_t byte);

} // namespace zop
