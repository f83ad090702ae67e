// zop5-tool spectrum: the dominant frequency, its level and the harmonic
// distortion of waveform files, and with --csv or --json every bin.
#include <cstdio>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/Spectrum.h"
#include "tools/AnalysisReport.h"
#include "tools/CommandLineWindow.h"
#include "tools/MeasurementLine.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool spectrum [OPTIONS] FILE.zop...

Opens each waveform file as the window's Open command does and prints the
spectrum of its 96 samples: a DFT of the waveform with its mean removed, 49
bins from 0 Hz to half the sample rate, 1 / (96 x sample interval) apart, each
the RMS amplitude in dBV (dB relative to 1 V; -200 for a bin without any).
One line per file with its name, the dominant frequency (refined between
bins), its level and the total harmonic distortion of harmonics 2 to 5 below
half the sample rate; "-" where the waveform does not allow a value (a flat
line has no dominant frequency, an off-scale sample hides the spectrum).

Options:
  --window hann|rect  the window applied before the transform (default hann;
                      rect suits a screen holding whole periods)
  --probe x1|x10      switch the probe after opening, as the Probe menu does
  --csv               every bin: a header row, then one row per bin with the
                      file, hz, dbv and the file's dominant_frequency_hz,
                      dominant_dbv and thd_percent (empty when not measurable)
  --json              one JSON object per file: file, window,
                      dominant_frequency_hz, dominant_dbv, thd_percent (null
                      when not measurable) and bins as a list of [hz, dbv]
  -h, --help          this text

Exit status: 0 all files read, 1 a file was refused, 2 usage error.
)";

enum class SpectrumFormat { Text, Csv, Json };

struct SpectrumOptions {
    SpectrumWindow Window = SpectrumWindow::Hann;
    std::optional<int32_t> Probe;
    SpectrumFormat Format = SpectrumFormat::Text;
};

std::string Level(const std::optional<double>& value, const char* unit)
{
    if (!value)
        return "-";
    char text[48];
    std::snprintf(text, sizeof text, "%.4g%s", *value, unit);
    return text;
}

std::string Report(const std::string& name, const WaveformSpectrum& s, const SpectrumOptions& options)
{
    switch (options.Format) {
    case SpectrumFormat::Text:
        return name + "\t" + EngineeringText(s.DominantHz, "Hz") + "\t" + Level(s.DominantDbv, "dBV") + "\t"
            + Level(s.ThdPercent, "%") + "\n";
    case SpectrumFormat::Json:
        return "{\"file\":" + JsonString(name) + "," + SpectrumJsonMembers(s, options.Window, SpectrumBinsShown::Yes)
            + "}\n";
    case SpectrumFormat::Csv: {
        const std::string summary
            = CsvNumber(s.DominantHz) + "," + CsvNumber(s.DominantDbv) + "," + CsvNumber(s.ThdPercent) + "\n";
        const std::string file = CsvField(name);
        if (!s.Bins)
            return file + ",,," + summary;
        std::string rows;
        for (const SpectrumBin& bin : *s.Bins)
            rows += file + "," + CsvNumber(bin.Hz) + "," + CsvNumber(bin.Dbv) + "," + summary;
        return rows;
    }
    }
    return {};
}

} // namespace

int SpectrumCommand(int argc, char** argv)
{
    enum { WindowOption = 256, ProbeOption, CsvOption, JsonOption };
    static const option options[] = {
        { "window", required_argument, nullptr, WindowOption },
        { "probe", required_argument, nullptr, ProbeOption },
        { "csv", no_argument, nullptr, CsvOption },
        { "json", no_argument, nullptr, JsonOption },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    SpectrumOptions chosen;
    try {
        optind = 1;
        opterr = 0;
        for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
            switch (c) {
            case WindowOption:
                if (const auto window = ParseSpectrumWindow(optarg))
                    chosen.Window = *window;
                else
                    throw UsageError(std::string("--window: expected hann or rect: ") + optarg);
                break;
            case ProbeOption:
                chosen.Probe = ParseProbe(optarg);
                break;
            case CsvOption:
                chosen.Format = SpectrumFormat::Csv;
                break;
            case JsonOption:
                chosen.Format = SpectrumFormat::Json;
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
        return ReportUsageError("spectrum", error.what());
    }

    if (chosen.Format == SpectrumFormat::Csv)
        std::fputs("file,hz,dbv,dominant_frequency_hz,dominant_dbv,thd_percent\n", stdout);
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
        const std::optional<VoltWaveform> volts = ShownInVolts(window.Model);
        const std::string report = Report(path, volts ? Spectrum(*volts, chosen.Window) : WaveformSpectrum {}, chosen);
        std::fwrite(report.data(), 1, report.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? status : ExitFailure;
}

} // namespace zop
