#pragma once
// A scripted device layer: bytes "arrive" when a test queues them, and each
// operation can be told to fail, so the port layer's paths can be driven
// without a terminal.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "comm/DeviceProcs.h"
#include "comm/PortLayer.h"
#include "comm/PortRecord.h"

namespace zop::test {

struct FakeDeviceState {
    std::deque<std::uint8_t> Incoming; // bytes waiting in the device queue
    DeviceSettings Settings;
    std::uint32_t PendingErrors = 0;
    std::uint8_t ModemLines = 0;
    bool FailOpen = false;
    std::int32_t OpenError = 2; // the operating-system error of a failed open
    bool FailSetup = false;
    bool FailSetState = false;
    int OpenCount = 0;
    int CloseCount = 0;
    int AttachCount = 0;
    int ReleaseCount = 0;
    int ReadLimit = 1 << 30; // most bytes one read returns
    std::string ArriveAfterCount; // arrive just after the next status refresh has counted the queue
    std::vector<std::int32_t> Escapes;
    std::vector<std::int32_t> Flushes;
    std::string LastName;
};

FakeDeviceState& FakeDevice();

// Resets the script and installs the fake layer; the destructor installs the
// null layer again.
class FakeDeviceLayer {
public:
    FakeDeviceLayer();
    ~FakeDeviceLayer();
    FakeDeviceLayer(const FakeDeviceLayer&) = delete;
    FakeDeviceLayer& operator=(const FakeDeviceLayer&) = delete;

    void Arrive(const std::string& bytes);
    int Open() const { return FakeDevice().OpenCount - FakeDevice().CloseCount; }
};

constexpr DeviceHandle FakeHandle = 1000;

// Reads what waits in the device into the port's input ring and commits it,
// as the dispatcher does, for tests that drive the port layer without one.
inline std::int32_t FillInputRing(PortRecord& record)
{
    const std::int32_t moved = ReadIntoRoom(record);
    if (moved > 0)
        record.InRing.Commit(static_cast<std::uint16_t>(moved));
    return moved;
}

} // namespace zop::test
