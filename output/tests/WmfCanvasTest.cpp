#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "output/ArialMetrics.h"
#include "output/WmfCanvas.h"
#include "output/tests/WmfParse.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

using test::ParsedWmf;
using test::ParseWmf;
using test::WmfRecord;

std::vector<WmfRecord> RecordsOf(const ParsedWmf& wmf, uint16_t function)
{
    std::vector<WmfRecord> found;
    std::copy_if(wmf.Records.begin(), wmf.Records.end(), std::back_inserter(found),
        [&](const WmfRecord& r) { return r.Function == function; });
    return found;
}

std::string FaceName(const WmfRecord& font)
{
    std::string name;
    for (size_t i = 9; i < font.Params.size(); ++i) {
        for (int shift : { 0, 8 }) {
            const char c = static_cast<char>((static_cast<uint16_t>(font.Params[i]) >> shift) & 0xFF);
            if (c == '\0') {
                return name;
            }
            name.push_back(c);
        }
    }
    return name;
}

void DrawSample(WmfCanvas& canvas)
{
    canvas.SetFont(Font {});
    canvas.TextOut(8, 2, "Sine 1kHz");
    canvas.SetPen(Pen { Colours::Black, 1, PenStyle::Solid, PenMix::Copy });
    canvas.MoveTo(6, 53);
    canvas.LineTo(389, 53);
    canvas.SetPen(Pen { Colours::Black, 1, PenStyle::Dot, PenMix::Copy });
    canvas.MoveTo(6, 149);
    canvas.LineTo(389, 149);
    canvas.SetBrush(Brush { Colours::Black, false });
    canvas.FillRect(10, 100, 14, 103);
    canvas.SetPen(Pen { Colours::Black, 3, PenStyle::Solid, PenMix::Copy });
    canvas.MoveTo(8, 20);
    canvas.LineTo(12, 40);
    canvas.SetPen(Pen { Colours::Black, 1, PenStyle::Solid, PenMix::Copy });
    canvas.Polygon({ { 0, 19 }, { 4, 21 }, { 0, 23 } });
}

TEST(WmfCanvas, PlaceableHeaderHasKeyBoxInchAndChecksum)
{
    WmfCanvas canvas(396, 321);
    DrawSample(canvas);
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    ASSERT_EQ(wmf.Error, "");
    EXPECT_EQ(wmf.Key, 0x9AC6CDD7u);
    EXPECT_EQ(wmf.Left, 0);
    EXPECT_EQ(wmf.Top, 0);
    // 396 x 321 pixels of a 96 dpi screen in hundredths of a millimetre.
    EXPECT_EQ(wmf.Right, 10478);
    EXPECT_EQ(wmf.Bottom, 8493);
    EXPECT_EQ(wmf.Inch, 2540);
    EXPECT_EQ(wmf.Checksum, wmf.ComputedChecksum);
    EXPECT_EQ(wmf.HeaderWords, 9);
    EXPECT_EQ(wmf.Version, 0x0300);
}

TEST(WmfCanvas, RecordSizesAddUpAndHeaderMaximumIsExact)
{
    WmfCanvas canvas(396, 321);
    DrawSample(canvas);
    const std::vector<uint8_t> bytes = canvas.PlaceableBytes();
    const ParsedWmf wmf = ParseWmf(bytes);
    ASSERT_EQ(wmf.Error, "");
    uint32_t largest = 0;
    for (const WmfRecord& r : wmf.Records) {
        largest = std::max<uint32_t>(largest, static_cast<uint32_t>(r.Params.size() + 3));
    }
    EXPECT_EQ(wmf.MaxRecord, largest);
    EXPECT_EQ(wmf.Records.back().Function, Wmf::Eof);
    EXPECT_EQ(wmf.Records.back().Params.size(), 0u);
    // The metafile without the placeable header is the same bytes from 22 on.
    const std::vector<uint8_t> plain = canvas.MetafileBytes();
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), bytes.begin() + 22, bytes.end()));
}

