#include <gtest/gtest.h>

#include "display/RecordingCanvas.h"
#include "display/TraceRenderer.h"

namespace zop {
namespace {

using Fill = RecordingCanvas::Fill;
using Segment = RecordingCanvas::Segment;
using OpKind = RecordingCanvas::OpKind;

WaveformRecord TwoSamples(int32_t first, int32_t second)
{
    WaveformRecord record;
    record.Samples[0] = first;
    record.Samples[1] = second;
    return record;
}

// The rectangle Bar mode draws for sample 1 after sample 0, if any.
std::vector<Fill> BarOfSampleOne(int32_t prev, int32_t cur)
{
    RecordingCanvas canvas;
    DrawTraceSamples(canvas, TraceLayout::Screen(), TwoSamples(prev, cur).Samples, TraceMode::Bar);
    std::vector<Fill> out;
    for (const Fill& f : canvas.Fills())
        if (f.X1 == 4)
            out.push_back(f);
    return out;
}

TEST(TraceBar, EveryRowOfTheTable)
{
    struct Row {
        int32_t Cur, Prev;
        int Top, Bottom; // -1: none
    };
    const Row rows[] = {
        { 0, 0, -1, -1 }, { 0, 255, 0, 256 }, { 0, 100, 154, 256 }, { 255, 255, -1, -1 }, { 255, 0, 0, 256 },
        { 255, 100, 0, 156 }, { 100, 100, 153, 156 }, { 100, 255, 0, 156 }, { 100, 0, 154, 256 },
        { 100, 150, 104, 156 }, // previous greater
        { 150, 100, 104, 156 }, // previous smaller: the same rows
        { 1, 254, 0, 255 }, { 254, 1, 0, 255 }, { 1, 1, 252, 255 },
        { 254, 254, -1, 2 }, // reaches one row above the picture
    };
    for (const Row& row : rows) {
        const std::vector<Fill> fills = BarOfSampleOne(row.Prev, row.Cur);
        SCOPED_TRACE(testing::Message() << "cur " << row.Cur << " prev " << row.Prev);
        if (row.Top < 0 && row.Bottom < 0) {
            EXPECT_TRUE(fills.empty());
            continue;
        }
        ASSERT_EQ(fills.size(), 1u);
        EXPECT_EQ(fills[0], (Fill { 4, row.Top, 8, row.Bottom, Colours::Blue }));
    }
}

TEST(TraceBar, FirstSampleIsADotAndOffScaleFirstSampleIsNot)
{
    RecordingCanvas canvas;
    DrawTraceSamples(canvas, TraceLayout::Screen(), TwoSamples(100, 100).Samples, TraceMode::Bar);
    const std::vector<Fill> fills = canvas.Fills();
    ASSERT_GE(fills.size(), 2u);
    EXPECT_EQ(fills[0], (Fill { 0, 153, 4, 156, Colours::Blue }));
    EXPECT_EQ(fills[1], (Fill { 4, 153, 8, 156, Colours::Blue }));
    for (int32_t first : { 0, 255 }) {
        RecordingCanvas c;
        DrawTraceSamples(c, TraceLayout::Screen(), TwoSamples(first, first).Samples, TraceMode::Bar);
        for (const Fill& f : c.Fills())
            EXPECT_NE(f.X1, 0) << first;
    }
}

TEST(TraceBar, AllZeroSamplesDrawNothing)
{
    RecordingCanvas canvas;
    DrawTraceSamples(canvas, TraceLayout::Screen(), SampleArray {}, TraceMode::Bar);
    EXPECT_TRUE(canvas.Fills().empty());
}

TEST(TraceDot, BlocksOfFourByThreeAndGapsAtOffScaleSamples)
{
    WaveformRecord record;
    for (int i = 0; i < SampleCount; ++i)
        record.Samples[i] = i % 3 == 0 ? 0 : (i % 3 == 1 ? 255 : i);
    RecordingCanvas canvas;
    DrawTraceSamples(canvas, TraceLayout::Screen(), record.Samples, TraceMode::Dot);
    const std::vector<Fill> fills = canvas.Fills();
    ASSERT_EQ(fills.size(), 32u);
    for (const Fill& f : fills) {
        const int i = f.X1 / 4;
        EXPECT_EQ(i % 3, 2);
        EXPECT_EQ(f, (Fill { 4 * i, 253 - i, 4 * i + 4, 256 - i, Colours::Blue }));
    }
    RecordingCanvas empty;
    DrawTraceSamples(empty, TraceLayout::Screen(), SampleArray {}, TraceMode::Dot);
    EXPECT_TRUE(empty.Ops().empty());
}

TEST(TraceSmooth, RunsOfOffScaleValuesMoveWithoutDrawing)
{
    WaveformRecord record;
    record.Samples.fill(100);
    record.Samples[10] = 255;
    record.Samples[11] = 255;
    record.Samples[12] = 255;
    record.Samples[20] = 0;
    record.Samples[21] = 0;
    RecordingCanvas canvas;
    DrawTraceSamples(canvas, TraceLayout::Screen(), record.Samples, TraceMode::Smooth);
    const std::vector<RecordingCanvas::Op>& ops = canvas.Ops();
    ASSERT_EQ(ops.size(), 96u); // one move to the start, then one step per sample
    EXPECT_EQ(ops[0].Kind, OpKind::Move);
    EXPECT_EQ(ops[0].From, (Point { 2, 155 }));
    for (int i = 1; i < SampleCount; ++i) {
        const bool move = i == 11 || i == 12 || i == 21;
        EXPECT_EQ(ops[i].Kind, move ? OpKind::Move : OpKind::Line) << i;
        EXPECT_EQ(ops[i].To, (Point { 4 * i + 2, 255 - record.Samples[i] })) << i;
        EXPECT_EQ(ops[i].PenUsed, (Pen { Colours::Blue, 3, PenStyle::Solid, PenMix::Copy }));
    }
    // Into and out of the off-scale runs the line reaches the top edge and
    // just past the bottom edge.
    EXPECT_EQ(ops[10].To, (Point { 42, 0 }));
    EXPECT_EQ(ops[13].From, (Point { 50, 0 }));
    EXPECT_EQ(ops[20].To, (Point { 82, 255 }));
}

TEST(TraceSmooth, AllZeroSamplesOnlyMove)
{
    RecordingCanvas canvas;
    DrawTraceSamples(canvas, TraceLayout::Screen(), SampleArray {}, TraceMode::Smooth);
    EXPECT_TRUE(canvas.Segments().empty());
    EXPECT_EQ(canvas.Ops().back().From, (Point { 382, 255 }));
}

TEST(TraceZeroLine, DottedRedAcrossThePictureAtEveryZeroRef)
{
    for (int32_t zeroRef : { 0, 127, 255 }) {
        RecordingCanvas canvas;
        DrawZeroLine(canvas, TraceLayout::Screen(), zeroRef);
        const std::vector<Segment> s = canvas.Segments();
        ASSERT_EQ(s.size(), 1u);
        const int row = 255 - zeroRef; // 0: row 255, below the picture
        EXPECT_EQ(s[0], (Segment { { 0, row }, { 384, row }, Pen { Colours::Red, 1, PenStyle::Dot, PenMix::Copy } }));
    }
}

std::vector<Segment> CrossLines(const CursorPositions& c, int32_t zeroRef, const TraceLayout& layout)
{
    RecordingCanvas canvas;
    DrawCrosses(canvas, layout, c, zeroRef);
    return canvas.Segments();
}

TEST(TraceCrosses, CoincidingLinesAreDrawnOnce)
{
    const Pen inv { Colours::Fuchsia, 1, PenStyle::Dot, PenMix::NotXorPen };
    const TraceLayout screen = TraceLayout::Screen();
    // Two distinct crosses: four lines.
    std::vector<Segment> s = CrossLines({ 42, 100, 82, 60 }, 127, screen);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0], (Segment { { 42, 0 }, { 42, 255 }, inv }));
    EXPECT_EQ(s[1], (Segment { { 0, 100 }, { 384, 100 }, inv }));
    EXPECT_EQ(s[2], (Segment { { 82, 0 }, { 82, 255 }, inv }));
    EXPECT_EQ(s[3], (Segment { { 0, 60 }, { 384, 60 }, inv }));
    // Same column, same row: one cross.
    EXPECT_EQ(CrossLines({ 42, 100, 42, 100 }, 127, screen).size(), 2u);
    // A horizontal on the zero-reference row shows only the vertical.
    s = CrossLines({ 42, 128, 82, 128 }, 127, screen);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].From.Y, 0);
    EXPECT_EQ(s[1].From, (Point { 82, 0 }));
    s = CrossLines({ 42, 100, 82, 128 }, 127, screen);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[2].From, (Point { 82, 0 }));
    // Unplaced crosses are drawn on screen (outside the picture) ...
    EXPECT_EQ(CrossLines({}, 127, screen).size(), 2u);
    // ... but not on paper.
    EXPECT_TRUE(CrossLines({}, 127, TraceLayout::Sheet(6, 21, 1)).empty());
}

