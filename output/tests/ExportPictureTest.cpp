// The exported metafile read back by an independent reader: libwmf's wmf2gd
// renders it, ImageMagick turns the result into a plain pixel map, and the
// test samples the pixels where the sheet's figures must be.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "output/ReportSheet.h"
#include "output/WmfCanvas.h"
#include "output/tests/WmfParse.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

struct Raster {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Grey; // 0 black .. 255 white

    bool Dark(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= Width || y >= Height)
            return false;
        return Grey[static_cast<size_t>(y * Width + x)] < 128;
    }
};

std::optional<Raster> ReadPgm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    if (magic != "P5" || width <= 0 || height <= 0 || maxValue != 255)
        return std::nullopt;
    Raster r { width, height, std::vector<uint8_t>(static_cast<size_t>(width * height)) };
    in.read(reinterpret_cast<char*>(r.Grey.data()), static_cast<std::streamsize>(r.Grey.size()));
    if (!in)
        return std::nullopt;
    return r;
}

// Picture units to rendered pixels, found from the graticule itself, since
// the reader fits the drawing's extent into the image it makes.
class RenderedSheet {
public:
    static std::optional<RenderedSheet> Render(const SheetContent& sheet, const std::string& folder)
    {
        const std::string wmf = folder + "/sheet.wmf";
        const std::string png = folder + "/sheet.png";
        const std::string pgm = folder + "/sheet.pgm";
        WritePictureFile(wmf, ExportMetafile(sheet));
        const std::string render = "wmf2gd --maxwidth=1188 --maxheight=963 --maxpect -o '" + png + "' '" + wmf
            + "' >/dev/null 2>&1 && convert '" + png + "' -background white -flatten -colorspace Gray '" + pgm
            + "' >/dev/null 2>&1";
        if (std::system(render.c_str()) != 0)
            return std::nullopt;
        auto raster = ReadPgm(pgm);
        if (!raster)
            return std::nullopt;
        RenderedSheet result;
        result.m_raster = *raster;
        if (!result.Calibrate())
            return std::nullopt;
        return result;
    }

    // The pixel at picture unit (x, y), both measured at pixel centres.
    bool Dark(double x, double y) const { return m_raster.Dark(PixelX(x), PixelY(y)); }
    int PixelX(double x) const { return static_cast<int>(std::lround(m_ax * x + m_bx)); }
    int PixelY(double y) const { return static_cast<int>(std::lround(m_ay * y + m_by)); }
    // Dark pixels along a horizontal or vertical run of units.
    int DarkAlongRow(double y, double x1, double x2) const
    {
        int n = 0;
        for (int px = PixelX(x1); px <= PixelX(x2); ++px)
            n += m_raster.Dark(px, PixelY(y));
        return n;
    }
    int DarkAlongColumn(double x, double y1, double y2) const
    {
        int n = 0;
        for (int py = PixelY(y1); py <= PixelY(y2); ++py)
            n += m_raster.Dark(PixelX(x), py);
        return n;
    }
    int DarkInBox(double x1, double y1, double x2, double y2) const
    {
        int n = 0;
        for (int py = PixelY(y1); py <= PixelY(y2); ++py)
            for (int px = PixelX(x1); px <= PixelX(x2); ++px)
                n += m_raster.Dark(px, py);
        return n;
    }
    const Raster& Pixels() const { return m_raster; }

private:
    // Centres of runs of columns (or rows) that are dark over most of
    // `minimum` pixels: the solid graticule lines.
    static std::vector<double> LineCentres(const std::vector<int>& counts, int minimum)
    {
        std::vector<double> centres;
        for (size_t i = 0; i < counts.size();) {
            if (counts[i] < minimum) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < counts.size() && counts[j] >= minimum)
                ++j;
            centres.push_back((static_cast<double>(i) + static_cast<double>(j - 1)) / 2);
            i = j;
        }
        return centres;
    }

    // The `count` lines of an evenly spaced grid among the candidates (cursor
    // and zero lines are long and straight too): first and last centre.
    static std::optional<std::pair<double, double>> Grid(const std::vector<double>& candidates, int count)
    {
        // Extra lines (a zero line or cursor on row 21) can only lie before the
        // grid, so the progression ending furthest on wins.
        for (size_t last = candidates.size(); last-- > 0;) {
            for (size_t first = 0; first < last; ++first) {
                const double step = (candidates[last] - candidates[first]) / (count - 1);
                int found = 0;
                for (int k = 0; k < count; ++k) {
                    const double want = candidates[first] + step * k;
                    for (double c : candidates)
                        if (std::abs(c - want) < 1.6) {
                            ++found;
                            break;
                        }
                }
                if (found == count)
                    return std::make_pair(candidates[first], candidates[last]);
            }
        }
        return std::nullopt;
    }

    bool Calibrate()
    {
        std::vector<int> columns(static_cast<size_t>(m_raster.Width));
        std::vector<int> rows(static_cast<size_t>(m_raster.Height));
        for (int y = 0; y < m_raster.Height; ++y)
            for (int x = 0; x < m_raster.Width; ++x)
                if (m_raster.Dark(x, y)) {
                    ++columns[static_cast<size_t>(x)];
                    ++rows[static_cast<size_t>(y)];
                }
        // Vertical division lines are 254 units long, horizontal ones 383.
        const auto vertical = Grid(LineCentres(columns, m_raster.Height * 6 / 10), 9);
        const auto horizontal = Grid(LineCentres(rows, m_raster.Width * 8 / 10), 7);
        if (!vertical || !horizontal)
            return false;
        m_ax = (vertical->second - vertical->first) / (358 - 38);
        m_bx = vertical->first - m_ax * 38;
        m_ay = (horizontal->second - horizontal->first) / (245 - 53);
        m_by = horizontal->first - m_ay * 53;
        return m_ax > 2 && m_ay > 2;
    }

    Raster m_raster;
    double m_ax = 1, m_bx = 0, m_ay = 1, m_by = 0;
};