TEST(WmfCanvas, SetsAnisotropicMappingTransparentTextAndWindow)
{
    WmfCanvas canvas(396, 321);
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    ASSERT_EQ(wmf.Error, "");
    ASSERT_EQ(RecordsOf(wmf, Wmf::SetMapMode).size(), 1u);
    EXPECT_EQ(RecordsOf(wmf, Wmf::SetMapMode)[0].Params[0], 8);
    const auto ext = RecordsOf(wmf, Wmf::SetWindowExt);
    ASSERT_EQ(ext.size(), 1u);
    EXPECT_EQ(ext[0].Params, (std::vector<int16_t> { 321, 396 }));
    const auto org = RecordsOf(wmf, Wmf::SetWindowOrg);
    ASSERT_EQ(org.size(), 1u);
    EXPECT_EQ(org[0].Params, (std::vector<int16_t> { 0, 0 }));
    ASSERT_EQ(RecordsOf(wmf, Wmf::SetBkMode).size(), 1u);
    EXPECT_EQ(RecordsOf(wmf, Wmf::SetBkMode)[0].Params[0], 1);
}

// Plays the object records as a player does: a new object takes the lowest
// free table entry; selecting or deleting a free entry is an error.
TEST(WmfCanvas, ObjectTableStaysConsistentAndWithinHeaderCount)
{
    WmfCanvas canvas(396, 321);
    for (int i = 0; i < 20; ++i) {
        DrawSample(canvas);
    }
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    ASSERT_EQ(wmf.Error, "");
    std::vector<bool> used;
    size_t peak = 0;
    std::map<int, uint16_t> kinds;
    for (const WmfRecord& r : wmf.Records) {
        if (r.Function == Wmf::CreatePenIndirect || r.Function == Wmf::CreateBrushIndirect
            || r.Function == Wmf::CreateFontIndirect) {
            auto it = std::find(used.begin(), used.end(), false);
            const size_t index = static_cast<size_t>(it - used.begin());
            if (it == used.end()) {
                used.push_back(true);
            } else {
                *it = true;
            }
            kinds[static_cast<int>(index)] = r.Function;
            peak = std::max(peak, static_cast<size_t>(std::count(used.begin(), used.end(), true)));
        } else if (r.Function == Wmf::SelectObject || r.Function == Wmf::DeleteObject) {
            const auto index = static_cast<size_t>(r.Params.at(0));
            ASSERT_LT(index, used.size());
            ASSERT_TRUE(used[index]) << "object " << index << " used after deletion";
            if (r.Function == Wmf::DeleteObject) {
                used[index] = false;
            }
        }
    }
    EXPECT_LE(peak, wmf.NoObjects);
    EXPECT_LE(wmf.NoObjects, 4);
}

TEST(WmfCanvas, PrimitivesCarryGdiCoordinates)
{
    WmfCanvas canvas(396, 321);
    DrawSample(canvas);
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    ASSERT_EQ(wmf.Error, "");
    const auto moves = RecordsOf(wmf, Wmf::MoveTo);
    const auto lines = RecordsOf(wmf, Wmf::LineTo);
    ASSERT_EQ(moves.size(), 3u);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(moves[0].Params, (std::vector<int16_t> { 53, 6 })); // y, x
    EXPECT_EQ(lines[0].Params, (std::vector<int16_t> { 53, 389 }));
    // A rectangle drawn with a one-pixel pen covers x1..x2-1, as FillRect does.
    const auto rects = RecordsOf(wmf, Wmf::Rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].Params, (std::vector<int16_t> { 103, 14, 100, 10 })); // bottom, right, top, left
    const auto polygons = RecordsOf(wmf, Wmf::Polygon);
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0].Params, (std::vector<int16_t> { 3, 0, 19, 4, 21, 0, 23 }));

    const auto pens = RecordsOf(wmf, Wmf::CreatePenIndirect);
    ASSERT_EQ(pens.size(), 5u); // solid, dotted, the fill's outline, wide, solid again
    EXPECT_EQ(pens[0].Params[0], 0);
    EXPECT_EQ(pens[1].Params[0], 2);
    EXPECT_EQ(pens[3].Params[1], 3);
}

TEST(WmfCanvas, FontIsArialEightPointsAndTextIsStoredAsBytes)
{
    WmfCanvas canvas(396, 321);
    canvas.SetFont(Font {});
    canvas.TextOut(342, 2, "12:34:5\xB5");
    canvas.TextOut(8, 2, ""); // an empty text draws nothing
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    ASSERT_EQ(wmf.Error, "");
    const auto fonts = RecordsOf(wmf, Wmf::CreateFontIndirect);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].Params[0], -11); // 8 points on a 96 dpi screen
    EXPECT_EQ(fonts[0].Params[4], 400); // regular weight
    EXPECT_EQ(fonts[0].Params[5], 0); // not italic, not underlined
    EXPECT_EQ(fonts[0].Params[6], 0); // not struck out
    EXPECT_EQ(FaceName(fonts[0]), "Arial");
    const auto texts = RecordsOf(wmf, Wmf::TextOut);
    ASSERT_EQ(texts.size(), 1u);
    ASSERT_EQ(texts[0].Params[0], 8);
    // Eight bytes in four words, then y and x.
    EXPECT_EQ(static_cast<uint16_t>(texts[0].Params[1]), '1' | ('2' << 8));
    EXPECT_EQ(static_cast<uint16_t>(texts[0].Params[4]), '5' | (0xB5 << 8));
    EXPECT_EQ(texts[0].Params[5], 2);
    EXPECT_EQ(texts[0].Params[6], 342);
}

