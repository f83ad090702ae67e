// The termios device layer. Each device handle it hands out (the file
// descriptor) has a PosixDevice record in a process-wide list; threads that
// use a device hold a shared reference, so CloseDevice can remove the record
// and wake its waiters while a dispatcher thread is still inside a call.
#include "comm/PosixLayer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "comm/DevicePath.h"
#include "comm/ErrorCodes.h"
#include "comm/SyncEvent.h"

namespace zop {
namespace {

// Win32 error numbers used here
constexpr std::int32_t WinFileNotFound = 2;
constexpr std::int32_t WinPathNotFound = 3;
constexpr std::int32_t WinTooManyOpenFiles = 4;
constexpr std::int32_t WinAccessDenied = 5;
constexpr std::int32_t WinInvalidHandle = 6;
constexpr std::int32_t WinNotEnoughMemory = 8;
constexpr std::int32_t WinInvalidParameter = 87;
constexpr std::int32_t WinDiskFull = 101;
constexpr std::int32_t WinWriteProtected = 150;
constexpr std::int32_t WinGeneralFailure = 162;

// How often the event wait looks at lines and counters that poll() cannot
// watch, and at bytes that are still waiting in the device queue.
constexpr int RecheckMs = 20;

struct PosixDevice {
    explicit PosixDevice(int fd)
        : Fd(fd)
    {
    }
    ~PosixDevice()
    {
        if (WakeFd >= 0)
            close(WakeFd);
        if (Fd >= 0) {
            GiveBack();
            close(Fd);
        }
    }
    PosixDevice(const PosixDevice&) = delete;
    PosixDevice& operator=(const PosixDevice&) = delete;

    // Gives the terminal back to others: its exclusive mode, our lock and
    // its output if we held it back. A terminal whose other end stays open
    // (a pseudo-terminal, a modem server) keeps these past our close; left
    // set, nobody without admin rights could open it again, not even we,
    // and whoever did would find its output stopped. Done when the
    // device is closed, not when its descriptor finally goes: another thread
    // may still be inside a call and keep the descriptor a while, and the
    // terminal must be free at once, and its mode left alone once another
    // holder has set it again.
    void GiveBack()
    {
        if (Exclusive)
            ioctl(Fd, TIOCNXCL);
        if (Locked)
            flock(Fd, LOCK_UN);
        if (OutputHeld.exchange(false))
            tcflow(Fd, TCOON);
        Exclusive = false;
        Locked = false;
    }

    void Wake() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = write(WakeFd, &one, sizeof one);
    }

    int Fd;
    int WakeFd = -1;
    bool HasModemLines = false;
    bool HasCounters = false;
    // Set by the opener, cleared by the closer (who holds a reference, so the
    // destructor runs after it).
    bool Exclusive = false; // we set the terminal's exclusive mode
    bool Locked = false; // we hold the terminal's flock
    std::atomic<bool> OutputHeld { false }; // we stopped the terminal's output (as by XOFF)
    std::atomic<std::uint32_t> Mask { 0 };
    std::atomic<std::uint32_t> PendingEvents { 0 };
    std::atomic<bool> Closed { false };
    std::atomic<bool> Vanished { false };
    std::atomic<std::uint32_t> ReportedQueue { 0 }; // input queue when the last byte event was given

