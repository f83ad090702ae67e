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
#include <thread>

#include "comm/DevicePath.h"
#include "document/FilePaths.h"
#include "tools/CaptureOutputs.h"
#include "tools/ExportSurfaces.h"
#include "tools/CommandLineWindow.h"
#include "tools/MeasurementLine.h"
#include "tools/PortDiagnosis.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"
#include "waveform/Cp1252.h"

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
  --count N             transfers to receive (default 1); 0: until
                        interrupted (SIGINT, SIGTERM), when the transfer in
                        progress is dropped and the summary is printed
  --timeout SECONDS     give up when they have not all arrived after this
                        long (default: wait without end)
  --description TEXT    the description written with each waveform
  --log FILE.csv        one row per transfer, written as it arrives: time
                        (ISO 8601 with zone), file, time/div and volts/div
                        labels, DC, peak-to-peak and RMS in volts and dB as
                        numbers (empty where the window shows none); a header
                        row starts a new log, an existing one is continued;
                        - for standard output (instead of the measurement lines)
  --json                one JSON object per transfer on standard output
                        (JSON lines): the fields of 'zop5-tool measure --json'
                        with the time received and the 96 samples
  --reconnect           when the device goes away (adapter unplugged), wait
                        for it to come back on the same path (a
                        /dev/serial/by-id/ name follows the adapter to its
                        new node), open it again and go on numbering; with
                        --port or --device also waits for a device that is
                        not there yet
  --rotate N            keep at most N numbered files in the directory, the
                        oldest removed first
  -q, --quiet           no progress on standard error
  -h, --help            this text

Numbered files go on after the highest number already in the directory.

Exit status: 0 when N transfers arrived (or, with --count 0, when stopped by
a signal), 1 on a time-out, a port that does not open or fails, or a file
that cannot be written; 2 usage error.
)";

volatile std::sig_atomic_t g_stop = 0;

void Stop(int signal)
{
    g_stop = signal;
}

struct CaptureOptions {
    std::optional<int> Port;
    std::optional<std::string> Device;
    std::optional<std::string> Output;
    std::string Directory = ".";
    long Count = 1;
    std::optional<double> Timeout;
    std::optional<std::string> Description;
    std::optional<std::string> Log;
    bool Json = false;
    bool Reconnect = false;
    std::optional<long> Rotate;
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
        DescriptionOption,
        LogOption,
        JsonOption,
        ReconnectOption,
        RotateOption
    };
    static const option options[] = {
        { "port", required_argument, nullptr, PortOption },
        { "device", required_argument, nullptr, DeviceOption },
        { "output", required_argument, nullptr, OutputOption },
        { "directory", required_argument, nullptr, DirectoryOption },
        { "count", required_argument, nullptr, CountOption },
        { "timeout", required_argument, nullptr, TimeoutOption },
        { "description", required_argument, nullptr, DescriptionOption },
        { "log", required_argument, nullptr, LogOption },
        { "json", no_argument, nullptr, JsonOption },
        { "reconnect", no_argument, nullptr, ReconnectOption },
        { "rotate", required_argument, nullptr, RotateOption },
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
            chosen.Count = ParseWhole("--count", optarg, 0, 1000000000);
            break;
        case TimeoutOption:
            chosen.Timeout = ParseSeconds("--timeout", optarg, 86400 * 365);
            break;
        case DescriptionOption:
            chosen.Description = optarg;
            break;
        case LogOption:
            chosen.Log = optarg;
            if (chosen.Log->empty())
                throw UsageError("--log: empty file name");
            break;
        case JsonOption:
            chosen.Json = true;
            break;
        case ReconnectOption:
            chosen.Reconnect = true;
            break;
        case RotateOption:
            chosen.Rotate = ParseWhole("--rotate", optarg, 1, 1000000000);
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
    // Save As would give any other name the waveform extension and replace
    // a file that was never named.
    if (chosen.Output && UpperAscii(FileExtension(*chosen.Output)) != ".ZOP")
        throw UsageError("--output must name a waveform file (.zop): " + *chosen.Output);
    if (chosen.Output && chosen.Count != 1)
        throw UsageError("--output takes one transfer; use --directory for more");
    if (chosen.Output && chosen.Rotate)
        throw UsageError("--rotate goes with numbered files, not --output");
    if (chosen.Json && chosen.Log == "-")
        throw UsageError("--json and --log - both write to standard output");
    return chosen;
}

class Capture {
public:
    Capture(const CaptureOptions& options)
        : m_options(options)
        , m_clock(MakeWindowClock())
        , m_window(TraceMode::Smooth, nullptr, nullptr, m_clock.get())
    {
        m_window.Model.LineHandled = [this] { ReportProgress(); };
        m_window.Model.TransferShown = [this] { KeepTransfer(); };
    }

