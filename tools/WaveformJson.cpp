#include "tools/WaveformJson.h"

#include "analysis/Spectrum.h"
#include "analysis/WaveformAnalysis.h"
#include "tools/AnalysisReport.h"
#include "tools/MeasurementLine.h"
#include "tools/ToolOptions.h"
#include "waveform/Cp1252.h"

namespace zop {

std::string WaveformJson(const WindowModel& window, CursorsShown cursors)
{
    const FormState& form = window.Form();
    const WaveformRecord& record = window.Record();
    const auto text = [&](const std::string& cp1252) { return JsonString(Cp1252ToUtf8(cp1252)); };
    const auto member
        = [](std::string_view name, const std::string& json) { return ",\n  \"" + std::string(name) + "\": " + json; };
    const std::optional<VoltWaveform> volts = ShownInVolts(window);

    std::string json = "{\n  \"format\": " + JsonString(WaveformJsonFormat);
    json += member("version", std::to_string(WaveformJsonVersion));
    json += member("description", text(form.Description.Text()));
    json += member("date", text(form.DateField.Text()));
    json += member("time", text(form.TimeField.Text()));
    json += member("time_div", text(form.SettingsPanel[TimeDivPanel]));
    json += member("volts_div", text(form.SettingsPanel[VoltsDivPanel]));
    json += member("time_index", std::to_string(record.TimeIndex));
    json += member("volt_index", std::to_string(record.VoltIndex));
    json += member("probe", std::to_string(form.ProbeMenuFactor()));
    json += member("zero_ref", std::to_string(record.ZeroRef));
    json += member(
        "sample_seconds", JsonNumber(volts ? std::optional<long double>(volts->SampleSeconds) : std::nullopt));

    std::string samples;
    std::string sampleVolts;
    for (size_t i = 0; i < record.Samples.size(); ++i) {
        samples += (i ? ", " : "") + std::to_string(record.Samples[i]);
        const bool shown = volts && !volts->ClippedAt(static_cast<int32_t>(i));
        sampleVolts += (i ? ", " : "") + JsonNumber(shown ? std::optional<long double>(volts->Volts[i]) : std::nullopt);
    }
    json += member("samples", "[" + samples + "]");
    json += member("volts", "[" + sampleVolts + "]");

    LineOptions measured;
    measured.Cursors = cursors == CursorsShown::Yes;
    json += member("measurements", "{" + MeasurementJsonMembers(window, measured) + "}");
    json += member("analysis", "{" + AnalysisJsonMembers(volts ? Analyze(*volts) : WaveformAnalysis {}) + "}");
    const WaveformSpectrum spectrum = volts ? Spectrum(*volts) : WaveformSpectrum {};
    json += member("spectrum", "{" + SpectrumJsonMembers(spectrum, SpectrumWindow::Hann, SpectrumBinsShown::Yes) + "}");
    return json + "\n}\n";
}

} // namespace zop
