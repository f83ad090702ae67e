// zop5-tool capture: receives the instrument's transfers as the window does
// and keeps each as a waveform file.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "comm/DevicePath.h"
#include "document/Cp1252.h"
#include "tools/ExportSurfaces.h"
#include "tools/HeadlessLink.h"
#include "tools/HeadlessWindow.h"
#include "tools/MeasurementLine.h"
#include "tools/PortDiagnosis.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool capture [OPTIONS]

Receives waveform transfers from the instrument with the window's own link
code and writes each as a waveform file, dated with the date and time of its
reception. Prints each file's name and measurement line on standard output
and the progress (header lines seen, samples received) on standard error.

Where to listen (default: the first port that opens, as the window does):
  --port COM1..COM4     this port, mapped to its device as the window maps it
  --device PATH         this serial device or pseudo-terminal
Where to write (default: numbered files in the current directory):
  --output FILE.zop     this file (one transfer only; replaced if it exists)
  --directory DIR       numbered files zop5-0001.zop, zop5-0002.zop, ... in
                        DIR (created if missing); existing files are kept
Options:
  --count N             transfers to receive, 1..100000 (default 1)
  --timeout SECONDS     give up when they have not all arrived after this
                        long (default: wait without end)
  --description TEXT    the description written with each waveform
  -q, --quiet           no progress on standard error
  -h, --help            this text

Exit status: 0 when N transfers arrived, 1 on a time-out, a port that does
not open or fails, or a file that cannot be written; 2 usage error.
)";

volatile std::sig_atomic_t g_stop = 0;

void Stop(int)
{
    g_stop = 1;
}

struct CaptureOptions {
    std::optional<int> Port;
    std::optional<std::string> Device;
    std::optional<std::string> Output;
    std::string Directory = ".";
    long Count = 1;
    std::optional<double> Timeout;
    std::optional<std::string> Description;
    bool Quiet = false;
};

CaptureOptions ParseArguments(int argc, char** argv, bool& helpShown)
{
    enum {
        PortOption = 256,
        DeviceOption,
        OutputOption,
        DirectoryOption,
        CountOption,
        TimeoutOption,
        DescriptionOption
    };
    static const option options[] = {
        { "port", required_argument, nullptr, PortOption },
        { "device", required_argument, nullptr, DeviceOption },
        { "output", required_argument, nullptr, OutputOption },
        { "directory", required_argument, nullptr, DirectoryOption },
        { "count", required_argument, nullptr, CountOption },
        { "timeout", required_argument, nullptr, TimeoutOption },
        { "description", required_argument, nullptr, DescriptionOption },
        { "quiet", no_argument, nullptr, 'q' },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    CaptureOptions chosen;
    bool directoryGiven = false;
    optind = 1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":hq", options, nullptr)) != -1;) {
        switch (c) {
        case PortOption: {
            const std::string_view port = optarg;
            if (port.size() != 4 || !EqualsIgnoreAsciiCase(port.substr(0, 3), "COM") || port[3] < '1' || port[3] > '4')
                throw UsageError("--port: expected COM1, COM2, COM3 or COM4: " + std::string(port));
            chosen.Port = port[3] - '0';
            break;
        }
        case DeviceOption:
            chosen.Device = optarg;
            if (chosen.Device->empty())
                throw UsageError("--device: empty path");
            break;
        case OutputOption:
            chosen.Output = optarg;
            break;
        case DirectoryOption:
            chosen.Directory = optarg;
            directoryGiven = true;
            break;
        case CountOption:
            chosen.Count = ParseWhole("--count", optarg, 1, 100000);
            break;
        case TimeoutOption:
            chosen.Timeout = ParseSeconds("--timeout", optarg, 86400 * 365);
            break;
        case DescriptionOption:
            chosen.Description = optarg;
            break;
        case 'q':
            chosen.Quiet = true;
            break;
        case 'h':
            helpShown = true;
            return chosen;
        default:
            throw UsageError(std::string("unknown or incomplete option: ") + argv[optind - 1]);
        }
    }
    if (optind < argc)
        throw UsageError(std::string("unexpected argument: ") + argv[optind]);
    if (chosen.Port && chosen.Device)
        throw UsageError("--port and --device exclude each other");
    if (chosen.Output && directoryGiven)
        throw UsageError("--output and --directory exclude each other");
    if (chosen.Output && chosen.Count != 1)
        throw UsageError("--output takes one transfer; use --directory for more");
    return chosen;
}

