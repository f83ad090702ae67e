#include <gtest/gtest.h>

#include <array>
#include <set>

#include "display/Graticule.h"

namespace zop {
namespace {

// Just enough of a raster to see where the graticule puts its pixels.
class FillOnlyRaster : public Canvas {
public:
    std::array<Rgb, TraceWidth * TraceHeight> Pixels {};
    Rgb At(int x, int y) const { return Pixels[y * TraceWidth + x]; }

    void SetPen(const Pen&) override { }
    Pen GetPen() const override { return {}; }
    void SetBrush(const Brush& brush) override { m_brush = brush; }
    Brush GetBrush() const override { return m_brush; }
    void SetFont(const Font&) override { }
    void MoveTo(int, int) override { ADD_FAILURE() << "graticule draws rectangles only"; }
    void LineTo(int, int) override { ADD_FAILURE() << "graticule draws rectangles only"; }
    void FillRect(int x1, int y1, int x2, int y2) override
    {
        for (int y = std::max(y1, 0); y < std::min(y2, TraceHeight); ++y)
            for (int x = std::max(x1, 0); x < std::min(x2, TraceWidth); ++x)
                Pixels[y * TraceWidth + x] = m_brush.Color;
    }
    void Polygon(const std::vector<Point>&) override { }
    void TextOut(int, int, std::string_view) override { }
    int TextWidth(std::string_view) override { return 0; }

private:
    Brush m_brush;
};

TEST(Graticule, EveryPixelIsWhiteOrGreyExactlyWhereTheGridIs)
{
    FillOnlyRaster raster;
    raster.Pixels.fill(Colours::Red); // anything left red was never painted
    DrawGraticule(raster);

    const std::set<int> divisionColumns = { 32, 72, 112, 152, 192, 232, 272, 312, 352 };
    const std::set<int> divisionRows = { 32, 64, 96, 128, 160, 192, 224 };
    const std::set<int> tickRows = { 6, 13, 19, 26, 32, 38, 45, 51, 58, 64, 70, 77, 83, 90, 96, 102, 109, 115, 122, 128,
        134, 141, 147, 154, 160, 166, 173, 179, 186, 192, 198, 205, 211, 218, 224, 230, 237, 243, 250 };
    for (int y = 0; y < TraceHeight; ++y) {
        for (int x = 0; x < TraceWidth; ++x) {
            const bool grey = divisionColumns.count(x) || divisionRows.count(y) || (x % 8 == 0 && y >= 126 && y <= 130)
                || (tickRows.count(y) && x >= 190 && x <= 194);
            ASSERT_EQ(raster.At(x, y), grey ? Colours::Grey : Colours::White) << "at " << x << "," << y;
        }
    }
}

TEST(Graticule, NoFrameAtTheEdges)
{
    FillOnlyRaster raster;
    DrawGraticule(raster);
    EXPECT_EQ(raster.At(0, 0), Colours::White);
    EXPECT_EQ(raster.At(383, 254), Colours::White);
    EXPECT_EQ(raster.At(1, 127), Colours::White);
    EXPECT_EQ(raster.At(0, 127), Colours::Grey); // the tick at x = 0
    EXPECT_EQ(raster.At(0, 128), Colours::Grey); // the centre line reaches the edge
    EXPECT_EQ(raster.At(383, 129), Colours::White); // 383 is not a tick column
    EXPECT_EQ(raster.At(376, 126), Colours::Grey); // the last tick, x = 8 * 47
}

} // namespace
} // namespace zop
