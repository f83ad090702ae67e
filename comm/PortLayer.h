#pragma once
// The port layer: opens and closes serial ports through the installed device
// layer and keeps each port's settings and input ring. Every operation takes
// a port handle (1..50) and returns 0 or a positive value on success and a
// negative code of comm/ErrorCodes.h on failure; nothing here throws.
#include <cstdint>

#include "comm/DeviceProcs.h"
#include "comm/PortRecord.h"

namespace zop {

// "Leave as it is" values of OpenPort and SetLine
constexpr std::int32_t LeaveBaud = 0;
constexpr std::int16_t LeaveParity = 5;
constexpr std::int16_t LeaveDataBits = 9;
constexpr std::int16_t LeaveStopBits = 3;

// Flow-control options of SetHWFlow and SetSWFlow
constexpr std::uint16_t HwFlowUseDtr = 1;
constexpr std::uint16_t HwFlowUseRts = 2;
constexpr std::uint16_t HwFlowRequireDsr = 4;
constexpr std::uint16_t HwFlowRequireCts = 8;
constexpr std::uint16_t SwFlowTransmit = 1;
constexpr std::uint16_t SwFlowReceive = 2;

// Open and close
std::int32_t OpenPort(PortHandle* port, std::uint16_t dispatcherMode, const char* deviceName, std::int32_t baud,
    std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits, std::uint16_t inSize, std::uint16_t outSize);
// As OpenPort over a device handle opened elsewhere: the name is not opened
// and the line settings are not applied.
std::int32_t OpenPortOnHandle(PortHandle* port, std::uint16_t dispatcherMode, const char* deviceName, std::int32_t baud,
    std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits, std::uint16_t inSize, std::uint16_t outSize,
    DeviceHandle device);
std::int32_t ClosePort(PortHandle port);

// Frees a port at once: stops the dispatcher, closes the device if it is
// still open, frees the record and the slot. ClosePort does this unless a
// trigger message is being delivered; then it closes only the device and sets
// ClosePending, and the dispatcher thread calls ReleasePort when the delivery
// has returned (clearing Delivering and testing ClosePending under Lock).
void ReleasePort(PortHandle port);

// Line and status
std::int32_t SetupQueues(PortHandle port, std::uint16_t inSize, std::uint16_t outSize);
std::int32_t SetLine(
    PortHandle port, std::int32_t baud, std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits);
std::int32_t GetLine(
    PortHandle port, std::int32_t* baud, std::int16_t* parity, std::int16_t* dataBits, std::int16_t* stopBits);
std::int32_t SetDTR(PortHandle port, bool state);
std::int32_t SetRTS(PortHandle port, bool state);
std::int32_t GetModemStatus(PortHandle port, std::uint8_t keepMask);
std::int32_t GetLineError(PortHandle port);
std::int32_t CheckLineBreak(PortHandle port);
std::int32_t SetHWFlow(PortHandle port, std::uint16_t bufferFull, std::uint16_t bufferResume, std::uint16_t options);
std::int32_t ClearHWFlow(PortHandle port);
std::int32_t SetSWFlow(PortHandle port, std::uint16_t bufferFull, std::uint16_t bufferResume, std::uint16_t options);
std::int32_t ClearSWFlow(PortHandle port);
std::int32_t SetFlowChars(PortHandle port, std::uint8_t xonChar, std::uint8_t xoffChar);
std::int32_t SetPortOptions(PortHandle port, std::uint16_t bits);
std::int32_t ClearPortOptions(PortHandle port, std::uint16_t bits);
std::int32_t SetLineBreak(PortHandle port, bool on);
std::int32_t FlushPort(PortHandle port, std::int32_t direction);

// Input
std::int32_t GetChar(PortHandle port, std::uint8_t* byte);
// Takes up to count bytes as GetChar takes one (read ahead during a trigger
// message, traced when tracing is on); returns how many, or -3007 when none
// waits.
std::int32_t GetBlock(PortHandle port, std::uint8_t* buffer, std::int32_t count);
std::int32_t PeekCharAt(PortHandle port, std::uint8_t* byte, std::uint16_t n);
std::int32_t InBuffUsed(PortHandle port);
// Whether the port's device has vanished since it was opened (false for an
// invalid handle).
bool PortDeviceLost(PortHandle port);

// Output: queues bytes through WriteDevice within the room OutBuffFree reports.
std::int32_t PutBlock(PortHandle port, const std::uint8_t* bytes, std::int32_t count);
std::int32_t OutBuffUsed(PortHandle port);
std::int32_t OutBuffFree(PortHandle port);

// Milliseconds since the port was opened (0 for an invalid handle).
std::uint32_t ElapsedTicks(PortHandle port);

// For the dispatcher thread (no lock taken, see PortRecord.h):
// refreshes the device status and accumulates the line error bits; returns
// the error bits or a negative code.
std::int32_t RefreshDeviceStatus(PortRecord& record);
// Reads what waits in the device input queue into the input ring's room (at
// most two contiguous reads, nothing while the ring is full) without
// committing it: the caller commits the count returned, under the record's
// lock with what it notes of the bytes. Logs each read when logging is on.
// Returns the number of bytes read or a negative code.
std::int32_t ReadIntoRoom(PortRecord& record);
// For the delivering thread: marks the calling thread, for the life of the
// object, as the receiver that alone takes the port's bytes during the
// current TriggerAvailMsg or TriggerDataMsg (PortRecord::Reader). GetChar on
// that thread then finds the port without the port table.
class ReaderScope {
public:
    ReaderScope(PortHandle port, PortRecord& record);
    ~ReaderScope();
    ReaderScope(const ReaderScope&) = delete;
    ReaderScope& operator=(const ReaderScope&) = delete;

private:
    PortRecord& m_record;
    PortHandle m_savedPort;
    PortRecord* m_savedRecord;
};

// Bytes waiting in the input ring (ignoring read-ahead).
std::uint16_t InputWaiting(const PortRecord& record);

} // namespace zop
