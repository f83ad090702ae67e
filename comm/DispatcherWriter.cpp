// The output thread: writes the output ring when output is queued, and
// answers flush requests.
#include "comm/DispatcherControl.h"

#include "comm/SyncEvent.h"

#include <mutex>

namespace zop::dispatcher {

namespace {

void RunWriter(PortRecord& record)
{
    for (;;) {
        const std::uint8_t* chunk = nullptr;
        std::int32_t length = 0;
        {
            std::lock_guard lock(record.Lock);
            std::uint16_t waiting = 0;
            chunk = record.OutRing.Waiting(0, &waiting);
            if (waiting == 0)
                return;
            length = waiting;
        }
        const std::int32_t written = record.WaitProcs.WriteOutput(
            record.Device, chunk, length, &record.FlushRequest, static_cast<std::int32_t>(WriteTimeoutMs));
        if (written > 0) {
            std::lock_guard lock(record.Lock);
            record.OutRing.Consume(static_cast<std::uint16_t>(written));
            if (record.OutRing.Empty())
                record.OutputSent = true;
            continue;
        }
        if (written == 0 && record.FlushRequest.IsSet()) {
            record.FlushRequest.Reset();
            record.Acknowledge.Set();
            return;
        }
        if (written < 0 || record.StopFlag || record.ClosePending)
            return; // a failing device is not written to again until more output is queued
        // Time-out: try the chunk again.
    }
}

} // namespace

void OutputThreadMain(std::shared_ptr<Control> control)
{
    NameThisThread("comm-output");
    PortRecord& record = *control->Record;
    record.Acknowledge.Set();
    for (;;) {
        const int which = WaitForAnyEvent({ &record.OutputReady, &record.FlushRequest }, -1);
        if (which == 1)
            record.Acknowledge.Set();
        if (record.StopFlag || record.ClosePending)
            break;
        if (which == 0 && record.WaitProcs.WriteOutput)
            RunWriter(record);
    }
    ThreadEnded(control, OutputThreadIndex);
}

} // namespace zop::dispatcher
