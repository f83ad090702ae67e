#pragma once
// The transfer as the instrument writes it: the time-base line, the volts
// line, the zero-reference line and 96 sample lines, each ended by a carriage
// return (some instruments add a line feed). The instrument has two ways of
// writing each header; both are accepted by the recogniser.
#include <cstdint>
#include <string>
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

} // namespace zop
