// zop5-tool export: a waveform file as the pictures and the page the window
// makes of it, or as a table of its samples.
#include <cstdio>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>

#include "display/ScaleTables.h"
#include "document/Cp1252.h"
#include "output/ReportSheet.h"
#include "output/WmfCanvas.h"
#include "tools/ExportSurfaces.h"
#include "tools/HeadlessWindow.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool export [OPTIONS] FILE.zop OUT

Opens the waveform file as the window's Open command does and writes it in
the format OUT's extension names:
  .bmp   the monochrome bitmap Save As writes (384 x 321, one bit per pixel)
  .wmf   the placeable Windows metafile Save As writes (396 x 321)
  .pdf   the printed page (A4) at --dpi
  .png   the export sheet as a picture (396 x 321, transparent background)
  .svg   the export sheet as a scalable picture
  .csv   one row per sample under a header row: index, time in seconds from
         the first sample, raw value, volts relative to the zero reference
         (empty for an off-scale sample)

Options:
  --mode dot|bar|smooth  trace drawing mode (default: the window's configured
                         mode)
  --probe x1|x10         switch the probe after opening, as the Probe menu does
  --cursors C1,C2        place the measurement crosses as a press at sample
                         column C1 and a release at column C2 (0..95) would
  --dpi N                resolution of the PDF page, 72..2400 (default 600)
  -h, --help             this text

An existing OUT is replaced only once the new file is complete.
Exit status: 0 written, 1 the file was refused or OUT could not be written,
2 usage error.
)";

enum class Format { Bitmap, Metafile, Pdf, Png, Svg, Csv };

std::optional<Format> FormatOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    const std::string extension = UpperAscii(path.substr(dot));
    if (extension == ".BMP")
        return Format::Bitmap;
    if (extension == ".WMF")
        return Format::Metafile;
    if (extension == ".PDF")
        return Format::Pdf;
    if (extension == ".PNG")
        return Format::Png;
    if (extension == ".SVG")
        return Format::Svg;
    if (extension == ".CSV")
        return Format::Csv;
    return std::nullopt;
}

std::string Number(long double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.10Lg", value);
    return text;
}

// The samples as a table; volts at the probe in effect, from the zero
// reference, by the display's scale (an off-scale sample has none).
std::string SampleTable(const WaveformRecord& record, int32_t probe)
{
    const TimeBaseRow& time = TimeRow(record.TimeIndex);
    const VoltScale scale = VoltsPerCount(record.VoltIndex, probe);
    const long double perUnit = scale.Prefix == "m" ? 1000.0L : 1.0L;
    std::string csv = "index,time_s,raw,volts\r\n";
    for (int i = 0; i < SampleCount; ++i) {
        const int32_t raw = record.Samples[static_cast<size_t>(i)];
        csv += std::to_string(i) + "," + Number(StepsToTime(i, record.TimeIndex) / time.PrefixDivisor) + ","
            + std::to_string(raw) + ",";
        if (raw != 0 && raw != 255)
            csv += Number(CountsToVolts(raw - record.ZeroRef, record.VoltIndex, probe) / perUnit);
        csv += "\r\n";
    }
    return csv;
}

struct ExportOptions {
    std::optional<TraceMode> Mode;
    std::optional<int32_t> Probe;
    std::optional<CursorColumns> Cursors;
    int Dpi = 600;
    std::string Input;
    std::string Output;
    Format Kind = Format::Csv;
};

ExportOptions ParseArguments(int argc, char** argv, bool& helpShown)
{
    enum { ModeOption = 256, ProbeOption, CursorsOption, DpiOption };
    static const option options[] = {
        { "mode", required_argument, nullptr, ModeOption },
        { "probe", required_argument, nullptr, ProbeOption },
        { "cursors", required_argument, nullptr, CursorsOption },
        { "dpi", required_argument, nullptr, DpiOption },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    ExportOptions chosen;
    optind = 1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        switch (c) {
        case ModeOption:
            chosen.Mode = ParseMode(optarg);
            break;
        case ProbeOption:
            chosen.Probe = ParseProbe(optarg);
            break;
        case CursorsOption:
            chosen.Cursors = ParseCursorColumns(optarg);
            break;
        case DpiOption:
            chosen.Dpi = static_cast<int>(ParseWhole("--dpi", optarg, 72, 2400));
            break;
        case 'h':
            helpShown = true;
            return chosen;
        default:
            throw UsageError(std::string("unknown or incomplete option: ") + argv[optind - 1]);
        }
    }
    if (argc - optind != 2)
        throw UsageError("expected a waveform file and an output file");
    chosen.Input = argv[optind];
    chosen.Output = argv[optind + 1];
    const std::optional<Format> kind = FormatOf(chosen.Output);
    if (!kind)
        throw UsageError("the output's extension must be .bmp, .wmf, .pdf, .png, .svg or .csv: " + chosen.Output);
    chosen.Kind = *kind;
    return chosen;
}

} // namespace

int ExportCommand(int argc, char** argv)
{
    ExportOptions chosen;
    try {
        bool helpShown = false;
        chosen = ParseArguments(argc, argv, helpShown);
        if (helpShown) {
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            return ExitOk;
        }
    } catch (const UsageError& error) {
        return ReportUsageError("export", error.what());
    }

    try {
        // Only the pictures that show the screen need the window system.
        const bool drawn = chosen.Kind != Format::Csv && chosen.Kind != Format::Metafile;
        std::unique_ptr<ExportSurfaces> surfaces = drawn ? MakeExportSurfaces() : nullptr;
        HeadlessWindow window(
            chosen.Mode ? *chosen.Mode : ConfiguredViewMode(), surfaces ? surfaces->ScreenPicture() : nullptr);
        if (!window.Open(chosen.Input)) {
            for (const std::string& message : window.Ui().Messages)
                std::fprintf(stderr, "%s: %s\n", chosen.Input.c_str(), Cp1252ToUtf8(message).c_str());
            return ExitFailure;
        }
        if (chosen.Probe)
            window.SelectProbe(*chosen.Probe);
        if (chosen.Cursors)
            window.PlaceCursors(chosen.Cursors->First, chosen.Cursors->Second);

        const SheetContent sheet = SheetFromWindow(window.Form(), window.Record(), window.Cursors());
        switch (chosen.Kind) {
        case Format::Bitmap:
            surfaces->WriteBitmap(chosen.Output, sheet);
            break;
        case Format::Metafile:
            WritePictureFile(chosen.Output, ExportMetafile(sheet));
            break;
        case Format::Pdf:
            surfaces->WritePdf(chosen.Output, sheet, chosen.Dpi);
            break;
        case Format::Png:
            surfaces->WritePng(chosen.Output, sheet);
            break;
        case Format::Svg:
            surfaces->WriteSvg(chosen.Output, sheet);
            break;
        case Format::Csv: {
            const std::string csv = SampleTable(window.Record(), window.Form().ProbeMenuFactor());
            WritePictureFile(chosen.Output, std::vector<uint8_t>(csv.begin(), csv.end()));
            break;
        }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool export: %s\n", error.what());
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace zop