    std::mutex StateMutex; // guards the fields below
    DeviceSettings Shadow {}; // the fields termios cannot hold
    std::uint8_t LastLines = 0;
    serial_icounter_struct LastCounts {};
    std::uint32_t PendingErrors = 0;
};

using DevicePtr = std::shared_ptr<PosixDevice>;

struct DeviceList {
    std::mutex Mutex;
    std::vector<DevicePtr> Devices;
};

DeviceList& Devices()
{
    static DeviceList list;
    return list;
}

DevicePtr FindDevice(DeviceHandle handle)
{
    DeviceList& list = Devices();
    std::lock_guard lock(list.Mutex);
    for (const DevicePtr& device : list.Devices)
        if (device->Fd == handle)
            return device;
    return nullptr;
}

DevicePtr RemoveDevice(DeviceHandle handle)
{
    DeviceList& list = Devices();
    std::lock_guard lock(list.Mutex);
    const auto found = std::find_if(
        list.Devices.begin(), list.Devices.end(), [handle](const DevicePtr& d) { return d->Fd == handle; });
    if (found == list.Devices.end())
        return nullptr;
    DevicePtr device = *found;
    list.Devices.erase(found);
    return device;
}

void FailWithErrno(int error)
{
    SetLastDeviceError(TranslateErrno(error));
}

struct BaudEntry {
    std::uint32_t Baud;
    speed_t Speed;
};

constexpr BaudEntry BaudTable[] = {
    { 50, B50 },
    { 75, B75 },
    { 110, B110 },
    { 134, B134 },
    { 150, B150 },
    { 200, B200 },
    { 300, B300 },
    { 600, B600 },
    { 1200, B1200 },
    { 1800, B1800 },
    { 2400, B2400 },
    { 4800, B4800 },
    { 9600, B9600 },
    { 19200, B19200 },
    { 38400, B38400 },
    { 57600, B57600 },
    { 115200, B115200 },
    { 230400, B230400 },
    { 460800, B460800 },
    { 500000, B500000 },
    { 576000, B576000 },
    { 921600, B921600 },
    { 1000000, B1000000 },
    { 1152000, B1152000 },
    { 1500000, B1500000 },
    { 2000000, B2000000 },
    { 2500000, B2500000 },
    { 3000000, B3000000 },
    { 3500000, B3500000 },
    { 4000000, B4000000 },
};

std::uint8_t ReadModemLines(int fd, bool* available)
{
    int bits = 0;
    if (ioctl(fd, TIOCMGET, &bits) < 0) {
        // Pseudo-terminals and some adapters have no modem lines.
        if (available)
            *available = false;
        return 0;
    }
    if (available)
        *available = true;
    std::uint8_t lines = 0;
    if (bits & TIOCM_CTS)
        lines |= ModemCts;
    if (bits & TIOCM_DSR)
        lines |= ModemDsr;
    if (bits & TIOCM_RNG)
        lines |= ModemRing;
    if (bits & TIOCM_CD)
        lines |= ModemDcd;
    return lines;
}

void SetModemLine(int fd, int line, bool on)
{
    // Devices without modem lines (pseudo-terminals) refuse; nothing depends on it.
    [[maybe_unused]] const int ignored = ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

std::uint32_t InputQueue(int fd)
{
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) < 0 || count < 0)
        return 0;
    return static_cast<std::uint32_t>(count);
}

// Line errors that the driver counted since the last look (real UARTs only).
std::uint32_t TakeCounterErrors(PosixDevice& device)
{
    if (!device.HasCounters)
        return 0;
    serial_icounter_struct now {};
    if (ioctl(device.Fd, TIOCGICOUNT, &now) < 0)
        return 0;
    const serial_icounter_struct& before = device.LastCounts;
    std::uint32_t errors = 0;
    if (now.buf_overrun != before.buf_overrun)
        errors |= LineErrReceiveOverflow;
    if (now.overrun != before.overrun)
        errors |= LineErrOverrun;
    if (now.parity != before.parity)
        errors |= LineErrParity;
    if (now.frame != before.frame)
        errors |= LineErrFraming;
    if (now.brk != before.brk)
        errors |= LineErrBreak;
    device.LastCounts = now;
    return errors;
}

// Raw binary mode: the serial layer never edits, echoes or translates bytes.
void MakeRaw(termios& tio)
{
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    // With O_NONBLOCK a read never waits; VMIN 1 makes an empty queue
    // answer EAGAIN, so that a read of 0 bytes means end of file.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

} // namespace

