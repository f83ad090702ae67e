// Layout of the sheets on a recording canvas (texts measure 6 units a byte).
#include <gtest/gtest.h>

#include <algorithm>

#include "display/RecordingCanvas.h"
#include "output/ReportSheet.h"
#include "tests/support/RippleSheet.h"

namespace zop {
namespace {

using Op = RecordingCanvas::Op;
using OpKind = RecordingCanvas::OpKind;

// The ripple sheet with its DC panel empty.
SheetContent Content()
{
    return test::RippleSheet(2);
}

std::vector<Op> Texts(const RecordingCanvas& canvas)
{
    return canvas.OfKind(OpKind::Text);
}

const Op* TextOp(const RecordingCanvas& canvas, const std::string& text)
{
    const auto& ops = canvas.Ops();
    auto it = std::find_if(
        ops.begin(), ops.end(), [&](const Op& op) { return op.Kind == OpKind::Text && op.Text == text; });
    return it == ops.end() ? nullptr : &*it;
}

void ExpectText(const RecordingCanvas& canvas, const std::string& text, int x, int y, const std::string& face)
{
    const Op* op = TextOp(canvas, text);
    ASSERT_NE(op, nullptr) << text;
    EXPECT_EQ(op->From, (Point { x, y })) << text;
    EXPECT_EQ(op->FontUsed.Face, face) << text;
    EXPECT_EQ(op->FontUsed.PointSize, 8) << text;
    EXPECT_FALSE(op->FontUsed.Bold) << text;
}

TEST(ExportSheetLayout, HeaderAndRightAlignedFooters)
{
    RecordingCanvas canvas;
    RenderExportPicture(canvas, Content());
    ExpectText(canvas, "Ripple", 8, 2, "Arial");
    ExpectText(canvas, "07-12-2026", 270, 2, "Arial");
    ExpectText(canvas, "09:15:00", 342, 2, "Arial");
    // Settings panel i ends at 64 i + 70, top 285.
    ExpectText(canvas, "10ms/div", 70 - 48, 285, "Arial");
    ExpectText(canvas, "0.5V/div", 134 - 48, 285, "Arial");
    ExpectText(canvas, "Pp 3V", 262 - 30, 285, "Arial");
    ExpectText(canvas, "3dB", 390 - 18, 285, "Arial");
    // Readout j (status panels 1..3) ends at 64 j + 198, top 301.
    ExpectText(canvas, "dV 1V", 262 - 30, 301, "Arial");
    ExpectText(canvas, "F 500Hz", 390 - 42, 301, "Arial");
    // Empty panels give nothing.
    EXPECT_EQ(Texts(canvas).size(), 3u + 5u + 2u);
}

TEST(ExportSheetLayout, TraceAreaStartsAtSixTwentyOne)
{
    RecordingCanvas canvas;
    RenderExportPicture(canvas, Content());
    const auto segments = canvas.Segments();
    const auto first = std::find_if(segments.begin(), segments.end(), [](const auto& s) {
        return s.From == Point { 6, 53 };
    });
    ASSERT_NE(first, segments.end());
    EXPECT_EQ(first->To, (Point { 389, 53 }));
    const auto fills = canvas.Fills();
    ASSERT_FALSE(fills.empty());
    // Sample 0 at 100: the dot from (6, 174) to (10, 177), black.
    EXPECT_EQ(fills.front(), (RecordingCanvas::Fill { 6, 174, 10, 177, Colours::Black }));
    const auto polygons = canvas.OfKind(OpKind::Polygon);
    ASSERT_EQ(polygons.size(), 4u);
    EXPECT_EQ(polygons[0].Points, (std::vector<Point> { { 44, 15 }, { 46, 19 }, { 48, 15 } }));
    EXPECT_EQ(polygons[3].Points, (std::vector<Point> { { 396, 119 }, { 392, 121 }, { 396, 123 } }));
    for (const auto& s : segments)
        EXPECT_EQ(s.PenUsed.Color, Colours::Black);
}

TEST(ExportSheetLayout, PenAndBrushOfTheCanvasAreKept)
{
    RecordingCanvas canvas;
    const Pen pen { Colours::Red, 2, PenStyle::Dot, PenMix::NotXorPen };
    const Brush brush { Colours::Blue, true };
    canvas.SetPen(pen);
    canvas.SetBrush(brush);
    RenderExportPicture(canvas, Content());
    EXPECT_EQ(canvas.GetPen(), pen);
    EXPECT_EQ(canvas.GetBrush(), brush);
    canvas.Clear();
    PrintPage(canvas, 3, Content());
    EXPECT_EQ(canvas.GetPen(), pen);
    EXPECT_EQ(canvas.GetBrush(), brush);
}

TEST(BitmapSheetLayout, TextsInTheSansSerifFaceAtTheirPlaces)
{
    RecordingCanvas canvas;
    DrawBitmapSheetTexts(canvas, Content());
    ExpectText(canvas, "Ripple", 2, 2, "MS Sans Serif");
    ExpectText(canvas, "07-12-2026", 264, 2, "MS Sans Serif");
    ExpectText(canvas, "09:15:00", 336, 2, "MS Sans Serif");
    // Settings panel k ends at 64 (k + 1), top 280; readout j at 64 (j + 3), top 301.
    ExpectText(canvas, "10ms/div", 64 - 48, 280, "MS Sans Serif");
    ExpectText(canvas, "3dB", 384 - 18, 280, "MS Sans Serif");
    ExpectText(canvas, "dV 1V", 256 - 30, 301, "MS Sans Serif");
    ExpectText(canvas, "F 500Hz", 384 - 42, 301, "MS Sans Serif");
    // Only texts: the trace area is the screen picture, copied by the caller.
    EXPECT_EQ(canvas.Ops().size(), Texts(canvas).size());
}

TEST(PrintPageLayout, UnitIsWidthDiv768AtLeastOne)
{
    EXPECT_EQ(PrintUnit(0), 1);
    EXPECT_EQ(PrintUnit(767), 1);
    EXPECT_EQ(PrintUnit(768), 1);
    EXPECT_EQ(PrintUnit(1535), 1);
    EXPECT_EQ(PrintUnit(1536), 2);
    EXPECT_EQ(PrintUnit(4800), 6);
    EXPECT_EQ(PrintUnit(9583), 12);
}

class PrintPageAtUnit : public testing::TestWithParam<int> { };

TEST_P(PrintPageAtUnit, TextsAndGraticuleScaleWithTheUnit)
{
    const int u = GetParam();
    RecordingCanvas canvas;
    PrintPage(canvas, u, Content());
    ExpectText(canvas, "Ripple", 10 * u, 0, "Arial");
    ExpectText(canvas, "07-12-2026", 274 * u, 0, "Arial");
    ExpectText(canvas, "09:15:00", 346 * u, 0, "Arial");
    ExpectText(canvas, "10ms/div", 74 * u - 48, 290 * u, "Arial");
    ExpectText(canvas, "3dB", 394 * u - 18, 290 * u, "Arial");
    ExpectText(canvas, "dV 1V", 266 * u - 30, 305 * u, "Arial");
    ExpectText(canvas, "F 500Hz", 394 * u - 42, 305 * u, "Arial");

    const auto segments = canvas.Segments();
    int minX = 1 << 30, maxX = 0, minY = 1 << 30, maxY = 0;
    for (const auto& s : segments) {
        EXPECT_EQ(s.PenUsed.Width, 1) << "only the smooth trace pen is scaled";
        for (const Point& p : { s.From, s.To }) {
            minX = std::min(minX, p.X);
            maxX = std::max(maxX, p.X);
            minY = std::min(minY, p.Y);
            maxY = std::max(maxY, p.Y);
        }
    }
    // Grid and crosses: x from 10u to 394u, y from 25u to 280u.
    EXPECT_EQ(minX, 10 * u);
    EXPECT_EQ(maxX, 394 * u);
    EXPECT_EQ(minY, 25 * u);
    EXPECT_EQ(maxY, 280 * u);
    const auto polygons = canvas.OfKind(OpKind::Polygon);
    ASSERT_EQ(polygons.size(), 4u);
    EXPECT_EQ(polygons[1].Points, (std::vector<Point> { { 4 * u, 83 * u }, { 8 * u, 85 * u }, { 4 * u, 87 * u } }));
    EXPECT_EQ(
        polygons[2].Points, (std::vector<Point> { { 208 * u, 286 * u }, { 210 * u, 282 * u }, { 212 * u, 286 * u } }));
}

INSTANTIATE_TEST_SUITE_P(Units, PrintPageAtUnit, testing::Values(1, 6));

TEST(PrintPageLayout, SmoothPenIsThreeUnitsWide)
{
    SheetContent sheet = Content();
    sheet.Mode = TraceMode::Smooth;
    RecordingCanvas canvas;
    PrintPage(canvas, 6, sheet);
    bool wide = false;
    for (const auto& s : canvas.Segments())
        if (s.PenUsed.Width == 18) {
            wide = true;
            EXPECT_EQ(s.From.Y, (280 - 100) * 6);
        }
    EXPECT_TRUE(wide);
}

TEST(PrintPageLayout, NoCursorsNoMarkersAndEmptyDescriptionPrintsNothingThere)
{
    SheetContent sheet = Content();
    sheet.Cursors = {};
    sheet.CursorReadouts = {};
    sheet.Description.clear();
    RecordingCanvas canvas;
    PrintPage(canvas, 1, sheet);
    EXPECT_TRUE(canvas.OfKind(OpKind::Polygon).empty());
    for (const Op& op : Texts(canvas))
        EXPECT_NE(op.From, (Point { 10, 0 }));
    EXPECT_NE(TextOp(canvas, "07-12-2026"), nullptr);
    EXPECT_EQ(Texts(canvas).size(), 2u + 5u);
}

} // namespace
} // namespace zop
