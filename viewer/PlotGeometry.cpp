#include "viewer/PlotGeometry.h"

#include <algorithm>
#include <cmath>

namespace zop::viewer {

PlotMapping::PlotMapping(PixelRect area, ViewWindow window)
    : m_area(area)
    , m_window(window)
{
}

double PlotMapping::X(double seconds) const
{
    return m_area.Left + (seconds - m_window.Time.Low) / m_window.Time.Span() * m_area.Width;
}

double PlotMapping::Y(double volts) const
{
    return m_area.Bottom() - (volts - m_window.Volts.Low) / m_window.Volts.Span() * m_area.Height;
}

double PlotMapping::Seconds(double x) const
{
    return m_window.Time.Low + (x - m_area.Left) / m_area.Width * m_window.Time.Span();
}

double PlotMapping::Volts(double y) const
{
    return m_window.Volts.Low + (m_area.Bottom() - y) / m_area.Height * m_window.Volts.Span();
}

ViewWindow CaptureFrame(const Capture& capture)
{
    const double dt = capture.SampleInterval();
    const double volts = capture.VoltsPerCount();
    return { { -0.5 * dt, (SampleCount - 0.5) * dt },
        { (1 - capture.ZeroRef) * volts, (255 - capture.ZeroRef) * volts } };
}

ViewWindow HomeWindow(const std::vector<const Capture*>& captures)
{
    if (captures.empty())
        return { { -0.5e-4, 9.55e-3 }, { -4, 4 } };
    ViewWindow home = CaptureFrame(*captures.front());
    for (const Capture* capture : captures) {
        const ViewWindow frame = CaptureFrame(*capture);
        home.Time = { std::min(home.Time.Low, frame.Time.Low), std::max(home.Time.High, frame.Time.High) };
        home.Volts = { std::min(home.Volts.Low, frame.Volts.Low), std::max(home.Volts.High, frame.Volts.High) };
    }
    return home;
}

PlotPoint SamplePoint(const PlotMapping& mapping, const Capture& capture, int i)
{
    return { mapping.X(capture.SampleTime(i)), mapping.Y(capture.SampleVolts(i)) };
}

int NearestSample(const Capture& capture, double seconds)
{
    const double index = std::round(seconds / capture.SampleInterval());
    return static_cast<int>(std::clamp(index, 0.0, SampleCount - 1.0));
}

namespace {

Range ZoomRange(Range range, double anchor, double factor)
{
    return { anchor - (anchor - range.Low) / factor, anchor + (range.High - anchor) / factor };
}

} // namespace

ViewWindow Zoom(const ViewWindow& window, PlotPoint anchor, double timeFactor, double voltsFactor)
{
    return { ZoomRange(window.Time, anchor.X, timeFactor), ZoomRange(window.Volts, anchor.Y, voltsFactor) };
}

ViewWindow ZoomToPixels(const PlotMapping& mapping, PlotPoint corner1, PlotPoint corner2)
{
    ViewWindow zoomed = mapping.Window();
    constexpr double Least = 3;
    if (std::abs(corner1.X - corner2.X) >= Least) {
        const double a = mapping.Seconds(corner1.X);
        const double b = mapping.Seconds(corner2.X);
        zoomed.Time = { std::min(a, b), std::max(a, b) };
    }
    if (std::abs(corner1.Y - corner2.Y) >= Least) {
        const double a = mapping.Volts(corner1.Y);
        const double b = mapping.Volts(corner2.Y);
        zoomed.Volts = { std::min(a, b), std::max(a, b) };
    }
    return zoomed;
}

ViewWindow Pan(const ViewWindow& window, double timeShare, double voltsShare)
{
    const double dt = window.Time.Span() * timeShare;
    const double dv = window.Volts.Span() * voltsShare;
    return { { window.Time.Low + dt, window.Time.High + dt }, { window.Volts.Low + dv, window.Volts.High + dv } };
}

namespace {

Range AtLeast(Range range, double minimum)
{
    if (range.Span() >= minimum)
        return range;
    const double middle = (range.Low + range.High) / 2;
    return { middle - minimum / 2, middle + minimum / 2 };
}

} // namespace

ViewWindow LimitZoom(const ViewWindow& window, double minimumTime, double minimumVolts)
{
    return { AtLeast(window.Time, minimumTime), AtLeast(window.Volts, minimumVolts) };
}

double DivisionStep(double span, double division, double target)
{
    if (!(span > 0) || !(division > 0) || !(target > 0))
        return division > 0 ? division : 1;
    const double fitting = span / division;
    if (fitting >= target * 0.75 && fitting <= target * 1.25)
        return division;
    // 1, 2, 5 times a power of ten of the division, nearest to `target` divisions.
    const double ideal = span / target / division;
    const double decade = std::pow(10.0, std::floor(std::log10(ideal)));
    double best = decade;
    for (double mantissa : { 1.0, 2.0, 5.0, 10.0 })
        if (std::abs(std::log(mantissa * decade / ideal)) < std::abs(std::log(best / ideal)))
            best = mantissa * decade;
    return best * division;
}

std::vector<double> Ticks(Range range, double step)
{
    std::vector<double> ticks;
    if (!(step > 0) || !(range.Span() > 0) || range.Span() / step > 1000)
        return ticks;
    for (double k = std::ceil(range.Low / step - 1e-9); k * step <= range.High + step * 1e-9; ++k)
        ticks.push_back(k * step);
    return ticks;
}

} // namespace zop::viewer
