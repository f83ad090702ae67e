#include "comm/tests/ScriptedDevice.h"

#include "comm/ErrorCodes.h"
#include "comm/MessageWindow.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace zop::test {

namespace {

// The devices that exist now; tests create and destroy them on their own
// thread while no port uses them.
std::mutex g_devicesMutex;
std::vector<ScriptedDevice*> g_devices;
DeviceHandle g_nextHandle = 7000;

} // namespace

// The 19 operations and the dispatcher's calls over the scripted devices.
struct ScriptedTable {
    static ScriptedDevice* Find(DeviceHandle handle)
    {
        std::lock_guard lock(g_devicesMutex);
        for (ScriptedDevice* device : g_devices)
            if (device->m_handle == handle)
                return device;
        return nullptr;
    }
    static ScriptedDevice* FindByName(const char* name)
    {
        std::lock_guard lock(g_devicesMutex);
        for (ScriptedDevice* device : g_devices)
            if (device->m_name == name)
                return device;
        return nullptr;
    }
    static std::int32_t BuildDCB(const char*, DeviceSettings*) { return 0; }
    static std::int32_t Ok(DeviceHandle handle) { return Find(handle) ? 0 : -1; }
    static std::int32_t CloseDevice(DeviceHandle handle)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return -1;
        std::lock_guard lock(device->m_mutex);
        device->m_open = false;
        ++device->m_generation;
        device->m_changed.notify_all();
        return 0;
    }
    static std::int32_t EscapeFunction(DeviceHandle, std::int32_t) { return 0; }
    static std::int32_t FlushDevice(DeviceHandle handle, std::int32_t direction)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return 6;
        if (direction != FlushOutput) {
            std::lock_guard lock(device->m_mutex);
            device->m_input.clear();
        }
        return 0;
    }
    static std::int32_t GetDeviceError(DeviceHandle handle, DeviceStatus* status)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return ErrDeviceNotOpen;
        std::lock_guard lock(device->m_mutex);
        const std::uint32_t errors = device->m_pendingErrors;
        device->m_pendingErrors = 0;
        if (status) {
            status->Errors = errors;
            status->InQueue = static_cast<std::uint32_t>(device->m_input.size());
            status->OutQueue = 0;
        }
        return static_cast<std::int32_t>(errors);
    }
    static std::int32_t GetEventMask(DeviceHandle, std::uint32_t) { return 0; }
    static std::int32_t GetDeviceState(DeviceHandle handle, DeviceSettings* settings)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return -1;
        std::lock_guard lock(device->m_mutex);
        *settings = device->m_settings;
        return 0;
    }
    static std::int32_t OpenDevice(const char* name, std::uint16_t, std::uint16_t)
    {
        ScriptedDevice* device = FindByName(name);
        if (!device) {
            SetLastDeviceError(2);
            return -1;
        }
        std::lock_guard lock(device->m_mutex);
        if (device->m_open) {
            SetLastDeviceError(5);
            return -1;
        }
        device->m_open = true;
        ++device->m_generation;
        device->m_vanished = false;
        device->m_wake = false;
        ++device->m_openCount;
        return device->m_handle;
    }
    static std::int32_t ReadDevice(DeviceHandle handle, std::uint8_t* buffer, std::int32_t count)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return ErrDeviceNotOpen;
        std::unique_lock lock(device->m_mutex);
        ++device->m_blockedReads;
        device->m_changed.wait(lock, [&] { return !device->m_holdReads; });
        --device->m_blockedReads;
        ++device->m_reads;
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), device->m_input.size());
        std::copy_n(device->m_input.begin(), n, buffer);
        device->m_input.erase(device->m_input.begin(), device->m_input.begin() + static_cast<std::ptrdiff_t>(n));
        return static_cast<std::int32_t>(n);
    }
    static std::int32_t SetEventMask(DeviceHandle handle, std::uint32_t mask)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return 0;
        std::lock_guard lock(device->m_mutex);
        device->m_mask = mask;
        device->m_wake = true;
        device->m_changed.notify_all();
        return 0;
    }
    static std::int32_t SetDeviceState(DeviceHandle handle, const DeviceSettings* settings)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return -1;
        std::lock_guard lock(device->m_mutex);
        device->m_settings = *settings;
        return 0;
    }
    static std::int32_t TransmitChar(DeviceHandle handle, std::uint8_t byte)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return -1;
        std::lock_guard lock(device->m_mutex);
        device->m_written += static_cast<char>(byte);
        return 0;
    }
    static std::int32_t UngetChar(DeviceHandle, std::uint8_t) { return ErrNotSupported; }
    static std::int32_t WriteDevice(DeviceHandle handle, const std::uint8_t* bytes, std::int32_t count)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return ErrDeviceNotOpen;
        std::lock_guard lock(device->m_mutex);
        device->m_written.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(std::max(count, 0)));
        return std::max(count, 0);
    }
    static void EnableNotification(DeviceHandle, std::int32_t) { }
    static void AttachHandle(DeviceHandle handle, bool attach)
    {
        if (ScriptedDevice* device = Find(handle)) {
            std::lock_guard lock(device->m_mutex);
            device->m_open = attach;
            device->m_changed.notify_all();
        }
    }
    static bool SetupDevice(DeviceHandle handle, std::uint16_t, std::uint16_t) { return Find(handle) != nullptr; }

    static std::int32_t WaitDeviceEvent(DeviceHandle handle, std::uint32_t* word)
    {
        ScriptedDevice* device = Find(handle);
        *word = 0;
        if (!device)
            return ErrDeviceNotOpen;
        std::unique_lock lock(device->m_mutex);
        // A wait belongs to the device as it was opened: a close ends it
        // even when the device is opened again before the waiter wakes.
        const std::uint64_t generation = device->m_generation;
        ++device->m_waits;
        device->m_waiting = true;
        device->m_changed.notify_all();
        for (;;) {
            if (!device->m_open || device->m_vanished || device->m_generation != generation)
                break;
            if (device->m_wake) {
                device->m_wake = false;
                device->m_waiting = false;
                return 0;
            }
            const std::uint8_t changed = device->m_modemLines ^ device->m_reportedLines;
            device->m_reportedLines = device->m_modemLines;
            std::uint32_t lineEvents = 0;
            if (changed & ModemCts)
                lineEvents |= EvCts;
            if (changed & ModemDsr)
                lineEvents |= EvDsr;
            if (changed & ModemDcd)
                lineEvents |= EvRlsd;
            if (changed & ModemRing)
                lineEvents |= (device->m_modemLines & ModemRing) ? EvRing : EvRingTrailingEdge;
            device->m_pendingEvents |= lineEvents;
            std::uint32_t bits = device->m_pendingEvents & device->m_mask;
            if ((device->m_mask & EvRxChar) && !device->m_input.empty())
                bits |= EvRxChar;
            if (bits) {
                device->m_pendingEvents &= ~bits;
                *word = bits;
                device->m_waiting = false;
                return 0;
            }
            device->m_changed.wait(lock);
        }
        device->m_waiting = false;
        device->m_changed.notify_all();
        return ErrDeviceNotOpen;
    }
    static std::int32_t GetModemLines(DeviceHandle handle, std::uint8_t* lines)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return ErrDeviceNotOpen;
        std::lock_guard lock(device->m_mutex);
        *lines = device->m_modemLines;
        return 0;
    }
    static std::int32_t WriteOutput(
        DeviceHandle handle, const std::uint8_t* bytes, std::int32_t count, const SyncEvent*, std::int32_t)
    {
        ScriptedDevice* device = Find(handle);
        if (!device)
            return ErrDeviceNotOpen;
        std::lock_guard lock(device->m_mutex);
        device->m_written.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
        return count;
    }
};

