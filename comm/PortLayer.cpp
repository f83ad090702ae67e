#include "comm/PortLayer.h"

#include <algorithm>
#include <new>
#include <thread>

#include "comm/Allocation.h"
#include "comm/Dispatcher.h"
#include "comm/ErrorCodes.h"
#include "comm/PortTable.h"
#include "comm/Clock.h"
#include "comm/TraceLog.h"

namespace zop {
namespace {

// Claims the lowest free slot; 0 when all are in use.
PortHandle ClaimSlot()
{
    PortTable& table = Ports();
    std::lock_guard lock(table.Mutex);
    for (PortHandle port = 1; port <= MaxPorts; ++port) {
        if (table.InUse[port].load() == 0) {
            table.InUse[port] = 1;
            return port;
        }
    }
    return 0;
}

void FreeSlot(PortHandle port)
{
    PortTable& table = Ports();
    std::lock_guard lock(table.Mutex);
    table.Records[port] = nullptr;
    table.InUse[port] = 0;
}

// Writes the settings record, forcing DTR and RTS control off while the
// port keeps those lines low.
std::int32_t WriteSettings(PortRecord& record)
{
    if (record.DtrState == 0)
        record.Settings.Flags &= ~DcbDtrControlMask;
    if (record.RtsState == 0)
        record.Settings.Flags &= ~DcbRtsControlMask;
    return record.Procs.SetDeviceState(record.Device, &record.Settings) < 0 ? ErrNotSupported : 0;
}

// Coded rates of older drivers, as the settings record may report them.
std::int32_t DecodeBaud(std::uint32_t baud)
{
    if (baud == 0xFEFF)
        return 115200;
    switch (baud) {
    case 0xFF10:
        return 110;
    case 0xFF11:
        return 300;
    case 0xFF12:
        return 600;
    case 0xFF13:
        return 1200;
    case 0xFF14:
        return 2400;
    case 0xFF15:
        return 4800;
    case 0xFF16:
        return 9600;
    case 0xFF17:
        return 14400;
    case 0xFF18:
        return 19200;
    case 0xFF1B:
        return 38400;
    case 0xFF1F:
        return 56000;
    case 0xFF23:
        return 128000;
    case 0xFF27:
        return 256000;
    default:
        return static_cast<std::int32_t>(baud);
    }
}

// Empties the output ring. A writer busy with it stops first: only a running
// output thread can answer the request, and it answers at once.
void EmptyOutputRing(PortRecord& record)
{
    if (Ports().DispatcherMode[record.Handle].load() != 0 && record.FlushRequest.IsCreated()) {
        record.FlushRequest.Set();
        record.Acknowledge.Wait(5000);
    }
    std::lock_guard lock(record.Lock);
    record.OutRing.Reset();
}

// Flushes the output and closes (or, when supplied by the caller, releases)
// the port's device; nothing of the port reaches that handle afterwards.
void CloseDevice(PortRecord& record)
{
    const DeviceHandle device = record.Device.load();
    if (device < 0)
        return;
    if (record.Procs.FlushDevice(device, FlushOutput) == 0)
        EmptyOutputRing(record);
    record.Device = -1;
    if (record.ExternalHandle)
        record.Procs.AttachHandle(device, false);
    else
        record.Procs.CloseDevice(device);
}

bool ConsumeOnRead(const PortRecord& record)
{
    return (record.Options & OptionConsumeOnRead) != 0;
}

std::int32_t PeekAt(const PortRecord& record, std::uint8_t* byte, std::uint16_t n)
{
    if (n == 0)
        return ErrBadArgument;
    if (InputWaiting(record) < n)
        return ErrBufferIsEmpty;
    if (byte)
        *byte = record.InRing.At(static_cast<std::uint16_t>(n - 1));
    return 0;
}

// The port whose receiver the calling thread is during the current delivery
// (see ReaderScope); a delivery that runs inside another one's receiver
// (a modal loop) puts the outer one back when it ends. GetChar keeps the
// stretch of contiguous waiting bytes it last looked at (offsets from the
// tail, valid while the tail stays where it was), so that most of its calls
// take a byte without the ring's arithmetic.
struct ThreadReader {
    PortHandle Port = 0;
    PortRecord* Record = nullptr;
    const std::uint8_t* Stretch = nullptr; // the byte at offset StretchStart
    std::uint16_t StretchStart = 0;
    std::uint16_t StretchLength = 0;
    std::uint32_t StretchTail = 0; // the tail's position when it was looked at
};
constinit thread_local ThreadReader t_reader {};

// Whether the calling thread is the receiver that alone takes bytes during
// the current delivery (see PortRecord::Reader): it reads ahead without the
// lock, as nobody else moves the tail or the read-ahead count meanwhile.
bool IsFastReader(const PortRecord& record)
{
    return record.Reader.load(std::memory_order_relaxed) == ThreadToken()
        && !record.TraceOn.load(std::memory_order_relaxed);
}

// Takes up to `count` waiting bytes: read ahead (consumed when the delivery
// ends) or at once. Returns how many, or -3007 when none waits.
std::int32_t TakeInput(PortRecord& record, std::uint8_t* buffer, std::int32_t count, bool readAhead)
{
    const std::uint16_t skipped = readAhead ? record.ReadAheadCount.load(std::memory_order_relaxed) : 0;
    const std::uint16_t waiting = InputWaiting(record);
    const std::int32_t available = waiting > skipped ? waiting - skipped : 0;
    const auto taken = static_cast<std::uint16_t>(std::min(count, available));
    if (taken == 0)
        return count == 0 ? 0 : ErrBufferIsEmpty;
    if (taken == 1)
        buffer[0] = record.InRing.At(skipped);
    else
        record.InRing.CopyOut(skipped, buffer, taken);
    if (readAhead)
        record.ReadAheadCount.store(static_cast<std::uint16_t>(skipped + taken), std::memory_order_relaxed);
    else
        record.InRing.Consume(taken);
    return taken;
}

std::int32_t CheckFlowArguments(const PortRecord& record, std::uint16_t bufferFull, std::uint16_t bufferResume)
{
    return bufferResume <= bufferFull && bufferFull <= record.InSize ? 0 : ErrBadArgument;
}

std::int32_t Open(PortHandle* port, std::uint16_t dispatcherMode, const char* deviceName, std::int32_t baud,
    std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits, std::uint16_t inSize, std::uint16_t outSize,
    bool onHandle, DeviceHandle suppliedHandle)
{
    const PortHandle handle = ClaimSlot();
    if (handle == 0)
        return ErrNoHandles;
    if (port)
        *port = handle;

    PortRecord* record = AllocationAllowed() ? new (std::nothrow) PortRecord : nullptr;
    if (!record) {
        FreeSlot(handle);
        return ErrOutOfMemory;
    }
    record->Handle = handle;
    record->InSize = inSize;
    record->OutSize = outSize;
    record->Procs = InstalledDeviceProcs();
    record->WaitProcs = InstalledWaitProcs();
    Ports().Records[handle] = record;

    // From here on every failure goes through ClosePort, which frees
    // whatever part of the record has been built.
    auto fail = [handle](std::int32_t code) {
        ClosePort(handle);
        return code;
    };

    if (!record->EventReady.Create(EventReset::Auto) || !record->Continue.Create(EventReset::Auto)
        || !record->Acknowledge.Create(EventReset::Auto) || !record->OutputReady.Create(EventReset::Auto)
        || !record->WriteComplete.Create(EventReset::Manual) || !record->FlushRequest.Create(EventReset::Auto))
        return fail(ErrTooManyOpenFiles);

    if (onHandle) {
        record->ExternalHandle = 1;
        record->Device = suppliedHandle;
        record->Procs.AttachHandle(suppliedHandle, true);
    } else {
        SetLastDeviceError(0);
        const std::int32_t device = record->Procs.OpenDevice(deviceName, inSize, outSize);
        if (device < 0) {
            // A layer that fails without an operating-system error (the null
            // layer) is reported with its own code, never as success.
            const std::int32_t osError = LastDeviceError();
            return fail(device == ErrOutOfMemory ? ErrOutOfMemory : osError != 0 ? -osError : device);
        }
        record->Device = device;
    }

    SetLastDeviceError(0);
    if (!record->Procs.SetupDevice(record->Device, inSize, outSize)) {
        const std::int32_t osError = LastDeviceError();
        return fail(osError != 0 ? -osError : ErrBadArgument);
    }

    record->InRing.Adopt(TryAllocateBytes(InputRingSize), InputRingSize);
    if (!record->InRing.Allocated())
        return fail(ErrOutOfMemory);
    record->OutRing.Adopt(TryAllocateBytes(outSize), outSize);
    if (!record->OutRing.Allocated())
        return fail(ErrOutOfMemory);

    record->Procs.GetDeviceState(record->Device, &record->Settings);
    record->DtrState = 1;
    record->RtsState = 1;
    ClearTriggers(handle);
    record->Options = OptionConsumeOnRead;
    GetModemStatus(handle, 0xF0);

    if (!onHandle) {
        const std::int32_t result = SetLine(handle, baud, parity, dataBits, stopBits);
        if (result < 0)
            return fail(result);
    }

    RefreshDeviceStatus(*record);
    record->OpenTime = Clock::Process().TickCount();
    const std::int32_t mode = StartDispatcher(handle, dispatcherMode);
    if (mode < 0)
        return fail(mode);
    return 0;
}

} // namespace

std::int32_t OpenPort(PortHandle* port, std::uint16_t dispatcherMode, const char* deviceName, std::int32_t baud,
    std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits, std::uint16_t inSize, std::uint16_t outSize)
{
    return Open(port, dispatcherMode, deviceName, baud, parity, dataBits, stopBits, inSize, outSize, false, -1);
}

std::int32_t OpenPortOnHandle(PortHandle* port, std::uint16_t dispatcherMode, const char* deviceName, std::int32_t baud,
    std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits, std::uint16_t inSize, std::uint16_t outSize,
    DeviceHandle device)
{
    return Open(port, dispatcherMode, deviceName, baud, parity, dataBits, stopBits, inSize, outSize, true, device);
}

std::int32_t ClosePort(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    bool delivering = false;
    {
        std::lock_guard lock(record->Lock);
        delivering = record->Delivering.load();
    }
    if (delivering) {
        // Closed from inside a receiver's handler: the device goes now, the
        // record when the delivery has returned (the dispatcher thread then
        // calls ReleasePort). The lock is not held while the device closes:
        // flushing waits for the output thread, which takes it.
        CloseDevice(*record);
        std::lock_guard lock(record->Lock);
        if (record->Delivering.load()) {
            record->ClosePending = true;
            return 0;
        }
    }
    ReleasePort(port);
    return 0;
}

void ReleasePort(PortHandle port)
{
    if (port < 1 || port > MaxPorts)
        return;
    PortRecord* record = Ports().Records[port].load();
    if (!record)
        return;
    // The threads stop before the device closes: a device closed under the
    // event thread's wait would end that thread as a failure, unacknowledged.
    // The device closes before a thread left running may free the record.
    bool closed = false;
    const bool threadsLeft = Ports().DispatcherMode[port].load() != 0 && StopDispatcher(port, [&closed](PortRecord& r) {
        CloseDevice(r);
        closed = true;
    }) > 0;
    if (!closed)
        CloseDevice(*record);
    FreeSlot(port);
    // A thread that would not stop still uses the record: it stays alive.
    if (!threadsLeft)
        delete record;
}

std::int32_t SetupQueues(PortHandle port, std::uint16_t inSize, std::uint16_t outSize)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    if (!record->Procs.SetupDevice(record->Device, inSize, outSize))
        return ErrBadArgument;
    // The output ring keeps the size it was opened with: the output thread
    // may be writing from it right now.
    record->InSize = inSize;
    return 0;
}

