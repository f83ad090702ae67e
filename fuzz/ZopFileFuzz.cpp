// The waveform file reader fed arbitrary bytes. What it accepts must be a
// document the program can show, save and open again unchanged:
//  - every number is in range and both labels come from the tables;
//  - writing it gives 104 CR LF lines that match the input line for line:
//    the signature and the volts label up to ASCII letter case, the three
//    texts and the time label byte for byte, each number with the same value
//    (byte for byte when the input wrote it in plain decimal), line 8 empty
//    and nothing after line 104;
//  - reading the written file gives the same document again.
#include <string>
#include <string_view>
#include <vector>

#include "document/WaveformFile.h"
#include "fuzz/FuzzCheck.h"
#include "waveform/Cp1252.h"
#include "waveform/ScaleTables.h"

namespace {

using namespace zop;

// The file's lines as the format defines them: up to each CR, an LF right
// after the CR belonging to the line end; 0x1A or the end of the bytes ends
// the data and every further line is empty.
std::vector<std::string> SplitLines(std::string_view bytes, size_t count)
{
    std::vector<std::string> lines;
    size_t i = 0;
    bool ended = false;
    while (lines.size() < count) {
        std::string line;
        while (!ended) {
            if (i >= bytes.size() || bytes[i] == '\x1A') {
                ended = true;
                break;
            }
            const char c = bytes[i++];
            if (c == '\r') {
                if (i < bytes.size() && bytes[i] == '\n')
                    ++i;
                break;
            }
            line += c;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool PlainDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0'))
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool SameDocument(const IncomingImage& a, const IncomingImage& b)
{
    return a.Description == b.Description && a.Date == b.Date && a.Time == b.Time && a.TimeLabel == b.TimeLabel
        && a.VoltsLabel == b.VoltsLabel && a.ZeroRef == b.ZeroRef && a.ProbeFactor == b.ProbeFactor
        && a.VoltIndex == b.VoltIndex && a.TimeIndex == b.TimeIndex && a.Samples == b.Samples
        && a.IncomingCursors == b.IncomingCursors;
}

WaveformFileContents ContentsOf(const IncomingImage& image)
{
    WaveformFileContents contents;
    contents.Description = image.Description;
    contents.Date = image.Date;
    contents.Time = image.Time;
    contents.TimeLabel = image.TimeLabel;
    contents.VoltsLabel = image.VoltsLabel;
    contents.ZeroRef = image.ZeroRef;
    contents.Samples = image.Samples;
    return contents;
}

void CheckNumberLine(const std::string& input, const std::string& written, int32_t value)
{
    FUZZ_CHECK(written == std::to_string(value));
    if (PlainDecimal(input))
        FUZZ_CHECK(input == written);
}

int FuzzZopFile(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IncomingImage image;
    if (!ReadWaveformData(bytes, image))
        return 0;

    FUZZ_CHECK(image.ZeroRef >= 0 && image.ZeroRef <= 255);
    for (int32_t sample : image.Samples)
        FUZZ_CHECK(sample >= 0 && sample <= 255);
    FUZZ_CHECK(ValidTimeIndex(image.TimeIndex));
    FUZZ_CHECK(ValidVoltIndex(image.VoltIndex));
    FUZZ_CHECK(ValidProbeFactor(image.ProbeFactor));
    FUZZ_CHECK(EqualsIgnoreAsciiCase(image.TimeLabel, TimeLabel(image.TimeIndex)));
    FUZZ_CHECK(image.VoltsLabel == VoltsLabel(image.VoltIndex, image.ProbeFactor));
    FUZZ_CHECK(image.IncomingCursors == CursorPositions {});

    const std::string written = FormatWaveformFile(ContentsOf(image));
    const std::vector<std::string> in = SplitLines(bytes, WaveformFileLines);
    const std::vector<std::string> out = SplitLines(written, WaveformFileLines + 1);

    // Exactly 104 lines, each ended by CR LF, and nothing after them.
    size_t crlf = 0;
    for (size_t i = 0; i + 1 < written.size(); ++i)
        if (written[i] == '\r')
            crlf += written[i + 1] == '\n' ? 1 : 1000;
    FUZZ_CHECK(crlf == WaveformFileLines);
    FUZZ_CHECK(written.size() >= 2 && written.substr(written.size() - 2) == "\r\n");
    FUZZ_CHECK(out[WaveformFileLines].empty());

    FUZZ_CHECK(out[0] == WaveformSignature);
    FUZZ_CHECK(EqualsIgnoreAsciiCase(in[0], out[0]));
    for (size_t i = 1; i <= 4; ++i)
        FUZZ_CHECK(in[i] == out[i]);
    FUZZ_CHECK(EqualsIgnoreAsciiCase(in[5], out[5]));
    CheckNumberLine(in[6], out[6], image.ZeroRef);
    FUZZ_CHECK(out[7].empty());
    for (size_t i = 0; i < SampleCount; ++i)
        CheckNumberLine(in[8 + i], out[8 + i], image.Samples[i]);

    IncomingImage again;
    FUZZ_CHECK(ReadWaveformData(written, again));
    FUZZ_CHECK(SameDocument(image, again));
    FUZZ_CHECK(FormatWaveformFile(ContentsOf(again)) == written);
    return 0;
}

} // namespace

FUZZ_TARGET("zop_file", FuzzZopFile)
