#include "waveform/InstrumentLines.h"

#include <cstdio>
#include <stdexcept>

#include "waveform/ScaleTables.h"
#include "waveform/TextToInteger.h"

namespace zop {

namespace {

// The instrument's converter gives 8-bit readings; nothing else can come from it.
constexpr int32_t MaxReading = 255;

bool IsReading(int32_t value)
{
    return value >= 0 && value <= MaxReading;
}

void CheckReading(int32_t value, const char* what)
{
    if (!IsReading(value))
        throw std::out_of_range(std::string(what) + " outside 0..255: " + std::to_string(value));
}

std::string Format(const char* format, int32_t a)
{
    char text[32];
    std::snprintf(text, sizeof text, format, a);
    return text;
}

std::string Format(const char* format, int32_t a, int32_t b)
{
    char text[32];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

std::vector<std::string> InstrumentLines(const InstrumentWaveform& waveform, LineForm form)
{
    if (!ValidTimeIndex(waveform.TimeIndex))
        throw std::out_of_range("time-base index outside 1..22: " + std::to_string(waveform.TimeIndex));
    if (!ValidVoltIndex(waveform.VoltIndex))
        throw std::out_of_range("volts index outside 1..12: " + std::to_string(waveform.VoltIndex));
    CheckReading(waveform.ZeroRef, "zero reference");
    for (const int32_t sample : waveform.Samples)
        CheckReading(sample, "sample");

    const bool formA = form == LineForm::A;
    const TimeBaseRow& time = TimeRow(waveform.TimeIndex);
    const SensitivityRow& volts = VoltRow(waveform.VoltIndex);
    std::vector<std::string> lines;
    lines.reserve(3 + SampleCount);
    lines.emplace_back(formA ? time.SampleLabelPadded : time.SampleLabel);
    lines.emplace_back(formA ? volts.RangeLabel : volts.FullScaleLabel);
    lines.push_back(
        formA ? Format("Zero Reference= %03d", waveform.ZeroRef) : Format("Zero Ref=%3d", waveform.ZeroRef));
    for (int32_t i = 0; i < SampleCount; ++i)
        lines.push_back(Format(formA ? "%02d%03d" : "%2d%3d", i, waveform.Samples[static_cast<size_t>(i)]));
    return lines;
}

std::string EncodeTransfer(const InstrumentWaveform& waveform, LineForm form, LineEnding ending)
{
    const std::string_view end = ending == LineEnding::Cr ? "\r" : "\r\n";
    std::string bytes;
    for (const std::string& line : InstrumentLines(waveform, form)) {
        bytes += line;
        bytes += end;
    }
    return bytes;
}

std::optional<int32_t> MatchTimeBaseLine(std::string_view line)
{
    for (int32_t i = 1; i <= TimeBaseRows; ++i)
        if (TimeRow(i).SampleLabelPadded == line)
            return i;
    for (int32_t i = 1; i <= TimeBaseRows; ++i)
        if (TimeRow(i).SampleLabel == line)
            return i;
    return std::nullopt;
}

std::optional<int32_t> MatchVoltsLine(std::string_view line)
{
    for (int32_t i = 1; i <= SensitivityRows; ++i)
        if (VoltRow(i).RangeLabel == line)
            return i;
    for (int32_t i = 1; i <= SensitivityRows; ++i)
        if (VoltRow(i).FullScaleLabel == line)
            return i;
    return std::nullopt;
}

bool IsZeroReferenceLine(std::string_view line)
{
    return line.find("Zero Ref=") != std::string_view::npos || line.find("Zero Reference= ") != std::string_view::npos;
}

std::optional<int32_t> ZeroReferenceValue(std::string_view line)
{
    if (line.size() < 3)
        return std::nullopt;
    const auto value = TextToInteger(line.substr(line.size() - 3));
    if (!value || !IsReading(*value))
        return std::nullopt;
    return value;
}

std::optional<SampleLine> ParseSampleLine(std::string_view line)
{
    if (line.size() != SampleLineLength)
        return std::nullopt;
    const auto index = TextToInteger(line.substr(0, 2));
    const auto value = TextToInteger(line.substr(2, 3));
    if (!index || !value || *index < 0 || *index >= SampleCount || !IsReading(*value))
        return std::nullopt;
    return SampleLine { *index, *value };
}

} // namespace zop