std::int32_t SetLine(
    PortHandle port, std::int32_t baud, std::int16_t parity, std::int16_t dataBits, std::int16_t stopBits)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->Procs.GetDeviceState(record->Device, &record->Settings);
    DeviceSettings& s = record->Settings;
    if (baud != LeaveBaud)
        s.BaudRate = static_cast<std::uint32_t>(baud);
    if (parity >= 0 && parity < LeaveParity) {
        s.Parity = static_cast<std::uint8_t>(parity);
        s.Flags = parity != 0 ? (s.Flags | DcbParityCheck) : (s.Flags & ~DcbParityCheck);
    }
    if (dataBits != LeaveDataBits)
        s.ByteSize = static_cast<std::uint8_t>(dataBits);
    if (stopBits != LeaveStopBits)
        s.StopBits = stopBits <= 1 ? OneStopBit : TwoStopBits;
    return WriteSettings(*record);
}

std::int32_t GetLine(
    PortHandle port, std::int32_t* baud, std::int16_t* parity, std::int16_t* dataBits, std::int16_t* stopBits)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    if (record->Procs.GetDeviceState(record->Device, &record->Settings) < 0)
        return ErrNotSupported;
    const DeviceSettings& s = record->Settings;
    if (baud)
        *baud = DecodeBaud(s.BaudRate);
    if (parity)
        *parity = s.Parity;
    if (dataBits)
        *dataBits = s.ByteSize;
    if (stopBits)
        *stopBits = s.StopBits == OneStopBit ? 1 : 2;
    return 0;
}