TEST(TraceSheet, ExportedSheetGeometry)
{
    WaveformRecord record;
    record.Samples.fill(100);
    record.Samples[1] = 255;
    record.Samples[2] = 0;
    record.ZeroRef = 255;
    const CursorPositions cursors { 42, 155, 82, 60 };
    RecordingCanvas canvas;
    canvas.SetPen(Pen { Colours::Red, 7, PenStyle::Dot, PenMix::NotXorPen });
    RenderTraceGeometry(canvas, TraceLayout::Sheet(6, 21, 1), record, TraceMode::Bar, cursors);
    EXPECT_EQ(canvas.GetPen(), (Pen { Colours::Red, 7, PenStyle::Dot, PenMix::NotXorPen })); // restored

    const std::vector<Segment> s = canvas.Segments();
    const Pen solid { Colours::Black, 1, PenStyle::Solid, PenMix::Copy };
    const Pen dotted { Colours::Black, 1, PenStyle::Dot, PenMix::Copy };
    ASSERT_EQ(s.size(), 7u + 9u + 48u + 32u + 1u + 4u);
    EXPECT_EQ(s[0], (Segment { { 6, 53 }, { 389, 53 }, solid }));
    EXPECT_EQ(s[6], (Segment { { 6, 245 }, { 389, 245 }, solid }));
    EXPECT_EQ(s[7], (Segment { { 38, 21 }, { 38, 275 }, solid }));
    EXPECT_EQ(s[15], (Segment { { 358, 21 }, { 358, 275 }, solid }));
    EXPECT_EQ(s[16], (Segment { { 6, 147 }, { 6, 151 }, solid }));
    EXPECT_EQ(s[63], (Segment { { 382, 147 }, { 382, 151 }, solid }));
    EXPECT_EQ(s[64], (Segment { { 196, 27 }, { 200, 27 }, solid }));
    EXPECT_EQ(s[67], (Segment { { 196, 47 }, { 200, 47 }, solid }));
    EXPECT_EQ(s[95], (Segment { { 196, 271 }, { 200, 271 }, solid }));
    EXPECT_EQ(s[96], (Segment { { 6, 21 }, { 389, 21 }, dotted })); // zero line at ZeroRef 255
    EXPECT_EQ(s[97], (Segment { { 48, 21 }, { 48, 276 }, dotted }));
    EXPECT_EQ(s[98], (Segment { { 6, 176 }, { 390, 176 }, dotted }));

    const std::vector<Fill> fills = canvas.Fills();
    EXPECT_EQ(fills[0], (Fill { 6, 174, 10, 177, Colours::Black })); // sample 0 as a dot
    EXPECT_EQ(fills[1], (Fill { 10, 21, 14, 177, Colours::Black })); // 255 after 100
    EXPECT_EQ(fills[2], (Fill { 14, 21, 18, 277, Colours::Black })); // 0 after 255
    EXPECT_EQ(fills[3], (Fill { 18, 175, 22, 277, Colours::Black })); // 100 after 0

    const std::vector<RecordingCanvas::Op> marks = canvas.OfKind(OpKind::Polygon);
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0].Points, (std::vector<Point> { { 46, 15 }, { 48, 19 }, { 50, 15 } }));
    EXPECT_EQ(marks[1].Points, (std::vector<Point> { { 0, 174 }, { 4, 176 }, { 0, 178 } }));
    EXPECT_EQ(marks[2].Points, (std::vector<Point> { { 86, 282 }, { 88, 278 }, { 90, 282 } }));
    EXPECT_EQ(marks[3].Points, (std::vector<Point> { { 396, 79 }, { 392, 81 }, { 396, 83 } }));
    EXPECT_EQ(marks[0].BrushUsed.Color, Colours::Black);
}