// The next numbered name in `directory` that does not exist yet.
std::string NextNumberedFile(const std::string& directory, int& number)
{
    for (;; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "zop5-%04d.zop", number);
        const std::string path = (std::filesystem::path(directory) / name).string();
        struct stat info { };
        if (lstat(path.c_str(), &info) != 0)
            return path;
    }
}

class Capture {
public:
    Capture(const CaptureOptions& options)
        : m_options(options)
        , m_clock(MakeWindowClock())
        , m_window(TraceMode::Smooth, nullptr, nullptr, m_clock.get())
        , m_link(m_window)
    {
        m_link.OnLineEnd = [this] { ReportProgress(); };
        m_link.OnTransferApplied = [this] { KeepTransfer(); };
    }

    int Run()
    {
        if (!m_options.Output) {
            std::error_code error;
            std::filesystem::create_directories(m_options.Directory, error);
            if (!std::filesystem::is_directory(m_options.Directory))
                return Fail("cannot use the directory " + m_options.Directory);
        }
        if (!OpenPort())
            return ExitFailure;

        const auto start = std::chrono::steady_clock::now();
        while (m_kept < m_options.Count) {
            if (m_failed)
                return ExitFailure;
            if (g_stop)
                return Fail("interrupted after " + std::to_string(m_kept) + " of " + std::to_string(m_options.Count)
                    + " transfers");
            if (!ReportMessages())
                return ExitFailure;
            // An unplugged adapter or a closed pseudo-terminal takes its
            // device node with it; the port then never receives again.
            struct stat info { };
            if (stat(m_devicePath.c_str(), &info) != 0)
                return Fail("the port failed: " + m_devicePath + " went away after " + std::to_string(m_kept) + " of "
                    + std::to_string(m_options.Count) + " transfers");
            auto wait = std::chrono::milliseconds(200);
            if (m_options.Timeout) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    start + std::chrono::duration<double>(*m_options.Timeout) - std::chrono::steady_clock::now());
                if (left.count() <= 0)
                    return Fail("timed out after " + std::to_string(m_kept) + " of " + std::to_string(m_options.Count)
                        + " transfers");
                wait = std::min(wait, left);
            }
            m_link.Pump(wait);
        }
        return m_failed ? ExitFailure : ExitOk;
    }

