#include "comm/tests/FakeDevice.h"

#include <algorithm>

#include "comm/ErrorCodes.h"

namespace zop::test {
namespace {

std::int32_t BuildDCB(const char*, DeviceSettings*)
{
    return -1;
}
std::int32_t OnHandle(DeviceHandle)
{
    return 0;
}
std::int32_t CloseDevice(DeviceHandle)
{
    ++FakeDevice().CloseCount;
    return 0;
}
std::int32_t Escape(DeviceHandle, std::int32_t code)
{
    FakeDevice().Escapes.push_back(code);
    return 0;
}
std::int32_t Flush(DeviceHandle, std::int32_t direction)
{
    FakeDevice().Flushes.push_back(direction);
    if (direction != 0)
        FakeDevice().Incoming.clear();
    return 0;
}
std::int32_t GetDeviceError(DeviceHandle, DeviceStatus* status)
{
    FakeDeviceState& fake = FakeDevice();
    const std::uint32_t errors = fake.PendingErrors;
    fake.PendingErrors = 0;
    if (status) {
        status->Errors = errors;
        status->InQueue = static_cast<std::uint32_t>(fake.Incoming.size());
        status->OutQueue = 0;
    }
    fake.Incoming.insert(fake.Incoming.end(), fake.ArriveAfterCount.begin(), fake.ArriveAfterCount.end());
    fake.ArriveAfterCount.clear();
    return static_cast<std::int32_t>(errors);
}
std::int32_t Mask(DeviceHandle, std::uint32_t)
{
    return 0;
}
std::int32_t GetState(DeviceHandle, DeviceSettings* settings)
{
    *settings = FakeDevice().Settings;
    return 0;
}
std::int32_t OpenDevice(const char* name, std::uint16_t, std::uint16_t)
{
    FakeDeviceState& fake = FakeDevice();
    fake.LastName = name ? name : "";
    if (fake.FailOpen) {
        SetLastDeviceError(fake.OpenError);
        return -1;
    }
    ++fake.OpenCount;
    return FakeHandle;
}
std::int32_t Read(DeviceHandle, std::uint8_t* buffer, std::int32_t count)
{
    FakeDeviceState& fake = FakeDevice();
    const auto n = std::min<std::size_t>(
        { static_cast<std::size_t>(count), fake.Incoming.size(), static_cast<std::size_t>(fake.ReadLimit) });
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = fake.Incoming.front();
        fake.Incoming.pop_front();
    }
    return static_cast<std::int32_t>(n);
}
std::int32_t SetState(DeviceHandle, const DeviceSettings* settings)
{
    FakeDeviceState& fake = FakeDevice();
    if (fake.FailSetState)
        return -1;
    fake.Settings = *settings;
    return 0;
}
std::int32_t ByteOp(DeviceHandle, std::uint8_t)
{
    return 0;
}
std::int32_t Unget(DeviceHandle, std::uint8_t)
{
    return ErrNotSupported;
}
std::int32_t Write(DeviceHandle, const std::uint8_t*, std::int32_t count)
{
    return count;
}
void EnableNotification(DeviceHandle, std::int32_t) { }
void AttachHandle(DeviceHandle, bool attach)
{
    ++(attach ? FakeDevice().AttachCount : FakeDevice().ReleaseCount);
}
bool SetupDevice(DeviceHandle, std::uint16_t, std::uint16_t)
{
    if (FakeDevice().FailSetup) {
        SetLastDeviceError(87);
        return false;
    }
    return true;
}
std::int32_t WaitEvent(DeviceHandle, std::uint32_t* word)
{
    *word = 0;
    return ErrDeviceNotOpen;
}
std::int32_t ModemLines(DeviceHandle, std::uint8_t* lines)
{
    *lines = FakeDevice().ModemLines;
    return 0;
}
std::int32_t WriteOutput(DeviceHandle, const std::uint8_t*, std::int32_t count, const SyncEvent*, std::int32_t)
{
    return count;
}

} // namespace

FakeDeviceState& FakeDevice()
{
    static FakeDeviceState state;
    return state;
}

FakeDeviceLayer::FakeDeviceLayer()
{
    FakeDevice() = FakeDeviceState {};
    FakeDevice().Settings.BaudRate = 9600;
    FakeDevice().Settings.ByteSize = 8;
    FakeDevice().Settings.Flags = DcbBinary | DcbDtrControlEnable | DcbRtsControlEnable;
    InstallDeviceLayer(
        DeviceProcs { BuildDCB, OnHandle, CloseDevice, Escape, Flush, GetDeviceError, Mask, GetState, OpenDevice, Read,
            OnHandle, Mask, SetState, ByteOp, Unget, Write, EnableNotification, AttachHandle, SetupDevice },
        DeviceWaitProcs { WaitEvent, ModemLines, WriteOutput, nullptr, nullptr });
}

FakeDeviceLayer::~FakeDeviceLayer()
{
    InstallNullLayer();
}

void FakeDeviceLayer::Arrive(const std::string& bytes)
{
    for (char c : bytes)
        FakeDevice().Incoming.push_back(static_cast<std::uint8_t>(c));
}

} // namespace zop::test