namespace {

// Raises or drops one output line through the device's escape function and
// remembers its state in `stored` (a field of the record).
template <class StoredState>
std::int32_t SetOutputLine(
    PortHandle port, bool state, std::int32_t raise, std::int32_t drop, StoredState PortRecord::*stored)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    if (record->Procs.EscapeFunction(record->Device, state ? raise : drop) < 0)
        return ErrBadArgument;
    record->*stored = state ? 1 : 0;
    return 0;
}

} // namespace

std::int32_t SetDTR(PortHandle port, bool state)
{
    return SetOutputLine(port, state, EscSetDtr, EscClrDtr, &PortRecord::DtrState);
}

std::int32_t SetRTS(PortHandle port, bool state)
{
    return SetOutputLine(port, state, EscSetRts, EscClrRts, &PortRecord::RtsState);
}

std::int32_t GetModemStatus(PortHandle port, std::uint8_t keepMask)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return 0;
    std::lock_guard lock(record->Lock);
    std::uint8_t lines = 0;
    if (record->WaitProcs.GetModemLines(record->Device, &lines) < 0)
        lines = 0;
    std::uint8_t status = static_cast<std::uint8_t>((record->ModemStatus & 0x0F) | (lines & 0xF0));
    if (record->RingTrailingEdgePending.exchange(false))
        status |= 0x04;
    record->ModemStatus = static_cast<std::uint16_t>(status & keepMask);
    return status;
}

