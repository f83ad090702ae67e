#pragma once
// The blank trace picture every redraw starts from: a white 384 x 255 area
// with the grey division lines and the ticks of the two centre lines.
#include "display/Canvas.h"

namespace zop {

constexpr int TraceWidth = 384;
constexpr int TraceHeight = 255;

// Paints the whole graticule picture (background included) onto a canvas of
// TraceWidth x TraceHeight pixels. Leaves the canvas's brush changed.
void DrawGraticule(Canvas& canvas);

} // namespace zop