TEST(TraceSheet, PrintedPageScalesPositionsButNotPens)
{
    WaveformRecord record;
    record.Samples.fill(100);
    const CursorPositions cursors { 42, 128, -1, -1 }; // horizontal on the zero row
    RecordingCanvas canvas;
    const int u = 4800 / 768;
    ASSERT_EQ(u, 6);
    RenderTraceGeometry(canvas, TraceLayout::Sheet(10, 25, u), record, TraceMode::Smooth, cursors);
    const std::vector<Segment> s = canvas.Segments();
    // The graticule spans x 60..2364 and y 150..1680.
    EXPECT_EQ(s[0], (Segment { { 60, 342 }, { 2358, 342 }, Pen {} }));
    EXPECT_EQ(s[7].From, (Point { 252, 150 }));
    EXPECT_EQ(s[7].To, (Point { 252, 1674 }));
    EXPECT_EQ(s[96].From, (Point { 60, 918 })); // zero line (280 - 127) u
    EXPECT_EQ(s[96].To, (Point { 2358, 918 }));
    EXPECT_EQ(s[97].PenUsed.Width, 18); // Smooth pen 3u
    EXPECT_EQ(s[97].From, (Point { 72, 1080 }));
    EXPECT_EQ(s[97].To, (Point { 96, 1080 }));
    // Only the vertical cross line: its horizontal lies on the zero row.
    const Segment& cross = s.back();
    EXPECT_EQ(cross, (Segment { { 312, 150 }, { 312, 1680 }, Pen { Colours::Black, 1, PenStyle::Dot, PenMix::Copy } }));
    // Markers for both placed positions, none for the unplaced ones.
    const std::vector<RecordingCanvas::Op> marks = canvas.OfKind(OpKind::Polygon);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].Points, (std::vector<Point> { { 300, 114 }, { 312, 138 }, { 324, 114 } }));
    EXPECT_EQ(marks[1].Points, (std::vector<Point> { { 24, 906 }, { 48, 918 }, { 24, 930 } }));
}

} // namespace
} // namespace zop
