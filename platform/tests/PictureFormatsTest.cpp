// The picture files on Qt's painting: the bitmap sheet checked by a decoder
// written here from the BMP format, the metafile, and Save As's picture
// types through the document commands.
#include <gtest/gtest.h>

#include <QImage>
#include <optional>

#include "display/TraceRenderer.h"
#include "document/FileError.h"
#include "output/WmfCanvas.h"
#include "platform/PictureFormats.h"
#include "platform/QPainterCanvas.h"
#include "tests/support/RippleSheet.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WindowParts.h"

namespace zop {
namespace {

using test::ReadByteVector;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// A one-bit BMP, read straight from its headers.
struct Bmp {
    int Width = 0, Height = 0, BitsPerPixel = 0;
    uint32_t Compression = 0;
    std::vector<uint8_t> Bytes;
    uint32_t PixelOffset = 0;
    uint32_t Palette[2] {};

    static std::optional<Bmp> Decode(std::vector<uint8_t> bytes)
    {
        if (bytes.size() < 62 || bytes[0] != 'B' || bytes[1] != 'M' || Le32(bytes, 2) != bytes.size())
            return std::nullopt;
        Bmp bmp;
        bmp.PixelOffset = Le32(bytes, 10);
        const uint32_t infoSize = Le32(bytes, 14);
        bmp.Width = static_cast<int>(Le32(bytes, 18));
        bmp.Height = static_cast<int>(Le32(bytes, 22));
        bmp.BitsPerPixel = Le16(bytes, 28);
        bmp.Compression = Le32(bytes, 30);
        for (int i = 0; i < 2; ++i)
            bmp.Palette[i] = Le32(bytes, 14 + infoSize + 4 * i) & 0xFFFFFF;
        bmp.Bytes = std::move(bytes);
        return bmp;
    }

    // Rows are stored bottom-up, padded to four bytes.
    bool Black(int x, int y) const
    {
        const size_t stride = static_cast<size_t>((Width + 31) / 32 * 4);
        const size_t row = static_cast<size_t>(Height - 1 - y);
        const uint8_t byte = Bytes.at(PixelOffset + row * stride + static_cast<size_t>(x / 8));
        const int index = (byte >> (7 - x % 8)) & 1;
        return Palette[index] == 0;
    }
    int BlackInBox(int x1, int y1, int x2, int y2) const
    {
        int n = 0;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                n += Black(x, y);
        return n;
    }
};

// The ripple sheet with its volts panel empty.
SheetContent Content()
{
    return test::RippleSheet(1);
}

// The screen picture as the window draws it: white, grey graticule, red
// zero line, blue trace and fuchsia crosses in the inverting mix.
QImage ScreenPicture(const SheetContent& sheet)
{
    QImage image(384, 255, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainterCanvas canvas(&image);
        canvas.SetPen(Pen { Colours::Grey });
        canvas.MoveTo(32, 0);
        canvas.LineTo(32, 255);
        RenderTraceGeometry(canvas, TraceLayout::Screen(), sheet.Record, sheet.Mode, sheet.Cursors);
    }
    return image;
}

class BitmapFile : public testing::Test {
protected:
    test::TempDir dir;
    SheetContent sheet = Content();
    QImage screen = ScreenPicture(sheet);

