#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include "display/TraceRenderer.h"
#include "display/TraceView.h"
#include "platform/ImageTracePicture.h"
#include "platform/QPainterCanvas.h"

namespace zop {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kGrey = 0xFF808080;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kRed = 0xFFFF0000;

QImage White(int w = 40, int h = 40)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

TEST(QPainterCanvas, LinesStopOnePixelBeforeTheirEnd)
{
    QImage image = White();
    {
        QPainterCanvas canvas(&image);
        canvas.MoveTo(10, 5);
        canvas.LineTo(20, 5);
        canvas.MoveTo(3, 10);
        canvas.LineTo(3, 20);
        canvas.MoveTo(30, 30);
        canvas.LineTo(31, 30); // one pixel
        canvas.MoveTo(35, 35);
        canvas.LineTo(35, 35); // nothing
        canvas.MoveTo(25, 20);
        canvas.LineTo(20, 20); // right to left: 25 down to 21
    }
    for (int x = 9; x <= 21; ++x)
        EXPECT_EQ(image.pixel(x, 5), x >= 10 && x <= 19 ? kBlack : kWhite) << x;
    for (int y = 9; y <= 21; ++y)
        EXPECT_EQ(image.pixel(3, y), y >= 10 && y <= 19 ? kBlack : kWhite) << y;
    EXPECT_EQ(image.pixel(30, 30), kBlack);
    EXPECT_EQ(image.pixel(31, 30), kWhite);
    EXPECT_EQ(image.pixel(35, 35), kWhite);
    for (int x = 19; x <= 26; ++x)
        EXPECT_EQ(image.pixel(x, 20), x >= 21 && x <= 25 ? kBlack : kWhite) << x;
}

TEST(QPainterCanvas, FilledRectanglesLeaveOutTheirLastRowAndColumn)
{
    QImage image = White();
    {
        QPainterCanvas canvas(&image);
        canvas.SetBrush(Brush { Colours::Blue });
        canvas.FillRect(4, 10, 8, 13);
        canvas.FillRect(20, 20, 20, 30); // empty
    }
    for (int y = 8; y <= 14; ++y)
        for (int x = 2; x <= 10; ++x)
            EXPECT_EQ(image.pixel(x, y), x >= 4 && x < 8 && y >= 10 && y < 13 ? kBlue : kWhite) << x << "," << y;
    EXPECT_EQ(image.pixel(20, 25), kWhite);
}

TEST(QPainterCanvas, InvertingMixIsNotPenXorPixelAndUndoesItself)
{
    QImage image = White();
    image.setPixel(5, 3, kGrey);
    const QImage before = image.copy();
    {
        QPainterCanvas canvas(&image);
        canvas.SetPen(Pen { Colours::Fuchsia, 1, PenStyle::Solid, PenMix::NotXorPen });
        canvas.MoveTo(0, 3);
        canvas.LineTo(10, 3);
    }
    EXPECT_EQ(image.pixel(0, 3), qRgb(255, 0, 255)); // on white
    EXPECT_EQ(image.pixel(5, 3), qRgb(128, 127, 128)); // on grey
    EXPECT_EQ(image.pixel(10, 3), kWhite);
    {
        QPainterCanvas canvas(&image);
        canvas.SetPen(Pen { Colours::Fuchsia, 1, PenStyle::Solid, PenMix::NotXorPen });
        canvas.MoveTo(0, 3);
        canvas.LineTo(10, 3);
    }
    EXPECT_EQ(image, before);
}

TEST(QPainterCanvas, JoinedSegmentsTouchTheirCommonPointOnce)
{
    QImage image = White();
    {
        QPainterCanvas canvas(&image);
        canvas.SetPen(Pen { Colours::Black, 1, PenStyle::Solid, PenMix::NotXorPen });
        canvas.MoveTo(5, 5);
        canvas.LineTo(15, 5);
        canvas.LineTo(15, 15);
    }
    EXPECT_EQ(image.pixel(15, 5), qRgb(0, 0, 0)); // inverted once, not back to white
    EXPECT_EQ(image.pixel(15, 14), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(15, 15), kWhite);
}

TEST(QPainterCanvas, DottedPenIsOneOnTwoOff)
{
    QImage image = White();
    {
        QPainterCanvas canvas(&image);
        canvas.SetPen(Pen { Colours::Red, 1, PenStyle::Dot, PenMix::Copy });
        canvas.MoveTo(0, 7);
        canvas.LineTo(30, 7);
    }
    for (int x = 0; x < 30; ++x)
        EXPECT_EQ(image.pixel(x, 7), x % 3 == 0 ? kRed : kWhite) << x;
}

TEST(QPainterCanvas, TextIsMeasuredAndDrawnFromItsTopLeftCorner)
{
    QImage image = White(200, 40);
    int width = 0;
    {
        QPainterCanvas canvas(&image);
        canvas.SetFont(Font { "Arial", 8, false });
        width = canvas.TextWidth("dt=0.2\xB5s");
        canvas.TextOut(10, 10, "dt=0.2\xB5s");
        EXPECT_EQ(canvas.TextWidth(""), 0);
    }
    EXPECT_GT(width, 20);
    EXPECT_LT(width, 80);
    int dark = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                ++dark;
                EXPECT_GE(y, 10);
                EXPECT_GE(x, 10);
                EXPECT_LE(x, 10 + width);
            }
    EXPECT_GT(dark, 10);
}

