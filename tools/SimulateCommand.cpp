// zop5-tool simulate: plays the instrument on a serial line.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <getopt.h>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

#include "document/WaveformFile.h"
#include "tools/SignalGenerator.h"
#include "tools/SimulatorOutput.h"
#include "tools/ToolCommand.h"
#include "waveform/InstrumentLines.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool simulate [OPTIONS]

Plays the Tracelet instrument: sends waveform transfers as the instrument
writes them (a time-base line, a volts line, a zero-reference line and 96
sample lines) to a serial line, so the program can be used and tested
without the instrument.

Where the transfers go (one of):
  --pty                 create a pseudo-terminal and print the path of its
                        other end on the first line of standard output; point
                        a COM port at it (ZOP5_COM1=PATH). This is the default.
                        Each transfer waits until a program has that end open.
  --link PATH           with --pty: also make PATH a symbolic link to it
                        (removed again at exit); an existing file that is not
                        a symbolic link is never replaced
  --device PATH         write to an existing serial device or pseudo-terminal
                        end (for example one of a socat pair), "-" for
                        standard output
  --settle SECONDS      with --pty: how long the reader must have been present
                        before a transfer starts (default 0.3), so a program
                        that opens and closes ports while looking for one is
                        not sent to (at least 0.05)

What is sent (a generated signal unless --file is given):
  --file PATH           the waveform of a waveform file (.zop): its time base,
                        range, zero reference and samples; the file's probe
                        does not matter (the instrument knows none)
  --signal sine|square|triangle|noise
                        the shape of the signal (default sine)
  --frequency HZ        signal frequency (default 1k)
  --amplitude VOLTS     peak amplitude (default 1)
  --offset VOLTS        DC offset (default 0)
  --phase DEGREES       phase of the first sample (default 0)
  --zero-ref N          the reading that stands for 0 V, 1..253 (default 127)
  --seed N              seed of the noise generator (default: random)
  --time-base T         time base as row 1..22, time/div label ("0.5ms/div",
                        "10us/div") or sample period ("50us/Sample");
                        default: the fastest that shows two periods
  --range R             range as row 1..12, volts/div label ("0.1V/div") or
                        the instrument's text ("Range(254)= 0.8V"); default:
                        the most sensitive that keeps the signal on screen
  Numbers take the suffixes u, m, k and M: --frequency 2.5k --amplitude 500m.
  Readings beyond the range's ends are sent as 0 and 255, the instrument's
  off-scale markers.

How it is sent:
  --form A|B            the instrument's two ways of writing its lines
                        (default A):
                          A: "  1us/Sample", "Range(254)= 0.8V",
                             "Zero Reference= 127", samples "00131"
                          B: "1us/Sample", "Full scale (254)= 800mV",
                             "Zero Ref=127", samples " 0131"
  --line-end cr|crlf    end every line with CR (default) or CR LF
  --baud N              pace of the line, 10 bits per byte (default 9600:
                        about 1.04 ms per byte, 0.85 s per transfer)
  --full-speed          send as fast as the reader takes the bytes
  XOFF and XON from the reader pause and resume the sending.

How often:
  --count N             number of transfers, 0 for no end (default 1)
  --interval SECONDS    pause between transfers (default 2)
  --hold                after the last transfer keep the line open until
                        stopped (with --pty the program keeps its port)
  -q, --quiet           no progress messages on standard error
  -h, --help            this text

Signals: SIGUSR1 sends the next transfer at once (also while holding);
SIGINT or SIGTERM stops.

Examples:
  zop5-tool simulate --link /tmp/zop5-com1 --count 0 --interval 5 &
  ZOP5_COM1=/tmp/zop5-com1 zop5
  zop5-tool simulate --device /dev/ttyUSB0 --signal square --frequency 50 --form B
)";

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_sendNow = 0;

extern "C" void OnStop(int)
{
    g_stop = 1;
}

extern "C" void OnSendNow(int)
{
    g_sendNow = 1;
}