std::int32_t GetLineError(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    RefreshDeviceStatus(*record);
    const std::uint32_t errors = record->LineErrors;
    std::int32_t result = 0;
    if (errors & LineErrReceiveOverflow)
        result = 1;
    else if (errors & LineErrOverrun)
        result = 2;
    else if (errors & LineErrParity)
        result = 3;
    else if (errors & LineErrFraming)
        result = 4;
    else if (errors & LineErrBreak)
        result = 9;
    if (result >= 1 && result <= 4)
        record->LineErrors &= ~0x0Fu;
    return result;
}

std::int32_t CheckLineBreak(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return 0;
    std::lock_guard lock(record->Lock);
    RefreshDeviceStatus(*record);
    if (!(record->LineErrors & LineErrBreak))
        return 0;
    record->LineErrors &= ~LineErrBreak;
    return 1;
}

std::int32_t SetHWFlow(PortHandle port, std::uint16_t bufferFull, std::uint16_t bufferResume, std::uint16_t options)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    if (const std::int32_t bad = CheckFlowArguments(*record, bufferFull, bufferResume))
        return bad;
    record->Procs.GetDeviceState(record->Device, &record->Settings);
    DeviceSettings& s = record->Settings;
    if (options & (HwFlowUseDtr | HwFlowUseRts)) {
        s.Flags &= ~(DcbDtrControlMask | DcbRtsControlMask);
        if (options & HwFlowUseDtr)
            s.Flags |= DcbDtrControlHandshake;
        if (options & HwFlowUseRts)
            s.Flags |= DcbRtsControlHandshake;
        s.XoffLim = static_cast<std::uint16_t>(record->InSize - bufferFull);
        s.XonLim = bufferResume;
    }
    if (options & (HwFlowRequireDsr | HwFlowRequireCts)) {
        s.Flags = (options & HwFlowRequireDsr) ? (s.Flags | DcbOutxDsrFlow) : (s.Flags & ~DcbOutxDsrFlow);
        s.Flags = (options & HwFlowRequireCts) ? (s.Flags | DcbOutxCtsFlow) : (s.Flags & ~DcbOutxCtsFlow);
    }
    return WriteSettings(*record);
}