ScriptedDevice::ScriptedDevice(std::string name)
    : m_name(std::move(name))
{
    m_settings.BaudRate = 9600;
    m_settings.ByteSize = 8;
    {
        std::lock_guard lock(g_devicesMutex);
        m_handle = g_nextHandle++;
        g_devices.push_back(this);
    }
    Install();
}

ScriptedDevice::~ScriptedDevice()
{
    {
        std::lock_guard lock(g_devicesMutex);
        std::erase(g_devices, this);
        if (g_devices.empty())
            InstallNullLayer();
    }
    // An event thread that outlived its port's close (detached on a slow
    // machine) may still be leaving its wait on this device: end the wait and
    // let the thread go before the members do.
    std::unique_lock lock(m_mutex);
    ++m_generation;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_waiting; });
}

void ScriptedDevice::Install()
{
    using T = ScriptedTable;
    const DeviceProcs procs { T::BuildDCB, T::Ok, T::CloseDevice, T::EscapeFunction, T::FlushDevice, T::GetDeviceError,
        T::GetEventMask, T::GetDeviceState, T::OpenDevice, T::ReadDevice, T::Ok, T::SetEventMask, T::SetDeviceState,
        T::TransmitChar, T::UngetChar, T::WriteDevice, T::EnableNotification, T::AttachHandle, T::SetupDevice };
    InstallDeviceLayer(
        procs, DeviceWaitProcs { T::WaitDeviceEvent, T::GetModemLines, T::WriteOutput, nullptr, nullptr });
}

