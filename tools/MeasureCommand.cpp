// zop5-tool measure: the window's measurement texts of waveform files.
#include <cstdio>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>

#include "tools/CommandLineWindow.h"
#include "tools/MeasurementLine.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool measure [OPTIONS] FILE.zop...

Opens each waveform file as the window's Open command does and prints one
line with the six texts of the window's settings line, separated by tabs:
time/div, volts/div, DC level, peak-to-peak, RMS and decibels.
A file the window would refuse prints "Incorrect file type" on standard
error and makes the exit status 1; the other files are still measured.

Options:
  --probe x1|x10     switch the probe after opening, as the Probe menu does
  --cursors C1,C2    place the measurement crosses as a press at sample column
                     C1 and a release at column C2 (0..95) would, and append
                     the three cursor texts (dV, dt, f)
  --names            put the file name first on each line
  --extended         append the analysis, in this order: minimum, maximum,
                     mean, AC RMS (about the mean), frequency, period, duty
                     cycle, positive and negative width, rise and fall time
                     (10% to 90%), crest factor; "-" when the waveform does
                     not allow a value (too few crossings, periods that do not
                     agree, an off-scale sample on what it needs)
  --json             one JSON object per line with the same texts and the
                     numbers: volts, seconds, hertz, dB, clipped; with
                     --extended also min_volts, max_volts, mean_volts,
                     ac_rms_volts, frequency_hz, period_seconds, duty_cycle
                     (0..1), positive_width_seconds, negative_width_seconds,
                     rise_seconds, fall_seconds, crest_factor (null when not
                     measurable)
  -h, --help         this text

Exit status: 0 all files measured, 1 a file was refused, 2 usage error.
)";

struct MeasureOptions {
    std::optional<int32_t> Probe;
    std::optional<CursorColumns> Cursors;
    LineOptions Line;
};

} // namespace

int MeasureCommand(int argc, char** argv)
{
    enum { ProbeOption = 256, CursorsOption, NamesOption, JsonOption, ExtendedOption };
    static const option options[] = {
        { "probe", required_argument, nullptr, ProbeOption },
        { "cursors", required_argument, nullptr, CursorsOption },
        { "names", no_argument, nullptr, NamesOption },
        { "json", no_argument, nullptr, JsonOption },
        { "extended", no_argument, nullptr, ExtendedOption },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    MeasureOptions chosen;
    try {
        optind = 1;
        opterr = 0;
        for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
            switch (c) {
            case ProbeOption:
                chosen.Probe = ParseProbe(optarg);
                break;
            case CursorsOption:
                chosen.Cursors = ParseCursorColumns(optarg);
                chosen.Line.Cursors = true;
                break;
            case NamesOption:
                chosen.Line.Names = true;
                break;
            case JsonOption:
                chosen.Line.Format = LineFormat::Json;
                break;
            case ExtendedOption:
                chosen.Line.Extended = true;
                break;
            case 'h':
                std::fwrite(Help.data(), 1, Help.size(), stdout);
                return ExitOk;
            default:
                throw UsageError(std::string("unknown or incomplete option: ") + argv[optind - 1]);
            }
        }
        if (optind >= argc)
            throw UsageError("no waveform file given");
    } catch (const UsageError& error) {
        return ReportUsageError("measure", error.what());
    }

    int status = ExitOk;
    for (int i = optind; i < argc; ++i) {
        const std::string path = argv[i];
        CommandLineWindow window;
        if (!window.Open(path)) {
            for (const std::string& message : window.Ui.Messages)
                std::fprintf(stderr, "%s: %s\n", path.c_str(), Cp1252ToUtf8(message).c_str());
            status = ExitFailure;
            continue;
        }
        if (chosen.Probe)
            window.SelectProbe(*chosen.Probe);
        if (chosen.Cursors)
            window.PlaceCursors(chosen.Cursors->First, chosen.Cursors->Second);
        const std::string line = MeasurementLine(window.Model, path, chosen.Line) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? status : ExitFailure;
}

} // namespace zop