std::int32_t ClearHWFlow(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->Procs.GetDeviceState(record->Device, &record->Settings);
    DeviceSettings& s = record->Settings;
    s.Flags &= ~(DcbOutxCtsFlow | DcbOutxDsrFlow);
    // Out of handshake, each line follows its stored state again.
    if ((s.Flags & DcbDtrControlMask) == DcbDtrControlHandshake)
        s.Flags = (s.Flags & ~DcbDtrControlMask) | (record->DtrState ? DcbDtrControlEnable : 0);
    if ((s.Flags & DcbRtsControlMask) == DcbRtsControlHandshake)
        s.Flags = (s.Flags & ~DcbRtsControlMask) | (record->RtsState ? DcbRtsControlEnable : 0);
    return WriteSettings(*record);
}

std::int32_t SetSWFlow(PortHandle port, std::uint16_t bufferFull, std::uint16_t bufferResume, std::uint16_t options)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    if (const std::int32_t bad = CheckFlowArguments(*record, bufferFull, bufferResume))
        return bad;
    DeviceSettings& s = record->Settings;
    if (options & SwFlowReceive) {
        s.Flags |= DcbInX;
        s.XoffLim = static_cast<std::uint16_t>(record->InSize - bufferFull);
        s.XonLim = bufferResume;
        s.XonChar = 0x11;
        s.XoffChar = 0x13;
    }
    if (options & SwFlowTransmit) {
        s.Flags |= DcbOutX;
        s.XonChar = 0x11;
        s.XoffChar = 0x13;
    }
    return WriteSettings(*record);
}

std::int32_t ClearSWFlow(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->Settings.Flags &= ~(DcbOutX | DcbInX);
    return WriteSettings(*record);
}

std::int32_t SetFlowChars(PortHandle port, std::uint8_t xonChar, std::uint8_t xoffChar)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->Settings.XonChar = xonChar;
    record->Settings.XoffChar = xoffChar;
    return WriteSettings(*record);
}

std::int32_t SetPortOptions(PortHandle port, std::uint16_t bits)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->Options |= static_cast<std::uint16_t>(bits & ~1u);
    if (bits & OptionConsumeOnRead)
        record->Reader = nullptr; // reads consume at once from here on
    record->Procs.EnableNotification(record->Device, record->Options & 1);
    return 0;
}

std::int32_t ClearPortOptions(PortHandle port, std::uint16_t bits)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    record->Options &= static_cast<std::uint16_t>(~bits);
    record->Procs.EnableNotification(record->Device, record->Options & 1);
    return 0;
}

std::int32_t SetLineBreak(PortHandle port, bool on)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    const std::int32_t result = on ? record->Procs.SetBreak(record->Device) : record->Procs.ClearBreak(record->Device);
    return result < 0 ? ErrNotSupported : 0;
}

std::int32_t FlushPort(PortHandle port, std::int32_t direction)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    // Not under the lock: flushing the output waits for the output thread,
    // which takes the lock to move the ring positions.
    const std::int32_t result = record->Procs.FlushDevice(record->Device, direction);
    if (result != 0)
        return result < 0 ? result : -result;
    if (direction == FlushOutput) {
        EmptyOutputRing(*record);
    } else {
        std::lock_guard lock(record->Lock);
        record->InRing.Discard();
        // A receiver that read ahead before the flush reads on from the new
        // tail: the bytes it read ahead are gone.
        record->ReadAheadCount.store(0, std::memory_order_relaxed);
        record->ScanPosition = record->InRing.Head();
        record->LastAvailPosition = record->ScanPosition;
    }
    return 0;
}

