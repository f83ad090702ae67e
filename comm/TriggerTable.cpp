// Trigger registration: the receiver list and the trigger tables of a port.
#include "comm/Allocation.h"
#include "comm/Dispatcher.h"
#include "comm/ErrorCodes.h"
#include "comm/PortTable.h"
#include "comm/Triggers.h"

#include <algorithm>
#include <mutex>
#include <new>

namespace zop {

namespace {

// Forgets every match in progress: a restored table starts on a new stream.
void ResetMatching(DataTable& table)
{
    for (DataTrigger& trigger : table) {
        trigger.MatchState.fill(0);
        trigger.Matched = 0;
    }
}

// After any change of triggers or receivers (under the record's lock): the
// dispatcher looks at them again now rather than at its next tick. Who may
// read for it and whether its idle checks are due both depend on them.
void TriggersChanged(PortRecord& record)
{
    ++record.TriggersVersion;
    record.EventReady.Set();
}

} // namespace

void ClearTriggerTables(PortRecord& record)
{
    record.AvailThreshold = 0;
    record.Handles = {};
    record.Timers = {};
    record.DataTriggers = {};
    record.StatusTriggers = {};
    TriggersChanged(record);
    record.FiredThisPass = {};
    record.StatusPass = 0;
}

std::int32_t ClearTriggers(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    ClearTriggerTables(*record);
    return 0;
}

std::int32_t RegisterTriggerHandler(PortHandle port, WindowHandle window, TriggerProcedure procedure, bool passOn)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    if (!AllocationAllowed())
        return ErrOutOfMemory;
    auto* node = new (std::nothrow) TriggerHandler;
    if (!node)
        return ErrOutOfMemory;
    node->Kind = window != 0 ? 1 : 2;
    node->Window = window;
    node->Procedure = procedure;
    node->PassOn = passOn ? 1 : 0;
    std::lock_guard lock(record->Lock);
    node->Next = record->Receivers;
    record->Receivers = node;
    TriggersChanged(*record);
    return 0;
}

std::int32_t DeregisterTriggerHandler(PortHandle port, WindowHandle window, TriggerProcedure procedure)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    for (TriggerHandler* node = record->Receivers; node; node = node->Next) {
        if (node->Removed)
            continue;
        const bool matches = window != 0 ? node->Window == window : (node->Procedure && node->Procedure == procedure);
        if (matches) {
            node->Removed = 1;
            record->ReceiverCleanup = 1;
            TriggersChanged(*record);
            break;
        }
    }
    return 0;
}

std::int32_t AddDataTrigger(PortHandle port, const std::uint8_t* pattern, bool ignoreCase, std::uint16_t length)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    if (length > MaxDataTriggerLength)
        return ErrTriggerTooLong;
    int slot = 1;
    while (slot <= DataTriggerCount && record->DataTriggers[slot].Length != 0)
        ++slot;
    int handle = 2;
    while (handle <= TriggerHandleCount && record->Handles[handle].Slot != 0)
        ++handle;
    if (slot > DataTriggerCount || handle > TriggerHandleCount)
        return ErrNoMoreTriggers;

    record->Handles[handle].Slot = static_cast<std::uint16_t>(slot);
    record->Handles[handle].Kind = TriggerKindData;
    record->HandleReused[handle] = 1;

    DataTrigger& trigger = record->DataTriggers[slot];
    trigger = DataTrigger {};
    trigger.TriggerHandle = static_cast<std::uint16_t>(handle);
    trigger.Length = length;
    trigger.IgnoreCase = ignoreCase ? 1 : 0;
    for (std::uint16_t i = 0; i < length; ++i)
        trigger.Pattern[i] = ignoreCase ? FoldCase(pattern[i]) : pattern[i];
    TriggersChanged(*record);
    return handle;
}

std::int32_t SetTriggerLength(PortHandle port, std::uint16_t threshold)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->AvailThreshold = threshold;
    return 0;
}

std::int32_t SaveTriggers(PortHandle port, TriggerSnapshot* snapshot)
{
    PortRecord* record = LookupPort(port);
    if (!record || !snapshot)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    snapshot->AvailThreshold = record->AvailThreshold;
    snapshot->Handles = record->Handles;
    snapshot->Timers = record->Timers;
    snapshot->Data = record->DataTriggers;
    snapshot->Status = record->StatusTriggers;
    return 0;
}

std::int32_t RestoreTriggers(PortHandle port, const TriggerSnapshot* snapshot)
{
    PortRecord* record = LookupPort(port);
    if (!record || !snapshot)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->AvailThreshold = snapshot->AvailThreshold;
    record->Handles = snapshot->Handles;
    record->Timers = snapshot->Timers;
    record->DataTriggers = snapshot->Data;
    record->StatusTriggers = snapshot->Status;
    TriggersChanged(*record);
    // A match half-seen, or seen and not yet announced, on the stream the
    // snapshot was taken from says nothing about this one.
    ResetMatching(record->DataTriggers);
    return 0;
}

std::int32_t GetStatusTriggerKind(PortHandle port, std::uint16_t triggerHandle)
{
    PortRecord* record = LookupPort(port);
    if (!record || triggerHandle < 1 || triggerHandle > TriggerHandleCount)
        return 0;
    std::lock_guard lock(record->Lock);
    const TriggerHandleEntry& entry = record->Handles[triggerHandle];
    if (entry.Kind != TriggerKindStatus || entry.Slot < 1 || entry.Slot > StatusTriggerCount)
        return 0;
    return record->StatusTriggers[entry.Slot].Kind;
}

std::uint16_t FindDataTrigger(
    const TriggerSnapshot& triggers, const std::uint8_t* pattern, bool ignoreCase, std::uint16_t length)
{
    if (length == 0 || length > MaxDataTriggerLength)
        return 0;
    for (int slot = 1; slot <= DataTriggerCount; ++slot) {
        const DataTrigger& trigger = triggers.Data[slot];
        if (trigger.Length != length || (trigger.IgnoreCase != 0) != ignoreCase)
            continue;
        if (trigger.TriggerHandle < 2 || trigger.TriggerHandle > TriggerHandleCount)
            continue;
        const TriggerHandleEntry& entry = triggers.Handles[trigger.TriggerHandle];
        if (entry.Slot != slot || entry.Kind != TriggerKindData)
            continue;
        const bool same = std::equal(pattern, pattern + length, trigger.Pattern.begin(),
            [&](std::uint8_t a, std::uint8_t b) { return (ignoreCase ? FoldCase(a) : a) == b; });
        if (same)
            return trigger.TriggerHandle;
    }
    return 0;
}

} // namespace zop