    Bmp Write()
    {
        QtPictureFiles files([this] { return sheet; }, [this] { return screen; });
        const std::string path = dir.File("sheet.bmp");
        files.WriteBitmap(path);
        auto bmp = Bmp::Decode(ReadByteVector(path));
        if (!bmp)
            ADD_FAILURE() << "not a BMP file";
        return bmp ? *bmp : Bmp {};
    }
};

TEST_F(BitmapFile, HeaderSaysOneBitPerPixel384By321)
{
    const Bmp bmp = Write();
    EXPECT_EQ(bmp.Width, 384);
    EXPECT_EQ(bmp.Height, 321);
    EXPECT_EQ(bmp.BitsPerPixel, 1);
    EXPECT_EQ(bmp.Compression, 0u);
    EXPECT_EQ(bmp.Bytes.size(), bmp.PixelOffset + 48u * 321u);
    // One palette entry black, the other white.
    EXPECT_NE(bmp.Palette[0], bmp.Palette[1]);
    for (uint32_t colour : bmp.Palette)
        EXPECT_TRUE(colour == 0 || colour == 0xFFFFFF);
}

TEST_F(BitmapFile, TraceAreaKeepsWhiteAndBlackensEveryDrawnLine)
{
    // A pixel that is almost white still belongs to a drawn line.
    screen.setPixel(300, 10, qRgb(254, 254, 254));
    const Bmp bmp = Write();
    const int top = 21;
    EXPECT_FALSE(bmp.Black(10, top + 10)) << "white background";
    EXPECT_TRUE(bmp.Black(32, top + 200)) << "grey graticule";
    EXPECT_TRUE(bmp.Black(300, top + 10)) << "near-white pixel";
    // Dot of sample 5 at 100: columns 20..23, rows 153..155.
    EXPECT_TRUE(bmp.Black(21, top + 154)) << "blue trace";
    EXPECT_FALSE(bmp.Black(21, top + 150));
    // The red zero line at row 128 and the inverted fuchsia crosses are
    // dotted: some of their pixels are black, the gaps white.
    const int zeroBlack = bmp.BlackInBox(100, top + 128, 150, top + 128);
    EXPECT_GT(zeroBlack, 10);
    EXPECT_LT(zeroBlack, 45);
    EXPECT_GT(bmp.BlackInBox(40, top + 2, 40, top + 30), 5) << "vertical cross at 40";
    EXPECT_GT(bmp.BlackInBox(100, top + 60, 150, top + 60), 10) << "horizontal cross at 60";
    EXPECT_EQ(bmp.BlackInBox(100, top + 59, 150, top + 59), 0);
}

TEST_F(BitmapFile, TextsInHeaderAndRightAlignedFooters)
{
    const Bmp bmp = Write();
    EXPECT_GT(bmp.BlackInBox(2, 2, 60, 19), 0) << "description";
    EXPECT_GT(bmp.BlackInBox(264, 2, 334, 19), 0) << "date";
    EXPECT_GT(bmp.BlackInBox(336, 2, 383, 19), 0) << "time";
    // Settings panel 0 ends at 64; panel 1 is empty, so 64..127 stays white.
    EXPECT_GT(bmp.BlackInBox(50, 280, 63, 296), 0);
    EXPECT_EQ(bmp.BlackInBox(64, 280, 127 - 40, 296), 0);
    // Readouts end at 256 and 384 (the middle one is empty).
    EXPECT_GT(bmp.BlackInBox(240, 301, 255, 317), 0);
    EXPECT_EQ(bmp.BlackInBox(256, 301, 300, 320), 0);
    EXPECT_EQ(bmp.BlackInBox(0, 276, 383, 279), 0) << "nothing between trace area and footers";
}

TEST_F(BitmapFile, UnwritablePathGivesCannotCreateFile)
{
    QtPictureFiles files([this] { return sheet; }, [this] { return screen; });
    const std::string path = dir.File("missing/sheet.bmp");
    try {
        files.WriteBitmap(path);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
    try {
        files.WriteMetafile(dir.File("missing/sheet.wmf"));
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.File("missing/sheet.wmf"));
    }
}

TEST_F(BitmapFile, MetafileIsThePlaceableExportPicture)
{
    QtPictureFiles files([this] { return sheet; }, [this] { return screen; });
    files.WriteMetafile(dir.File("sheet.wmf"));
    EXPECT_EQ(ReadByteVector(dir.File("sheet.wmf")), ExportMetafile(sheet));
}

// Save As with the picture types, through the document commands.
TEST(SaveAsPictures, BitmapAndMetafileTypesWriteTheirFilesOrReportCannotCreate)
{
    test::TempDir dir;
    test::WindowParts w;
    QImage screen(384, 255, QImage::Format_RGB32);
    screen.fill(Qt::white);
    QtPictureFiles pictures([&] { return SheetFromWindow(w.Form, w.Record, w.Cursors); }, [&] { return screen; });
    DocumentCommands commands(w.Parts(), {}, pictures, w.Clock);
    IncomingImage image;
    image.TimeIndex = 3;
    image.VoltIndex = 2;
    image.Description = "Saved as pictures";
    image.Samples.fill(90);
    w.ShowSaved(commands, dir.File("wave.zop"), image);
    w.Form.Description.SetText("Edited before export");

    w.Ui.SaveResults.push_back(FileDialogResult { dir.File("TRACE.zop"), 2 });
    ASSERT_TRUE(commands.SaveasItemClick());
    const auto bmp = Bmp::Decode(ReadByteVector(dir.File("TRACE.bmp")));
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->BitsPerPixel, 1);
    EXPECT_GT(bmp->BlackInBox(2, 2, 100, 19), 0);
    EXPECT_FALSE(w.Flags.Unsaved());

    w.Ui.SaveResults.push_back(FileDialogResult { dir.File("TRACE"), 3 });
    ASSERT_TRUE(commands.SaveasItemClick());
    EXPECT_EQ(ReadByteVector(dir.File("TRACE.wmf")), ExportMetafile(SheetFromWindow(w.Form, w.Record, w.Cursors)));

    w.Form.Description.SetText("Edited again");
    const std::string missing = dir.File("gone/TRACE.wmf");
    w.Ui.SaveResults.push_back(FileDialogResult { missing, 3 });
    EXPECT_THROW(
        {
            try {
                commands.SaveasItemClick();
            } catch (const FileError& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing);
                throw;
            }
        },
        FileError);
    EXPECT_TRUE(w.Flags.Modified) << "a failed export leaves the document unsaved";
}

} // namespace
} // namespace zop
