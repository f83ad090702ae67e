// The plot as drawn: at device pixel ratios 1 and 2 each capture's samples
// land in the device pixels its own scales say, zoomed or not, and a capture
// left out of the scene leaves no trace.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <cmath>

#include "viewer/PlotRenderer.h"
#include "viewer/tests/CaptureFixtures.h"

namespace zop::viewer {
namespace {

const QSizeF PlotSize(800, 500);

struct Picture {
    QImage Image;
    PlotMapping Mapping;
    double Ratio;
};

Picture Render(const PlotScene& scene, double ratio)
{
    QImage image(QSize(int(PlotSize.width() * ratio), int(PlotSize.height() * ratio)), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    const QFont font = QGuiApplication::font();
    RenderPlot(painter, PlotSize, font, scene);
    painter.end();
    return { image, PlotMapping(PlotArea(PlotSize, font), scene.Window), ratio };
}

int Distance(QRgb a, QColor b)
{
    return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) + std::abs(qBlue(a) - b.blue());
}

// Whether the device pixel holding the logical point, or one touching it,
// is at least half covered by a line of the colour (a one-pixel line is
// smoothed over the pixels it crosses).
bool ColourAt(const Picture& picture, PlotPoint point, QColor colour)
{
    const int halfway = Distance(ThemeColours(Theme::Light).Background.rgb(), colour) / 2;
    const int x = int(std::floor(point.X * picture.Ratio));
    const int y = int(std::floor(point.Y * picture.Ratio));
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (picture.Image.valid(x + dx, y + dy) && Distance(picture.Image.pixel(x + dx, y + dy), colour) <= halfway)
                return true;
    return false;
}

int CountColour(const QImage& image, QColor colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += Distance(image.pixel(x, y), colour) < 40 ? 1 : 0;
    return count;
}

PlotScene SceneOf(const std::vector<const Capture*>& captures, ViewWindow window)
{
    PlotScene scene;
    scene.Window = window;
    for (size_t n = 0; n < captures.size(); ++n)
        scene.Traces.push_back({ captures[n], CaptureColour(n, Theme::Light), Qt::SolidLine, PlotTrace {}.Width, {} });
    return scene;
}

TEST(PlotRender, SamplesLandWhereTheirScalesSayAtPixelRatiosOneAndTwo)
{
    const Capture sine = test::SineCapture(10, 5, 1, 2, 100, 127); // 2 ms/div
    // Its zero 17 counts below its middle: its first sample lies above the other's.
    const Capture slow = MakeCapture(sine.Samples, 110, 10, 5, 1, "slow");
    const Capture fast = test::SineCapture(9, 6, 1, 3, 60, 90, "fast"); // 1 ms/div, 0.2 V/div, zero at 90
    const ViewWindow home = HomeWindow({ &slow, &fast });
    const PlotMapping homeMapping(PlotArea(PlotSize, QGuiApplication::font()), home);
    struct Case {
        const char* name;
        ViewWindow window;
    };
    const Case cases[] = {
        { "home", home },
        { "zoomed about sample 30 of the fast one", Zoom(home, { fast.SampleTime(30), fast.SampleVolts(30) }, 4, 2) },
        { "rubber band",
            ZoomToPixels(homeMapping, { SamplePoint(homeMapping, slow, 5).X, homeMapping.Area().Top + 20 },
                { SamplePoint(homeMapping, slow, 25).X, homeMapping.Area().Bottom() - 10 }) },
    };
    for (double ratio : { 1.0, 2.0 })
        for (const Case& c : cases) {
            const Picture picture = Render(SceneOf({ &slow, &fast }, c.window), ratio);
            int checked = 0;
            for (const auto& [capture, colour] :
                { std::pair<const Capture*, QColor> { &slow, CaptureColour(0, Theme::Light) },
                    std::pair<const Capture*, QColor> { &fast, CaptureColour(1, Theme::Light) } })
                for (int i = 0; i < SampleCount; i += 5) {
                    const PlotPoint p = SamplePoint(picture.Mapping, *capture, i);
                    const PixelRect& area = picture.Mapping.Area();
                    if (p.X < area.Left + 2 || p.X > area.Right() - 2 || p.Y < area.Top + 2 || p.Y > area.Bottom() - 2)
                        continue;
                    EXPECT_TRUE(ColourAt(picture, p, colour))
                        << c.name << ", ratio " << ratio << ", " << capture->Name << " sample " << i;
                    ++checked;
                }
            EXPECT_GT(checked, 4) << c.name;
        }
}

TEST(PlotRender, ACaptureLeftOutLeavesNoTraceAndTheRestStays)
{
    const Capture a = test::SineCapture(9, 5, 1, 3, 100, 127, "a");
    const Capture b = test::SineCapture(9, 5, 1, 1, 50, 127, "b");
    PlotScene both = SceneOf({ &a, &b }, HomeWindow({ &a, &b }));
    PlotScene onlyA = both;
    onlyA.Traces.pop_back();
    const QColor colourB = CaptureColour(1, Theme::Light);
    EXPECT_GT(CountColour(Render(both, 1).Image, colourB), 100);
    EXPECT_EQ(CountColour(Render(onlyA, 1).Image, colourB), 0);
    EXPECT_GT(CountColour(Render(onlyA, 1).Image, CaptureColour(0, Theme::Light)), 100);
}

TEST(PlotRender, ThemesPaintTheirBackgroundAndKeepCapturesApart)
{
    const Capture a = test::SineCapture();
    for (Theme theme : { Theme::Light, Theme::Dark }) {
        PlotScene scene = SceneOf({ &a }, CaptureFrame(a));
        scene.Colours = ThemeColours(theme);
        scene.Traces[0].Colour = CaptureColour(0, theme);
        const Picture picture = Render(scene, 2);
        EXPECT_EQ(QColor(picture.Image.pixel(2, 2)), scene.Colours.Background);
        // The palette's eight colours differ from each other and from the background.
        for (size_t m = 0; m < 8; ++m) {
            EXPECT_GT(Distance(CaptureColour(m, theme).rgb(), scene.Colours.Background), 120) << m;
            for (size_t n = m + 1; n < 8; ++n)
                EXPECT_GT(Distance(CaptureColour(m, theme).rgb(), CaptureColour(n, theme)), 75) << m << ' ' << n;
        }
    }
}

} // namespace
} // namespace zop::viewer