SheetContent Content(TraceMode mode)
{
    SheetContent sheet;
    for (size_t i = 0; i < SampleCount; ++i)
        sheet.Record.Samples[i] = 60 + static_cast<int32_t>(i); // a rising ramp
    sheet.Record.Samples[10] = 0; // off-scale samples
    sheet.Record.Samples[20] = 255;
    sheet.Record.ZeroRef = 100;
    sheet.Mode = mode;
    sheet.Cursors = { 100, 50, 300, 200 };
    sheet.Description = "Ramp";
    sheet.Date = "07-12-2026";
    sheet.Time = "09:15:00";
    sheet.SettingsPanel = { "10ms/div", "0.5V/div", "DC 1.2V", "Pp 3V", "RMS 1V", "3dB" };
    sheet.CursorReadouts = { "dV 1V", "dT 2ms", "F 500Hz" };
    return sheet;
}

class ExportPicture : public testing::Test {
protected:
    test::TempDir dir;

    RenderedSheet Render(const SheetContent& sheet)
    {
        auto rendered = RenderedSheet::Render(sheet, dir.Path());
        if (!rendered) {
            ADD_FAILURE() << "wmf2gd could not render the sheet or its graticule was not found";
            return {};
        }
        return *rendered;
    }
};

TEST_F(ExportPicture, FileHeaderAndRecordsAreValid)
{
    const std::vector<uint8_t> bytes = ExportMetafile(Content(TraceMode::Bar));
    const test::ParsedWmf wmf = test::ParseWmf(bytes);
    ASSERT_EQ(wmf.Error, "");
    EXPECT_EQ(wmf.Checksum, wmf.ComputedChecksum);
    EXPECT_EQ(wmf.Right, 10478);
    EXPECT_EQ(wmf.Bottom, 8493);
    EXPECT_EQ(wmf.Inch, 2540);
}

