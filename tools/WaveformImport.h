#pragma once
// Files zop5-tool exports, read back into the contents of a waveform file:
// our JSON (every text and label as exported) and our CSV sample table (the
// time base, range and zero reference worked out from its time and volts
// columns; it carries no texts).
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "document/WaveformFile.h"
#include "waveform/ScaleTables.h"

namespace zop {

// A file that is not what the importer reads, with the reason.
class ImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes of a regular file of at most `limit` bytes; a FIFO, a device or a
// larger file is refused without reading it.
std::string ReadExportedFile(const std::string& path, size_t limit);

// The JSON export: format "zop5-waveform", version 1 or below; the labels
// must name table rows (the time label keeps its letter case, the volts label
// becomes the table's text, as a waveform file's do), the zero reference and
// the 96 samples must lie in 0..255, texts must be Windows-1252 characters.
WaveformFileContents ReadWaveformJson(std::string_view utf8);

// What the sample table cannot tell: the range (a volts/div label of either
// probe column) and the zero reference, needed when fewer than two different
// on-scale readings carry volts.
struct SampleTableHints {
    std::optional<VoltMatch> Range;
    std::optional<int32_t> ZeroRef;
};

// The CSV export: the header "index,time_s,raw,volts", then 96 rows in index
// order (CR LF or LF line ends).
WaveformFileContents ReadSampleTable(std::string_view text, const SampleTableHints& hints);

} // namespace zop
