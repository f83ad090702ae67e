// zop5-tool export: a waveform file as the pictures and the page the window
// makes of it, or as a table of its samples.
#include <cstdio>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>

#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"
#include "tools/WaveformExport.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool export [OPTIONS] FILE.zop OUT

Opens the waveform file as the window's Open command does and writes it in
the format OUT's extension names:
  .bmp   the monochrome bitmap Save As writes (384 x 321, one bit per pixel)
  .wmf   the placeable Windows metafile Save As writes (396 x 321)
  .pdf   the printed page at --dpi on --page paper
  .png   the export sheet as a picture (396 x 321 times --scale)
  .svg   the export sheet as a scalable picture, titled with the description
  .csv   one row per sample under a header row: index, time in seconds from
         the first sample, raw value, volts relative to the zero reference
         (empty for an off-scale sample)
  .json  the whole waveform: format "zop5-waveform" and version 1, texts,
         labels, indices, probe, zero reference, sample interval, samples,
         their volts (null when off-scale), the measurements (with the
         cursor readout when --cursors is given), the analysis and the
         spectrum; zop5-tool convert reads it back
  .sr    a sigrok session with one analog channel in volts at the sample
         rate (an off-scale sample holds the voltage of the range's end it
         lies beyond); time bases slower than 1 sample a second are refused

Options:
  --mode dot|bar|smooth  trace drawing mode (default: the window's configured
                         mode)
  --probe x1|x10         switch the probe after opening, as the Probe menu does
  --cursors C1,C2        place the measurement crosses as a press at sample
                         column C1 and a release at column C2 (0..95) would
  --dpi N                resolution of the PDF page, 72..2400 (default 600)
  --page a4|letter       paper of the PDF page (default a4)
  --scale N              pixels per unit of the PNG picture, 1..8 (default 1)
  --background white|transparent
                         the ground of the PNG and SVG pictures (default
                         white: on a transparent ground the black texts
                         vanish on a dark page)
  -h, --help             this text

An existing OUT is replaced only once the new file is complete.
Exit status: 0 written, 1 the file was refused or OUT could not be written,
2 usage error.
)";

PdfPage ParsePage(std::string_view text)
{
    if (EqualsIgnoreAsciiCase(text, "a4"))
        return PdfPage::A4;
    if (EqualsIgnoreAsciiCase(text, "letter"))
        return PdfPage::Letter;
    throw UsageError("--page: expected a4 or letter: " + std::string(text));
}

PictureBackground ParseBackground(std::string_view text)
{
    if (EqualsIgnoreAsciiCase(text, "white"))
        return PictureBackground::White;
    if (EqualsIgnoreAsciiCase(text, "transparent"))
        return PictureBackground::Transparent;
    throw UsageError("--background: expected white or transparent: " + std::string(text));
}

ExportRequest ParseArguments(int argc, char** argv, bool& helpShown, bool& modeGiven)
{
    enum { ModeOption = 256, ProbeOption, CursorsOption, DpiOption, PageOption, ScaleOption, BackgroundOption };
    static const option options[] = {
        { "mode", required_argument, nullptr, ModeOption },
        { "probe", required_argument, nullptr, ProbeOption },
        { "cursors", required_argument, nullptr, CursorsOption },
        { "dpi", required_argument, nullptr, DpiOption },
        { "page", required_argument, nullptr, PageOption },
        { "scale", required_argument, nullptr, ScaleOption },
        { "background", required_argument, nullptr, BackgroundOption },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    ExportRequest chosen;
    optind = 1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        switch (c) {
        case ModeOption:
            chosen.Mode = ParseMode(optarg);
            modeGiven = true;
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
        case PageOption:
            chosen.Page = ParsePage(optarg);
            break;
        case ScaleOption:
            chosen.Picture.Scale = static_cast<int>(ParseWhole("--scale", optarg, 1, 8));
            break;
        case BackgroundOption:
            chosen.Picture.Background = ParseBackground(optarg);
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
    const std::optional<ExportFormat> kind = ExportFormatOf(chosen.Output);
    if (!kind)
        throw UsageError(
            "the output's extension must be .bmp, .wmf, .pdf, .png, .svg, .csv, .json or .sr: " + chosen.Output);
    chosen.Format = *kind;
    return chosen;
}

} // namespace

int ExportCommand(int argc, char** argv)
{
    ExportRequest request;
    bool modeGiven = false;
    try {
        bool helpShown = false;
        request = ParseArguments(argc, argv, helpShown, modeGiven);
        if (helpShown) {
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            return ExitOk;
        }
    } catch (const UsageError& error) {
        return ReportUsageError("export", error.what());
    }

    try {
        if (!modeGiven)
            request.Mode = ConfiguredViewMode();
        // Only the formats painted by the window system need its surfaces.
        const std::unique_ptr<ExportSurfaces> surfaces = NeedsSurfaces(request.Format) ? MakeExportSurfaces() : nullptr;
        const std::vector<std::string> refused = ExportWaveform(request, surfaces.get());
        for (const std::string& message : refused)
            std::fprintf(stderr, "%s: %s\n", request.Input.c_str(), Cp1252ToUtf8(message).c_str());
        return refused.empty() ? ExitOk : ExitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool export: %s\n", FailureText(error));
        return ExitFailure;
    }
}

} // namespace zop