    int Run()
    {
        if (!m_options.Output) {
            std::error_code error;
            std::filesystem::create_directories(m_options.Directory, error);
            if (!std::filesystem::is_directory(m_options.Directory))
                return Fail("cannot use the directory " + m_options.Directory);
        }
        if (!m_options.Output)
            m_numbered.emplace(m_options.Directory);
        if (m_options.Log) {
            try {
                m_log.emplace(*m_options.Log);
            } catch (const std::exception& error) {
                return Fail(FailureText(error));
            }
        }
        if (!OpenPort() && !(m_options.Reconnect && m_number != 0 && WaitForDevice()))
            return m_stopped ? Interrupted() : ExitFailure;

        while (m_options.Count == 0 || m_kept < m_options.Count) {
            if (m_failed)
                return ExitFailure;
            if (g_stop)
                return Interrupted();
            const bool warned = !ReportMessages();
            if (warned && !m_options.Reconnect)
                return ExitFailure;
            // An unplugged adapter or a closed pseudo-terminal takes its
            // device node with it; the port then never receives again.
            struct stat info { };
            if (warned || stat(m_devicePath.c_str(), &info) != 0 || m_window.Model.Component()->DeviceLost()) {
                if (!m_options.Reconnect)
                    return Fail("the port failed: " + m_devicePath + " went away after " + Tally());
                Warn(m_devicePath + " went away after " + Tally() + "; waiting for it to come back");
                ClosePort();
                if (!WaitForDevice())
                    return m_stopped ? Interrupted() : ExitFailure;
                continue;
            }
            const auto left = TimeLeft();
            if (!left)
                return Fail("timed out after " + Tally());
            m_window.Model.PumpPortMessages(std::min(std::chrono::milliseconds(200), *left));
        }
        return m_failed ? ExitFailure : ExitOk;
    }

private:
    int Fail(const std::string& text)
    {
        Warn(text);
        m_failed = true;
        return ExitFailure;
    }

    void Warn(const std::string& text) { std::fprintf(stderr, "zop5-tool capture: %s\n", text.c_str()); }

    // "3 of 5 transfers", or "3 transfers" without an end.
    std::string Tally() const
    {
        return std::to_string(m_kept) + (m_options.Count ? " of " + std::to_string(m_options.Count) : "")
            + (m_kept == 1 && !m_options.Count ? " transfer" : " transfers");
    }

    // A signal ends a capture without a count as planned, and cuts one with
    // a count short.
    int Interrupted()
    {
        if (m_options.Count != 0)
            return Fail("interrupted after " + Tally());
        return Summary();
    }

