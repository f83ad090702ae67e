#pragma once
// A scripted device table for the dispatcher's tests. Bytes, line errors and
// modem lines "arrive" when a test says so; the event wait blocks like a real
// device's, and the test can tell when the dispatcher has finished with
// everything that arrived (the event thread waits again with nothing left),
// so deterministic tests need no sleeps. Reads can be held to make a
// dispatcher thread stop answering.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "comm/DeviceProcs.h"

namespace zop::test {

class ScriptedDevice {
public:
    // A device opened by `name` (any name no device has is a missing
    // device). Installs the scripted table; when the last device goes, the
    // null layer is installed again.
    explicit ScriptedDevice(std::string name = "scripted");
    ~ScriptedDevice();
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    const std::string& Name() const { return m_name; }
    DeviceHandle Handle() const { return m_handle; }
    // Installs the table again (for a component's dlOther installer).
    static void Install();

    void Arrive(const std::string& bytes);
    void RaiseEvent(std::uint32_t eventBits, std::uint32_t errorBits = 0);
    // Changes the modem input lines; the change is an event like a real
    // device's (EvCts, EvDsr, EvRlsd, EvRing, EvRingTrailingEdge).
    void SetModemLines(std::uint8_t lines);
    // Makes the device vanish: the event wait fails from now on.
    void Vanish();
    // While held, a read blocks until released.
    void HoldReads(bool hold);
    // Reads blocked by HoldReads right now.
    int BlockedReads() const;
    // A device that is open counts as held by another program.
    bool IsOpen() const;
    int OpenCount() const;
    std::string Written() const;
    DeviceSettings Settings() const;
    std::size_t Waiting() const;
    // How often the event thread has started waiting on this device.
    std::uint64_t Waits() const;
    // How often the port has read from this device.
    std::uint64_t Reads() const;

    // Runs `pump` until the dispatcher has finished with everything that
    // arrived: the event thread waits again and nothing is left for it.
    // Returns false when that did not happen within 10 s (a hung test).
    bool Settle(const std::function<void()>& pump);
    // Runs `pump` until the predicate holds (false after 10 s).
    static bool PumpUntil(const std::function<bool()>& predicate, const std::function<void()>& pump);

private:
    friend struct ScriptedTable;
    const std::string m_name;
    DeviceHandle m_handle = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::uint8_t> m_input;
    std::string m_written;
    std::uint32_t m_mask = 0;
    std::uint32_t m_pendingEvents = 0;
    std::uint32_t m_pendingErrors = 0;
    std::uint8_t m_modemLines = 0;
    std::uint8_t m_reportedLines = 0; // the lines when the last event was given
    bool m_open = false;
    bool m_vanished = false;
    bool m_wake = false;
    bool m_holdReads = false;
    int m_blockedReads = 0;
    bool m_waiting = false;
    std::uint64_t m_waits = 0;
    std::uint64_t m_reads = 0;
    std::uint64_t m_generation = 0; // counts opens and closes
    std::uint64_t m_arrivals = 0; // m_waits when something last arrived
    int m_openCount = 0;
    DeviceSettings m_settings;
};

} // namespace zop::test