TEST_F(ExportPicture, GraticuleAndDotTraceAreWhereTheSheetPutsThem)
{
    const RenderedSheet r = Render(Content(TraceMode::Dot));
    // Ticks across the centre lines.
    EXPECT_TRUE(r.Dark(6 + 8 * 3, 148)) << "tick of the horizontal centre line";
    EXPECT_FALSE(r.Dark(6 + 8 * 3 + 4, 148));
    EXPECT_TRUE(r.Dark(197, 27 + 32 * 2)) << "tick of the vertical centre line";
    // The dot of sample i covers columns 4i+6..4i+9 and rows 274-v..276-v.
    for (int i : { 0, 5, 30, 95 }) {
        const int v = 60 + i;
        EXPECT_TRUE(r.Dark(4 * i + 7.5, 275 - v)) << "dot " << i;
        EXPECT_FALSE(r.Dark(4 * i + 7.5, 275 - v - 6)) << "above dot " << i;
    }
    // Off-scale samples leave gaps: no dot at the edges or at the ramp's level.
    EXPECT_EQ(r.DarkAlongColumn(4 * 10 + 7.5, 184, 210), 0);
    EXPECT_FALSE(r.Dark(4 * 20 + 7.5, 22));
    EXPECT_FALSE(r.Dark(4 * 10 + 7.5, 275));
}

TEST_F(ExportPicture, ZeroLineIsAtItsRowAndDotted)
{
    SheetContent sheet = Content(TraceMode::Dot);
    sheet.Cursors = {};
    const RenderedSheet r = Render(sheet);
    const double row = 276 - sheet.Record.ZeroRef; // 176
    EXPECT_GT(r.DarkAlongRow(row, 240, 276), 5) << "zero line missing";
    EXPECT_EQ(r.DarkAlongRow(row - 4, 240, 276), 0);
    EXPECT_EQ(r.DarkAlongRow(row, 391, 393), 0) << "the zero line ends before 389";
    // The reader draws dotted pens solid; the pen itself is checked in the file.
    const test::ParsedWmf wmf = test::ParseWmf(ExportMetafile(sheet));
    bool dotted = false;
    for (const test::WmfRecord& record : wmf.Records)
        dotted = dotted || (record.Function == Wmf::CreatePenIndirect && record.Params[0] == 2);
    EXPECT_TRUE(dotted);
}

TEST_F(ExportPicture, CursorLinesAndMarkersSitAtTheCursors)
{
    const SheetContent sheet = Content(TraceMode::Dot);
    const RenderedSheet r = Render(sheet);
    // Lines through the trace area, in a gap of the graticule.
    EXPECT_GT(r.DarkAlongColumn(100 + 6, 22, 52), 5);
    EXPECT_GT(r.DarkAlongColumn(300 + 6, 22, 52), 5);
    EXPECT_GT(r.DarkAlongRow(50 + 21, 7, 37), 5);
    EXPECT_GT(r.DarkAlongRow(200 + 21, 7, 37), 5);
    // Horizontal cursor lines reach x = 390, one unit past the grid.
    EXPECT_GT(r.DarkAlongRow(50 + 21, 388.5, 389.5), 0);
    // Triangles outside the trace area: above, left, below, right.
    EXPECT_TRUE(r.Dark(100 + 6, 16));
    EXPECT_TRUE(r.Dark(1.5, 50 + 21));
    EXPECT_TRUE(r.Dark(300 + 6, 280.5));
    EXPECT_TRUE(r.Dark(394, 200 + 21));
    EXPECT_FALSE(r.Dark(300 + 6, 16)) << "the second vertical cursor is marked below only";
}

TEST_F(ExportPicture, NoCursorsMeansNoMarkersAndNoCursorLines)
{
    SheetContent sheet = Content(TraceMode::Dot);
    sheet.Cursors = {};
    sheet.CursorReadouts = {};
    sheet.Description = sheet.Date = sheet.Time = "";
    const RenderedSheet r = Render(sheet);
    EXPECT_EQ(r.DarkInBox(0, 0, 396, 19), 0) << "no marker above the trace area";
    EXPECT_EQ(r.DarkInBox(6, 277.5, 390, 283), 0) << "no marker below";
    EXPECT_EQ(r.DarkInBox(0, 22, 4, 274), 0) << "no marker at the left";
    EXPECT_EQ(r.DarkAlongColumn(100 + 6, 22, 52), 0);
    // The footer still shows the settings row, but no readouts row.
    EXPECT_GT(r.DarkInBox(10, 285, 70, 297), 0);
    EXPECT_EQ(r.DarkInBox(6, 301, 396, 314), 0);
}

