#include "tools/SignalGenerator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "waveform/Cp1252.h"
#include "waveform/InstrumentLines.h"
#include "waveform/ScaleTables.h"

namespace zop {

namespace {

constexpr int32_t TopReading = 254; // full scale; 255 marks "at or above the top"
constexpr double MinimumPeriodsShown = 2.0;

// One period of the shape at phase p (0 <= p < 1), between -1 and 1.
double ShapeValue(SignalShape shape, double p, std::mt19937& random)
{
    switch (shape) {
    case SignalShape::Sine:
        return std::sin(2.0 * std::numbers::pi * p);
    case SignalShape::Square:
        return p < 0.5 ? 1.0 : -1.0;
    case SignalShape::Triangle:
        return 1.0 - 4.0 * std::abs(p - 0.5);
    case SignalShape::Noise:
        return std::uniform_real_distribution<double>(-1.0, 1.0)(random);
    }
    return 0.0;
}

} // namespace

std::optional<SignalShape> ParseSignalShape(std::string_view name)
{
    if (name == "sine")
        return SignalShape::Sine;
    if (name == "square")
        return SignalShape::Square;
    if (name == "triangle")
        return SignalShape::Triangle;
    if (name == "noise")
        return SignalShape::Noise;
    return std::nullopt;
}

double SampleSeconds(int32_t timeIndex)
{
    const TimeBaseRow& row = TimeRow(timeIndex);
    return static_cast<double>(row.SamplePeriod) / row.PrefixDivisor;
}

double VoltsPerCountX1(int32_t voltIndex)
{
    const VoltScale scale = VoltsPerCount(voltIndex, 1);
    return static_cast<double>(scale.VoltsPerCount) * (scale.Prefix == "m" ? 1e-3 : 1.0);
}

int32_t FitTimeBase(double frequency)
{
    for (int32_t index = 1; index <= TimeBaseRows; ++index)
        if (SampleCount * SampleSeconds(index) * frequency >= MinimumPeriodsShown)
            return index;
    return TimeBaseRows;
}

int32_t FitRange(double amplitude, double offset, int32_t zeroRef)
{
    const double high = offset + std::abs(amplitude);
    const double low = offset - std::abs(amplitude);
    for (int32_t index = 1; index <= SensitivityRows; ++index) {
        const double perCount = VoltsPerCountX1(index);
        if (high / perCount <= TopReading - zeroRef && -low / perCount <= zeroRef - 1)
            return index;
    }
    return SensitivityRows;
}

InstrumentWaveform GenerateWaveform(const SignalSettings& settings, std::mt19937& random)
{
    if (settings.ZeroRef < 1 || settings.ZeroRef > TopReading - 1)
        throw std::invalid_argument("the zero reference must lie in 1..253");
    if (!(settings.Frequency > 0.0) || !std::isfinite(settings.Frequency))
        throw std::invalid_argument("the frequency must be a positive number of hertz");
    if (!(settings.Amplitude >= 0.0) || !std::isfinite(settings.Amplitude) || !std::isfinite(settings.Offset))
        throw std::invalid_argument("the amplitude must be zero or more volts and the offset a number");

    InstrumentWaveform waveform;
    waveform.ZeroRef = settings.ZeroRef;
    waveform.TimeIndex = settings.TimeIndex.value_or(FitTimeBase(settings.Frequency));
    waveform.VoltIndex = settings.VoltIndex.value_or(FitRange(settings.Amplitude, settings.Offset, settings.ZeroRef));
    if (!ValidTimeIndex(waveform.TimeIndex))
        throw std::invalid_argument("the time base must be 1..22");
    if (!ValidVoltIndex(waveform.VoltIndex))
        throw std::invalid_argument("the range must be 1..12");

    const double step = SampleSeconds(waveform.TimeIndex);
    const double perCount = VoltsPerCountX1(waveform.VoltIndex);
    const double phase = settings.PhaseDegrees / 360.0;
    for (int32_t i = 0; i < SampleCount; ++i) {
        const double cycles = settings.Frequency * step * i + phase;
        const double p = cycles - std::floor(cycles);
        const double volts = settings.Offset + settings.Amplitude * ShapeValue(settings.Shape, p, random);
        const double reading = std::round(settings.ZeroRef + volts / perCount);
        // Beyond the converter's ends the instrument reports its off-scale markers.
        waveform.Samples[static_cast<size_t>(i)] = static_cast<int32_t>(std::clamp(reading, 0.0, 255.0));
    }
    return waveform;
}

namespace {

std::optional<int32_t> RowNumber(std::string_view text, int32_t rows)
{
    int32_t value = 0;
    if (text.empty() || text.size() > 2)
        return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > rows)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<int32_t> ParseTimeBaseArgument(std::string_view text)
{
    if (const auto row = RowNumber(text, TimeBaseRows))
        return row;
    std::string label = Utf8ToCp1252(text);
    if (const auto match = FindTimeIndex(label))
        return match->Index;
    // "10us/div": the u stands for the micro sign that is hard to type.
    const size_t unit = UpperAscii(label).find("US/DIV");
    if (unit != std::string::npos) {
        label[unit] = '\xB5';
        if (const auto match = FindTimeIndex(label))
            return match->Index;
    }
    return MatchTimeBaseLine(label);
}

std::optional<int32_t> ParseRangeArgument(std::string_view text)
{
    if (const auto row = RowNumber(text, SensitivityRows))
        return row;
    const std::string label = Utf8ToCp1252(text);
    if (const auto match = FindVoltIndex(label))
        return match->Index;
    return MatchVoltsLine(label);
}

std::optional<double> ParseQuantity(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    double scale = 1.0;
    switch (text.back()) {
    case 'M':
        scale = 1e6;
        break;
    case 'k':
        scale = 1e3;
        break;
    case 'm':
        scale = 1e-3;
        break;
    case 'u':
        scale = 1e-6;
        break;
    default:
        break;
    }
    if (scale != 1.0)
        text.remove_suffix(1);
    const std::string number(text);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return value * scale;
}

} // namespace zop
