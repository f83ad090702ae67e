#pragma once
// The device layer: the only place where the serial library touches the
// operating system's serial device. A layer is a table of 19 operations
// (DeviceProcs) plus the few calls the dispatcher threads make on the device
// (DeviceWaitProcs). The port layer copies the installed tables into every
// port at open, so a port keeps the layer it was opened with. A layer sees
// only its device handle and the buffers it is given: the port's rings are
// the port layer's.
#include <cstdint>

namespace zop {

class SyncEvent;

// The device handle a layer hands out (a file descriptor for the termios
// layer); negative means no device.
using DeviceHandle = std::int32_t;

// The serial settings record, laid out like the Win32 DCB.
struct DeviceSettings {
    std::uint32_t Length = sizeof(DeviceSettings);
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t Reserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t Reserved1 = 0;
};

// Flag bits of DeviceSettings::Flags
constexpr std::uint32_t DcbBinary = 0x0001;
constexpr std::uint32_t DcbParityCheck = 0x0002;
constexpr std::uint32_t DcbOutxCtsFlow = 0x0004;
constexpr std::uint32_t DcbOutxDsrFlow = 0x0008;
constexpr std::uint32_t DcbDtrControlMask = 0x0030;
constexpr std::uint32_t DcbDtrControlEnable = 0x0010;
constexpr std::uint32_t DcbDtrControlHandshake = 0x0020;
constexpr std::uint32_t DcbDsrSensitivity = 0x0040;
constexpr std::uint32_t DcbTxContinueOnXoff = 0x0080;
constexpr std::uint32_t DcbOutX = 0x0100;
constexpr std::uint32_t DcbInX = 0x0200;
constexpr std::uint32_t DcbRtsControlMask = 0x3000;
constexpr std::uint32_t DcbRtsControlEnable = 0x1000;
constexpr std::uint32_t DcbRtsControlHandshake = 0x2000;
constexpr std::uint32_t DcbRtsControlToggle = 0x3000;

constexpr std::uint8_t OneStopBit = 0;
constexpr std::uint8_t One5StopBits = 1;
constexpr std::uint8_t TwoStopBits = 2;

// Line error bits returned by GetDeviceError
constexpr std::uint32_t LineErrReceiveOverflow = 0x01;
constexpr std::uint32_t LineErrOverrun = 0x02;
constexpr std::uint32_t LineErrParity = 0x04;
constexpr std::uint32_t LineErrFraming = 0x08;
constexpr std::uint32_t LineErrBreak = 0x10;

// Device event bits (event mask and event word)
constexpr std::uint32_t EvRxChar = 0x0001;
constexpr std::uint32_t EvRxFlag = 0x0002;
constexpr std::uint32_t EvTxEmpty = 0x0004;
constexpr std::uint32_t EvCts = 0x0008;
constexpr std::uint32_t EvDsr = 0x0010;
constexpr std::uint32_t EvRlsd = 0x0020;
constexpr std::uint32_t EvBreak = 0x0040;
constexpr std::uint32_t EvErr = 0x0080;
constexpr std::uint32_t EvRing = 0x0100;
constexpr std::uint32_t EvRingTrailingEdge = 0x2000;
constexpr std::uint32_t DeviceEventMask = 0x21F9;
constexpr std::uint32_t DeviceEventMaskNoTrailingEdge = 0x01F9;

// Modem input lines, in the high nibble of a 16550 modem status register
constexpr std::uint8_t ModemCts = 0x10;
constexpr std::uint8_t ModemDsr = 0x20;
constexpr std::uint8_t ModemRing = 0x40;
constexpr std::uint8_t ModemDcd = 0x80;

// EscapeFunction codes
constexpr std::int32_t EscSetXoff = 1;
constexpr std::int32_t EscSetXon = 2;
constexpr std::int32_t EscSetRts = 3;
constexpr std::int32_t EscClrRts = 4;
constexpr std::int32_t EscSetDtr = 5;
constexpr std::int32_t EscClrDtr = 6;
constexpr std::int32_t EscSetBreak = 8;
constexpr std::int32_t EscClrBreak = 9;

// FlushDevice directions
constexpr std::int32_t FlushOutput = 0;
constexpr std::int32_t FlushInput = 1;

// Snapshot of the device filled by GetDeviceError.
struct DeviceStatus {
    std::uint32_t Errors = 0;
    std::uint32_t InQueue = 0; // bytes waiting in the device input queue
    std::uint32_t OutQueue = 0; // bytes in the port's output ring (filled in by the port layer)
};

// The 19 operations, in slot order.
struct DeviceProcs {
    std::int32_t (*BuildDCB)(const char* definition, DeviceSettings* settings); // 0: 0 or -1
    std::int32_t (*ClearBreak)(DeviceHandle device); // 1: 0 or -1
    std::int32_t (*CloseDevice)(DeviceHandle device); // 2: 0 or -1
    std::int32_t (*EscapeFunction)(DeviceHandle device, std::int32_t code); // 3: 0
    // 4: purges the device's own queue in that direction; 0 or an OS error
    std::int32_t (*FlushDevice)(DeviceHandle device, std::int32_t direction);
    std::int32_t (*GetDeviceError)(DeviceHandle device, DeviceStatus* status); // 5: error bits or -103
    std::int32_t (*GetEventMask)(DeviceHandle device, std::uint32_t bitsToClear); // 6: 0
    std::int32_t (*GetDeviceState)(DeviceHandle device, DeviceSettings* settings); // 7: 0 or -1
    std::int32_t (*OpenDevice)(const char* name, std::uint16_t inSize, std::uint16_t outSize); // 8: handle, -1, -8
    std::int32_t (*ReadDevice)(DeviceHandle device, std::uint8_t* buffer, std::int32_t count); // 9: count or -103
    std::int32_t (*SetBreak)(DeviceHandle device); // 10: 0 or -1
    std::int32_t (*SetEventMask)(DeviceHandle device, std::uint32_t mask); // 11: 0
    std::int32_t (*SetDeviceState)(DeviceHandle device, const DeviceSettings* settings); // 12: 0 or -1
    std::int32_t (*TransmitChar)(DeviceHandle device, std::uint8_t byte); // 13: 0 or -1
    std::int32_t (*UngetChar)(DeviceHandle device, std::uint8_t byte); // 14: -3002
    // 15: writes what the device takes now (without waiting); count written, or -103
    std::int32_t (*WriteDevice)(DeviceHandle device, const std::uint8_t* bytes, std::int32_t count);
    void (*EnableNotification)(DeviceHandle device, std::int32_t flag); // 16
    void (*AttachHandle)(DeviceHandle device, bool attach); // 17
    bool (*SetupDevice)(DeviceHandle device, std::uint16_t inSize, std::uint16_t outSize); // 18
};
static_assert(sizeof(DeviceProcs) == 19 * sizeof(void*), "DeviceProcs has exactly 19 slots");

// What the dispatcher threads need from the device beyond the 19 operations
// (on Win32 these were direct platform calls: WaitCommEvent,
// GetCommModemStatus, WriteFile).
struct DeviceWaitProcs {
    // Blocks until an event of the mask last set with SetEventMask occurs and
    // stores its bits (0 when the wait was ended by SetEventMask, by
    // CloseDevice or by AttachHandle release). Result 0, or negative when the
    // device has vanished or is not known: the waiting thread must end then.
    std::int32_t (*WaitDeviceEvent)(DeviceHandle device, std::uint32_t* eventWord);
    // The modem input lines (ModemCts | ModemDsr | ModemRing | ModemDcd);
    // 0 lines for a device without modem lines. Result 0 or -103.
    std::int32_t (*GetModemLines)(DeviceHandle device, std::uint8_t* lines);
    // Writes up to count bytes in order, waiting up to timeoutMs for room.
    // Result: bytes written (> 0), 0 on time-out or while `cancel` is
    // signalled (the signal is left for the caller), negative when the device
    // fails.
    std::int32_t (*WriteOutput)(DeviceHandle device, const std::uint8_t* bytes, std::int32_t count,
        const SyncEvent* cancel, std::int32_t timeoutMs);
    // Waits up to timeoutMs (negative = without limit) until the device
    // holds received bytes not yet read or `wake` is signalled (the signal is
    // left for the caller). Result: the bits ReceivedBytesWait and
    // WakeSignalled (0 on time-out), or negative when the device has vanished
    // or is not known. The dispatcher thread then reads received bytes
    // itself, without an event (EvRxChar) from WaitDeviceEvent. Null in a
    // layer that reports received bytes only as events.
    std::int32_t (*WaitReceived)(DeviceHandle device, const SyncEvent* wake, std::int32_t timeoutMs);
    // A descriptor that becomes readable when the device receives bytes,
    // for a receiver's thread to watch beside its own events; -1 when there
    // is none. Null in a layer without one.
    int (*ReceiveDescriptor)(DeviceHandle device);
};

// Result bits of WaitReceived
constexpr std::int32_t ReceivedBytesWait = 1;
constexpr std::int32_t WakeSignalled = 2;

// The installed layer (process-wide; installing overwrites all slots).
// The null layer is in place until another is installed.
DeviceProcs InstalledDeviceProcs();
DeviceWaitProcs InstalledWaitProcs();
void InstallDeviceLayer(const DeviceProcs& procs, const DeviceWaitProcs& waitProcs);

// The null layer: every operation fails with -3001 except GetDeviceState (0,
// record untouched), EnableNotification and AttachHandle (nothing) and
// SetupDevice (false).
DeviceProcs NullDeviceProcs();
DeviceWaitProcs NullWaitProcs();
void InstallNullLayer();

// The last operating-system error of the calling thread, as a Win32 error
// number (2 file not found, 3 path not found, 5 access denied, ...). Set by
// the layers when an operation fails; the port layer negates it.
std::int32_t LastDeviceError();
void SetLastDeviceError(std::int32_t win32Error);

} // namespace zop
