#pragma once
// The transfer as the instrument writes it: the time-base line, the volts
// line, the zero-reference line and 96 sample lines, each ended by a carriage
// return (some instruments add a line feed). The instrument has two ways of
// writing each header; both are accepted by the recogniser. Writing and
// recognising the lines live here together, so the two cannot drift apart.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "waveform/WaveformRecord.h"

namespace zop {

// Both forms fill numbers to their width: form A with zeros ("Zero Reference= 042",
// "05131"), form B with blanks ("Zero Ref= 42", " 5131").
enum class LineForm {
    A, // "  1us/Sample", "Range(254)= 0.8V", "Zero Reference= 127", "00131"
    B, // "1us/Sample", "Full scale (254)= 800mV", "Zero Ref=127", " 0131"
};
enum class LineEnding { Cr, CrLf };

struct InstrumentWaveform {
    int32_t TimeIndex = 1; // 1..22
    int32_t VoltIndex = 1; // 1..12
    int32_t ZeroRef = 127; // 0..255
    SampleArray Samples {}; // each 0..255
};

// The 99 lines of one transfer, without line ends. Throws std::out_of_range
// when an index or a value is outside what the instrument can send.
std::vector<std::string> InstrumentLines(const InstrumentWaveform& waveform, LineForm form);

// The bytes of one transfer.
std::string EncodeTransfer(const InstrumentWaveform& waveform, LineForm form, LineEnding ending);

// Recognising one line (without its line end). Headers match exactly and
// case-sensitively: the padded form first, then the plain one (time base),
// the range form first, then the full-scale form (volts). The 1-based row.
std::optional<int32_t> MatchTimeBaseLine(std::string_view line);
std::optional<int32_t> MatchVoltsLine(std::string_view line);

// The zero-reference line: a line containing either form's marker.
bool IsZeroReferenceLine(std::string_view line);
// Its value, the line's last three characters; nullopt when they are not a
// reading of the instrument's 8-bit converter (a corrupt line).
std::optional<int32_t> ZeroReferenceValue(std::string_view line);

// A sample line has exactly this many characters: a two-character index and a
// three-character reading.
constexpr size_t SampleLineLength = 5;
struct SampleLine {
    int32_t Index; // 0..95
    int32_t Value; // 0..255
};
// A line of SampleLineLength characters; nullopt when the index or the
// reading is not a number in range, which is line noise, not the instrument.
std::optional<SampleLine> ParseSampleLine(std::string_view line);

} // namespace zop
