// The termios layer's reader of settings texts ("[COMn:]baud[,parity[,data
// [,stop]]]", as a mode command takes them) fed arbitrary text.
//
// Checked: the answer is 0 or -1; a refused text leaves the settings record
// untouched; an accepted one changes only the rate, parity, data bits and
// stop bits, to values the device layer can apply, and its rate is exactly
// the decimal number the text gives; the same settings written back as text
// read back the same; a "COM1:" prefix changes nothing.
#include <cstring>
#include <string>

#include "comm/PosixLayer.h"
#include "fuzz/FuzzCheck.h"

namespace {

using namespace zop;

// A record whose every field has a value of its own, so a change shows.
DeviceSettings Marked()
{
    DeviceSettings s;
    s.BaudRate = 1234567;
    s.Flags = 0xA5A5A5A5u;
    s.Reserved = 0x1111;
    s.XonLim = 0x2222;
    s.XoffLim = 0x3333;
    s.ByteSize = 77;
    s.Parity = 66;
    s.StopBits = 55;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    s.ErrorChar = 0x44;
    s.EofChar = 0x45;
    s.EvtChar = 0x46;
    s.Reserved1 = 0x4747;
    return s;
}

bool SameOutsideLine(const DeviceSettings& a, const DeviceSettings& b)
{
    DeviceSettings x = a;
    DeviceSettings y = b;
    x.BaudRate = y.BaudRate = 0;
    x.Parity = y.Parity = 0;
    x.ByteSize = y.ByteSize = 0;
    x.StopBits = y.StopBits = 0;
    return std::memcmp(&x, &y, sizeof x) == 0;
}

bool SameLine(const DeviceSettings& a, const DeviceSettings& b)
{
    return a.BaudRate == b.BaudRate && a.Parity == b.Parity && a.ByteSize == b.ByteSize && a.StopBits == b.StopBits;
}

// The rate field of a settings text: after the first ':', before the first
// ',', blanks left out.
std::string RateField(const std::string& text)
{
    const auto colon = text.find(':');
    std::string rest = colon == std::string::npos ? text : text.substr(colon + 1);
    rest = rest.substr(0, rest.find(','));
    std::string field;
    for (const char c : rest)
        if (c != ' ')
            field += c;
    return field;
}

int FuzzBuildDcb(const uint8_t* data, size_t size)
{
    // The text is a C string: it ends at the first NUL.
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    const DeviceProcs procs = PosixDeviceProcs();

    const DeviceSettings before = Marked();
    DeviceSettings settings = before;
    const std::int32_t result = procs.BuildDCB(text.c_str(), &settings);
    FUZZ_CHECK(result == 0 || result == -1);
    if (result != 0) {
        FUZZ_CHECK(std::memcmp(&settings, &before, sizeof settings) == 0);
    } else {
        FUZZ_CHECK(SameOutsideLine(settings, before));
        FUZZ_CHECK(SpeedForBaud(settings.BaudRate) != 0);
        FUZZ_CHECK(settings.Parity <= 4 || settings.Parity == before.Parity);
        FUZZ_CHECK((settings.ByteSize >= 5 && settings.ByteSize <= 8) || settings.ByteSize == before.ByteSize);
        FUZZ_CHECK(settings.StopBits <= 2 || settings.StopBits == before.StopBits);

        // The rate is the number written, digit for digit.
        const std::string rate = RateField(text);
        FUZZ_CHECK(!rate.empty() && rate.size() <= 10);
        FUZZ_CHECK(rate.find_first_not_of("0123456789") == std::string::npos);
        FUZZ_CHECK(std::stoull(rate) == settings.BaudRate);

        // Written back as text, the settings read back the same.
        if (settings.Parity <= 4 && settings.ByteSize >= 5 && settings.ByteSize <= 8 && settings.StopBits <= 2) {
            const char* stops[] = { "1", "1.5", "2" };
            const std::string canonical = std::to_string(settings.BaudRate) + "," + "noems"[settings.Parity] + ","
                + std::to_string(settings.ByteSize) + "," + stops[settings.StopBits];
            DeviceSettings again = Marked();
            FUZZ_CHECK(procs.BuildDCB(canonical.c_str(), &again) == 0);
            FUZZ_CHECK(SameLine(again, settings));
        }
    }

    // A port name in front changes nothing (the text must not name one itself).
    if (text.find(':') == std::string::npos) {
        DeviceSettings prefixed = before;
        FUZZ_CHECK(procs.BuildDCB(("COM1:" + text).c_str(), &prefixed) == result);
        FUZZ_CHECK(std::memcmp(&prefixed, &settings, sizeof settings) == 0);
    }
    return 0;
}

} // namespace

FUZZ_TARGET("build_dcb", FuzzBuildDcb)
