#pragma once
// The report sheets the waveform leaves the program as: the exported picture
// (metafile, clipboard picture, PNG and SVG), the texts of the bitmap sheet
// and the printed page. Each is a header line with description, date and
// time, the trace area and two footer rows with the status line texts, drawn
// through a Canvas so every surface shows the same layout; the trace area
// itself is the display's one trace geometry, shifted and scaled.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display/Canvas.h"
#include "document/FormState.h"
#include "waveform/WaveformRecord.h"

namespace zop {

// Everything a sheet shows, read from the window at the moment of output.
struct SheetContent {
    std::string Description;
    std::string Date;
    std::string Time;
    std::array<std::string, 6> SettingsPanel {}; // time, volts, DC, p-p, RMS, dB
    std::array<std::string, 3> CursorReadouts {}; // status line panels 1..3
    WaveformRecord Record; // samples and zero reference
    TraceMode Mode = TraceMode::Smooth;
    CursorPositions Cursors;
};

SheetContent SheetFromWindow(const FormState& form, const WaveformRecord& record, const CursorPositions& cursors);

// The exported picture: 396 x 321 units, font "Arial" 8 points, graticule at
// (6, 21), everything black. The canvas's pen and brush are kept.
inline constexpr int ExportWidth = 396;
inline constexpr int ExportHeight = 321;
void RenderExportPicture(Canvas& canvas, const SheetContent& sheet);

// How a picture file of the export sheet is made: each unit drawn as
// Scale x Scale pixels (PNG), on a white or a transparent ground.
enum class PictureBackground { White, Transparent };
struct PictureOptions {
    int Scale = 1;
    PictureBackground Background = PictureBackground::White;
};

// The metafile of the exported picture, in placeable file form.
std::vector<uint8_t> ExportMetafile(const SheetContent& sheet);

// The bitmap sheet: 384 x 321 pixels, texts in "MS Sans Serif" 8 points; the
// screen's trace picture goes to (0, BitmapTraceTop) unchanged in size. This
// draws the texts; the caller copies the picture.
inline constexpr int BitmapWidth = 384;
inline constexpr int BitmapHeight = 321;
inline constexpr int BitmapTraceTop = 21;
void DrawBitmapSheetTexts(Canvas& canvas, const SheetContent& sheet);

// The printed page: u = printable width div 768, at least 1; picture point
// (x, y) lands on ((x + 10) u, (y + 25) u); font "Arial" 8 points.
int PrintUnit(int printableWidth);
void PrintPage(Canvas& canvas, int unit, const SheetContent& sheet);

} // namespace zop