void ScriptedDevice::Arrive(const std::string& bytes)
{
    std::lock_guard lock(m_mutex);
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    m_arrivals = m_waits;
    m_changed.notify_all();
}

void ScriptedDevice::RaiseEvent(std::uint32_t eventBits, std::uint32_t errorBits)
{
    std::lock_guard lock(m_mutex);
    m_pendingEvents |= eventBits;
    m_pendingErrors |= errorBits;
    m_arrivals = m_waits;
    m_changed.notify_all();
}

void ScriptedDevice::SetModemLines(std::uint8_t lines)
{
    std::lock_guard lock(m_mutex);
    m_modemLines = lines;
    m_arrivals = m_waits;
    m_changed.notify_all();
}

void ScriptedDevice::Vanish()
{
    std::lock_guard lock(m_mutex);
    m_vanished = true;
    m_changed.notify_all();
}

void ScriptedDevice::HoldReads(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_holdReads = hold;
    m_changed.notify_all();
}

int ScriptedDevice::BlockedReads() const
{
    std::lock_guard lock(m_mutex);
    return m_holdReads ? m_blockedReads : 0;
}

bool ScriptedDevice::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

int ScriptedDevice::OpenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_openCount;
}

std::string ScriptedDevice::Written() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

DeviceSettings ScriptedDevice::Settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

std::size_t ScriptedDevice::Waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_input.size();
}

std::uint64_t ScriptedDevice::Waits() const
{
    std::lock_guard lock(m_mutex);
    return m_waits;
}

std::uint64_t ScriptedDevice::Reads() const
{
    std::lock_guard lock(m_mutex);
    return m_reads;
}

bool ScriptedDevice::PumpUntil(const std::function<bool()>& predicate, const std::function<void()>& pump)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pollfd wake { MessageWakeDescriptor(), POLLIN, 0 };
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        pump();
        poll(&wake, 1, 1);
    }
    pump();
    return true;
}

bool ScriptedDevice::Settle(const std::function<void()>& pump)
{
    return PumpUntil(
        [&] {
            std::lock_guard lock(m_mutex);
            const bool nothingLeft = m_pendingEvents == 0 && (m_input.empty() || !(m_mask & EvRxChar));
            return m_waiting && m_waits > m_arrivals && nothingLeft;
        },
        pump);
}

} // namespace zop::test
