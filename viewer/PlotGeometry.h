#pragma once
// Where things land in the plot: pure functions from seconds and volts to
// pixels and back, the visible window and its zoom, and the division lines.
// Pixels are logical (device-independent) pixels with y growing downwards;
// a device pixel ratio only multiplies them.
#include <vector>

#include "viewer/Capture.h"

namespace zop::viewer {

struct Range {
    double Low = 0;
    double High = 1;
    double Span() const { return High - Low; }
    bool operator==(const Range&) const = default;
};

// The part of the time (seconds) and volts axes the plot shows.
struct ViewWindow {
    Range Time;
    Range Volts;
    bool operator==(const ViewWindow&) const = default;
};

struct PixelRect {
    double Left = 0;
    double Top = 0;
    double Width = 1;
    double Height = 1;
    double Right() const { return Left + Width; }
    double Bottom() const { return Top + Height; }
};

struct PlotPoint {
    double X = 0;
    double Y = 0;
};

class PlotMapping {
public:
    PlotMapping(PixelRect area, ViewWindow window);
    double X(double seconds) const;
    double Y(double volts) const;
    double Seconds(double x) const;
    double Volts(double y) const;
    const PixelRect& Area() const { return m_area; }
    const ViewWindow& Window() const { return m_window; }

private:
    PixelRect m_area;
    ViewWindow m_window;
};

// The instrument's own frame of a capture: its 96 samples across 9.6
// divisions, each in the middle of its tenth of a division as on the
// instrument's screen, and the counts 1..255 over the eight divisions.
ViewWindow CaptureFrame(const Capture& capture);
// The frames of all the captures together; one division of a 1 ms, 1 V
// capture when there is none.
ViewWindow HomeWindow(const std::vector<const Capture*>& captures);

// Where sample i of a capture lands, on its own time and volts scale.
PlotPoint SamplePoint(const PlotMapping& mapping, const Capture& capture, int i);
// The sample whose time lies nearest to `seconds`, within 0..95.
int NearestSample(const Capture& capture, double seconds);

// Zooming keeps the anchor where it is: factors above 1 zoom in.
ViewWindow Zoom(const ViewWindow& window, PlotPoint anchor, double timeFactor, double voltsFactor);
// The part of the window inside a rectangle of pixels (a rubber band), its
// corners in any order. A band narrower than 3 pixels either way leaves
// that axis as it was.
ViewWindow ZoomToPixels(const PlotMapping& mapping, PlotPoint corner1, PlotPoint corner2);
// Moves the window by a share of its spans (positive: later, higher).
ViewWindow Pan(const ViewWindow& window, double timeShare, double voltsShare);
// Narrowest window the zoom goes to: a hundredth of a sample interval of
// the capture, and a hundredth of a count.
ViewWindow LimitZoom(const ViewWindow& window, double minimumTime, double minimumVolts);

// The division size for a span: the capture's own division when about 8 to
// 12 of them fit, else that size times 2, 5 or 10 to the power of n so that
// between `target`/2 and `target`*2 divisions fit.
double DivisionStep(double span, double division, double target);
// Multiples of `step` from 0 inside the range, in order.
std::vector<double> Ticks(Range range, double step);

} // namespace zop::viewer
