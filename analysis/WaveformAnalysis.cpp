#include "analysis/WaveformAnalysis.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zop {

namespace {

constexpr double HysteresisShare = 0.10; // of the span, centred on the level
constexpr double PeriodAgreement = 0.10; // of the mean period
constexpr double LowEdgeShare = 0.10;
constexpr double HighEdgeShare = 0.90;

struct Crossing {
    double Time; // in sample steps from sample 0
    bool Rising;
    bool Hidden; // interpolated from an off-scale reading
};

struct Extremes {
    double Min;
    double Max;
    double Span() const { return Max - Min; }
};

Extremes FindExtremes(const VoltWaveform& w)
{
    const auto [low, high] = std::minmax_element(w.Volts.begin(), w.Volts.end());
    return { *low, *high };
}

// The time where the line from sample i to i + 1 meets `level`; the two
// samples lie on either side of it.
double Interpolate(const VoltWaveform& w, size_t i, double level)
{
    const double a = w.Volts[i];
    const double b = w.Volts[i + 1];
    return static_cast<double>(i) + (level - a) / (b - a);
}

// Crossings of the level with a hysteresis band: a rising crossing counts once
// the signal, having been at or below the band, reaches its top; its time is
// that of the last upward pass through the level since it was below the band.
// Crossings therefore alternate in direction.
std::vector<Crossing> FindCrossings(const VoltWaveform& w, const Extremes& extremes)
{
    std::vector<Crossing> crossings;
    const double level = (extremes.Min + extremes.Max) / 2;
    const double band = HysteresisShare * extremes.Span() / 2;
    if (!(band > 0))
        return crossings;
    enum class Side { Unknown, Below, Above } side = Side::Unknown;
    std::optional<Crossing> up;
    std::optional<Crossing> down;
    for (size_t i = 0; i < w.Volts.size(); ++i) {
        const double v = w.Volts[i];
        if (i > 0) {
            const double previous = w.Volts[i - 1];
            const bool hidden = w.ClippedAt(static_cast<int32_t>(i - 1)) || w.ClippedAt(static_cast<int32_t>(i));
            if (previous < level && v >= level)
                up = Crossing { Interpolate(w, i - 1, level), true, hidden };
            else if (previous >= level && v < level)
                down = Crossing { Interpolate(w, i - 1, level), false, hidden };
        }
        if (v >= level + band) {
            if (side == Side::Below && up)
                crossings.push_back(*up);
            side = Side::Above;
            down.reset();
        } else if (v <= level - band) {
            if (side == Side::Above && down)
                crossings.push_back(*down);
            side = Side::Below;
            up.reset();
        }
    }
    return crossings;
}

struct Periods {
    double Mean = 0; // in sample steps
    double HighShare = 0; // 0..1
};

// Whole periods between crossings of one direction, both directions pooled.
std::optional<Periods> WholePeriods(const std::vector<Crossing>& crossings)
{
    if (std::any_of(crossings.begin(), crossings.end(), [](const Crossing& c) { return c.Hidden; }))
        return std::nullopt;
    std::vector<double> lengths;
    double high = 0;
    double covered = 0;
    // Crossings alternate, so crossing k and k + 2 bound a whole period with
    // crossing k + 1 inside it.
    for (size_t k = 0; k + 2 < crossings.size(); ++k) {
        const double length = crossings[k + 2].Time - crossings[k].Time;
        lengths.push_back(length);
        const double firstPart = crossings[k + 1].Time - crossings[k].Time;
        high += crossings[k].Rising ? firstPart : length - firstPart;
        covered += length;
    }
    if (lengths.empty())
        return std::nullopt;
    double sum = 0;
    for (double length : lengths)
        sum += length;
    const double mean = sum / static_cast<double>(lengths.size());
    for (double length : lengths)
        if (std::abs(length - mean) > PeriodAgreement * mean)
            return std::nullopt;
    if (!(mean > 0))
        return std::nullopt;
    return Periods { mean, high / covered };
}

// Time of the edge from `from` to `to` (fractions of the span) around the
// crossing at `index`, bounded by its neighbouring crossings; nothing when the
// waveform does not hold both points there.
std::optional<double> EdgeTime(
    const VoltWaveform& w, const Extremes& extremes, const std::vector<Crossing>& crossings, size_t index)
{
    const Crossing& crossing = crossings[index];
    const double lowLevel = extremes.Min + LowEdgeShare * extremes.Span();
    const double highLevel = extremes.Min + HighEdgeShare * extremes.Span();
    // Before the crossing the signal lies on the start side of the level.
    const double start = crossing.Rising ? lowLevel : highLevel;
    const double end = crossing.Rising ? highLevel : lowLevel;
    const auto beyondStart = [&](double v) { return crossing.Rising ? v <= start : v >= start; };
    const auto beyondEnd = [&](double v) { return crossing.Rising ? v >= end : v <= end; };
    const double earliest = index > 0 ? crossings[index - 1].Time : 0.0;
    const double latest = index + 1 < crossings.size() ? crossings[index + 1].Time : SampleCount - 1.0;

    const auto before = static_cast<size_t>(std::floor(crossing.Time));
    std::optional<double> startTime;
    for (size_t i = before + 1; i-- > 0 && static_cast<double>(i) >= earliest;) {
        if (beyondStart(w.Volts[i])) {
            startTime = i + 1 < w.Volts.size() && !beyondStart(w.Volts[i + 1]) ? Interpolate(w, i, start)
                                                                               : static_cast<double>(i);
            break;
        }
    }
    std::optional<double> endTime;
    for (size_t i = before + 1; i < w.Volts.size() && static_cast<double>(i) <= latest; ++i) {
        if (beyondEnd(w.Volts[i])) {
            endTime = i > 0 && !beyondEnd(w.Volts[i - 1]) ? Interpolate(w, i - 1, end) : static_cast<double>(i);
            break;
        }
    }
    if (!startTime || !endTime)
        return std::nullopt;
    return *endTime - *startTime;
}

Measured MeanEdgeTime(
    const VoltWaveform& w, const Extremes& extremes, const std::vector<Crossing>& crossings, bool rising)
{
    double sum = 0;
    int edges = 0;
    for (size_t k = 0; k < crossings.size(); ++k) {
        if (crossings[k].Rising != rising)
            continue;
        if (const auto steps = EdgeTime(w, extremes, crossings, k)) {
            sum += *steps;
            ++edges;
        }
    }
    if (edges == 0)
        return std::nullopt;
    return sum / edges * w.SampleSeconds;
}

bool Finite(const VoltWaveform& w)
{
    return std::isfinite(w.SampleSeconds) && w.SampleSeconds > 0
        && std::all_of(w.Volts.begin(), w.Volts.end(), [](double v) { return std::isfinite(v); });
}

} // namespace

