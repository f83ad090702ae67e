#include "display/TraceRenderer.h"

namespace zop {

namespace {

constexpr int kWidth = 384; // picture size in picture pixels
constexpr int kHeight = 255;

bool InRange(int32_t v)
{
    return v >= 1 && v <= 254;
}

void Line(Canvas& canvas, const TraceLayout& layout, int x1, int y1, int x2, int y2)
{
    const Point a = layout.Map(x1, y1);
    const Point b = layout.Map(x2, y2);
    canvas.MoveTo(a.X, a.Y);
    canvas.LineTo(b.X, b.Y);
}

void Rect(Canvas& canvas, const TraceLayout& layout, int x1, int y1, int x2, int y2)
{
    const Point a = layout.Map(x1, y1);
    const Point b = layout.Map(x2, y2);
    canvas.FillRect(a.X, a.Y, b.X, b.Y);
}

void Triangle(Canvas& canvas, const TraceLayout& layout, Point a, Point b, Point c)
{
    canvas.Polygon({ layout.Map(a.X, a.Y), layout.Map(b.X, b.Y), layout.Map(c.X, c.Y) });
}

// The 4 x 3 block whose bottom row is the sample's row.
void DotBlock(Canvas& canvas, const TraceLayout& layout, int i, int32_t v)
{
    Rect(canvas, layout, 4 * i, 253 - v, 4 * i + 4, 256 - v);
}

} // namespace

TraceLayout TraceLayout::Screen()
{
    return TraceLayout {};
}

TraceLayout TraceLayout::Sheet(int originX, int originY, int unit)
{
    TraceLayout layout;
    layout.OriginX = originX;
    layout.OriginY = originY;
    layout.Unit = unit;
    layout.GraticuleColor = layout.ZeroLineColor = layout.TraceColor = layout.CrossColor = Colours::Black;
    layout.SmoothPenWidth = 3 * unit;
    layout.CrossMix = PenMix::Copy;
    layout.SkipUnplacedCrosses = true;
    layout.ZeroLineEnd = 383;
    layout.GraticuleLines = true;
    layout.CrossMarkers = true;
    return layout;
}

std::optional<BarSpan> BarRows(int32_t cur, int32_t prev)
{
    if (cur == 0) {
        if (prev == 0)
            return std::nullopt;
        if (prev == 255)
            return BarSpan { 0, 256 };
        return BarSpan { 254 - prev, 256 };
    }
    if (cur == 255) {
        if (prev == 255)
            return std::nullopt;
        if (prev == 0)
            return BarSpan { 0, 256 };
        return BarSpan { 0, 256 - prev };
    }
    if (prev == cur)
        return BarSpan { 253 - cur, 256 - cur };
    if (prev == 255)
        return BarSpan { 0, 256 - cur };
    if (prev == 0)
        return BarSpan { 254 - cur, 256 };
    if (prev > cur)
        return BarSpan { 254 - prev, 256 - cur };
    return BarSpan { 254 - cur, 256 - prev };
}

void DrawGraticuleLines(Canvas& canvas, const TraceLayout& layout)
{
    canvas.SetPen(Pen { layout.GraticuleColor, 1, PenStyle::Solid, PenMix::Copy });
    for (int k = 1; k <= 7; ++k)
        Line(canvas, layout, 0, 32 * k, kWidth - 1, 32 * k);
    for (int k = 0; k <= 8; ++k)
        Line(canvas, layout, 32 + 40 * k, 0, 32 + 40 * k, kHeight - 1);
    // Ticks of the horizontal centre line, every two samples.
    for (int i = 0; i <= 47; ++i)
        Line(canvas, layout, 8 * i, 126, 8 * i, 130);
    // Ticks of the vertical centre line: rows 6, 13, 19 and 26 of every division.
    for (int d = 0; d <= 7; ++d)
        for (int row : { 6, 13, 19, 26 })
            Line(canvas, layout, 190, 32 * d + row, 194, 32 * d + row);
}

void DrawZeroLine(Canvas& canvas, const TraceLayout& layout, int32_t zeroRef)
{
    canvas.SetPen(Pen { layout.ZeroLineColor, 1, PenStyle::Dot, PenMix::Copy });
    Line(canvas, layout, 0, 255 - zeroRef, layout.ZeroLineEnd, 255 - zeroRef);
}

void DrawTraceSamples(Canvas& canvas, const TraceLayout& layout, const SampleArray& s, TraceMode mode)
{
    switch (mode) {
    case TraceMode::Dot:
    case TraceMode::Bar:
        canvas.SetPen(Pen { layout.TraceColor, 1, PenStyle::Solid, PenMix::Copy });
        canvas.SetBrush(Brush { layout.TraceColor });
        if (mode == TraceMode::Dot) {
            for (int i = 0; i < SampleCount; ++i)
                if (InRange(s[i]))
                    DotBlock(canvas, layout, i, s[i]);
            break;
        }
        if (InRange(s[0]))
            DotBlock(canvas, layout, 0, s[0]);
        for (int i = 1; i < SampleCount; ++i)
            if (const std::optional<BarSpan> bar = BarRows(s[i], s[i - 1]))
                Rect(canvas, layout, 4 * i, bar->Top, 4 * i + 4, bar->Bottom);
        break;
    case TraceMode::Smooth: {
        canvas.SetPen(Pen { layout.TraceColor, layout.SmoothPenWidth, PenStyle::Solid, PenMix::Copy });
        Point p = layout.Map(2, 255 - s[0]);
        canvas.MoveTo(p.X, p.Y);
        for (int i = 1; i < SampleCount; ++i) {
            p = layout.Map(4 * i + 2, 255 - s[i]);
            // A run of one off-scale value would otherwise draw along the edge.
            const bool alongEdge = (s[i] == 0 && s[i - 1] == 0) || (s[i] == 255 && s[i - 1] == 255);
            if (alongEdge)
                canvas.MoveTo(p.X, p.Y);
            else
                canvas.LineTo(p.X, p.Y);
        }
        break;
    }
    }
}

void DrawCrossVertical(Canvas& canvas, const TraceLayout& layout, int32_t x, PenStyle style)
{
    canvas.SetPen(Pen { layout.CrossColor, 1, style, layout.CrossMix });
    Line(canvas, layout, x, 0, x, 255);
}

void DrawCrossHorizontal(Canvas& canvas, const TraceLayout& layout, int32_t y, PenStyle style)
{
    canvas.SetPen(Pen { layout.CrossColor, 1, style, layout.CrossMix });
    Line(canvas, layout, 0, y, kWidth, y);
}

void DrawCrosses(Canvas& canvas, const TraceLayout& layout, const CursorPositions& c, int32_t zeroRef, PenStyle style)
{
    const int32_t zeroRow = 255 - zeroRef;
    auto placed = [&](int32_t v) { return !layout.SkipUnplacedCrosses || v != -1; };
    if (placed(c.X1))
        DrawCrossVertical(canvas, layout, c.X1, style);
    if (placed(c.Y1) && c.Y1 != zeroRow)
        DrawCrossHorizontal(canvas, layout, c.Y1, style);
    if (placed(c.X2) && c.X2 != c.X1)
        DrawCrossVertical(canvas, layout, c.X2, style);
    if (placed(c.Y2) && c.Y2 != c.Y1 && c.Y2 != zeroRow)
        DrawCrossHorizontal(canvas, layout, c.Y2, style);
}

void DrawCrossMarkers(Canvas& canvas, const TraceLayout& layout, const CursorPositions& c)
{
    canvas.SetPen(Pen { layout.CrossColor, 1, PenStyle::Solid, PenMix::Copy });
    canvas.SetBrush(Brush { layout.CrossColor });
    // Above the graticule pointing down, left of it pointing right, below it
    // pointing up and right of it pointing left.
    if (c.X1 != -1)
        Triangle(canvas, layout, { c.X1 - 2, -6 }, { c.X1, -2 }, { c.X1 + 2, -6 });
    if (c.Y1 != -1)
        Triangle(canvas, layout, { -6, c.Y1 - 2 }, { -2, c.Y1 }, { -6, c.Y1 + 2 });
    if (c.X2 != -1)
        Triangle(canvas, layout, { c.X2 - 2, 261 }, { c.X2, 257 }, { c.X2 + 2, 261 });
    if (c.Y2 != -1)
        Triangle(canvas, layout, { 390, c.Y2 - 2 }, { 386, c.Y2 }, { 390, c.Y2 + 2 });
}

void RenderTraceGeometry(Canvas& canvas, const TraceLayout& layout, const WaveformRecord& record, TraceMode mode,
    const CursorPositions& cursors)
{
    const Pen pen = canvas.GetPen();
    const Brush brush = canvas.GetBrush();
    if (layout.GraticuleLines)
        DrawGraticuleLines(canvas, layout);
    DrawZeroLine(canvas, layout, record.ZeroRef);
    DrawTraceSamples(canvas, layout, record.Samples, mode);
    DrawCrosses(canvas, layout, cursors, record.ZeroRef);
    if (layout.CrossMarkers)
        DrawCrossMarkers(canvas, layout, cursors);
    canvas.SetPen(pen);
    canvas.SetBrush(brush);
}

} // namespace zop
