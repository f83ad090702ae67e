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

void AdvanceScan(ScanState& scan, DataTable& triggers, const ByteRing& ring)
{
    const std::uint16_t waiting = ring.Used();
    if (scan.Pending > waiting) {
        // Bytes taken outside a delivery were never offered: skip them.
        scan.Scanned += scan.Pending - waiting;
        scan.HeldByteGone = scan.HeldByteGone || scan.Held;
        scan.Pending = waiting;
    }
    if (scan.Held || scan.Pending == 0)
        return; // the scan holds on a matching byte, or has seen every byte
    std::array<DataTrigger*, DataTriggerCount> active {};
    int activeCount = 0;
    // The bytes that can begin a match. While no partial match is in
    // progress, any other byte leaves every trigger as it is, so the scan
    // passes over it without the matcher.
    std::array<std::uint8_t, 2 * DataTriggerCount> starts {};
    int startCount = 0;
    auto addStart = [&](std::uint8_t byte) {
        if (std::find(starts.begin(), starts.begin() + startCount, byte) == starts.begin() + startCount)
            starts[startCount++] = byte;
    };
    bool idle = true;
    for (int slot = 1; slot <= DataTriggerCount; ++slot) {
        DataTrigger& trigger = triggers[slot];
        if (trigger.Length == 0)
            continue;
        active[activeCount++] = &trigger;
        const std::uint8_t first = trigger.Pattern[0];
        addStart(first);
        if (trigger.IgnoreCase && first >= 'A' && first <= 'Z')
            addStart(static_cast<std::uint8_t>(first - 'A' + 'a'));
        idle = idle && !MatchInProgress(trigger);
    }
    if (activeCount == 0) {
        Pass(scan, scan.Pending);
        return;
    }
    std::array<bool, 256> isStart; // filled only when more than one byte can start a match
    if (startCount > 1) {
        isStart.fill(false);
        for (int i = 0; i < startCount; ++i)
            isStart[starts[i]] = true;
    }
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
            const std::uint8_t* found = startCount == 1
                ? static_cast<const std::uint8_t*>(std::memchr(begin, starts[0], span))
                : std::find_if(begin, end, [&](std::uint8_t byte) { return isStart[byte]; });
            const auto skipped = static_cast<std::uint16_t>((found ? found : end) - begin);
            index = ring.IndexAfter(index, skipped);
            Pass(scan, skipped);
            if (!found || found == end)
                continue;
        }
        const std::uint8_t byte = bytes[index];
        bool any = false;
        idle = true;
        for (int i = 0; i < activeCount; ++i) {
            if (MatchDataTrigger(*active[i], byte)) {
                active[i]->Matched = 1;
                any = true;
            }
            idle = idle && !MatchInProgress(*active[i]);
        }
        if (any) {
            scan.Held = true;
            return;
        }
        index = ring.IndexAfter(index, 1);
        Pass(scan, 1);
    }
}

bool DeliveryDue(const ScanState& scan, const ByteRing& ring, std::uint16_t threshold)
{
    if (scan.Held)
        return true;
    return threshold != 0 && scan.LastAvail != scan.Scanned && ring.Used() >= threshold;
}

ScanDecision DecideDelivery(ScanState& scan, DataTable& triggers, const ByteRing& ring, std::uint16_t threshold)
{
    AdvanceScan(scan, triggers, ring);
    const bool heldByteGone = std::exchange(scan.HeldByteGone, false);
    const std::uint16_t waiting = ring.Used();
    ScanDecision decision;
    if (scan.Held) {
        std::uint16_t longest = 0;
        for (int slot = 1; slot <= DataTriggerCount; ++slot) {
            const DataTrigger& trigger = triggers[slot];
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
        for (int slot = 1; slot <= DataTriggerCount; ++slot) {
            DataTrigger& trigger = triggers[slot];
            if (trigger.Matched) {
                trigger.Matched = 0;
                if (trigger.Length != 0)
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
