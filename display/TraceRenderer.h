#pragma once
// The trace geometry, drawn once for every surface: the on-screen picture,
// the printed page and the exported metafile sheet. Every figure is given in
// picture coordinates (x 0..383, y 0..254, sample i in columns 4i..4i+3, value
// v on row 255 - v) and mapped to the surface by a TraceLayout:
//     surface point = ((x + OriginX) * Unit, (y + OriginY) * Unit).
// Pens stay 1 surface pixel wide whatever the unit; only the Smooth trace pen
// has a width of its own.
#include <cstdint>
#include <optional>

#include "display/Canvas.h"
#include "document/FormState.h"
#include "waveform/WaveformRecord.h"

namespace zop {

struct TraceLayout {
    int OriginX = 0; // picture x = 0 lands on (OriginX * Unit)
    int OriginY = 0;
    int Unit = 1; // surface pixels per picture pixel

    Rgb GraticuleColor = Colours::Black;
    Rgb ZeroLineColor = Colours::Red;
    Rgb TraceColor = Colours::Blue;
    Rgb CrossColor = Colours::Fuchsia;
    int SmoothPenWidth = 3; // surface pixels

    // The screen draws its crosses inverted (drawing one twice erases it) and
    // draws them even at -1, where they fall outside the picture; paper and
    // sheets draw them in copy mix and skip unplaced ones.
    PenMix CrossMix = PenMix::NotXorPen;
    bool SkipUnplacedCrosses = false;
    // Picture x at which the zero line stops: the screen's runs to the
    // picture's right edge (384), the drawn graticules' one short of it (383).
    int ZeroLineEnd = 384;
    // Paper and sheets draw the graticule as lines and mark every placed
    // cross with a small triangle outside the graticule; the screen starts
    // from the graticule picture instead and has no markers.
    bool GraticuleLines = false;
    bool CrossMarkers = false;

    Point Map(int x, int y) const { return { (x + OriginX) * Unit, (y + OriginY) * Unit }; }

    // The on-screen picture: colours, inverted crosses, no offset.
    static TraceLayout Screen();
    // A black-on-white report (printed page, exported sheet) whose graticule
    // starts at (originX, originY) units of `unit` surface pixels each.
    static TraceLayout Sheet(int originX, int originY, int unit);
};

// Picture rows covered by the bar of sample i >= 1: top..bottom-1. None when
// both levels are the same off-scale value.
struct BarSpan {
    int Top;
    int Bottom;
};
std::optional<BarSpan> BarRows(int32_t current, int32_t previous);

// The figures, each in the layout's colours. They change pen and brush.
void DrawGraticuleLines(Canvas& canvas, const TraceLayout& layout);
void DrawZeroLine(Canvas& canvas, const TraceLayout& layout, int32_t zeroRef);
void DrawTraceSamples(Canvas& canvas, const TraceLayout& layout, const SampleArray& samples, TraceMode mode);
// The crosses by the redraw rules: the vertical line of each placed x, the
// second only when it differs from the first; the horizontal line of each y
// unless it lies on the zero-reference row 255 - zeroRef, the second only when
// it differs from the first.
void DrawCrosses(Canvas& canvas, const TraceLayout& layout, const CursorPositions& cursors, int32_t zeroRef,
    PenStyle style = PenStyle::Dot);
void DrawCrossMarkers(Canvas& canvas, const TraceLayout& layout, const CursorPositions& cursors);

// One cross line over the whole picture (rows 0..254 or columns 0..383) with
// the layout's cross colour and mix, in the given style. With the inverting
// mix, drawing the same line again restores what lay under it.
void DrawCrossVertical(Canvas& canvas, const TraceLayout& layout, int32_t x, PenStyle style);
void DrawCrossHorizontal(Canvas& canvas, const TraceLayout& layout, int32_t y, PenStyle style);

// Everything in order (graticule lines when the layout asks for them, zero
// line, trace, crosses, markers when asked for); the canvas's pen and brush
// are restored at the end.
void RenderTraceGeometry(Canvas& canvas, const TraceLayout& layout, const WaveformRecord& record, TraceMode mode,
    const CursorPositions& cursors);

} // namespace zop