void InstallSignalHandlers()
{
    struct sigaction action { };
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = OnSendNow;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}

struct Options {
    bool Pty = true;
    std::string Device;
    std::string Link;
    double Settle = 0.3;
    SignalSettings Signal;
    std::optional<uint32_t> Seed;
    std::string File;
    bool SignalGiven = false;
    LineForm Form = LineForm::A;
    LineEnding Ending = LineEnding::Cr;
    int Baud = 9600;
    bool FullSpeed = false;
    long Count = 1;
    double Interval = 2.0;
    bool Hold = false;
    bool Quiet = false;
};

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

double Quantity(const char* option, const char* text)
{
    const auto value = ParseQuantity(text);
    if (!value)
        throw UsageError(std::string("--") + option + ": not a number: " + text);
    return *value;
}

long WholeNumber(const char* option, const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || value < low || value > high)
        throw UsageError(std::string("--") + option + ": expected a whole number " + std::to_string(low) + ".."
            + std::to_string(high) + ": " + text);
    return value;
}

double Seconds(const char* option, const char* text)
{
    const double value = Quantity(option, text);
    if (value < 0 || value > 86400)
        throw UsageError(std::string("--") + option + ": expected 0..86400 seconds: " + text);
    return value;
}

Options ParseOptions(int argc, char** argv)
{
    enum Id {
        Pty = 1000,
        Link,
        Device,
        Settle,
        Signal,
        Frequency,
        Amplitude,
        Offset,
        Phase,
        ZeroRef,
        Seed,
        TimeBase,
        Range,
        Form,
        LineEnd,
        Baud,
        FullSpeed,
        Count,
        Interval,
        Hold,
        File
    };
    static const option Long[] = {
        { "pty", no_argument, nullptr, Pty },
        { "link", required_argument, nullptr, Link },
        { "device", required_argument, nullptr, Device },
        { "settle", required_argument, nullptr, Settle },
        { "signal", required_argument, nullptr, Signal },
        { "frequency", required_argument, nullptr, Frequency },
        { "amplitude", required_argument, nullptr, Amplitude },
        { "offset", required_argument, nullptr, Offset },
        { "phase", required_argument, nullptr, Phase },
        { "zero-ref", required_argument, nullptr, ZeroRef },
        { "seed", required_argument, nullptr, Seed },
        { "time-base", required_argument, nullptr, TimeBase },
        { "range", required_argument, nullptr, Range },
        { "form", required_argument, nullptr, Form },
        { "line-end", required_argument, nullptr, LineEnd },
        { "baud", required_argument, nullptr, Baud },
        { "full-speed", no_argument, nullptr, FullSpeed },
        { "count", required_argument, nullptr, Count },
        { "interval", required_argument, nullptr, Interval },
        { "hold", no_argument, nullptr, Hold },
        { "file", required_argument, nullptr, File },
        { "quiet", no_argument, nullptr, 'q' },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    Options options;
    bool ptyAsked = false;
    optind = 0; // start afresh: argv[0] is the command's name
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv, "qh", Long, nullptr);
        if (id == -1)
            break;
        const char* arg = optarg;
        if (id >= Signal && id <= Range)
            options.SignalGiven = true;
        switch (id) {
        case Pty:
            ptyAsked = true;
            break;
        case Link:
            options.Link = arg;
            break;
        case Device:
            options.Device = arg;
            options.Pty = false;
            break;
        case Settle:
            options.Settle = Seconds("settle", arg);
            break;
        case Signal: {
            const auto shape = ParseSignalShape(arg);
            if (!shape)
                throw UsageError(std::string("--signal: expected sine, square, triangle or noise: ") + arg);
            options.Signal.Shape = *shape;
            break;
        }
        case Frequency:
            options.Signal.Frequency = Quantity("frequency", arg);
            break;
        case Amplitude:
            options.Signal.Amplitude = Quantity("amplitude", arg);
            break;
        case Offset:
            options.Signal.Offset = Quantity("offset", arg);
            break;
        case Phase:
            options.Signal.PhaseDegrees = Quantity("phase", arg);
            break;
        case ZeroRef:
            options.Signal.ZeroRef = static_cast<int32_t>(WholeNumber("zero-ref", arg, 1, 253));
            break;
        case Seed:
            options.Seed = static_cast<uint32_t>(WholeNumber("seed", arg, 0, 4294967295L));
            break;
        case TimeBase:
            options.Signal.TimeIndex = ParseTimeBaseArgument(arg);
            if (!options.Signal.TimeIndex)
                throw UsageError(std::string("--time-base: not a time base: ") + arg);
            break;
        case Range:
            options.Signal.VoltIndex = ParseRangeArgument(arg);
            if (!options.Signal.VoltIndex)
                throw UsageError(std::string("--range: not a range: ") + arg);
            break;
        case Form:
            if (std::strcmp(arg, "A") == 0 || std::strcmp(arg, "a") == 0)
                options.Form = LineForm::A;
            else if (std::strcmp(arg, "B") == 0 || std::strcmp(arg, "b") == 0)
                options.Form = LineForm::B;
            else
                throw UsageError(std::string("--form: expected A or B: ") + arg);
            break;
        case LineEnd:
            if (std::strcmp(arg, "cr") == 0)
                options.Ending = LineEnding::Cr;
            else if (std::strcmp(arg, "crlf") == 0)
                options.Ending = LineEnding::CrLf;
            else
                throw UsageError(std::string("--line-end: expected cr or crlf: ") + arg);
            break;
        case Baud:
            options.Baud = static_cast<int>(WholeNumber("baud", arg, 50, 4000000));
            break;
        case FullSpeed:
            options.FullSpeed = true;
            break;
        case Count:
            options.Count = WholeNumber("count", arg, 0, 1000000000L);
            break;
        case Interval:
            options.Interval = Seconds("interval", arg);
            break;
        case Hold:
            options.Hold = true;
            break;
        case File:
            options.File = arg;
            break;
        case 'q':
            options.Quiet = true;
            break;
        case 'h':
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            std::exit(ExitOk);
        default:
            throw UsageError(std::string("unknown or incomplete option: ")
                + (optopt ? std::string("-") + static_cast<char>(optopt) : std::string(argv[optind - 1])));
        }
    }
    if (optind < argc)
        throw UsageError(std::string("unexpected argument: ") + argv[optind]);
    if (ptyAsked && !options.Pty)
        throw UsageError("--pty and --device exclude each other");
    if (!options.Link.empty() && !options.Pty)
        throw UsageError("--link needs a pseudo-terminal (no --device)");
    if (!options.File.empty() && options.SignalGiven)
        throw UsageError("--file and the signal options exclude each other");
    if (!(options.Signal.Frequency > 0))
        throw UsageError("--frequency: must be above 0 Hz");
    if (options.Signal.Amplitude < 0)
        throw UsageError("--amplitude: must not be negative");
    return options;
}