TEST(WmfCanvas, OddTextLengthIsPaddedAndNothingIsRecreatedNeedlessly)
{
    WmfCanvas canvas(396, 321);
    canvas.SetFont(Font {});
    canvas.TextOut(1, 1, "abc");
    canvas.TextOut(1, 20, "de");
    canvas.SetPen(Pen {});
    canvas.MoveTo(0, 0);
    canvas.LineTo(5, 0);
    canvas.LineTo(5, 5);
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    ASSERT_EQ(wmf.Error, "");
    const auto texts = RecordsOf(wmf, Wmf::TextOut);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].Params.size(), 1u + 2u + 2u);
    EXPECT_EQ(static_cast<uint16_t>(texts[0].Params[2]), 'c');
    EXPECT_EQ(RecordsOf(wmf, Wmf::CreateFontIndirect).size(), 1u);
    EXPECT_EQ(RecordsOf(wmf, Wmf::CreatePenIndirect).size(), 1u);
}

TEST(WmfCanvas, InvertingMixSwitchesTheDrawMode)
{
    WmfCanvas canvas(396, 321);
    canvas.SetPen(Pen { Colours::Fuchsia, 1, PenStyle::Dot, PenMix::NotXorPen });
    canvas.MoveTo(0, 10);
    canvas.LineTo(384, 10);
    canvas.SetPen(Pen { Colours::Black, 1, PenStyle::Dot, PenMix::Copy });
    canvas.LineTo(384, 20);
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    const auto modes = RecordsOf(wmf, Wmf::SetRop2);
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[0].Params[0], 10);
    EXPECT_EQ(modes[1].Params[0], 13);
}

TEST(WmfCanvas, HollowBrushOrEmptyRectangleDrawsNothing)
{
    WmfCanvas canvas(396, 321);
    canvas.SetBrush(Brush { Colours::Black, true });
    canvas.FillRect(0, 0, 10, 10);
    canvas.SetBrush(Brush { Colours::Black, false });
    canvas.FillRect(10, 10, 10, 20);
    canvas.FillRect(10, 20, 20, 19);
    const ParsedWmf wmf = ParseWmf(canvas.PlaceableBytes());
    EXPECT_TRUE(RecordsOf(wmf, Wmf::Rectangle).empty());
}

TEST(ArialMetrics, WidthsFollowTheFaceAtEightPoints)
{
    EXPECT_EQ(FontEmPixels(8), 11);
    EXPECT_EQ(ArialTextWidth("", 11), 0);
    EXPECT_EQ(ArialTextWidth("0", 11), 6);
    EXPECT_EQ(ArialTextWidth("0123456789", 11), 60);
    // Narrow and wide letters differ; the micro sign has its own width.
    EXPECT_LT(ArialTextWidth("iiii", 11), ArialTextWidth("MMMM", 11));
    EXPECT_EQ(ArialTextWidth("\xB5", 11), 6);
    WmfCanvas canvas(396, 321);
    canvas.SetFont(Font {});
    EXPECT_EQ(canvas.TextWidth("10ms/div"), ArialTextWidth("10ms/div", 11));
}

TEST(WritePictureFile, WritesAndReplacesWholeFiles)
{
    test::TempDir dir;
    const std::string path = dir.File("sheet.wmf");
    WritePictureFile(path, { 1, 2, 3 });
    WritePictureFile(path, { 4, 5 });
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> read { std::istreambuf_iterator<char>(in), {} };
    EXPECT_EQ(read, (std::vector<char> { 4, 5 }));
}

TEST(WritePictureFile, MissingFolderGivesCannotCreateFile)
{
    test::TempDir dir;
    const std::string path = dir.File("no/such/folder/sheet.wmf");
    try {
        WritePictureFile(path, { 1 });
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
}

} // namespace
} // namespace zop