    int Summary()
    {
        const auto seconds
            = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_start).count();
        Warn(std::string("stopped by ") + (g_stop == SIGTERM ? "SIGTERM" : "SIGINT") + " after " + Tally() + " in "
            + std::to_string(seconds) + " s" + (m_inTransfer ? "; the transfer in progress was dropped" : ""));
        return m_failed ? ExitFailure : ExitOk;
    }

    // Time left before --timeout; nothing once it has passed.
    std::optional<std::chrono::milliseconds> TimeLeft() const
    {
        if (!m_options.Timeout)
            return std::chrono::milliseconds(200);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_start + std::chrono::duration<double>(*m_options.Timeout) - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        return left;
    }

    // Lets go of a port whose device is gone, so it can be opened again.
    void ClosePort()
    {
        try {
            m_window.Model.Component()->SetOpen(false);
        } catch (const std::exception&) {
            // Closing a port on a vanished device reports nothing we can mend.
        }
        for (const Cmd item : { Cmd::Com1Item, Cmd::Com2Item, Cmd::Com3Item, Cmd::Com4Item })
            m_window.Model.Form()[item].Checked = false;
        // What the device sent before it went away never mixes with what it
        // sends once it is back.
        m_window.Model.DropTransfer();
        m_timeShown = m_voltsShown = m_zeroShown = m_inTransfer = false;
    }

    // Waits until the port's device is back and opens it again; false on a
    // signal or the time-out.
    bool WaitForDevice()
    {
        const std::string port = "COM" + std::to_string(m_number);
        std::string lastReason;
        for (;;) {
            if (g_stop) {
                m_stopped = true;
                return false;
            }
            const auto left = TimeLeft();
            if (!left) {
                Fail("timed out after " + Tally() + " while waiting for " + ResolveDevicePath(port));
                return false;
            }
            const std::string path = ResolveDevicePath(port);
            const DeviceDiagnosis why = DiagnoseDevice(port, path);
            if (why.What == DeviceDiagnosis::Kind::Opens) {
                m_window.Model.Link().SelectPort(m_number);
                // Messages of a failed try belong to the wait, not the capture.
                m_messagesShown = m_window.Ui.Messages.size();
                if (m_window.Model.CheckedPort() == m_number) {
                    m_devicePath = path;
                    Warn(path + " is back; listening on " + port + " again");
                    return true;
                }
            } else if (why.Text != lastReason) {
                lastReason = why.Text;
                Progress(port + " (" + (path.empty() ? "-" : path) + "): " + why.Text + "; waiting");
            }
            std::this_thread::sleep_for(std::min(std::chrono::milliseconds(250), *left));
        }
    }

    // The link's warnings ("Unable to re-open communication port!") end the
    // capture.
    bool ReportMessages()
    {
        bool clean = true;
        for (; m_messagesShown < m_window.Ui.Messages.size(); ++m_messagesShown) {
            std::fprintf(
                stderr, "zop5-tool capture: %s\n", Cp1252ToUtf8(m_window.Ui.Messages[m_messagesShown]).c_str());
            clean = false;
        }
        return clean;
    }

    bool OpenPort()
    {
        LinkCommands& link = m_window.Model.Link();
        int& number = m_number;
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
        const int opened = m_window.Model.CheckedPort();
        const bool warned = !ReportMessages();
        if (opened == 0 || warned) {
            if (number != 0 && m_options.Reconnect) {
                m_messagesShown = m_window.Ui.Messages.size();
                ClosePort();
            } else if (number != 0) {
                const std::string port = "COM" + std::to_string(number);
                const std::string path = ResolveDevicePath(port);
                std::fprintf(stderr, "zop5-tool capture: %s: %s\n", path.empty() ? port.c_str() : path.c_str(),
                    DiagnoseDevice(port, path).Text.c_str());
            } else {
                std::fprintf(stderr, "zop5-tool capture: 'zop5-tool ports' tells why each port does not open\n");
            }
            return false;
        }
        m_number = opened;
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
        const TransferState& transfer = m_window.Model.Transfer();
        const bool anything = transfer.TimeSeen || transfer.VoltsSeen || transfer.ZeroSeen;
        m_inTransfer = anything;
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
        m_timeShown = m_voltsShown = m_zeroShown = m_inTransfer = false;
        Progress("samples " + std::to_string(SampleCount) + "/" + std::to_string(SampleCount));
        if (m_failed)
            return;
        if (m_options.Description)
            m_window.Model.Form().Description.SetText(Utf8ToCp1252(*m_options.Description));
        const std::string path = m_options.Output ? *m_options.Output : m_numbered->Next();
        try {
            m_window.SaveAs(path, 1);
        } catch (const std::exception& error) {
            Fail(FailureText(error));
            return;
        }
        ++m_kept;
        if (m_options.Rotate)
            for (const std::string& removed : m_numbered->Rotate(static_cast<size_t>(*m_options.Rotate)))
                Progress("removed " + removed);
        // Save As gives the file the waveform extension.
        const std::string file = m_window.Model.Record().FileName;
        CaptureRecord record { IsoTimeNow(), file, Cp1252ToUtf8(m_window.Model.Form().SettingsPanel[TimeDivPanel]),
            Cp1252ToUtf8(m_window.Model.Form().SettingsPanel[VoltsDivPanel]), MeasuredNumbersOf(m_window.Model), {} };
        std::copy(
            m_window.Model.Record().Samples.begin(), m_window.Model.Record().Samples.end(), record.Samples.begin());
        try {
            if (m_log)
                m_log->Write(record);
        } catch (const std::exception& error) {
            Fail(FailureText(error));
            return;
        }
        std::string text;
        LineOptions line;
        line.Names = true;
        if (m_options.Json) {
            line.Format = LineFormat::Json;
            text = CaptureJsonLine(MeasurementLine(m_window.Model, file, line), record) + "\n";
        } else if (m_options.Log != "-") {
            text = MeasurementLine(m_window.Model, file, line) + "\n";
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    const CaptureOptions& m_options;
    std::unique_ptr<DateTimeSource> m_clock;
    CommandLineWindow m_window;
    std::string m_devicePath;
    int m_number = 0; // the port listened on
    std::optional<NumberedFiles> m_numbered;
    std::optional<CaptureLog> m_log;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    bool m_stopped = false;
    bool m_inTransfer = false;
    long m_kept = 0;
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
    struct sigaction stop { };
    stop.sa_handler = Stop;
    stop.sa_flags = SA_RESTART;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    try {
        Capture capture(chosen);
        return capture.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool capture: %s\n", FailureText(error));
        return ExitFailure;
    }
}

} // namespace zop