DeviceSettings SettingsFromTermios(const termios& tio, const DeviceSettings& shadow)
{
    DeviceSettings s = shadow;
    s.Length = sizeof(DeviceSettings);
    s.BaudRate = BaudForSpeed(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        s.ByteSize = 5;
        break;
    case CS6:
        s.ByteSize = 6;
        break;
    case CS7:
        s.ByteSize = 7;
        break;
    default:
        s.ByteSize = 8;
        break;
    }
    if (!(tio.c_cflag & PARENB))
        s.Parity = 0;
    else if (tio.c_cflag & CMSPAR)
        s.Parity = (tio.c_cflag & PARODD) ? 3 : 4;
    else
        s.Parity = (tio.c_cflag & PARODD) ? 1 : 2;
    if (!(tio.c_cflag & CSTOPB))
        s.StopBits = OneStopBit;
    else if (shadow.StopBits == One5StopBits && s.ByteSize == 5)
        s.StopBits = One5StopBits;
    else
        s.StopBits = TwoStopBits;
    s.Flags |= DcbBinary;
    s.Flags = (tio.c_iflag & INPCK) ? (s.Flags | DcbParityCheck) : (s.Flags & ~DcbParityCheck);
    s.Flags = (tio.c_iflag & IXON) ? (s.Flags | DcbOutX) : (s.Flags & ~DcbOutX);
    s.Flags = (tio.c_iflag & IXOFF) ? (s.Flags | DcbInX) : (s.Flags & ~DcbInX);
    if (tio.c_cflag & CRTSCTS) {
        if (!(s.Flags & DcbOutxCtsFlow) && (s.Flags & DcbRtsControlMask) != DcbRtsControlHandshake)
            s.Flags = (s.Flags & ~DcbRtsControlMask) | DcbOutxCtsFlow | DcbRtsControlHandshake;
    } else {
        s.Flags &= ~DcbOutxCtsFlow;
        if ((s.Flags & DcbRtsControlMask) == DcbRtsControlHandshake)
            s.Flags = (s.Flags & ~DcbRtsControlMask) | DcbRtsControlEnable;
    }
    s.XonChar = tio.c_cc[VSTART];
    s.XoffChar = tio.c_cc[VSTOP];
    return s;
}

