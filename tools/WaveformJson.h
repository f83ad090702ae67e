#pragma once
// The shown waveform as our JSON interchange file: everything the waveform
// file holds (texts, labels, zero reference, samples) with the indices, the
// probe, the volts of each sample, the window's measurements, the analysis
// and the spectrum. `convert` reads it back into a waveform file.
#include <string>
#include <string_view>

#include "window/WindowModel.h"

namespace zop {

inline constexpr std::string_view WaveformJsonFormat = "zop5-waveform";
inline constexpr int WaveformJsonVersion = 1;

// UTF-8 JSON text, one member per line. With `cursors` the measurements
// carry the cursor readout too.
enum class CursorsShown { No, Yes };
std::string WaveformJson(const WindowModel& window, CursorsShown cursors);

} // namespace zop