// Sleeps up to `duration`; false when stopped, true early on SIGUSR1.
bool Pause(std::chrono::duration<double> duration)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(duration);
    while (!g_stop && !g_sendNow && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    g_sendNow = 0;
    return !g_stop;
}

// Waits until a program has held the other end open for `settle`. Bytes
// written while the other end is still being opened can be lost, so the
// reader is always given a moment.
bool WaitForReader(const SimulatorOutput& output, double settle, bool quiet)
{
    settle = std::max(settle, 0.05);
    std::optional<std::chrono::steady_clock::time_point> since;
    bool told = false;
    while (!g_stop) {
        const auto now = std::chrono::steady_clock::now();
        if (output.ReaderPresent()) {
            if (!since)
                since = now;
            if (now - *since >= std::chrono::duration<double>(settle))
                return true;
        } else {
            since.reset();
            if (!told && !quiet)
                std::fprintf(stderr, "zop5-tool simulate: waiting for a program to open %s\n", output.Path().c_str());
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Makes `link` a symbolic link to `target`; removes it again when destroyed.
class SymbolicLink {
public:
    SymbolicLink(std::string link, const std::string& target)
        : m_link(std::move(link))
        , m_target(target)
    {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(m_link, error);
        if (fs::exists(status) && !fs::is_symlink(status))
            throw std::runtime_error(m_link + " exists and is not a symbolic link; it is left alone");
        if (fs::is_symlink(status))
            fs::remove(m_link);
        fs::create_symlink(target, m_link);
    }
    ~SymbolicLink()
    {
        std::error_code error;
        if (std::filesystem::read_symlink(m_link, error) == m_target)
            std::filesystem::remove(m_link, error);
    }

private:
    std::string m_link;
    std::string m_target;
};

InstrumentWaveform ReadWaveform(const std::string& path)
{
    IncomingImage incoming;
    if (!LoadWaveformFile(path, incoming))
        throw std::runtime_error(path + ": not a waveform file that can be opened");
    InstrumentWaveform waveform;
    waveform.TimeIndex = incoming.TimeIndex;
    waveform.VoltIndex = incoming.VoltIndex;
    waveform.ZeroRef = incoming.ZeroRef;
    waveform.Samples = incoming.Samples;
    return waveform;
}

int Run(const Options& options)
{
    InstallSignalHandlers();
    SimulatorOutput output = options.Pty ? SimulatorOutput::CreatePseudoTerminal(options.Baud)
                                         : SimulatorOutput::OpenDevice(options.Device, options.Baud);
    std::optional<SymbolicLink> link;
    if (!options.Link.empty())
        link.emplace(options.Link, output.Path());
    if (options.Pty) {
        std::printf("%s\n", output.Path().c_str());
        std::fflush(stdout);
    }

    std::mt19937 random(options.Seed ? *options.Seed : std::random_device {}());
    // Read the file or check the settings once, before anything is sent.
    const InstrumentWaveform first
        = options.File.empty() ? GenerateWaveform(options.Signal, random) : ReadWaveform(options.File);
    const bool regenerate = options.File.empty() && options.Signal.Shape == SignalShape::Noise;
    const auto period = options.FullSpeed ? std::chrono::nanoseconds(0) : BytePeriod(options.Baud);
    SystemPaceClock clock;
    const std::function<bool()> stopped = [] { return g_stop != 0; };

    auto sendOne = [&](long number) {
        if (options.Pty && !WaitForReader(output, options.Settle, options.Quiet))
            return false;
        const InstrumentWaveform waveform
            = number == 1 || !regenerate ? first : GenerateWaveform(options.Signal, random);
        const std::string bytes = EncodeTransfer(waveform, options.Form, options.Ending);
        const auto start = std::chrono::steady_clock::now();
        const size_t sent = SendBytes(output.WriteFd(), output.FlowFd(), bytes, period, clock, stopped);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!options.Quiet)
            std::fprintf(stderr,
                "zop5-tool simulate: transfer %ld: %zu of %zu bytes in %.0f ms (time base %d, range %d)\n", number,
                sent, bytes.size(), ms, waveform.TimeIndex, waveform.VoltIndex);
        return sent == bytes.size();
    };

    long number = 0;
    while (!g_stop && (options.Count == 0 || number < options.Count)) {
        if (number > 0 && !Pause(std::chrono::duration<double>(options.Interval)))
            break;
        if (!sendOne(++number))
            break;
    }
    while (options.Hold && !g_stop) {
        if (Pause(std::chrono::hours(24)) && !g_stop)
            sendOne(++number);
    }
    output.WaitUntilTaken(std::chrono::seconds(2));
    return ExitOk;
}

} // namespace

int SimulateCommand(int argc, char** argv)
{
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "zop5-tool simulate: %s\nTry 'zop5-tool simulate --help'.\n", error.what());
        return ExitUsage;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool simulate: %s\n", FailureText(error));
        return ExitFailure;
    }
}

} // namespace zop
