// Where samples land in the plot, how zoom and pan move the window, and the
// division lines, at device pixel ratios 1 and 2.
#include <gtest/gtest.h>

#include <cmath>

#include "viewer/PlotGeometry.h"
#include "viewer/tests/CaptureFixtures.h"

namespace zop::viewer {
namespace {

const PixelRect Area { 60, 8, 960, 512 };

TEST(PlotGeometry, ACapturesFrameHoldsItsSamplesAsTheInstrumentsScreenDoes)
{
    // 96 samples across the width, each in the middle of its 96th; count 255
    // at the top edge, count 1 at the bottom, the zero reference at 0 V.
    const Capture capture = test::SineCapture(9, 5, 1, 3, 100, 100);
    const PlotMapping mapping(Area, CaptureFrame(capture));
    for (int i : { 0, 1, 47, 95 })
        EXPECT_NEAR(mapping.X(capture.SampleTime(i)), Area.Left + (i + 0.5) * Area.Width / 96, 1e-9) << i;
    EXPECT_NEAR(mapping.Y((255 - capture.ZeroRef) * capture.VoltsPerCount()), Area.Top, 1e-9);
    EXPECT_NEAR(mapping.Y((1 - capture.ZeroRef) * capture.VoltsPerCount()), Area.Bottom(), 1e-9);
    EXPECT_NEAR(mapping.Y(0), Area.Bottom() - 99.0 / 254 * Area.Height, 1e-9);
    // 9.6 divisions of the capture's own time per division across the width.
    EXPECT_NEAR(CaptureFrame(capture).Time.Span() / capture.SecondsPerDivision(), 9.6, 1e-12);
    EXPECT_NEAR(CaptureFrame(capture).Volts.Span() / capture.VoltsPerDivision(), 8.0, 1e-12);
}

TEST(PlotGeometry, CaptureScalesAreInSecondsAndVoltsWithTheProbeApplied)
{
    struct Case {
        int time, volts, probe;
        double interval, perCount;
    };
    // Rows where the prefix of the tables changes, and the x10 column.
    for (const Case& c : { Case { 1, 1, 1, 0.2e-6, 0.15748e-3 }, Case { 6, 5, 1, 10e-6, 3.1496e-3 },
             Case { 7, 6, 1, 20e-6, 0.0062992 }, Case { 15, 3, 10, 10e-3, 0.0062992 },
             Case { 16, 2, 10, 20e-3, 3.1496e-3 }, Case { 22, 12, 10, 2, 6.29921 } }) {
        const Capture capture = test::SineCapture(c.time, c.volts, c.probe);
        EXPECT_NEAR(capture.SampleInterval(), c.interval, c.interval * 1e-12) << c.time;
        EXPECT_NEAR(capture.VoltsPerCount(), c.perCount, c.perCount * 1e-12) << c.volts << " x" << c.probe;
    }
}

TEST(PlotGeometry, OverlaidCapturesKeepTheirOwnScales)
{
    // B samples twice as slowly as A and has ten times its volts per count
    // (the x10 probe): its sample i lands at A's sample 2i in time, and equal
    // voltages land on the same row whatever capture they belong to.
    const Capture a = test::SineCapture(9, 5, 1);
    const Capture b = test::SineCapture(10, 5, 10);
    const PlotMapping mapping(Area, HomeWindow({ &a, &b }));
    for (int i : { 0, 10, 47 })
        EXPECT_NEAR(SamplePoint(mapping, b, i).X, SamplePoint(mapping, a, 2 * i).X, 1e-9) << i;
    for (int i : { 3, 40, 90 }) {
        const PlotPoint pa = SamplePoint(mapping, a, i);
        const PlotPoint pb = SamplePoint(mapping, b, i);
        EXPECT_NEAR(pa.Y - mapping.Y(0), (pb.Y - mapping.Y(0)) / 10, 1e-9) << i;
    }
    // The home window holds both frames whole.
    const ViewWindow home = HomeWindow({ &a, &b });
    EXPECT_EQ(home.Time, CaptureFrame(b).Time);
    EXPECT_EQ(home.Volts, CaptureFrame(b).Volts);
}

TEST(PlotGeometry, APixelMapsBackToTheSampleDrawnThereAtAnyZoomAndPixelRatio)
{
    const Capture capture = test::SineCapture(12, 8);
    const ViewWindow frame = CaptureFrame(capture);
    struct Case {
        double factor;
        int anchorSample;
    };
    for (double ratio : { 1.0, 2.0 })
        for (const Case& c : { Case { 1, 0 }, Case { 2.5, 40 }, Case { 8, 95 }, Case { 30, 17 } }) {
            const PlotMapping home(Area, frame);
            const PlotPoint anchor { capture.SampleTime(c.anchorSample), capture.SampleVolts(c.anchorSample) };
            const PlotMapping zoomed(Area, Zoom(frame, anchor, c.factor, c.factor));
            // The anchor sample stays under the pointer.
            EXPECT_NEAR(
                SamplePoint(zoomed, capture, c.anchorSample).X, SamplePoint(home, capture, c.anchorSample).X, 1e-6);
            EXPECT_NEAR(
                SamplePoint(zoomed, capture, c.anchorSample).Y, SamplePoint(home, capture, c.anchorSample).Y, 1e-6);
            // Every visible sample: the device pixel it is drawn in reads back as that sample.
            for (int i = 0; i < SampleCount; ++i) {
                const double x = SamplePoint(zoomed, capture, i).X;
                if (x < Area.Left || x >= Area.Right())
                    continue;
                const double pixelCentre = (std::floor(x * ratio) + 0.5) / ratio;
                EXPECT_EQ(NearestSample(capture, zoomed.Seconds(pixelCentre)), i)
                    << "ratio " << ratio << " zoom " << c.factor;
            }
        }
    // Outside the capture the nearest sample is its first or last one.
    EXPECT_EQ(NearestSample(capture, -1), 0);
    EXPECT_EQ(NearestSample(capture, 1e9), 95);
}

TEST(PlotGeometry, ARubberBandShowsWhatItEnclosed)
{
    const Capture capture = test::SineCapture();
    const PlotMapping mapping(Area, CaptureFrame(capture));
    const PlotPoint s10 = SamplePoint(mapping, capture, 10);
    const PlotPoint s20 = SamplePoint(mapping, capture, 20);
    // Corners in either order: samples 10 and 20 end up at the band's edges.
    for (const auto& [c1, c2] : { std::pair { s10, s20 }, std::pair { s20, s10 } }) {
        const PlotMapping zoomed(Area, ZoomToPixels(mapping, c1, c2));
        EXPECT_NEAR(SamplePoint(zoomed, capture, 10).X, Area.Left, 1e-6);
        EXPECT_NEAR(SamplePoint(zoomed, capture, 20).X, Area.Right(), 1e-6);
        EXPECT_NEAR(std::min(SamplePoint(zoomed, capture, 10).Y, SamplePoint(zoomed, capture, 20).Y), Area.Top, 1e-6);
    }
    // A band of a click or a line zooms only the axis it spans.
    const ViewWindow flat = ZoomToPixels(mapping, { 100, 200 }, { 300, 201 });
    EXPECT_EQ(flat.Volts, mapping.Window().Volts);
    EXPECT_NE(flat.Time, mapping.Window().Time);
    EXPECT_EQ(ZoomToPixels(mapping, { 100, 200 }, { 101, 202 }), mapping.Window());
}

TEST(PlotGeometry, PanAndTheNarrowestZoom)
{
    const ViewWindow window { { 0, 10 }, { -1, 1 } };
    EXPECT_EQ(Pan(window, 0.1, -0.5), (ViewWindow { { 1, 11 }, { -2, 0 } }));
    const ViewWindow tight = LimitZoom({ { 5, 5.001 }, { 0, 1 } }, 0.1, 0.5);
    EXPECT_NEAR(tight.Time.Low, 4.9505, 1e-12);
    EXPECT_NEAR(tight.Time.Span(), 0.1, 1e-12);
    EXPECT_EQ(tight.Volts, (Range { 0, 1 }));
}

TEST(PlotGeometry, DivisionsFollowTheCaptureAndStepOneTwoFiveWhenZoomed)
{
    struct Case {
        double span, division, target, step;
    };
    for (const Case& c : { Case { 9.6e-3, 1e-3, 9.6, 1e-3 }, Case { 0.96e-3, 1e-3, 9.6, 0.1e-3 },
             Case { 2.4e-3, 1e-3, 9.6, 0.2e-3 }, Case { 48e-3, 1e-3, 9.6, 5e-3 }, Case { 8 * 0.4, 0.4, 8, 0.4 },
             Case { 1.0, 0.4, 8, 0.08 }, Case { 0, 0.4, 8, 0.4 } })
        EXPECT_NEAR(DivisionStep(c.span, c.division, c.target), c.step, c.step * 1e-9) << c.span;

    const std::vector<double> ticks = Ticks({ -0.25, 1.0 }, 0.5);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_DOUBLE_EQ(ticks[0], 0);
    EXPECT_DOUBLE_EQ(ticks[2], 1.0);
    EXPECT_TRUE(Ticks({ 0, 1 }, 0).empty());
    EXPECT_TRUE(Ticks({ 0, 1 }, 1e-9).empty()); // never a million lines
}

} // namespace
} // namespace zop::viewer
