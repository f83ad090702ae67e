#include "comm/DeviceProcs.h"

#include <mutex>

namespace zop {
namespace {

struct InstalledLayer {
    std::mutex Mutex;
    DeviceProcs Procs = NullDeviceProcs();
    DeviceWaitProcs WaitProcs = NullWaitProcs();
};

InstalledLayer& Installed()
{
    static InstalledLayer layer;
    return layer;
}

thread_local std::int32_t t_lastError = 0;

} // namespace

DeviceProcs InstalledDeviceProcs()
{
    std::lock_guard lock(Installed().Mutex);
    return Installed().Procs;
}

DeviceWaitProcs InstalledWaitProcs()
{
    std::lock_guard lock(Installed().Mutex);
    return Installed().WaitProcs;
}

void InstallDeviceLayer(const DeviceProcs& procs, const DeviceWaitProcs& waitProcs)
{
    std::lock_guard lock(Installed().Mutex);
    Installed().Procs = procs;
    Installed().WaitProcs = waitProcs;
}

void InstallNullLayer()
{
    InstallDeviceLayer(NullDeviceProcs(), NullWaitProcs());
}

std::int32_t LastDeviceError()
{
    return t_lastError;
}

void SetLastDeviceError(std::int32_t win32Error)
{
    t_lastError = win32Error;
}

} // namespace zop
