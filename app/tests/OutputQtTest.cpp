// The output commands' clipboard and printer on Qt Widgets: the printed page
// printed to PDF through the window's printer and rasterised by pdftoppm, and
// the clipboard within one process.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPrinter>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <unistd.h>

#include "app/OutputQt.h"
#include "document/FileError.h"
#include "tests/support/RippleSheet.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

using test::ReadByteVector;

// The ripple sheet with its volts panel empty.
SheetContent Content()
{
    return test::RippleSheet(1);
}

// The page printed to a PDF file at `dpi`, rasterised at the same resolution.
class PrintedPage {
public:
    int Unit = 0;
    int OffsetX = 0, OffsetY = 0; // the printable area's corner on the page
    int Width = 0, Height = 0;
    std::vector<uint8_t> Grey;

    bool Dark(int x, int y) const
    {
        x += OffsetX;
        y += OffsetY;
        if (x < 0 || y < 0 || x >= Width || y >= Height)
            return false;
        return Grey[static_cast<size_t>(y * Width + x)] < 128;
    }
    int DarkInBox(int x1, int y1, int x2, int y2) const
    {
        int n = 0;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                n += Dark(x, y);
        return n;
    }
    // The PDF holds positions in points; at high resolutions a line one
    // device pixel wide may land a pixel or two beside its device position.
    int Slack() const { return Unit > 1 ? 2 : 0; }
    bool Near(int x, int y) const { return DarkInBox(x - Slack(), y - Slack(), x + Slack(), y + Slack()) > 0; }
    // Length of the dark run through (x, y) along the row.
    int RunAlongRow(int x, int y) const
    {
        int from = x - Slack();
        while (from <= x + Slack() && !Dark(from, y))
            ++from;
        int n = 0;
        while (Dark(from + n, y))
            ++n;
        return n;
    }

    static std::optional<PrintedPage> Print(const SheetContent& sheet, int dpi, const std::string& folder)
    {
        PrintedPage page;
        const std::string pdf = folder + "/page.pdf";
        {
            // The window's printer, printing to a file.
            QtPagePrinter window(nullptr);
            QPrinter& printer = window.Printer();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            printer.setResolution(dpi);
            window.PrintSheet(sheet);
            page.Unit = PrintUnit(printer.width());
            const QRect paint = printer.pageLayout().paintRectPixels(dpi);
            page.OffsetX = paint.left();
            page.OffsetY = paint.top();
        }
        const std::string base = folder + "/page";
        const std::string command = "pdftoppm -r " + std::to_string(dpi) + " -gray -aa no -aaVector no -singlefile '"
            + pdf + "' '" + base + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            return std::nullopt;
        std::ifstream in(base + ".pgm", std::ios::binary);
        std::string magic;
        int maxValue = 0;
        in >> magic >> page.Width >> page.Height >> maxValue;
        in.get();
        if (magic != "P5" || maxValue != 255)
            return std::nullopt;
        page.Grey.resize(static_cast<size_t>(page.Width * page.Height));
        in.read(reinterpret_cast<char*>(page.Grey.data()), static_cast<std::streamsize>(page.Grey.size()));
        return page;
    }
};

class PrintToPdf : public testing::TestWithParam<int> {
protected:
    test::TempDir dir;
};

TEST_P(PrintToPdf, PageHasGraticuleTraceMarkersAndTextsAtTheirPlaces)
{
    const int dpi = GetParam();
    SheetContent sheet = Content();
    const auto page = PrintedPage::Print(sheet, dpi, dir.Path());
    ASSERT_TRUE(page) << "pdftoppm could not read the printed page";
    const int u = page->Unit;
    EXPECT_EQ(u, dpi >= 600 ? 6 : 1);
    // Division lines: horizontal at (25 + 32k) u, vertical at (42 + 40k) u.
    EXPECT_TRUE(page->Near(20 * u, 57 * u));
    EXPECT_TRUE(page->Near(42 * u, 40 * u));
    EXPECT_TRUE(page->Near(362 * u, 200 * u));
    EXPECT_FALSE(page->Near(52 * u, 40 * u));
    // Dot of sample 5 (value 100): x (30..33) u, y (178..180) u.
    EXPECT_TRUE(page->Dark(32 * u, 179 * u + u / 2));
    EXPECT_FALSE(page->Near(32 * u, 175 * u));
    // Crosses: vertical at (40 + 10) u between 25u and 280u, horizontal at
    // (60 + 25) u from 10u to 394u.
    EXPECT_GT(page->DarkInBox(50 * u - page->Slack(), 26 * u, 50 * u + page->Slack(), 56 * u), 0);
    EXPECT_GT(page->DarkInBox(11 * u, 85 * u - page->Slack(), 41 * u, 85 * u + page->Slack()), 0);
    // Markers: above the graticule at x1, left of it at y1, below at x2,
    // right at y2.
    EXPECT_TRUE(page->Dark(50 * u, 20 * u));
    EXPECT_TRUE(page->Dark(5 * u, 85 * u));
    EXPECT_TRUE(page->Dark(210 * u, 285 * u));
    EXPECT_TRUE(page->Dark(399 * u, 125 * u));
    // Header texts at y = 0 and footers right-aligned at 290u and 305u.
    EXPECT_GT(page->DarkInBox(10 * u, 0, 60 * u, 10 * u), 0);
    EXPECT_GT(page->DarkInBox(274 * u, 0, 340 * u, 10 * u), 0);
    EXPECT_GT(page->DarkInBox(60 * u, 290 * u, 74 * u - 1, 300 * u), 0);
    EXPECT_EQ(page->DarkInBox(74 * u + 1, 290 * u, 100 * u, 300 * u), 0) << "panel 1 is empty";
    EXPECT_GT(page->DarkInBox(380 * u, 305 * u, 394 * u - 1, 315 * u), 0);
}