// --- the trace picture ------------------------------------------------------

class Picture {
public:
    Picture()
        : image(graticule.copy())
    {
        form.SetWaveformShown(true);
        record.VoltIndex = 5;
        record.TimeIndex = 9;
    }
    QImage graticule = MakeGraticulePicture();
    QImage image;
    ImageTracePicture picture { image, graticule };
    FormState form;
    WaveformRecord record;
    DocumentFlags flags;
    CursorPositions cursors;
    TraceView view { form, record, flags, cursors, picture };

    void Save(const char* name) const
    {
        if (const char* dir = std::getenv("ZOP5_SAVE_PICTURES"))
            image.save(QString::fromUtf8(dir) + "/" + name + ".png");
    }
};

TEST(TracePicture, BlankGraticulePixels)
{
    const QImage g = MakeGraticulePicture();
    ASSERT_EQ(g.size(), QSize(384, 255));
    EXPECT_EQ(g.pixel(0, 0), kWhite); // no frame
    EXPECT_EQ(g.pixel(383, 254), kWhite);
    for (int x : { 32, 72, 192, 352 })
        for (int y : { 0, 100, 254 })
            EXPECT_EQ(g.pixel(x, y), kGrey) << x << "," << y;
    for (int y : { 32, 128, 224 })
        for (int x : { 0, 200, 383 })
            EXPECT_EQ(g.pixel(x, y), kGrey) << x << "," << y;
    EXPECT_EQ(g.pixel(33, 100), kWhite);
    EXPECT_EQ(g.pixel(31, 100), kWhite);
    for (int y = 124; y <= 132; ++y) // tick every 8 columns, rows 126..130
        EXPECT_EQ(g.pixel(8, y), y >= 126 && y <= 130 ? kGrey : kWhite) << y;
    EXPECT_EQ(g.pixel(4, 127), kWhite);
    for (int x = 188; x <= 196; ++x) // ticks on the vertical centre line
        for (int y : { 6, 13, 19, 26, 38, 250 })
            EXPECT_EQ(g.pixel(x, y), x >= 190 && x <= 194 ? kGrey : kWhite) << x << "," << y;
    EXPECT_EQ(g.pixel(190, 7), kWhite);
}

TEST(TracePicture, EveryBarRowRendered)
{
    Picture p;
    // Pairs (previous, current) covering every row of the bar table.
    const int32_t values[] = { 100, 100, 150, 100, 255, 255, 100, 0, 0, 100, 255, 0, 255, 150, 0, 1, 254, 254, 1 };
    p.record.Samples.fill(60);
    for (size_t i = 0; i < std::size(values); ++i)
        p.record.Samples[i] = values[i];
    p.form.ShowViewMode(TraceMode::Bar);
    p.view.RedrawTrace();
    p.Save("bar-rows");
    for (int i = 1; i < static_cast<int>(std::size(values)) + 1; ++i) {
        const std::optional<BarSpan> bar = BarRows(p.record.Samples[i], p.record.Samples[i - 1]);
        for (int x = 4 * i; x < 4 * i + 4; ++x) {
            if (x % 8 == 0 || (x >= 190 && x <= 194) || (x - 32) % 40 == 0)
                continue; // graticule columns
            for (int y = 0; y < 255; ++y) {
                const bool inside = bar && y >= bar->Top && y < bar->Bottom;
                EXPECT_EQ(p.image.pixel(x, y) == kBlue, inside) << "sample " << i << " at " << x << "," << y;
            }
        }
    }
}

TEST(TracePicture, ZeroLineAtTheEdgesAndDots)
{
    for (int32_t zeroRef : { 0, 127, 255 }) {
        Picture p;
        p.record.ZeroRef = zeroRef;
        p.form.ShowViewMode(TraceMode::Dot); // all samples 0: no dots
        p.view.RedrawTrace();
        int red = 0;
        for (int y = 0; y < 255; ++y)
            for (int x = 0; x < 384; ++x)
                if (p.image.pixel(x, y) == kRed) {
                    ++red;
                    EXPECT_EQ(y, 255 - zeroRef);
                }
        EXPECT_EQ(red, zeroRef == 0 ? 0 : 128) << zeroRef; // every third of 384 columns
    }
}

