#pragma once
// The data-trigger scan: which trigger message the received bytes call for
// next. A pure function of the input ring's bytes, the data triggers'
// matcher state and the scan's own state; the dispatcher delivers what it
// decides, and tests drive it without threads.
//
// The scan offers each new byte to the armed data triggers. It stops on a
// byte that completes a match (it is then "held" there) or at the head.
// Held on a match, the next decision announces the bytes before the matched
// string (when at least the threshold wait and they were not announced from
// here before), then the matched triggers; at the head, all waiting bytes
// when at least the threshold wait and nothing was announced since the scan
// last moved.
#include <array>
#include <cstdint>
#include <utility>

#include "comm/ByteRing.h"
#include "comm/TriggerTables.h"

namespace zop {

// The armed data triggers (length not 0) in table order and the bytes that
// can begin a match, kept while the tables stay the same.
struct ArmedTriggers {
    bool Known = false; // built for Version
    std::uint32_t Version = 0; // the tables' version they were built for
    std::array<std::uint8_t, DataTriggerCount> Slots {}; // table slots, the first Count are set
    int Count = 0;
    std::array<std::uint8_t, 2 * DataTriggerCount> Starts {}; // the first StartCount are set
    int StartCount = 0;
    std::array<bool, 256> IsStart {}; // Starts as a table
};

struct ScanState {
    ArmedTriggers Armed;
    std::uint16_t Pending = 0; // bytes between the scan position and the head
    std::uint64_t Scanned = 0; // bytes the scan has passed since the start
    std::uint64_t LastAvail = ~std::uint64_t { 0 }; // Scanned when the last TriggerAvailMsg was decided
    bool Held = false; // the scan stands on a byte that completed a match
    bool HeldByteGone = false; // that byte was taken outside a delivery since the last decision
};

// What the scan calls for.
struct ScanDecision {
    enum class Kind { Nothing, Avail, Data };
    Kind What = Kind::Nothing;
    std::uint16_t Count = 0; // Avail: the bytes announced
    // Data: (trigger handle, length) of each matched trigger, in table order;
    // only the first FiredCount are set (the rest is left uninitialized: a
    // decision is made for every message).
    struct FiredTrigger {
        std::uint16_t Handle;
        std::uint16_t Length;
    };
    std::array<FiredTrigger, DataTriggerCount> Fired;
    int FiredCount = 0;
};

// Counts `count` bytes newly written at the ring's head as not yet scanned.
void NoteReceived(ScanState& scan, std::uint16_t count, const ByteRing& ring);

// `triggersVersion` changes whenever a trigger is armed, replaced or cleared
// (the lengths, patterns or ignore-case flags of the table); the scan keeps
// what it derives from them until it changes.

// Brings the scan up to date: skips bytes taken from the ring outside a
// delivery, then offers the new bytes to the triggers until one matches or
// the scan reaches the head.
void AdvanceScan(ScanState& scan, DataTable& triggers, std::uint32_t triggersVersion, const ByteRing& ring);

// Whether DecideDelivery would call for a message now (after AdvanceScan).
bool DeliveryDue(const ScanState& scan, const ByteRing& ring, std::uint16_t threshold);

// Advances the scan and decides the next message; a Data decision moves the
// scan past the matching byte and clears the matched flags. The caller
// delivers it; after an Avail the read-ahead bytes are consumed from the ring
// as the delivery ends.
ScanDecision DecideDelivery(
    ScanState& scan, DataTable& triggers, std::uint32_t triggersVersion, const ByteRing& ring, std::uint16_t threshold);

// The ring index of the next byte not yet offered to the triggers.
std::uint16_t ScanIndex(const ScanState& scan, const ByteRing& ring);

} // namespace zop