WaveformAnalysis Analyze(const VoltWaveform& w)
{
    WaveformAnalysis result;
    if (!Finite(w))
        return result;
    const bool below
        = std::any_of(w.Readings.begin(), w.Readings.end(), [](Reading r) { return r == Reading::AtOrBelowBottom; });
    const bool above
        = std::any_of(w.Readings.begin(), w.Readings.end(), [](Reading r) { return r == Reading::AtOrAboveTop; });
    const bool clipped = below || above;
    const Extremes extremes = FindExtremes(w);
    if (!below)
        result.MinVolts = extremes.Min;
    if (!above)
        result.MaxVolts = extremes.Max;

    if (!clipped) {
        double sum = 0;
        for (double v : w.Volts)
            sum += v;
        const double mean = sum / SampleCount;
        double squares = 0;
        double farthest = 0;
        for (double v : w.Volts) {
            squares += (v - mean) * (v - mean);
            farthest = std::max(farthest, std::abs(v - mean));
        }
        // Equal readings are equal voltages: a flat line has no AC part,
        // whatever the rounding of its mean.
        const double rms = extremes.Span() > 0 ? std::sqrt(squares / SampleCount) : 0.0;
        result.MeanVolts = std::clamp(mean, extremes.Min, extremes.Max);
        result.AcRmsVolts = rms;
        if (rms > 0)
            result.CrestFactor = farthest / rms;
    }

    const std::vector<Crossing> crossings = FindCrossings(w, extremes);
    if (const auto periods = WholePeriods(crossings)) {
        const double period = periods->Mean * w.SampleSeconds;
        result.PeriodSeconds = period;
        result.FrequencyHz = 1.0 / period;
        if (!clipped) {
            result.DutyCycle = periods->HighShare;
            result.PositiveWidthSeconds = periods->HighShare * period;
            result.NegativeWidthSeconds = (1.0 - periods->HighShare) * period;
        }
    }
    if (!clipped) {
        result.RiseSeconds = MeanEdgeTime(w, extremes, crossings, true);
        result.FallSeconds = MeanEdgeTime(w, extremes, crossings, false);
    }
    return result;
}

} // namespace zop
