// The dispatcher's scan of received bytes against its data triggers, over a
// scripted device or a pseudo-terminal: arbitrary triggers, arbitrary bytes
// arriving in arbitrary batches, a receiver that takes exactly the bytes each
// availability message announces (as the window's link does). Over a
// pseudo-terminal with one trigger, the receiving window's thread reads the
// bytes itself; otherwise the dispatcher thread does. Then the port's trace
// and event log are written out.
//
// Input: byte 0 gives the number of triggers (1..3), the batch size and, in
// bit 7, the pseudo-terminal; each trigger is a length byte (1..8, bit 7
// ignores case) and its pattern; the rest arrives.
//
// Checked: every byte arrives exactly once and in order; each trigger fires
// exactly as often as the matcher fires over the whole stream (no byte
// skipped or offered twice across batches and ring wraps); every message
// names this port; the trace file shows the last bytes taken, oldest first,
// broken into lines of at most 78 columns; the event log file has its two heading
// lines and one well-formed line per record.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "comm/Dispatcher.h"
#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/PosixLayer.h"
#include "comm/TraceLog.h"
#include "comm/Triggers.h"
#include "comm/tests/PtyDevice.h"
#include "comm/tests/ScriptedDevice.h"
#include "fuzz/FuzzCheck.h"

namespace {

using namespace zop;

struct Received {
    std::uint16_t Port = 0;
    std::string Taken;
    std::map<std::uint16_t, int> Fired; // trigger handle -> data messages
    bool Wrong = false;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The data lines of a trace joined up (the dump breaks them at 78 columns).
std::string JoinTrace(const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 1; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].size() <= 78);
        text += lines[i];
    }
    return text;
}

// Bytes as the decimal trace writes them.
std::string TraceText(const std::string& bytes)
{
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        text += byte < 32 || byte > 126 ? "[" + std::to_string(byte) + "]" : std::string(1, c);
    }
    return text;
}

const std::string& Folder()
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/zop5-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