private:
    int Fail(const std::string& text)
    {
        std::fprintf(stderr, "zop5-tool capture: %s\n", text.c_str());
        m_failed = true;
        return ExitFailure;
    }

    // The link's warnings ("Unable to re-open communication port!") end the
    // capture.
    bool ReportMessages()
    {
        bool clean = true;
        for (; m_messagesShown < m_window.Ui().Messages.size(); ++m_messagesShown) {
            std::fprintf(
                stderr, "zop5-tool capture: %s\n", Cp1252ToUtf8(m_window.Ui().Messages[m_messagesShown]).c_str());
            clean = false;
        }
        return clean;
    }

    bool OpenPort()
    {
        LinkCommands& link = m_link.Commands();
        int number = 0;
        if (m_options.Device) {
            // The device stands in for COM1, mapped the way the window maps
            // a port from its environment.
            setenv("ZOP5_COM1", m_options.Device->c_str(), 1);
            number = 1;
            link.SelectPort(number);
        } else if (m_options.Port) {
            number = *m_options.Port;
            link.SelectPort(number);
        } else {
            link.ProbePorts();
        }
        const int opened = m_link.CheckedPort();
        const bool warned = !ReportMessages();
        if (opened == 0 || warned) {
            if (number != 0) {
                const std::string port = "COM" + std::to_string(number);
                const std::string path = ResolveDevicePath(port);
                std::fprintf(stderr, "zop5-tool capture: %s: %s\n", path.empty() ? port.c_str() : path.c_str(),
                    DiagnoseDevice(port, path).Text.c_str());
            } else {
                std::fprintf(stderr, "zop5-tool capture: 'zop5-tool ports' tells why each port does not open\n");
            }
            return false;
        }
        const std::string port = "COM" + std::to_string(opened);
        m_devicePath = ResolveDevicePath(port);
        Progress("listening on " + port + " (" + m_devicePath + ")");
        return true;
    }

    void Progress(const std::string& text)
    {
        if (!m_options.Quiet)
            std::fprintf(stderr, "%s\n", text.c_str());
    }

    // Header lines as they are recognised, then the samples as they come.
    void ReportProgress()
    {
        const TransferState& transfer = m_link.Transfer();
        const bool anything = transfer.TimeSeen || transfer.VoltsSeen || transfer.ZeroSeen;
        if (!anything && (m_timeShown || m_voltsShown || m_zeroShown)) {
            if (!m_justKept)
                Progress("transfer started again (a line did not belong to it)");
            m_timeShown = m_voltsShown = m_zeroShown = false;
            m_sampleLines = 0;
        }
        m_justKept = false;
        if (transfer.TimeSeen && !m_timeShown) {
            m_timeShown = true;
            Progress("time base " + Cp1252ToUtf8(transfer.PendingTimeLabel));
        }
        if (transfer.VoltsSeen && !m_voltsShown) {
            m_voltsShown = true;
            Progress("range " + Cp1252ToUtf8(transfer.PendingVoltLabel));
        }
        if (transfer.ZeroSeen && !m_zeroShown) {
            m_zeroShown = true;
            m_sampleLines = 0;
            Progress("zero reference " + std::to_string(transfer.PendingZeroRef));
        } else if (m_zeroShown && transfer.TimeSeen && transfer.VoltsSeen) {
            ++m_sampleLines;
            if (m_sampleLines % 24 == 0 && m_sampleLines < SampleCount)
                Progress("samples " + std::to_string(m_sampleLines) + "/" + std::to_string(SampleCount));
        }
    }

    // The window shows a new waveform: keep it as a file.
    void KeepTransfer()
    {
        m_justKept = true;
        m_timeShown = m_voltsShown = m_zeroShown = false;
        Progress("samples " + std::to_string(SampleCount) + "/" + std::to_string(SampleCount));
        if (m_failed)
            return;
        if (m_options.Description)
            m_window.Form().Description.SetText(Utf8ToCp1252(*m_options.Description));
        const std::string path
            = m_options.Output ? *m_options.Output : NextNumberedFile(m_options.Directory, m_nextNumber);
        try {
            m_window.SaveAs(path, 1);
        } catch (const std::exception& error) {
            Fail(error.what());
            return;
        }
        ++m_kept;
        LineOptions line;
        line.Names = true;
        // Save As gives the file the waveform extension.
        const std::string text = MeasurementLine(m_window, m_window.Record().FileName, line) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    const CaptureOptions& m_options;
    std::unique_ptr<DateTimeSource> m_clock;
    HeadlessWindow m_window;
    HeadlessLink m_link;
    std::string m_devicePath;
    long m_kept = 0;
    int m_nextNumber = 1;
    size_t m_messagesShown = 0;
    bool m_failed = false;
    bool m_timeShown = false;
    bool m_voltsShown = false;
    bool m_zeroShown = false;
    bool m_justKept = false;
    int m_sampleLines = 0;
};

} // namespace

int CaptureCommand(int argc, char** argv)
{
    CaptureOptions chosen;
    try {
        bool helpShown = false;
        chosen = ParseArguments(argc, argv, helpShown);
        if (helpShown) {
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            return ExitOk;
        }
    } catch (const UsageError& error) {
        return ReportUsageError("capture", error.what());
    }
    std::signal(SIGINT, Stop);
    std::signal(SIGTERM, Stop);
    try {
        Capture capture(chosen);
        return capture.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool capture: %s\n", error.what());
        return ExitFailure;
    }
}

} // namespace zop
