#pragma once
// The waveform file: 104 lines of Windows-1252 text, each ended by CR LF.
//   1       the signature "Zop5 V1.0"
//   2..4    description, date, time (free text)
//   5, 6    the time-per-division and volts-per-division labels
//   7       the zero reference, decimal
//   8       empty
//   9..104  the 96 samples, one decimal number per line
// The probe factor is not stored: the reader infers it from the volts label,
// the x1 column first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document/FormState.h"
#include "waveform/WaveformRecord.h"

namespace zop {

inline constexpr std::string_view WaveformSignature = "Zop5 V1.0";
inline constexpr int WaveformFileLines = 104;
// The most of a description, date or time line the reader keeps. A longer
// line is still read to its end, so the lines after it stay in place; only
// its text is cut, and a hostile file cannot make the program hold more.
inline constexpr size_t WaveformTextLimit = size_t { 1 } << 20;

struct WaveformFileContents {
    std::string Description;
    std::string Date;
    std::string Time;
    std::string TimeLabel;
    std::string VoltsLabel;
    int32_t ZeroRef = 127;
    SampleArray Samples {};
};

// What the shown document puts into a file: the three fields, panels 0 and 1
// of the settings line, the zero reference and the samples.
WaveformFileContents DocumentContents(const FormState& form, const WaveformRecord& record);

// The file's bytes. A CR or 0x1A byte inside a text would end its line or the
// data early and make the file unreadable, so each is written as a blank.
std::string FormatWaveformFile(const WaveformFileContents& contents);

// Writes the shown document to `path`, replacing an existing file only once
// the new one is complete (see WriteFileReplacing). On success the record's
// ProbeFactor takes the probe menu's factor and Modified and ProbeChanged are
// cleared; on failure a FileError is thrown and nothing changes.
void WriteWaveformFile(const std::string& path, const FormState& form, WaveformRecord& record, DocumentFlags& flags);

// Reads the file at `path` into `incoming` and tells whether it is acceptable.
// A name whose extension is not .zop in any letter case is refused without
// opening the file; a file that cannot be opened or read is refused.
// `incoming` may be partly written even when the file is refused. Throws
// only std::bad_alloc: a good file must not be taken for a bad one because
// the memory ran out.
// When the file could not be opened or read at all, `unreadable` (if given)
// receives the system's error number, else 0.
bool LoadWaveformFile(const std::string& path, IncomingImage& incoming, int* unreadable = nullptr);

// The same checks on a file's bytes already in memory.
bool ReadWaveformData(std::string_view bytes, IncomingImage& incoming);

} // namespace zop
