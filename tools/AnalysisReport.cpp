#include "tools/AnalysisReport.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "tools/ToolOptions.h"

namespace zop {

namespace {

struct Prefix {
    int Exponent;
    const char* Text; // UTF-8
};
constexpr std::array<Prefix, 8> Prefixes = { {
    { -12, "p" },
    { -9, "n" },
    { -6, "\u00B5" },
    { -3, "m" },
    { 0, "" },
    { 3, "k" },
    { 6, "M" },
    { 9, "G" },
} };

std::string Significant(double value, int digits)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

} // namespace

std::string EngineeringText(std::optional<double> value, const std::string& unit)
{
    if (!value || !std::isfinite(*value))
        return "-";
    if (*value == 0)
        return "0" + unit;
    const double magnitude = std::abs(*value);
    size_t chosen = 0;
    for (size_t i = 0; i < Prefixes.size(); ++i)
        if (magnitude >= std::pow(10.0, Prefixes[i].Exponent))
            chosen = i;
    std::string text = Significant(*value / std::pow(10.0, Prefixes[chosen].Exponent), 4);
    // 999.96 rounds up to the next prefix's 1.
    if (chosen + 1 < Prefixes.size() && std::abs(std::stod(text)) >= 1000) {
        ++chosen;
        text = Significant(*value / std::pow(10.0, Prefixes[chosen].Exponent), 4);
    }
    return text + Prefixes[chosen].Text + unit;
}

std::string CsvNumber(std::optional<double> value)
{
    if (!value || !std::isfinite(*value))
        return "";
    return Significant(*value, 10);
}

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::vector<std::string> AnalysisColumns(const WaveformAnalysis& a)
{
    const auto percent
        = [](const Measured& share) { return share ? Significant(*share * 100, 4) + "%" : std::string("-"); };
    return {
        EngineeringText(a.MinVolts, "V"),
        EngineeringText(a.MaxVolts, "V"),
        EngineeringText(a.MeanVolts, "V"),
        EngineeringText(a.AcRmsVolts, "Vrms"),
        EngineeringText(a.FrequencyHz, "Hz"),
        EngineeringText(a.PeriodSeconds, "s"),
        percent(a.DutyCycle),
        EngineeringText(a.PositiveWidthSeconds, "s"),
        EngineeringText(a.NegativeWidthSeconds, "s"),
        EngineeringText(a.RiseSeconds, "s"),
        EngineeringText(a.FallSeconds, "s"),
        a.CrestFactor ? Significant(*a.CrestFactor, 4) : "-",
    };
}

std::string AnalysisJsonMembers(const WaveformAnalysis& a)
{
    const auto member = [](const char* name, const Measured& value, bool first = false) {
        return std::string(first ? "" : ",") + "\"" + name
            + "\":" + JsonNumber(value ? std::optional<long double>(*value) : std::nullopt);
    };
    return member("min_volts", a.MinVolts, true) + member("max_volts", a.MaxVolts) + member("mean_volts", a.MeanVolts)
        + member("ac_rms_volts", a.AcRmsVolts) + member("frequency_hz", a.FrequencyHz)
        + member("period_seconds", a.PeriodSeconds) + member("duty_cycle", a.DutyCycle)
        + member("positive_width_seconds", a.PositiveWidthSeconds)
        + member("negative_width_seconds", a.NegativeWidthSeconds) + member("rise_seconds", a.RiseSeconds)
        + member("fall_seconds", a.FallSeconds) + member("crest_factor", a.CrestFactor);
}

std::string SpectrumJsonMembers(const WaveformSpectrum& s, SpectrumWindow window, SpectrumBinsShown bins)
{
    const auto number = [](const std::optional<double>& value) {
        return JsonNumber(value ? std::optional<long double>(*value) : std::nullopt);
    };
    std::string json = "\"window\":" + JsonString(window == SpectrumWindow::Hann ? "hann" : "rect");
    json += ",\"dominant_frequency_hz\":" + number(s.DominantHz);
    json += ",\"dominant_dbv\":" + number(s.DominantDbv);
    json += ",\"thd_percent\":" + number(s.ThdPercent);
    if (bins == SpectrumBinsShown::Yes) {
        json += ",\"bins\":[";
        if (s.Bins)
            for (size_t k = 0; k < s.Bins->size(); ++k)
                json += (k ? ",[" : "[") + number((*s.Bins)[k].Hz) + "," + number((*s.Bins)[k].Dbv) + "]";
        json += "]";
    }
    return json;
}

} // namespace zop
