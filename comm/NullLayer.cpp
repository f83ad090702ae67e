// The null device layer: installed first at start-up, it answers every
// device operation with "No device layer specified".
#include "comm/DeviceProcs.h"
#include "comm/ErrorCodes.h"

namespace zop {
namespace {

std::int32_t NullBuildDCB(const char*, DeviceSettings*)
{
    return ErrNullApi;
}
std::int32_t NullOnHandle(DeviceHandle)
{
    return ErrNullApi;
}
std::int32_t NullEscape(DeviceHandle, std::int32_t)
{
    return ErrNullApi;
}
std::int32_t NullGetDeviceError(DeviceHandle, DeviceStatus*)
{
    return ErrNullApi;
}
std::int32_t NullMask(DeviceHandle, std::uint32_t)
{
    return ErrNullApi;
}
std::int32_t NullGetDeviceState(DeviceHandle, DeviceSettings*)
{
    return 0;
}
std::int32_t NullOpenDevice(const char*, std::uint16_t, std::uint16_t)
{
    return ErrNullApi;
}
std::int32_t NullRead(DeviceHandle, std::uint8_t*, std::int32_t)
{
    return ErrNullApi;
}
std::int32_t NullSetDeviceState(DeviceHandle, const DeviceSettings*)
{
    return ErrNullApi;
}
std::int32_t NullByte(DeviceHandle, std::uint8_t)
{
    return ErrNullApi;
}
std::int32_t NullWrite(DeviceHandle, const std::uint8_t*, std::int32_t)
{
    return ErrNullApi;
}
void NullEnableNotification(DeviceHandle, std::int32_t) { }
void NullAttachHandle(DeviceHandle, bool) { }
bool NullSetupDevice(DeviceHandle, std::uint16_t, std::uint16_t)
{
    return false;
}

std::int32_t NullWaitDeviceEvent(DeviceHandle, std::uint32_t*)
{
    return ErrNullApi;
}
std::int32_t NullGetModemLines(DeviceHandle, std::uint8_t*)
{
    return ErrNullApi;
}
std::int32_t NullWriteOutput(DeviceHandle, const std::uint8_t*, std::int32_t, const SyncEvent*, std::int32_t)
{
    return ErrNullApi;
}

} // namespace

DeviceProcs NullDeviceProcs()
{
    return DeviceProcs {
        NullBuildDCB, // BuildDCB
        NullOnHandle, // ClearBreak
        NullOnHandle, // CloseDevice
        NullEscape, // EscapeFunction
        NullEscape, // FlushDevice
        NullGetDeviceError, // GetDeviceError
        NullMask, // GetEventMask
        NullGetDeviceState, // GetDeviceState
        NullOpenDevice, // OpenDevice
        NullRead, // ReadDevice
        NullOnHandle, // SetBreak
        NullMask, // SetEventMask
        NullSetDeviceState, // SetDeviceState
        NullByte, // TransmitChar
        NullByte, // UngetChar
        NullWrite, // WriteDevice
        NullEnableNotification, // EnableNotification
        NullAttachHandle, // AttachHandle
        NullSetupDevice, // SetupDevice
    };
}

DeviceWaitProcs NullWaitProcs()
{
    return DeviceWaitProcs { NullWaitDeviceEvent, NullGetModemLines, NullWriteOutput, nullptr, nullptr };
}

} // namespace zop
