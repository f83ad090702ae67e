#pragma once
// The trace (bytes that passed through a port, with a kind letter) and the
// event log (timed records of what the dispatcher did) of each open port,
// and their text dumps. All operations take the port's lock and return 0 or
// a negative code (-1001 for an invalid handle).
#include <cstdint>

#include "comm/PortRecord.h"

namespace zop {

// Log record types and subtypes
constexpr std::uint8_t LogNoEvent = 0;
constexpr std::uint8_t LogDispatch = 1;
constexpr std::uint8_t LogTrigger = 2;
constexpr std::uint8_t LogError = 3;
constexpr std::uint8_t LogThread = 4;
constexpr std::uint8_t LogReadCom = 1;
constexpr std::uint8_t LogWriteCom = 2;
constexpr std::uint8_t LogLineStatus = 3;
constexpr std::uint8_t LogModemStatus = 4;
constexpr std::uint8_t LogAvail = 5;
constexpr std::uint8_t LogTimer = 6;
constexpr std::uint8_t LogData = 7;
constexpr std::uint8_t LogStatus = 8;
constexpr std::uint8_t LogStart = 9;
constexpr std::uint8_t LogExit = 10;
constexpr std::uint8_t LogSleep = 11;
constexpr std::uint8_t LogWake = 12;
constexpr std::uint16_t LogHeaderSize = 12;

enum class DumpMode { Overwrite, Append };

std::int32_t InitTracing(PortHandle port, std::uint16_t size);
std::int32_t ClearTracing(PortHandle port);
std::int32_t AbortTracing(PortHandle port);
std::int32_t StartTracing(PortHandle port);
std::int32_t StopTracing(PortHandle port);
std::int32_t AddTraceEntry(PortHandle port, char kind, std::uint8_t byte);
std::int32_t DumpTrace(PortHandle port, const char* fileName, bool hex);
std::int32_t AppendTrace(PortHandle port, const char* fileName, bool hex);

std::int32_t InitEventLogging(PortHandle port, std::uint16_t size);
std::int32_t ClearEventLog(PortHandle port);
std::int32_t AbortEventLogging(PortHandle port);
std::int32_t StartEventLogging(PortHandle port);
std::int32_t StopEventLogging(PortHandle port);
std::int32_t AddLogEntry(PortHandle port, std::uint8_t type, std::uint8_t subtype, std::uint16_t data,
    const std::uint8_t* bytes, std::uint16_t length);
std::int32_t DumpEventLog(PortHandle port, const char* fileName, bool hex);
std::int32_t AppendEventLog(PortHandle port, const char* fileName, bool hex);

// The same on a record the caller already holds (under its lock or on the
// dispatcher thread, which takes the lock inside).
void RecordTraceEntry(PortRecord& record, char kind, std::uint8_t byte);
void RecordLogEntry(PortRecord& record, std::uint8_t type, std::uint8_t subtype, std::uint16_t data,
    const std::uint8_t* bytes, std::uint16_t length);

} // namespace zop
