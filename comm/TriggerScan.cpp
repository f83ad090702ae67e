#include "comm/TriggerScan.h"

#include <algorithm>
#include <cstring>

#include "comm/Triggers.h"

namespace zop {
namespace {

// Whether a partial match of the trigger is in progress.
bool MatchInProgress(const DataTrigger& trigger)
{
    for (int i = 0; i < trigger.Length; ++i) {
        if (trigger.MatchState[i] != 0)
            return true;
    }
    return false;
}

void Pass(ScanState& scan, std::uint16_t count)
{
    scan.Pending = static_cast<std::uint16_t>(scan.Pending - count);
    scan.Scanned += count;
}

} // namespace

void NoteReceived(ScanState& scan, std::uint16_t count, const ByteRing& ring)
{
    scan.Pending = static_cast<std::uint16_t>(std::min<int>(scan.Pending + count, ring.Size()));
}

std::uint16_t ScanIndex(const ScanState& scan, const ByteRing& ring)
{
    return ring.IndexAfter(ring.Head(), static_cast<std::uint32_t>(ring.Size() - scan.Pending));
}

// The armed triggers and their start bytes, found again when the tables changed.
const ArmedTriggers& Armed(ScanState& scan, const DataTable& triggers, std::uint32_t triggersVersion)
{
    ArmedTriggers& armed = scan.Armed;
    if (armed.Known && armed.Version == triggersVersion)
        return armed;
    armed = ArmedTriggers {};
    auto addStart = [&](std::uint8_t byte) {
        if (!armed.IsStart[byte]) {
            armed.IsStart[byte] = true;
            armed.Starts[armed.StartCount++] = byte;
        }
    };
    for (int slot = 1; slot <= DataTriggerCount; ++slot) {
        const DataTrigger& trigger = triggers[slot];
        if (trigger.Length == 0)
            continue;
        armed.Slots[armed.Count++] = static_cast<std::uint8_t>(slot);
        const std::uint8_t first = trigger.Pattern[0];
        addStart(first);
        if (trigger.IgnoreCase && first >= 'A' && first <= 'Z')
            addStart(static_cast<std::uint8_t>(first - 'A' + 'a'));
    }
    armed.Version = triggersVersion;
    armed.Known = true;
    return armed;
}

namespace {

// The scan of a lone one-byte trigger without a second case (a port's line
// terminator): up to the next occurrence of its byte, where it holds.
void AdvanceToByte(ScanState& scan, DataTrigger& trigger, const ByteRing& ring)
{
    const std::uint8_t* bytes = ring.Data();
    std::uint16_t index = ScanIndex(scan, ring);
    while (scan.Pending > 0) {
        // Within the contiguous part of the ring.
        const std::uint16_t span
            = std::min<std::uint16_t>(scan.Pending, static_cast<std::uint16_t>(ring.Size() - index));
        const auto* found = static_cast<const std::uint8_t*>(std::memchr(bytes + index, trigger.Pattern[0], span));
        const auto skipped = found ? static_cast<std::uint16_t>(found - (bytes + index)) : span;
        Pass(scan, skipped);
        if (found) {
            trigger.Matched = 1;
            scan.Held = true;
            return;
        }
        index = ring.IndexAfter(index, skipped);
    }
}

// AdvanceScan with the armed triggers looked up; `waiting` is the ring's
// waiting bytes, read once by the caller.
void Advance(
    ScanState& scan, DataTable& triggers, const ArmedTriggers& armed, const ByteRing& ring, std::uint16_t waiting)
{
    if (scan.Pending > waiting) {
        // Bytes taken outside a delivery were never offered: skip them.
        scan.Scanned += scan.Pending - waiting;
        scan.HeldByteGone = scan.HeldByteGone || scan.Held;
        scan.Pending = waiting;
    }
    if (scan.Held || scan.Pending == 0)
        return; // the scan holds on a matching byte, or has seen every byte
    if (armed.Count == 0) {
        Pass(scan, scan.Pending);
        return;
    }
    if (armed.Count == 1 && armed.StartCount == 1 && triggers[armed.Slots[0]].Length == 1) {
        AdvanceToByte(scan, triggers[armed.Slots[0]], ring);
        return;
    }
    // While no partial match is in progress, a byte that cannot begin a
    // match leaves every trigger as it is, so the scan passes over it
    // without the matcher.
    bool idle = true;
    for (int i = 0; i < armed.Count; ++i)
        idle = idle && !MatchInProgress(triggers[armed.Slots[i]]);
    const std::uint8_t* bytes = ring.Data();
    const std::uint16_t size = ring.Size();
    std::uint16_t index = ScanIndex(scan, ring);
    while (scan.Pending > 0) {
        if (idle) {
            // Up to the next byte that can begin a match, within the
            // contiguous part of the ring.
            const std::uint16_t span = std::min<std::uint16_t>(scan.Pending, static_cast<std::uint16_t>(size - index));
            const std::uint8_t* begin = bytes + index;
            const std::uint8_t* end = begin + span;
            const std::uint8_t* found = armed.StartCount == 1
                ? static_cast<const std::uint8_t*>(std::memchr(begin, armed.Starts[0], span))
                : std::find_if(begin, end, [&](std::uint8_t byte) { return armed.IsStart[byte]; });
            const auto skipped = static_cast<std::uint16_t>((found ? found : end) - begin);
            index = ring.IndexAfter(index, skipped);
            Pass(scan, skipped);
            if (!found || found == end)
                continue;
        }
        const std::uint8_t byte = bytes[index];
        bool any = false;
        idle = true;
        for (int i = 0; i < armed.Count; ++i) {
            DataTrigger& trigger = triggers[armed.Slots[i]];
            if (MatchDataTrigger(trigger, byte)) {
                trigger.Matched = 1;
                any = true;
            }
            idle = idle && !MatchInProgress(trigger);
        }
        if (any) {
            scan.Held = true;
            return;
        }
        index = ring.IndexAfter(index, 1);
        Pass(scan, 1);
    }
}

} // namespace

void AdvanceScan(ScanState& scan, DataTable& triggers, std::uint32_t triggersVersion, const ByteRing& ring)
{
    Advance(scan, triggers, Armed(scan, triggers, triggersVersion), ring, ring.Used());
}

bool DeliveryDue(const ScanState& scan, const ByteRing& ring, std::uint16_t threshold)
{
    if (scan.Held)
        return true;
    return threshold != 0 && scan.LastAvail != scan.Scanned && ring.Used() >= threshold;
}

ScanDecision DecideDelivery(
    ScanState& scan, DataTable& triggers, std::uint32_t triggersVersion, const ByteRing& ring, std::uint16_t threshold)
{
    const ArmedTriggers& armed = Armed(scan, triggers, triggersVersion);
    const std::uint16_t waiting = ring.Used();
    Advance(scan, triggers, armed, ring, waiting);
    const bool heldByteGone = std::exchange(scan.HeldByteGone, false);
    ScanDecision decision;
    if (scan.Held) {
        std::uint16_t longest = 0;
        for (int i = 0; i < armed.Count; ++i) {
            const DataTrigger& trigger = triggers[armed.Slots[i]];
            if (trigger.Matched && trigger.Length > longest)
                longest = trigger.Length;
        }
        // Waiting bytes from the tail through the matching byte.
        const int through = heldByteGone ? 0 : waiting - (scan.Pending - 1);
        const int before = through > longest ? through - longest : 0;
        if (threshold != 0 && scan.LastAvail != scan.Scanned && before >= threshold) {
            scan.LastAvail = scan.Scanned;
            decision.What = ScanDecision::Kind::Avail;
            decision.Count = static_cast<std::uint16_t>(before);
            return decision;
        }
        decision.What = ScanDecision::Kind::Data;
        for (int i = 0; i < armed.Count; ++i) {
            DataTrigger& trigger = triggers[armed.Slots[i]];
            if (trigger.Matched) {
                trigger.Matched = 0;
                decision.Fired[decision.FiredCount++] = { trigger.TriggerHandle, trigger.Length };
            }
        }
        scan.Held = false;
        if (!heldByteGone && scan.Pending > 0)
            Pass(scan, 1);
        return decision;
    }
    if (threshold != 0 && scan.LastAvail != scan.Scanned && waiting >= threshold) {
        scan.LastAvail = scan.Scanned;
        decision.What = ScanDecision::Kind::Avail;
        decision.Count = waiting;
    }
    return decision;
}

} // namespace zop