int FuzzDispatcher(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    static test::ScriptedDevice device("fuzz-device");
    // A terminal keeps its settings from one open to the next: this one has
    // no flow control, so that XON and XOFF arrive like any other byte.
    static test::PtyDevice pty;
    static const bool raw = [] {
        const int fd = open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
        termios settings {};
        const bool made = fd >= 0 && tcgetattr(fd, &settings) == 0;
        cfmakeraw(&settings);
        const bool set = made && tcsetattr(fd, TCSANOW, &settings) == 0;
        if (fd >= 0)
            close(fd);
        return set;
    }();
    FUZZ_CHECK(raw);
    const bool overPty = (data[0] & 0x80) != 0;
    if (overPty)
        InstallPosixLayer();
    else
        test::ScriptedDevice::Install();
    const std::string devicePath = overPty ? pty.Path() : device.Name();
    const int triggerCount = (data[0] & 3) % 3 + 1;
    size_t batch = static_cast<size_t>(data[0] >> 2) * 16 + 1;
    size_t at = 1;
    std::vector<DataTrigger> reference;
    std::vector<std::string> patterns;
    for (int t = 0; t < triggerCount; ++t) {
        if (at >= size)
            return 0;
        const size_t length = data[at] % 8 + 1;
        const bool ignoreCase = (data[at] & 0x80) != 0;
        ++at;
        if (at + length > size)
            return 0;
        patterns.emplace_back(reinterpret_cast<const char*>(data + at), length);
        DataTrigger trigger;
        trigger.Length = static_cast<std::uint16_t>(length);
        trigger.IgnoreCase = ignoreCase;
        for (size_t i = 0; i < length; ++i)
            trigger.Pattern[i] = ignoreCase ? FoldCase(data[at + i]) : data[at + i];
        reference.push_back(trigger);
        at += length;
    }
    const std::string stream(reinterpret_cast<const char*>(data + at), size - at);
    batch = std::max(batch, stream.size() / 64); // at most 64 batches keep a run short

    Received received;
    PortHandle port = 0;
    const WindowHandle window
        = CreateMessageWindow([&](WindowHandle, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
              if (static_cast<std::uint16_t>(lp >> 16) != received.Port)
                  received.Wrong = true;
              if (msg == TriggerAvailMsg) {
                  std::uint8_t byte = 0;
                  for (std::uintptr_t i = 0; i < wp && GetChar(received.Port, &byte) == 0; ++i)
                      received.Taken += static_cast<char>(byte);
              } else if (msg == TriggerDataMsg) {
                  ++received.Fired[static_cast<std::uint16_t>(wp)];
              }
              return std::intptr_t { 0 };
          });
    FUZZ_CHECK(OpenPort(&port, 4, devicePath.c_str(), 9600, 0, 8, 1, 4096, 4096) == 0);
    received.Port = port;
    FUZZ_CHECK(RegisterTriggerHandler(port, window, nullptr, false) == 0);
    FUZZ_CHECK(ClearPortOptions(port, OptionConsumeOnRead) == 0);
    FUZZ_CHECK(SetTriggerLength(port, 1) == 0); // every batch announced, as the window's port does
    const std::uint16_t traceSize = static_cast<std::uint16_t>(stream.size() % 300 + 1);
    FUZZ_CHECK(InitTracing(port, traceSize) == 0);
    FUZZ_CHECK(InitEventLogging(port, static_cast<std::uint16_t>(stream.size() % 2000 + 1)) == 0);
    std::vector<std::uint16_t> handles;
    for (const std::string& pattern : patterns) {
        const std::int32_t handle = AddDataTrigger(port, reinterpret_cast<const std::uint8_t*>(pattern.data()),
            reference[handles.size()].IgnoreCase != 0, static_cast<std::uint16_t>(pattern.size()));
        FUZZ_CHECK(handle >= 2 && handle <= 41);
        handles.push_back(static_cast<std::uint16_t>(handle));
    }

    std::uint64_t fed = 0;
    for (size_t start = 0; start < stream.size(); start += batch) {
        const std::string part = stream.substr(start, batch);
        fed += part.size();
        if (overPty)
            FUZZ_CHECK(pty.Write(part));
        else
            device.Arrive(part);
        FUZZ_CHECK(test::ScriptedDevice::PumpUntil(
            [&] {
                DispatcherProgress progress;
                return GetDispatcherProgress(port, &progress) && progress.BytesRead == fed && !progress.Busy;
            },
            [] { PumpMessages(); }));
    }
    PumpMessages();

    FUZZ_CHECK(!received.Wrong);
    FUZZ_CHECK(received.Taken == stream.substr(0, received.Taken.size()));
    // Whatever was not announced yet is still waiting, in order.
    std::uint8_t byte = 0;
    while (GetChar(port, &byte) == 0)
        received.Taken += static_cast<char>(byte);
    FUZZ_CHECK(received.Taken == stream);
    for (size_t t = 0; t < handles.size(); ++t) {
        int expected = 0;
        DataTrigger copy = reference[t];
        for (char c : stream)
            expected += MatchDataTrigger(copy, static_cast<std::uint8_t>(c)) ? 1 : 0;
        // Triggers with the same pattern each fire on their own.
        FUZZ_CHECK(received.Fired[handles[t]] == expected);
    }

    const std::string tracePath = Folder() + "/trace.txt";
    const std::string logPath = Folder() + "/log.txt";
    unlink(tracePath.c_str());
    unlink(logPath.c_str());
    FUZZ_CHECK(DumpTrace(port, tracePath.c_str(), false) == 0);
    FUZZ_CHECK(DumpEventLog(port, logPath.c_str(), (data[0] & 1) != 0) == 0);
    const std::string traced = stream.substr(stream.size() - std::min<size_t>(stream.size(), traceSize));
    if (stream.empty()) {
        FUZZ_CHECK(access(tracePath.c_str(), F_OK) != 0);
    } else {
        const std::vector<std::string> lines = Lines(ReadFile(tracePath));
        FUZZ_CHECK(!lines.empty() && lines[0] == "Receive: ");
        FUZZ_CHECK(JoinTrace(lines) == TraceText(traced));
    }
    if (access(logPath.c_str(), F_OK) == 0) {
        const std::vector<std::string> lines = Lines(ReadFile(logPath));
        FUZZ_CHECK(lines.size() >= 2);
        FUZZ_CHECK(lines[0] == "Time      Type      SubType       Data  OtherData");
        FUZZ_CHECK(lines[1] == "----      ----      -------       ----  ---------");
        for (size_t i = 2; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (line.compare(0, 40, std::string(40, ' ')) == 0)
                continue; // a continuation of the bytes
            FUZZ_CHECK(line.size() >= 40);
            FUZZ_CHECK(line.find_first_not_of("0123456789") >= 8);
            FUZZ_CHECK(line.compare(8, 2, "  ") == 0 && line.compare(18, 2, "  ") == 0);
        }
    }

    FUZZ_CHECK(ClosePort(port) == 0);
    DestroyMessageWindow(window);
    return 0;
}

} // namespace

FUZZ_TARGET("dispatcher", FuzzDispatcher)