ReaderScope::ReaderScope(PortHandle port, PortRecord& record)
    : m_record(record)
    , m_savedPort(t_reader.Port)
    , m_savedRecord(t_reader.Record)
{
    record.Reader.store(ThreadToken(), std::memory_order_relaxed);
    t_reader = { port, &record };
}

ReaderScope::~ReaderScope()
{
    m_record.Reader.store(nullptr, std::memory_order_relaxed);
    t_reader = { m_savedPort, m_savedRecord };
}

namespace {

// GetChar outside the hot path: through the port table, under the lock.
// Kept out of line so that the hot path needs no registers saved.
[[gnu::noinline]] std::int32_t GetCharLocked(PortHandle port, std::uint8_t* byte)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::uint8_t value = 0;
    std::lock_guard lock(record->Lock);
    const std::int32_t taken = TakeInput(*record, &value, 1, record->ReadAhead && !ConsumeOnRead(*record));
    if (taken < 0)
        return taken;
    if (byte)
        *byte = value;
    if (record->TraceOn.load())
        RecordTraceEntry(*record, 'R', value);
    return 0;
}

// Takes the byte `inStretch` places into the stretch, at read-ahead `offset`.
inline std::int32_t TakeFromStretch(
    const ThreadReader& reader, PortRecord& record, std::uint16_t offset, std::uint16_t inStretch, std::uint8_t* byte)
{
    const std::uint8_t value = reader.Stretch[inStretch];
    record.ReadAheadCount.store(static_cast<std::uint16_t>(offset + 1), std::memory_order_relaxed);
    if (byte)
        *byte = value;
    return 0;
}

// GetChar past the stretch it looked at: looks at the contiguous bytes
// waiting from `offset` and takes the first. Out of line, like GetCharLocked.
[[gnu::noinline]] std::int32_t GetCharNewStretch(
    ThreadReader& reader, PortRecord& record, std::uint16_t offset, std::uint8_t* byte)
{
    reader.StretchTail = record.InRing.TailPosition();
    reader.StretchStart = offset;
    reader.Stretch = record.InRing.Waiting(offset, &reader.StretchLength);
    if (reader.StretchLength == 0)
        return ErrBufferIsEmpty;
    return TakeFromStretch(reader, record, offset, 0, byte);
}

} // namespace

std::int32_t GetChar(PortHandle port, std::uint8_t* byte)
{
    // One byte per call is the hot path of a handler that reads byte by
    // byte: the receiver of the current delivery on the delivering thread
    // reads ahead without the port table and without the lock. The record
    // cannot go away during its delivery (a close waits for its end); a
    // close or tracing begun meanwhile takes the general path.
    ThreadReader& reader = t_reader;
    if (reader.Port != port || !reader.Record || reader.Record->ClosePending.load(std::memory_order_relaxed)
        || reader.Record->TraceOn.load(std::memory_order_relaxed))
        return GetCharLocked(port, byte);
    PortRecord& record = *reader.Record;
    const std::uint16_t offset = record.ReadAheadCount.load(std::memory_order_relaxed);
    const auto inStretch = static_cast<std::uint16_t>(offset - reader.StretchStart);
    if (inStretch >= reader.StretchLength || record.InRing.TailPosition() != reader.StretchTail)
        return GetCharNewStretch(reader, record, offset, byte);
    return TakeFromStretch(reader, record, offset, inStretch, byte);
}

std::int32_t GetBlock(PortHandle port, std::uint8_t* buffer, std::int32_t count)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    if (!buffer || count < 0)
        return ErrBadArgument;
    if (IsFastReader(*record))
        return TakeInput(*record, buffer, count, true);
    std::lock_guard lock(record->Lock);
    const std::int32_t taken = TakeInput(*record, buffer, count, record->ReadAhead && !ConsumeOnRead(*record));
    if (taken > 0 && record->TraceOn.load()) {
        for (std::int32_t i = 0; i < taken; ++i)
            RecordTraceEntry(*record, 'R', buffer[i]);
    }
    return taken;
}

std::int32_t PeekCharAt(PortHandle port, std::uint8_t* byte, std::uint16_t n)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    return PeekAt(*record, byte, n);
}

