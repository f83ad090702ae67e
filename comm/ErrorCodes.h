#pragma once
// Result codes of the port layer and the device layers. Every operation
// returns 0 or a positive value on success and one of these on failure;
// codes -2..-162 are negated operating-system (file) error numbers.
#include <cstdint>

namespace zop {

// General
constexpr std::int32_t ErrBadHandle = -1001;
constexpr std::int32_t ErrBadArgument = -1002;
constexpr std::int32_t ErrGotQuitMsg = -1003;
constexpr std::int32_t ErrBufferTooBig = -1004;
constexpr std::int32_t ErrPortNotAssigned = -1005;
constexpr std::int32_t ErrInternal = -1006;
constexpr std::int32_t ErrModemNotAssigned = -1007;
constexpr std::int32_t ErrPhonebookNotAssigned = -1008;

// Opening a port
constexpr std::int32_t ErrBadId = -2001;
constexpr std::int32_t ErrBaudRate = -2002;
constexpr std::int32_t ErrByteSize = -2003;
constexpr std::int32_t ErrDefault = -2004;
constexpr std::int32_t ErrHardware = -2005;
constexpr std::int32_t ErrMemory = -2006;
constexpr std::int32_t ErrCommNotOpen = -2007;
constexpr std::int32_t ErrAlreadyOpen = -2008;
constexpr std::int32_t ErrNoHandles = -2009;
constexpr std::int32_t ErrNoTimers = -2010;
constexpr std::int32_t ErrNoPortSelected = -2011;

// Serial input and output
constexpr std::int32_t ErrNullApi = -3001;
constexpr std::int32_t ErrNotSupported = -3002;
constexpr std::int32_t ErrRegisterHandlerFailed = -3003;
constexpr std::int32_t ErrPutBlockFail = -3004;
constexpr std::int32_t ErrGetBlockFail = -3005;
constexpr std::int32_t ErrOutputBufferTooSmall = -3006;
constexpr std::int32_t ErrBufferIsEmpty = -3007;
constexpr std::int32_t ErrTracingNotEnabled = -3008;
constexpr std::int32_t ErrLoggingNotEnabled = -3009;

// Modem
constexpr std::int32_t ErrModemNotStarted = -4001;
constexpr std::int32_t ErrModemBusy = -4002;
constexpr std::int32_t ErrModemNotDialing = -4003;
constexpr std::int32_t ErrNotDialing = -4004;
constexpr std::int32_t ErrAlreadyDialing = -4005;

// Triggers
constexpr std::int32_t ErrNoMoreTriggers = -5001;
constexpr std::int32_t ErrTriggerTooLong = -5002;
constexpr std::int32_t ErrBadTriggerHandle = -5003;

// Operating-system and file errors (negated Win32 numbers)
constexpr std::int32_t ErrFileNotFound = -2;
constexpr std::int32_t ErrPathNotFound = -3;
constexpr std::int32_t ErrTooManyOpenFiles = -4;
constexpr std::int32_t ErrAccessDenied = -5;
constexpr std::int32_t ErrInvalidHandle = -6;
constexpr std::int32_t ErrOutOfMemory = -8;
constexpr std::int32_t ErrDeviceNotOpen = -103;

} // namespace zop
