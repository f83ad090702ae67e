#pragma once
// One waveform file written out as zop5-tool export does: opened as the
// window's Open command opens it, set up with the probe and crosses asked
// for, then written in the format of the output's extension.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/FormState.h"
#include "tools/ExportSurfaces.h"
#include "tools/ToolOptions.h"

namespace zop {

enum class ExportFormat { Bitmap, Metafile, Pdf, Png, Svg, Csv, Json, Sigrok };

// By the extension (any letter case): .bmp .wmf .pdf .png .svg .csv .json .sr.
std::optional<ExportFormat> ExportFormatOf(const std::string& path);

// Whether the format is drawn by the window system's painting (needs the
// export surfaces) rather than by our own writers.
bool NeedsSurfaces(ExportFormat format);

struct ExportRequest {
    std::string Input;
    std::string Output;
    ExportFormat Format = ExportFormat::Csv;
    TraceMode Mode = TraceMode::Smooth;
    std::optional<int32_t> Probe;
    std::optional<CursorColumns> Cursors;
    int Dpi = 600;
    PdfPage Page = PdfPage::A4;
    PictureOptions Picture; // .png and .svg
};

// Writes the output and returns an empty list, or returns the window's
// messages when it refused the input. A file that cannot be written throws
// with the text the window would show. `surfaces` may be null for formats
// that do not need them.
std::vector<std::string> ExportWaveform(const ExportRequest& request, ExportSurfaces* surfaces);

// The samples as a table: index, time in seconds from the first sample, raw
// value, volts from the zero reference at `probe` (empty when off-scale);
// CR LF line ends.
std::string SampleTable(const WaveformRecord& record, int32_t probe);

} // namespace zop