TEST_F(ExportPicture, HorizontalCursorOnTheZeroRowKeepsOnlyItsMarker)
{
    SheetContent sheet = Content(TraceMode::Dot);
    sheet.Cursors = { -1, 255 - sheet.Record.ZeroRef, -1, -1 };
    const RenderedSheet r = Render(sheet);
    const double row = sheet.Cursors.Y1 + 21;
    EXPECT_TRUE(r.Dark(1.5, row));
    // Only the zero line (dotted, ending at 389) lies on that row.
    EXPECT_EQ(r.DarkAlongRow(row, 389.5, 390.5), 0);
}

TEST_F(ExportPicture, BarModeJoinsLevelsAndRunsToTheTopFrom255)
{
    const RenderedSheet r = Render(Content(TraceMode::Bar));
    // Sample 20 is 255 after 79: a bar from the top of the trace area (21) down
    // to the previous level's row.
    EXPECT_TRUE(r.Dark(4 * 20 + 7.5, 22));
    EXPECT_TRUE(r.Dark(4 * 20 + 7.5, 276 - 79 - 1));
    // Sample 21 (81) after 255: from the top down to its own level.
    EXPECT_TRUE(r.Dark(4 * 21 + 7.5, 30));
    // Sample 10 is 0 after 69: from the previous level down to row 276.
    EXPECT_TRUE(r.Dark(4 * 10 + 7.5, 275.5));
    EXPECT_TRUE(r.Dark(4 * 10 + 7.5, 276 - 69));
}

TEST_F(ExportPicture, SmoothModeDrawsAWideLineThroughTheSampleCentres)
{
    const RenderedSheet r = Render(Content(TraceMode::Smooth));
    for (int i : { 3, 40, 80 }) {
        const int v = 60 + i;
        EXPECT_TRUE(r.Dark(4 * i + 8, 276 - v)) << i;
        EXPECT_FALSE(r.Dark(4 * i + 8, 276 - v - 8)) << i;
    }
    // Into and out of the 255 sample the line climbs to the top edge.
    EXPECT_TRUE(r.Dark(4 * 20 + 8, 22.5));
}

// Exact text positions follow our font metrics and are checked on a recording
// canvas; the reader substitutes its own face, so here only their places.
TEST_F(ExportPicture, TextsSitInTheHeaderAndFooterRows)
{
    SheetContent sheet = Content(TraceMode::Dot);
    sheet.Cursors = {};
    const RenderedSheet r = Render(sheet);
    EXPECT_GT(r.DarkInBox(8, 2, 40, 13), 0) << "description";
    EXPECT_GT(r.DarkInBox(270, 2, 330, 13), 0) << "date";
    EXPECT_GT(r.DarkInBox(342, 2, 390, 13), 0) << "time";
    // Settings texts end at 70, 134, ... 390; the readouts at 262, 326, 390.
    EXPECT_GT(r.DarkInBox(60, 285, 70, 297), 0);
    EXPECT_GT(r.DarkInBox(380, 285, 390, 297), 0);
    EXPECT_GT(r.DarkInBox(250, 301, 262, 313), 0);
    EXPECT_EQ(r.DarkInBox(6, 301, 190, 313), 0) << "no readout under the first three settings";

    // An empty description leaves the start of the header empty.
    sheet.Description.clear();
    const RenderedSheet blank = Render(sheet);
    EXPECT_EQ(blank.DarkInBox(0, 0, 260, 13), 0);
}

TEST_F(ExportPicture, ZeroLineFollowsTheExtremeZeroReferences)
{
    SheetContent sheet = Content(TraceMode::Dot);
    sheet.Cursors = {};
    for (int32_t& s : sheet.Record.Samples)
        s = 0; // nothing but graticule and zero line
    sheet.Record.ZeroRef = 0;
    const RenderedSheet bottom = Render(sheet);
    EXPECT_GT(bottom.DarkAlongRow(276, 240, 276), 5) << "zero 0 lies on row 276";
    sheet.Record.ZeroRef = 255;
    const RenderedSheet top = Render(sheet);
    EXPECT_GT(top.DarkAlongRow(21, 240, 276), 5) << "zero 255 lies on row 21";
}

} // namespace
} // namespace zop