std::int32_t InBuffUsed(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return 0;
    if (IsFastReader(*record))
        return InputWaiting(*record) - record->ReadAheadCount.load(std::memory_order_relaxed);
    std::lock_guard lock(record->Lock);
    std::int32_t waiting = InputWaiting(*record);
    if (record->ReadAhead && !ConsumeOnRead(*record))
        waiting -= record->ReadAheadCount;
    return waiting;
}

bool PortDeviceLost(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    return record && record->DeviceLost.load();
}

std::int32_t PutBlock(PortHandle port, const std::uint8_t* bytes, std::int32_t count)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    if (count < 0 || (count > 0 && !bytes))
        return ErrBadArgument;
    if (record->Device.load() < 0)
        return ErrDeviceNotOpen;
    if (count == 0)
        return 0;
    {
        std::lock_guard lock(record->Lock);
        // More than the free room would overwrite bytes not yet sent.
        if (count > record->OutRing.Free() || !record->OutRing.Put(bytes, static_cast<std::uint16_t>(count)))
            return ErrBadArgument;
        if (record->TraceOn.load())
            for (std::int32_t i = 0; i < count; ++i)
                RecordTraceEntry(*record, 'T', bytes[i]);
    }
    record->OutputReady.Set();
    return count;
}

std::int32_t OutBuffUsed(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return 0;
    std::lock_guard lock(record->Lock);
    if (RefreshDeviceStatus(*record) < 0)
        return 0;
    return static_cast<std::int32_t>(record->Status.OutQueue);
}

std::int32_t OutBuffFree(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return 0;
    std::lock_guard lock(record->Lock);
    if (RefreshDeviceStatus(*record) < 0)
        return 0;
    return static_cast<std::int32_t>(record->OutSize) - static_cast<std::int32_t>(record->Status.OutQueue);
}

std::uint32_t ElapsedTicks(PortHandle port)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return 0;
    return (Clock::Process().TickCount() - record->OpenTime) & 0x7FFFFFFFu;
}

std::int32_t RefreshDeviceStatus(PortRecord& record)
{
    std::lock_guard lock(record.Lock);
    DeviceStatus status;
    const std::int32_t errors = record.Procs.GetDeviceError(record.Device, &status);
    if (errors < 0)
        return errors;
    // The device knows its own queues; the output ring is the port's.
    status.OutQueue = record.OutRing.Used();
    record.Status = status;
    record.LineErrors |= static_cast<std::uint32_t>(errors) & 0x1F;
    return errors;
}

std::uint16_t InputWaiting(const PortRecord& record)
{
    return record.InRing.Used();
}

std::int32_t ReadIntoRoom(PortRecord& record)
{
    ByteRing& ring = record.InRing;
    if (ring.Full())
        return 0;
    if (RefreshDeviceStatus(record) < 0)
        return 0;
    // What the device holds, within the room: at most two contiguous reads,
    // from the head to the tail or the ring's end, then from the ring's
    // start. Each asks for its whole room and takes what the device has by
    // then, also bytes that came after the count was taken, so that a batch
    // the device was still storing is not split over two events.
    const std::uint32_t wanted = std::min<std::uint32_t>(record.Status.InQueue, ring.Free());
    std::int32_t moved = 0;
    while (static_cast<std::uint32_t>(moved) < wanted) {
        std::uint16_t room = 0;
        std::uint8_t* into = ring.RoomAfter(static_cast<std::uint16_t>(moved), &room);
        const auto asked = static_cast<std::int32_t>(room);
        std::int32_t got = asked == 0 ? 0 : record.Procs.ReadDevice(record.Device, into, asked);
        if (got < 0) {
            // A failed read moves nothing; the next device event reads again.
            record.Procs.GetEventMask(record.Device, 0xFFFFFFFFu);
            got = 0;
        }
        if (record.LogOn.load())
            RecordLogEntry(record, LogDispatch, LogReadCom, static_cast<std::uint16_t>(got), into,
                static_cast<std::uint16_t>(got));
        if (got == 0)
            break;
        moved += got;
        if (got < asked)
            break;
    }
    return moved;
}

} // namespace zop