bool SettingsToTermios(const DeviceSettings& s, termios& tio)
{
    const speed_t speed = SpeedForBaud(s.BaudRate);
    if (speed == 0 || s.Parity > 4 || s.ByteSize < 5 || s.ByteSize > 8 || s.StopBits > TwoStopBits
        || (s.StopBits == One5StopBits && s.ByteSize != 5) || (s.StopBits == TwoStopBits && s.ByteSize == 5)) {
        SetLastDeviceError(WinInvalidParameter);
        return false;
    }
    MakeRaw(tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    static constexpr tcflag_t Sizes[] = { CS5, CS6, CS7, CS8 };
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | Sizes[s.ByteSize - 5];
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (s.Parity) {
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (s.StopBits != OneStopBit)
        tio.c_cflag |= CSTOPB;
    if ((s.Flags & DcbOutxCtsFlow) || (s.Flags & DcbRtsControlMask) == DcbRtsControlHandshake)
        tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    if (s.Flags & DcbOutX)
        tio.c_iflag |= IXON;
    if (s.Flags & DcbInX)
        tio.c_iflag |= IXOFF;
    if ((s.Flags & DcbParityCheck) && s.Parity != 0)
        tio.c_iflag |= INPCK;
    tio.c_cc[VSTART] = s.XonChar;
    tio.c_cc[VSTOP] = s.XoffChar;
    return true;
}

namespace {

// The parts of two settings that a device must keep as they were set
// (pseudo-terminals, for one, always use eight bits without parity).
bool SameLineSettings(const termios& a, const termios& b)
{
    constexpr tcflag_t Line = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr tcflag_t Flow = IXON | IXOFF;
    return cfgetospeed(&a) == cfgetospeed(&b) && (a.c_cflag & Line) == (b.c_cflag & Line)
        && (a.c_iflag & Flow) == (b.c_iflag & Flow) && a.c_cc[VSTART] == b.c_cc[VSTART]
        && a.c_cc[VSTOP] == b.c_cc[VSTOP];
}

// Exclusive and locked only for a device this layer opened itself.
DevicePtr Adopt(int fd, bool exclusive = false, bool locked = false)
{
    auto device = std::make_shared<PosixDevice>(fd);
    device->WakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (device->WakeFd < 0) {
        device->Fd = -1; // still the caller's to close
        return nullptr;
    }
    device->Exclusive = exclusive;
    device->Locked = locked;
    device->LastLines = ReadModemLines(fd, &device->HasModemLines);
    device->HasCounters = ioctl(fd, TIOCGICOUNT, &device->LastCounts) == 0;
    termios tio {};
    if (tcgetattr(fd, &tio) == 0) {
        DeviceSettings shadow;
        shadow.Flags = DcbBinary | DcbDtrControlEnable | DcbRtsControlEnable;
        shadow.XonLim = 2048;
        shadow.XoffLim = 512;
        device->Shadow = SettingsFromTermios(tio, shadow);
    }
    std::lock_guard lock(Devices().Mutex);
    Devices().Devices.push_back(device);
    return device;
}

// Device operations

std::int32_t PosixBuildDCB(const char* definition, DeviceSettings* settings)
{
    if (!definition || !settings)
        return -1;
    // "[COMn:]baud[,parity[,data[,stop]]]", parity one of n o e m s.
    std::string text(definition);
    if (const auto colon = text.find(':'); colon != std::string::npos)
        text = text.substr(colon + 1);
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == ',')
            parts.emplace_back();
        else if (c != ' ')
            parts.back() += c;
    }
    if (parts.size() > 4 || parts[0].empty())
        return -1;
    DeviceSettings s = *settings;
    // Digits only: a sign or a number past 32 bits would otherwise wrap round
    // to a rate the text never gave ("-4294957696" is not 9600).
    const std::string& rate = parts[0];
    if (rate.size() > 10 || rate.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const unsigned long long baud = std::stoull(rate);
    if (baud > 0xFFFFFFFFull || SpeedForBaud(static_cast<std::uint32_t>(baud)) == 0)
        return -1;
    s.BaudRate = static_cast<std::uint32_t>(baud);
    if (parts.size() > 1) {
        static const std::string Letters = "noems";
        const std::string& p = parts[1];
        const auto index = p.size() == 1 ? Letters.find(static_cast<char>(p[0] | 0x20)) : std::string::npos;
        if (index == std::string::npos)
            return -1;
        s.Parity = static_cast<std::uint8_t>(index);
    }
    if (parts.size() > 2) {
        if (parts[2].size() != 1 || parts[2][0] < '5' || parts[2][0] > '8')
            return -1;
        s.ByteSize = static_cast<std::uint8_t>(parts[2][0] - '0');
    }
    if (parts.size() > 3) {
        if (parts[3] == "1")
            s.StopBits = OneStopBit;
        else if (parts[3] == "1.5")
            s.StopBits = One5StopBits;
        else if (parts[3] == "2")
            s.StopBits = TwoStopBits;
        else
            return -1;
    }
    *settings = s;
    return 0;
}

std::int32_t PosixClearBreak(DeviceHandle handle)
{
    const DevicePtr device = FindDevice(handle);
    return device && ioctl(device->Fd, TIOCCBRK) == 0 ? 0 : -1;
}

std::int32_t PosixSetBreak(DeviceHandle handle)
{
    const DevicePtr device = FindDevice(handle);
    return device && ioctl(device->Fd, TIOCSBRK) == 0 ? 0 : -1;
}

std::int32_t PosixCloseDevice(DeviceHandle handle)
{
    const DevicePtr device = RemoveDevice(handle);
    if (!device) {
        SetLastDeviceError(WinInvalidHandle);
        return -1;
    }
    device->Closed = true;
    device->GiveBack();
    device->Wake();
    // The descriptor closes when the last thread inside a call lets go.
    return 0;
}

std::int32_t PosixEscapeFunction(DeviceHandle handle, std::int32_t code)
{
    const DevicePtr device = FindDevice(handle);
    if (!device)
        return 0;
    switch (code) {
    case EscSetXoff:
        if (tcflow(device->Fd, TCOOFF) == 0)
            device->OutputHeld = true;
        break;
    case EscSetXon:
        if (tcflow(device->Fd, TCOON) == 0)
            device->OutputHeld = false;
        break;
    case EscSetRts:
        SetModemLine(device->Fd, TIOCM_RTS, true);
        break;
    case EscClrRts:
        SetModemLine(device->Fd, TIOCM_RTS, false);
        break;
    case EscSetDtr:
        SetModemLine(device->Fd, TIOCM_DTR, true);
        break;
    case EscClrDtr:
        SetModemLine(device->Fd, TIOCM_DTR, false);
        break;
    case EscSetBreak:
        ioctl(device->Fd, TIOCSBRK);
        break;
    case EscClrBreak:
        ioctl(device->Fd, TIOCCBRK);
        break;
    default:
        break;
    }
    return 0;
}

std::int32_t PosixFlushDevice(DeviceHandle handle, std::int32_t direction)
{
    const DevicePtr device = FindDevice(handle);
    if (!device)
        return WinInvalidHandle;
    if (tcflush(device->Fd, direction != 0 ? TCIFLUSH : TCOFLUSH) < 0)
        return TranslateErrno(errno);
    if (direction != 0)
        device->ReportedQueue = 0;
    return 0;
}

std::int32_t PosixGetDeviceError(DeviceHandle handle, DeviceStatus* status)
{
    const DevicePtr device = FindDevice(handle);
    if (!device)
        return ErrDeviceNotOpen;
    std::uint32_t errors = 0;
    DeviceStatus result;
    {
        std::lock_guard lock(device->StateMutex);
        errors = device->PendingErrors | TakeCounterErrors(*device);
        device->PendingErrors = 0;
        result.InQueue = device->Vanished ? 0 : InputQueue(device->Fd);
    }
    // The output queue is the port's ring, which the port layer counts.
    result.Errors = errors;
    if (status)
        *status = result;
    return static_cast<std::int32_t>(errors);
}

std::int32_t PosixGetEventMask(DeviceHandle handle, std::uint32_t bitsToClear)
{
    if (const DevicePtr device = FindDevice(handle))
        device->PendingEvents.fetch_and(~bitsToClear);
    return 0;
}

std::int32_t PosixGetDeviceState(DeviceHandle handle, DeviceSettings* settings)
{
    const DevicePtr device = FindDevice(handle);
    termios tio {};
    if (!device || !settings || tcgetattr(device->Fd, &tio) < 0) {
        SetLastDeviceError(device ? TranslateErrno(errno) : WinInvalidHandle);
        return -1;
    }
    std::lock_guard lock(device->StateMutex);
    *settings = SettingsFromTermios(tio, device->Shadow);
    return 0;
}

std::int32_t PosixOpenDevice(const char* name, std::uint16_t, std::uint16_t)
{
    const std::string path = ResolveDevicePath(name ? name : "");
    if (path.empty()) {
        // A port mapped to nothing is a port that does not exist.
        SetLastDeviceError(WinFileNotFound);
        return -1;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FailWithErrno(errno);
        return -1;
    }
    if (!isatty(fd)) {
        close(fd);
        SetLastDeviceError(WinFileNotFound);
        return -1;
    }
    // TIOCEXCL keeps other programs from opening the terminal, but not root;
    // the advisory lock stops every program of ours, root included.
    if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int error = errno;
        close(fd);
        SetLastDeviceError(error == EWOULDBLOCK ? WinAccessDenied : TranslateErrno(error));
        return -1;
    }
    termios tio {};
    if (tcgetattr(fd, &tio) == 0) {
        MakeRaw(tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    if (!Adopt(fd, ioctl(fd, TIOCEXCL) == 0, true)) {
        ioctl(fd, TIOCNXCL);
        close(fd);
        SetLastDeviceError(WinNotEnoughMemory);
        return ErrOutOfMemory;
    }
    return fd;
}

std::int32_t PosixReadDevice(DeviceHandle handle, std::uint8_t* buffer, std::int32_t count)
{
    const DevicePtr device = FindDevice(handle);
    if (!device)
        return ErrDeviceNotOpen;
    if (count <= 0 || device->Vanished)
        return 0;
    ssize_t got;
    do {
        got = read(device->Fd, buffer, static_cast<std::size_t>(count));
    } while (got < 0 && errno == EINTR);
    if (got < 0 && errno == EAGAIN)
        return 0;
    if (got <= 0) {
        // End of file or EIO: the other end may have gone (unplugged
        // adapter, closed pseudo-terminal). A hang-up is reported once and
        // the device never read again.
        pollfd p { device->Fd, 0, 0 };
        if (got < 0 || (poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
            device->Vanished = true;
            device->Wake();
        }
        return 0;
    }
    // The event wait compares the queue with what it last reported; a
    // reader that waits for received bytes itself needs no count.
    if (device->Mask.load() & EvRxChar)
        device->ReportedQueue = InputQueue(device->Fd);
    return static_cast<std::int32_t>(got);
}

std::int32_t PosixSetEventMask(DeviceHandle handle, std::uint32_t mask)
{
    if (const DevicePtr device = FindDevice(handle)) {
        device->Mask = mask;
        device->Wake();
    }
    return 0;
}

std::int32_t PosixSetDeviceState(DeviceHandle handle, const DeviceSettings* settings)
{
    const DevicePtr device = FindDevice(handle);
    if (!device || !settings) {
        SetLastDeviceError(WinInvalidHandle);
        return -1;
    }
    termios tio {};
    if (tcgetattr(device->Fd, &tio) < 0) {
        FailWithErrno(errno);
        return -1;
    }
    const termios previous = tio;
    if (!SettingsToTermios(*settings, tio))
        return -1;
    if (tcsetattr(device->Fd, TCSANOW, &tio) < 0) {
        FailWithErrno(errno);
        return -1;
    }
    // tcsetattr succeeds when any part was taken: check that all was.
    termios now {};
    if (tcgetattr(device->Fd, &now) < 0 || !SameLineSettings(now, tio)) {
        tcsetattr(device->Fd, TCSANOW, &previous);
        SetLastDeviceError(WinInvalidParameter);
        return -1;
    }
    const std::uint32_t dtr = settings->Flags & DcbDtrControlMask;
    SetModemLine(device->Fd, TIOCM_DTR, dtr != 0);
    const std::uint32_t rts = settings->Flags & DcbRtsControlMask;
    if (rts != DcbRtsControlHandshake)
        SetModemLine(device->Fd, TIOCM_RTS, rts != 0);
    std::lock_guard lock(device->StateMutex);
    device->Shadow = *settings;
    return 0;
}

std::int32_t PosixTransmitChar(DeviceHandle handle, std::uint8_t byte)
{
    const DevicePtr device = FindDevice(handle);
    return device && write(device->Fd, &byte, 1) == 1 ? 0 : -1;
}

std::int32_t PosixUngetChar(DeviceHandle, std::uint8_t)
{
    return ErrNotSupported;
}

std::int32_t PosixWriteDevice(DeviceHandle handle, const std::uint8_t* bytes, std::int32_t count)
{
    const DevicePtr device = FindDevice(handle);
    if (!device || device->Vanished)
        return ErrDeviceNotOpen;
    if (count <= 0)
        return 0;
    // What the terminal takes now; the port's output thread waits for room.
    ssize_t written;
    do {
        written = write(device->Fd, bytes, static_cast<std::size_t>(count));
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return errno == EAGAIN ? 0 : -TranslateErrno(errno);
    return static_cast<std::int32_t>(written);
}

void PosixEnableNotification(DeviceHandle, std::int32_t) { }

void PosixAttachHandle(DeviceHandle handle, bool attach)
{
    if (attach) {
        if (FindDevice(handle))
            return;
        const int flags = fcntl(handle, F_GETFL);
        if (flags < 0)
            return;
        // Reads of this layer must return at once with what is there.
        fcntl(handle, F_SETFL, flags | O_NONBLOCK);
        Adopt(handle);
        return;
    }
    if (const DevicePtr device = RemoveDevice(handle)) {
        device->Closed = true;
        device->Wake();
    }
}

bool PosixSetupDevice(DeviceHandle handle, std::uint16_t, std::uint16_t)
{
    // Terminal queues have a fixed size; a known device accepts any request.
    if (FindDevice(handle))
        return true;
    SetLastDeviceError(WinInvalidHandle);
    return false;
}

// Dispatcher calls

std::uint32_t CollectEvents(PosixDevice& device, std::uint32_t queue, bool recheckDue)
{
    std::uint32_t events = device.PendingEvents.exchange(0);
    if (queue > device.ReportedQueue.load() || (queue > 0 && recheckDue)) {
        events |= EvRxChar;
        device.ReportedQueue = queue;
    }
    std::lock_guard lock(device.StateMutex);
    if (device.HasModemLines) {
        const std::uint8_t lines = ReadModemLines(device.Fd, nullptr);
        const std::uint8_t changed = lines ^ device.LastLines;
        if (changed & ModemCts)
            events |= EvCts;
        if (changed & ModemDsr)
            events |= EvDsr;
        if (changed & ModemDcd)
            events |= EvRlsd;
        if ((changed & ModemRing) && (lines & ModemRing))
            events |= EvRing;
        if ((changed & ModemRing) && !(lines & ModemRing))
            events |= EvRingTrailingEdge;
        device.LastLines = lines;
    }
    const std::uint32_t errors = TakeCounterErrors(device);
    if (errors) {
        device.PendingErrors |= errors;
        if (errors & LineErrBreak)
            events |= EvBreak;
        if (errors & ~LineErrBreak)
            events |= EvErr;
    }
    return events;
}

std::int32_t PosixWaitDeviceEvent(DeviceHandle handle, std::uint32_t* eventWord)
{
    const DevicePtr device = FindDevice(handle);
    if (!device || !eventWord)
        return ErrDeviceNotOpen;
    *eventWord = 0;
    // Mask changes made before this wait began do not end it.
    std::uint64_t drained = 0;
    [[maybe_unused]] const ssize_t ignored = read(device->WakeFd, &drained, sizeof drained);
    bool recheckDue = false;
    for (;;) {
        if (device->Closed || device->Vanished)
            return ErrDeviceNotOpen;
        const std::uint32_t mask = device->Mask.load();
        // Nothing can happen under an empty mask (the stopper sets it so).
        if (mask == 0)
            return 0;
        const bool bytesWatched = (mask & EvRxChar) != 0;
        const std::uint32_t queue = bytesWatched ? InputQueue(device->Fd) : 0;
        const std::uint32_t events = CollectEvents(*device, queue, recheckDue) & mask;
        if (events) {
            *eventWord = events;
            return 0;
        }
        // Bytes already announced keep the descriptor readable: watch the
        // queue by time instead, so that a full input ring does not spin us.
        // Without the received-byte event only a hang-up of the descriptor
        // counts.
        pollfd fds[2] = { { device->WakeFd, POLLIN, 0 }, { device->Fd, 0, 0 } };
        if (bytesWatched && queue == 0)
            fds[1].events = POLLIN;
        const bool timed = device->HasModemLines || device->HasCounters || (bytesWatched && queue > 0);
        const int ready = poll(fds, 2, timed ? RecheckMs : -1);
        if (ready < 0 && errno != EINTR)
            return ErrDeviceNotOpen;
        recheckDue = ready == 0;
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            device->Vanished = true;
            return ErrDeviceNotOpen;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t value = 0;
            [[maybe_unused]] const ssize_t ignored = read(device->WakeFd, &value, sizeof value);
            if (device->Closed || device->Vanished)
                return ErrDeviceNotOpen;
            // The mask was changed: this wait is over.
            return 0;
        }
    }
}

std::int32_t PosixWaitReceived(DeviceHandle handle, const SyncEvent* wake, std::int32_t timeoutMs)
{
    const DevicePtr device = FindDevice(handle);
    if (!device || device->Closed || device->Vanished)
        return ErrDeviceNotOpen;
    pollfd fds[2] = { { device->Fd, POLLIN, 0 }, { wake ? wake->Fd() : -1, POLLIN, 0 } };
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : ErrDeviceNotOpen;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // The other end has gone: the event thread learns it too.
        device->Vanished = true;
        device->Wake();
        return ErrDeviceNotOpen;
    }
    std::int32_t result = 0;
    if (fds[0].revents & POLLIN)
        result |= ReceivedBytesWait;
    if (fds[1].revents & POLLIN)
        result |= WakeSignalled;
    return result;
}

int PosixReceiveDescriptor(DeviceHandle handle)
{
    const DevicePtr device = FindDevice(handle);
    return device && !device->Closed && !device->Vanished ? device->Fd : -1;
}

std::int32_t PosixGetModemLines(DeviceHandle handle, std::uint8_t* lines)
{
    const DevicePtr device = FindDevice(handle);
    if (!device)
        return ErrDeviceNotOpen;
    if (lines)
        *lines = device->HasModemLines ? ReadModemLines(device->Fd, nullptr) : 0;
    return 0;
}

std::int32_t PosixWriteOutput(
    DeviceHandle handle, const std::uint8_t* bytes, std::int32_t count, const SyncEvent* cancel, std::int32_t timeoutMs)
{
    const DevicePtr device = FindDevice(handle);
    if (!device || device->Vanished)
        return ErrDeviceNotOpen;
    if (count <= 0)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (device->Closed)
            return ErrDeviceNotOpen;
        if (cancel && cancel->IsSet())
            return 0;
        const ssize_t written = write(device->Fd, bytes, static_cast<std::size_t>(count));
        if (written > 0)
            return static_cast<std::int32_t>(written);
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            const int error = errno;
            if (error == EIO)
                device->Vanished = true;
            return -TranslateErrno(error);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        pollfd fds[2] = { { device->Fd, POLLOUT, 0 }, { cancel ? cancel->Fd() : -1, POLLIN, 0 } };
        poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            device->Vanished = true;
            return ErrDeviceNotOpen;
        }
        if (device->Closed)
            return ErrDeviceNotOpen;
    }
}

} // namespace

