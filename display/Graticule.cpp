#include "display/Graticule.h"

#include <cmath>

namespace zop {

void DrawGraticule(Canvas& canvas)
{
    canvas.SetBrush(Brush { Colours::White });
    canvas.FillRect(0, 0, TraceWidth, TraceHeight);
    canvas.SetBrush(Brush { Colours::Grey });
    // Vertical division lines: one division is 40 pixels (10 samples).
    for (int k = 0; k <= 8; ++k)
        canvas.FillRect(32 + 40 * k, 0, 33 + 40 * k, TraceHeight);
    // Horizontal division lines: one division is 32 rows.
    for (int k = 1; k <= 7; ++k)
        canvas.FillRect(0, 32 * k, TraceWidth, 32 * k + 1);
    // Ticks on the horizontal centre line, every two samples.
    for (int k = 0; k <= 47; ++k)
        canvas.FillRect(8 * k, 126, 8 * k + 1, 131);
    // Ticks on the vertical centre line, five per division, at the rows
    // nearest to 6.4 k.
    for (int k = 1; k <= 39; ++k) {
        const int row = static_cast<int>(std::lround(6.4 * k));
        canvas.FillRect(190, row, 195, row + 1);
    }
}

} // namespace zop