TEST(TracePicture, SmoothRunsAlongTheEdgesDrawNothing)
{
    Picture p;
    p.record.Samples.fill(255);
    p.record.Samples[50] = 128;
    p.form.ShowViewMode(TraceMode::Smooth);
    p.view.RedrawTrace();
    p.Save("smooth-edge");
    int blueOnTop = 0;
    for (int x = 0; x < 384; ++x)
        if (p.image.pixel(x, 0) == kBlue)
            blueOnTop += 1;
    // Only the two slopes into and out of sample 50 reach the top row.
    EXPECT_GT(blueOnTop, 0);
    EXPECT_LT(blueOnTop, 20);
    EXPECT_NE(p.image.pixel(100, 0), kBlue);
    EXPECT_EQ(p.image.pixel(202, 127), kBlue); // the 3-pixel line at sample 50
    EXPECT_EQ(p.image.pixel(202, 126), kBlue);
}

TEST(TracePicture, CrossesDrawnTwiceRestoreThePictureBitForBit)
{
    for (TraceMode mode : { TraceMode::Dot, TraceMode::Bar, TraceMode::Smooth }) {
        Picture p;
        for (int i = 0; i < SampleCount; ++i)
            p.record.Samples[i] = 128 + static_cast<int>(100 * std::sin(i / 7.0));
        p.form.ShowViewMode(mode);
        p.view.RedrawTrace();
        const QImage plain = p.image.copy();
        const CursorPositions crosses { 42, 100, 130, 60 };
        for (int round = 0; round < 2; ++round) {
            Canvas& canvas = p.picture.Draw();
            DrawCrosses(canvas, TraceLayout::Screen(), crosses, p.record.ZeroRef);
            DrawCrossVertical(canvas, TraceLayout::Screen(), 250, PenStyle::Solid);
            DrawCrossHorizontal(canvas, TraceLayout::Screen(), 128, PenStyle::Solid);
            p.picture.Finished();
            if (round == 0) {
                EXPECT_NE(p.image, plain);
            }
        }
        EXPECT_EQ(p.image, plain);
    }
}

TEST(TracePicture, HorizontalCrossOnTheZeroRowLeavesTheZeroLineAlone)
{
    Picture p;
    p.record.Samples.fill(127); // every sample on row 128, the zero row
    p.form.ShowViewMode(TraceMode::Dot);
    p.view.RedrawTrace();
    const QImage before = p.image.copy();
    p.view.Image1MouseDown(MouseButton::Left, ssLeft, 41, 0);
    p.view.Image1MouseUp(MouseButton::Left, ssLeft, 41, 0);
    for (int x = 0; x < 384; ++x)
        if (x != 42) {
            EXPECT_EQ(p.image.pixel(x, 128), before.pixel(x, 128)) << x;
        }
    EXPECT_NE(p.image.pixel(42, 0), before.pixel(42, 0)); // the vertical is there
}

TEST(TracePicture, PressDragReleaseEndsLikeAFreshRedraw)
{
    for (TraceMode mode : { TraceMode::Dot, TraceMode::Bar, TraceMode::Smooth }) {
        Picture p;
        for (int i = 0; i < SampleCount; ++i)
            p.record.Samples[i] = 128 + static_cast<int>(100 * std::sin(i / 7.0));
        p.record.Samples[60] = 255;
        p.form.ShowViewMode(mode);
        p.view.RedrawTrace();
        p.view.Image1MouseDown(MouseButton::Left, ssLeft, 30, 0);
        for (int x = 30; x < 420; x += 7)
            p.view.Image1MouseMove(ssLeft, x, 0);
        p.view.Image1MouseMove(ssLeft, 241, 0);
        p.view.Image1MouseUp(MouseButton::Left, ssLeft, 241, 0);
        EXPECT_EQ(p.cursors, (CursorPositions { 30, 255 - p.record.Samples[7], 242, 0 }));
        EXPECT_EQ(p.form.StatusBar[1], "dV=...mV");
        p.Save(mode == TraceMode::Dot ? "dot" : mode == TraceMode::Bar ? "bar" : "smooth");
        const QImage dragged = p.image.copy();
        p.view.RedrawTrace();
        EXPECT_EQ(dragged, p.image) << static_cast<int>(mode);
    }
}

} // namespace
} // namespace zop