std::int32_t TranslateErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTTY:
        return WinFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return WinPathNotFound;
    case EMFILE:
    case ENFILE:
        return WinTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EISDIR:
    case EWOULDBLOCK:
        return WinAccessDenied;
    case EBADF:
        return WinInvalidHandle;
    case ENOMEM:
        return WinNotEnoughMemory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return WinDiskFull;
    case EROFS:
        return WinWriteProtected;
    default:
        return WinGeneralFailure;
    }
}

unsigned SpeedForBaud(std::uint32_t baud)
{
    for (const BaudEntry& entry : BaudTable)
        if (entry.Baud == baud)
            return entry.Speed;
    return 0;
}

std::uint32_t BaudForSpeed(unsigned speed)
{
    for (const BaudEntry& entry : BaudTable)
        if (entry.Speed == speed)
            return entry.Baud;
    return 0;
}

DeviceProcs PosixDeviceProcs()
{
    return DeviceProcs {
        PosixBuildDCB,
        PosixClearBreak,
        PosixCloseDevice,
        PosixEscapeFunction,
        PosixFlushDevice,
        PosixGetDeviceError,
        PosixGetEventMask,
        PosixGetDeviceState,
        PosixOpenDevice,
        PosixReadDevice,
        PosixSetBreak,
        PosixSetEventMask,
        PosixSetDeviceState,
        PosixTransmitChar,
        PosixUngetChar,
        PosixWriteDevice,
        PosixEnableNotification,
        PosixAttachHandle,
        PosixSetupDevice,
    };
}

DeviceWaitProcs PosixWaitProcs()
{
    return DeviceWaitProcs { PosixWaitDeviceEvent, PosixGetModemLines, PosixWriteOutput, PosixWaitReceived,
        PosixReceiveDescriptor };
}

void InstallPosixLayer()
{
    InstallDeviceLayer(PosixDeviceProcs(), PosixWaitProcs());
}

} // namespace zop
