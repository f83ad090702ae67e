#include "viewer/MeasurementTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/WaveformAnalysis.h"
#include "display/FormatGeneral3.h"
#include "display/Measurements.h"
#include "waveform/Cp1252.h"
#include "waveform/ScaleTables.h"

namespace zop::viewer {

const std::vector<Quantity>& TableQuantities()
{
    static const std::vector<Quantity> quantities {
        { "time_per_div", Unit::Text },
        { "volts_per_div", Unit::Text },
        { "dc_volts", Unit::Volts },
        { "peak_to_peak_volts", Unit::Volts },
        { "rms_volts", Unit::Volts },
        { "db", Unit::Decibels },
        { "min_volts", Unit::Volts },
        { "max_volts", Unit::Volts },
        { "mean_volts", Unit::Volts },
        { "ac_rms_volts", Unit::Volts },
        { "frequency_hz", Unit::Hertz },
        { "period_seconds", Unit::Seconds },
        { "duty_cycle", Unit::Share },
        { "positive_width_seconds", Unit::Seconds },
        { "negative_width_seconds", Unit::Seconds },
        { "rise_seconds", Unit::Seconds },
        { "fall_seconds", Unit::Seconds },
        { "crest_factor", Unit::Ratio },
    };
    return quantities;
}

std::vector<Cell> MeasureCapture(const Capture& capture, char decimalSeparator)
{
    WaveformRecord record;
    record.Samples = capture.Samples;
    record.ZeroRef = capture.ZeroRef;
    record.VoltIndex = capture.VoltIndex;
    record.TimeIndex = capture.TimeIndex;
    record.ProbeFactor = capture.ProbeFactor;
    DocumentFlags flags;
    const MeasurementTexts texts = Measure(record, flags, capture.ProbeFactor, decimalSeparator);
    const double perCount = capture.VoltsPerCount();
    const auto measured = [&](double value) { return flags.Clipped ? std::nullopt : std::optional<double>(value); };
    // The RMS figure is in the unit of the volts prefix; the level in volts.
    const double rmsVolts = static_cast<double>(record.RmsValue)
        * (VoltsPerCount(capture.VoltIndex, capture.ProbeFactor).Prefix == "m" ? 1e-3 : 1.0);
    std::vector<Cell> cells {
        { capture.TimeLabel, capture.SecondsPerDivision() },
        { capture.VoltsLabel, capture.VoltsPerDivision() },
        { Cp1252ToUtf8(texts.Dc), measured(record.DcLevel * perCount) },
        { Cp1252ToUtf8(texts.PeakToPeak), measured(record.PeakToPeak * perCount) },
        { Cp1252ToUtf8(texts.Rms), measured(rmsVolts) },
        { Cp1252ToUtf8(texts.Db),
            flags.Clipped || record.RmsValue == 0 ? std::nullopt : std::optional<double>(record.DbValue) },
    };
    const WaveformAnalysis analysis = Analyze(capture.Waveform);
    const auto& quantities = TableQuantities();
    for (const Measured& value : { analysis.MinVolts, analysis.MaxVolts, analysis.MeanVolts, analysis.AcRmsVolts,
             analysis.FrequencyHz, analysis.PeriodSeconds, analysis.DutyCycle, analysis.PositiveWidthSeconds,
             analysis.NegativeWidthSeconds, analysis.RiseSeconds, analysis.FallSeconds, analysis.CrestFactor })
        cells.push_back({ FormatQuantity(value, quantities[cells.size()].Kind, decimalSeparator), value });
    return cells;
}

namespace {

const char* UnitSymbol(Unit unit)
{
    switch (unit) {
    case Unit::Seconds:
        return "s";
    case Unit::Volts:
        return "V";
    case Unit::Hertz:
        return "Hz";
    case Unit::Decibels:
        return "dB";
    case Unit::Share:
        return "%";
    case Unit::Text:
    case Unit::Ratio:
        break;
    }
    return "";
}

bool TakesPrefix(Unit unit)
{
    return unit == Unit::Seconds || unit == Unit::Volts || unit == Unit::Hertz;
}

std::string Format(double value, Unit unit, char separator)
{
    if (unit == Unit::Share)
        value *= 100;
    std::string prefix;
    if (TakesPrefix(unit) && value != 0) {
        static const char* const Prefixes[] = { "p", "n", "\u00B5", "m", "", "k", "M", "G" };
        int power = static_cast<int>(std::floor(std::log10(std::abs(value)) / 3));
        // Rounding to three digits may carry into the next prefix (999.7 mV is 1 V).
        const double mantissa = std::abs(value) / std::pow(1000.0, power);
        const double scale = std::pow(10.0, 2 - std::floor(std::log10(mantissa)));
        if (std::round(mantissa * scale) / scale >= 1000)
            ++power;
        power = std::clamp(power, -4, 3);
        value /= std::pow(1000.0, power);
        prefix = Prefixes[power + 4];
    }
    std::string text = FormatGeneral3(value, separator);
    const std::string symbol = prefix + UnitSymbol(unit);
    if (!symbol.empty())
        text += (unit == Unit::Share ? "" : " ") + symbol;
    return text;
}

} // namespace

std::string FormatQuantity(std::optional<double> value, Unit unit, char decimalSeparator)
{
    if (!value || !std::isfinite(*value))
        return "-";
    return Format(*value, unit, decimalSeparator);
}

std::string FormatDifference(std::optional<double> value, Unit unit, char decimalSeparator)
{
    if (!value || !std::isfinite(*value))
        return "-";
    const std::string text = Format(*value, unit, decimalSeparator);
    // A positive difference that rounds to zero reads "0", without a sign.
    const bool shown = std::any_of(text.begin(), text.end(), [](char c) { return c >= '1' && c <= '9'; });
    return *value > 0 && shown ? "+" + text : text;
}

std::optional<double> Difference(const Cell& cell, const Cell& reference)
{
    if (!cell.Value || !reference.Value)
        return std::nullopt;
    return *cell.Value - *reference.Value;
}

namespace {

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string CsvNumber(std::optional<double> value)
{
    if (!value || !std::isfinite(*value))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", *value);
    return text;
}

} // namespace

std::string TableCsv(const std::vector<TableRow>& rows, std::optional<size_t> reference)
{
    const auto& quantities = TableQuantities();
    std::string csv = "file,description,date,time,reference";
    for (const Quantity& quantity : quantities) {
        csv += ',' + quantity.Key;
        if (quantity.Kind != Unit::Text)
            csv += ',' + quantity.Key + "_difference";
    }
    csv += "\r\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        const TableRow& row = rows[r];
        csv += CsvField(row.Name) + ',' + CsvField(row.Description) + ',' + CsvField(row.Date) + ','
            + CsvField(row.Time) + ',' + (reference == r ? "yes" : "no");
        for (size_t c = 0; c < quantities.size() && c < row.Cells.size(); ++c) {
            const Cell& cell = row.Cells[c];
            if (quantities[c].Kind == Unit::Text) {
                csv += ',' + CsvField(cell.Text);
                continue;
            }
            csv += ',' + CsvNumber(cell.Value) + ',';
            if (reference && *reference < rows.size())
                csv += CsvNumber(Difference(cell, rows[*reference].Cells[c]));
        }
        csv += "\r\n";
    }
    return csv;
}

} // namespace zop::viewer
