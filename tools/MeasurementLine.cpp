#include "tools/MeasurementLine.h"

#include <cstdlib>

#include "analysis/WaveformAnalysis.h"
#include "tools/AnalysisReport.h"
#include "tools/ToolOptions.h"
#include "waveform/Cp1252.h"
#include "waveform/ScaleTables.h"

namespace zop {

namespace {

// Volts of `counts` at the probe in effect.
long double Volts(const WaveformRecord& record, int32_t probe, long double counts)
{
    const VoltScale scale = VoltsPerCount(record.VoltIndex, probe);
    return counts * scale.VoltsPerCount / (scale.Prefix == "m" ? 1000.0L : 1.0L);
}

WaveformAnalysis AnalysisOf(const WindowModel& window)
{
    const std::optional<VoltWaveform> volts = ShownInVolts(window);
    return volts ? Analyze(*volts) : WaveformAnalysis {};
}

std::string JsonLine(const WindowModel& window, const std::string& name, const LineOptions& options)
{
    const FormState& form = window.Form();
    const auto text = [&](const std::string& cp1252) { return JsonString(Cp1252ToUtf8(cp1252)); };
    std::string json = "{\"file\":" + JsonString(name);
    json += ",\"description\":" + text(form.Description.Text());
    json += ",\"date\":" + text(form.DateField.Text());
    json += ",\"time\":" + text(form.TimeField.Text());
    json += ",\"time_div\":" + text(form.SettingsPanel[TimeDivPanel]);
    json += ",\"volts_div\":" + text(form.SettingsPanel[VoltsDivPanel]);
    return json + "," + MeasurementJsonMembers(window, options) + "}";
}

} // namespace

std::optional<VoltWaveform> ShownInVolts(const WindowModel& window)
{
    const WaveformRecord& record = window.Record();
    return WaveformInVolts(
        record.Samples, record.ZeroRef, record.VoltIndex, window.Form().ProbeMenuFactor(), record.TimeIndex);
}

std::string MeasurementJsonMembers(const WindowModel& window, const LineOptions& options)
{
    const FormState& form = window.Form();
    const WaveformRecord& record = window.Record();
    const bool clipped = window.Flags().Clipped;
    const int32_t probe = form.ProbeMenuFactor();
    const auto text = [&](const std::string& cp1252) { return JsonString(Cp1252ToUtf8(cp1252)); };
    using Number = std::optional<long double>;

    std::string json = "\"dc\":" + text(form.SettingsPanel[DcPanel]);
    json += ",\"peak_to_peak\":" + text(form.SettingsPanel[PeakToPeakPanel]);
    json += ",\"rms\":" + text(form.SettingsPanel[RmsPanel]);
    json += ",\"db\":" + text(form.SettingsPanel[DbPanel]);
    json += ",\"probe\":" + std::to_string(probe);
    json += ",\"clipped\":" + std::string(clipped ? "true" : "false");

    const TimeBaseRow& time = TimeRow(record.TimeIndex);
    const long double samplePeriod = time.SamplePeriod / time.PrefixDivisor;
    json += ",\"sample_period_seconds\":" + JsonNumber(samplePeriod);
    const MeasuredNumbers numbers = MeasuredNumbersOf(window);
    json += ",\"dc_volts\":" + JsonNumber(numbers.DcVolts);
    json += ",\"peak_to_peak_volts\":" + JsonNumber(numbers.PeakToPeakVolts);
    json += ",\"rms_volts\":" + JsonNumber(numbers.RmsVolts);
    json += ",\"db_value\":" + JsonNumber(numbers.Db);

    if (options.Cursors) {
        const CursorPositions& c = window.Cursors();
        json += ",\"dv\":" + text(form.StatusBar[VoltDifferencePanel]);
        json += ",\"dt\":" + text(form.StatusBar[TimeDifferencePanel]);
        json += ",\"f\":" + text(form.StatusBar[FrequencyPanel]);
        const bool offScale = c.Y1 == 0 || c.Y1 == 255 || c.Y2 == 0 || c.Y2 == 255;
        json += ",\"dv_volts\":" + JsonNumber(offScale ? Number() : Volts(record, probe, std::abs(c.Y1 - c.Y2)));
        const long double t = StepsToTime(std::abs((c.X2 - c.X1) / 4), record.TimeIndex);
        json += ",\"dt_seconds\":" + JsonNumber(t / time.PrefixDivisor);
        json += ",\"f_hertz\":" + JsonNumber(t == 0 ? Number() : TimeToFrequency(t, record.TimeIndex));
    }
    if (options.Extended)
        json += "," + AnalysisJsonMembers(AnalysisOf(window));
    return json;
}

MeasuredNumbers MeasuredNumbersOf(const WindowModel& window)
{
    if (window.Flags().Clipped)
        return {};
    const WaveformRecord& record = window.Record();
    const int32_t probe = window.Form().ProbeMenuFactor();
    const VoltScale scale = VoltsPerCount(record.VoltIndex, probe);
    return { Volts(record, probe, record.DcLevel), Volts(record, probe, record.PeakToPeak),
        record.RmsValue / (scale.Prefix == "m" ? 1000.0L : 1.0L),
        record.RmsValue == 0 ? std::optional<long double>() : record.DbValue };
}

std::string MeasurementLine(const WindowModel& window, const std::string& name, const LineOptions& options)
{
    if (options.Format == LineFormat::Json)
        return JsonLine(window, name, options);
    std::string line;
    if (options.Names)
        line = name + "\t";
    const FormState& form = window.Form();
    for (size_t i = 0; i < form.SettingsPanel.size(); ++i)
        line += (i ? "\t" : "") + Cp1252ToUtf8(form.SettingsPanel[i]);
    if (options.Cursors)
        for (size_t i = 1; i < form.StatusBar.size(); ++i)
            line += "\t" + Cp1252ToUtf8(form.StatusBar[i]);
    if (options.Extended)
        for (const std::string& column : AnalysisColumns(AnalysisOf(window)))
            line += "\t" + column;
    return line;
}

} // namespace zop
