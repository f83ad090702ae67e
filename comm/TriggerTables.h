#pragma once
// The trigger tables and receiver list a port keeps for its dispatcher.
// Tables are indexed from 1 as the trigger operations count them; entry 0 is
// never used.
#include <array>
#include <cstdint>

namespace zop {

constexpr int DataTriggerCount = 20;
constexpr int TimerTriggerCount = 10;
constexpr int StatusTriggerCount = 10;
constexpr int TriggerHandleCount = 41; // handles 2..41 are handed out
constexpr int MaxDataTriggerLength = 21;
constexpr int MatchStateCount = 22;

// Trigger messages (wParam, lParam = port handle << 16 | low word)
constexpr std::uint32_t TriggerAvailMsg = 0x7E01;
constexpr std::uint32_t TriggerDataMsg = 0x7E02;
constexpr std::uint32_t TriggerTimerMsg = 0x7E03;
constexpr std::uint32_t TriggerStatusMsg = 0x7E04;

// Kinds of the handle table
constexpr std::uint8_t TriggerKindTimer = 2;
constexpr std::uint8_t TriggerKindData = 3;
constexpr std::uint8_t TriggerKindStatus = 4;

using WindowHandle = std::uintptr_t;
using TriggerProcedure = void (*)(WindowHandle window, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam);

// One receiver of trigger messages. Nodes are allocated with new and freed
// with delete (the port record frees the remaining ones when it goes).
struct TriggerHandler {
    std::uint8_t Kind = 0; // 1 window, 2 procedure
    TriggerProcedure Procedure = nullptr;
    WindowHandle Window = 0;
    std::int32_t PassOn = 0;
    std::int32_t Removed = 0;
    TriggerHandler* Next = nullptr;
};

struct DataTrigger {
    std::uint16_t TriggerHandle = 0;
    std::uint16_t Length = 0; // 0 = slot free
    std::array<std::uint16_t, MatchStateCount> MatchState {};
    std::int32_t Matched = 0;
    std::int32_t IgnoreCase = 0;
    std::array<std::uint8_t, MaxDataTriggerLength> Pattern {};
};

struct TimerTrigger {
    std::uint16_t TriggerHandle = 0;
    std::uint32_t Start = 0; // 55 ms ticks
    std::uint32_t Expiry = 0;
    std::int32_t Armed = 0;
};

struct StatusTrigger {
    std::uint16_t TriggerHandle = 0;
    std::uint16_t Kind = 0; // 1 modem status, 2 line error, 3 out free, 4 out used, 5 out sent
    std::int32_t Armed = 0;
    std::uint16_t Value = 0;
};

struct TriggerHandleEntry {
    std::uint16_t Slot = 0; // 0 = free
    std::uint8_t Kind = 0; // TriggerKindTimer, TriggerKindData or TriggerKindStatus
};

using HandleTable = std::array<TriggerHandleEntry, TriggerHandleCount + 1>;
using TimerTable = std::array<TimerTrigger, TimerTriggerCount + 1>;
using DataTable = std::array<DataTrigger, DataTriggerCount + 1>;
using StatusTable = std::array<StatusTrigger, StatusTriggerCount + 1>;

// What a component keeps to carry its triggers across a reopen.
struct TriggerSnapshot {
    std::uint16_t AvailThreshold = 0;
    HandleTable Handles {};
    TimerTable Timers {};
    DataTable Data {};
    StatusTable Status {};
};

} // namespace zop
