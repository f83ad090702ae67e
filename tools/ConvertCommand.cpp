// zop5-tool convert: a waveform exported as JSON or as a CSV sample table
// turned back into a waveform file.
#include <cstdio>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>

#include "document/FilePaths.h"
#include "document/SafeFile.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"
#include "tools/WaveformImport.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool convert [OPTIONS] IN OUT.zop

Reads a waveform that zop5-tool export wrote and writes it as a waveform
file, by IN's extension:
  .json  the JSON export: texts, labels, zero reference and samples as
         exported (the other members are ignored). A waveform file exported
         to JSON and converted back is byte for byte the file Save writes.
  .csv   the CSV sample table: the samples, the time base from the time
         column and the range and zero reference from the volts column; the
         table holds no texts, so description, date and time are empty unless
         given below.

Options:
  --description TEXT  the description (UTF-8), instead of IN's
  --date TEXT         the date, instead of IN's
  --time TEXT         the time, instead of IN's
  --volts-div LABEL   the range of a CSV table whose volts do not tell it (a
                      flat or off-scale waveform): a volts/div label such as
                      0.1V/div (the x1 column first, as a file's label)
  --zero-ref N        the zero reference of such a table, 0..255
  -h, --help          this text

An existing OUT is replaced only once the new file is complete.
Exit status: 0 written, 1 IN was refused or OUT could not be written,
2 usage error.
)";

// The largest file an export can be: long texts aside, a few kilobytes.
constexpr size_t InputLimit = size_t { 16 } << 20;

struct ConvertRequest {
    std::string Input;
    std::string Output;
    std::optional<std::string> Description;
    std::optional<std::string> Date;
    std::optional<std::string> Time;
    SampleTableHints Hints;
};

std::string Cp1252Option(std::string_view option, const char* utf8)
{
    const std::string text = Utf8ToCp1252(utf8);
    if (Cp1252ToUtf8(text) != utf8)
        throw UsageError(std::string(option) + ": a character has no place in a waveform file's code page");
    return text;
}

ConvertRequest ParseArguments(int argc, char** argv, bool& helpShown)
{
    enum { DescriptionOption = 256, DateOption, TimeOption, VoltsDivOption, ZeroRefOption };
    static const option options[] = {
        { "description", required_argument, nullptr, DescriptionOption },
        { "date", required_argument, nullptr, DateOption },
        { "time", required_argument, nullptr, TimeOption },
        { "volts-div", required_argument, nullptr, VoltsDivOption },
        { "zero-ref", required_argument, nullptr, ZeroRefOption },
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    ConvertRequest chosen;
    optind = 1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        switch (c) {
        case DescriptionOption:
            chosen.Description = Cp1252Option("--description", optarg);
            break;
        case DateOption:
            chosen.Date = Cp1252Option("--date", optarg);
            break;
        case TimeOption:
            chosen.Time = Cp1252Option("--time", optarg);
            break;
        case VoltsDivOption:
            chosen.Hints.Range = FindVoltIndex(Cp1252Option("--volts-div", optarg));
            if (!chosen.Hints.Range)
                throw UsageError(std::string("--volts-div: not a volts/div label: ") + optarg);
            break;
        case ZeroRefOption:
            chosen.Hints.ZeroRef = static_cast<int32_t>(ParseWhole("--zero-ref", optarg, 0, 255));
            break;
        case 'h':
            helpShown = true;
            return chosen;
        default:
            throw UsageError(std::string("unknown or incomplete option: ") + argv[optind - 1]);
        }
    }
    if (argc - optind != 2)
        throw UsageError("expected an exported file and a waveform file");
    chosen.Input = argv[optind];
    chosen.Output = argv[optind + 1];
    const std::string in = UpperAscii(FileExtension(chosen.Input));
    if (in != ".JSON" && in != ".CSV")
        throw UsageError("the input's extension must be .json or .csv: " + chosen.Input);
    if (UpperAscii(FileExtension(chosen.Output)) != ".ZOP")
        throw UsageError("the output's extension must be .zop: " + chosen.Output);
    return chosen;
}

} // namespace

int ConvertCommand(int argc, char** argv)
{
    ConvertRequest request;
    try {
        bool helpShown = false;
        request = ParseArguments(argc, argv, helpShown);
        if (helpShown) {
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            return ExitOk;
        }
    } catch (const UsageError& error) {
        return ReportUsageError("convert", error.what());
    }

    WaveformFileContents contents;
    try {
        const std::string bytes = ReadExportedFile(request.Input, InputLimit);
        contents = UpperAscii(FileExtension(request.Input)) == ".JSON" ? ReadWaveformJson(bytes)
                                                                       : ReadSampleTable(bytes, request.Hints);
    } catch (const ImportError& error) {
        std::fprintf(stderr, "%s: %s\n", request.Input.c_str(), error.what());
        return ExitFailure;
    }
    if (request.Description)
        contents.Description = *request.Description;
    if (request.Date)
        contents.Date = *request.Date;
    if (request.Time)
        contents.Time = *request.Time;
    try {
        WriteFileReplacing(request.Output, FormatWaveformFile(contents));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool convert: %s\n", FailureText(error));
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace zop