TEST_P(PrintToPdf, GraticuleSpanAndLineWidths)
{
    const int dpi = GetParam();
    SheetContent sheet = Content();
    sheet.Mode = TraceMode::Smooth;
    const auto page = PrintedPage::Print(sheet, dpi, dir.Path());
    ASSERT_TRUE(page);
    const int u = page->Unit;
    const int slack = page->Slack();
    // The horizontal crosses run from 10u to 394u (the y1 marker sits left of
    // 10u, the y2 marker right of 394u), the vertical ones from 25u to 280u
    // (the x1 marker above, the x2 marker below).
    // Cross lines are dotted: a dot lies within three pixels of each end.
    EXPECT_GT(page->DarkInBox(10 * u, 125 * u - slack, 10 * u + 2 + slack, 125 * u + slack), 0);
    EXPECT_FALSE(page->Near(10 * u - 2 - slack, 125 * u));
    EXPECT_GT(page->DarkInBox(394 * u - 3 - slack, 85 * u - slack, 394 * u - 1, 85 * u + slack), 0);
    EXPECT_FALSE(page->Near(394 * u + 1 + slack, 85 * u));
    EXPECT_GT(page->DarkInBox(210 * u - slack, 25 * u, 210 * u + slack, 25 * u + 2 + slack), 0);
    EXPECT_FALSE(page->Near(210 * u, 25 * u - 2 - slack));
    EXPECT_GT(page->DarkInBox(50 * u - slack, 280 * u - 3 - slack, 50 * u + slack, 280 * u - 1), 0);
    EXPECT_FALSE(page->Near(50 * u, 280 * u + 1 + slack));
    // Division lines stay one device pixel wide; the smooth trace is 3u.
    EXPECT_LE(page->RunAlongRow(42 * u, 40 * u), 2);
    const int traceY = (280 - 100) * u;
    const int x = 100 * u + 3; // between two sample points, on the flat trace
    int thick = 0;
    for (int y = traceY - 3 * u; y <= traceY + 3 * u; ++y)
        thick += page->Dark(x, y);
    EXPECT_GE(thick, 3 * u - 1);
    EXPECT_LE(thick, 3 * u + 2);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PrintToPdf, testing::Values(96, 600));

// Qt's PDF printer says nothing of a failed write; printing to a file must
// fail as a save does and keep what the file held.
TEST(PrintToPdfFile, AFailedWriteIsReportedAndKeepsThePreviousFile)
{
    test::TempDir dir;
    QtPagePrinter window(nullptr);
    window.Printer().setOutputFormat(QPrinter::PdfFormat);
    const std::string full = dir.File("full.pdf");
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    window.Printer().setOutputFileName(QString::fromStdString(full));
    try {
        window.PrintSheet(Content());
        ADD_FAILURE() << "printing onto a full device succeeded";
    } catch (const FileError& e) {
        EXPECT_EQ(e.ErrorNumber(), ENOSPC) << e.what();
    }

    const std::string missing = dir.File("gone/page.pdf");
    window.Printer().setOutputFileName(QString::fromStdString(missing));
    EXPECT_THROW(window.PrintSheet(Content()), FileError);

    const std::string replaced = dir.File("page.pdf");
    std::ofstream(replaced) << "previous";
    window.Printer().setOutputFileName(QString::fromStdString(replaced));
    window.PrintSheet(Content());
    const std::vector<uint8_t> bytes = ReadByteVector(replaced);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
}

TEST(ClipboardInProcess, PlacesBlockAndPicturesAndReadsThemBack)
{
    QClipboard* system = QGuiApplication::clipboard();
    ASSERT_NE(system, nullptr);
    QtWaveformClipboard clipboard(system);
    const SheetContent sheet = Content();
    BlockContent content;
    content.Description = "shared";
    const WaveformBlock block = EncodeWaveformBlock(content);
    clipboard.Place(sheet, &block);
    EXPECT_TRUE(clipboard.HoldsWaveform());
    const auto read = clipboard.ReadWaveform();
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, std::vector<uint8_t>(block.begin(), block.end()));

    const QMimeData* data = system->mimeData();
    ASSERT_NE(data, nullptr);
    QImage png;
    ASSERT_TRUE(png.loadFromData(data->data("image/png"), "PNG"));
    EXPECT_EQ(png.size(), QSize(396, 321));
    EXPECT_EQ(qAlpha(png.pixel(200, 100)), 0) << "no background is painted";
    EXPECT_EQ(png.pixel(38, 100) & 0xFFFFFF, 0u) << "a division line is black";
    EXPECT_TRUE(data->data("image/svg+xml").contains("<svg"));
    const QByteArray wmf = data->data(MetafileMimeType);
    ASSERT_GE(wmf.size(), 4);
    EXPECT_EQ(static_cast<uint8_t>(wmf[0]), 0xD7);
    EXPECT_EQ(static_cast<uint8_t>(wmf[3]), 0x9A);

    // A picture alone (the block could not be built) leaves no waveform.
    clipboard.Place(sheet, nullptr);
    EXPECT_FALSE(clipboard.HoldsWaveform());
    EXPECT_FALSE(clipboard.ReadWaveform());
    clipboard.Place(sheet, &block);
    clipboard.Empty();
    EXPECT_FALSE(clipboard.HoldsWaveform());
}

} // namespace
} // namespace zop
