#pragma once
// Waveform files on disk as the program writes them, for tests that open,
// drop or overwrite one.
#include <fstream>
#include <string>

#include "document/WaveformFile.h"

namespace zop::test {

// Writes `contents` as a waveform file at `path`; returns `path`.
inline std::string WriteWaveformFile(const std::string& path, const WaveformFileContents& contents)
{
    std::ofstream(path, std::ios::binary) << FormatWaveformFile(contents);
    return path;
}

} // namespace zop::test
