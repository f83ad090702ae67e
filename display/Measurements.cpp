#include "display/Measurements.h"

#include <cmath>
#include <cstdlib>

#include "display/FormatGeneral3.h"
#include "waveform/ScaleTables.h"

namespace zop {

namespace {

bool OffScale(int32_t sample)
{
    return sample == 0 || sample == 255;
}

} // namespace

long double Decibels(long double rms, std::string_view voltPrefix)
{
    const long double reciprocal = voltPrefix == "m" ? 1.0L / 775.0L : 1.0L / 0.775L;
    return 20 * std::log10(rms * reciprocal);
}

MeasurementTexts Measure(WaveformRecord& record, DocumentFlags& flags, int32_t probeFactor, char decimalSeparator)
{
    const VoltScale scale = VoltsPerCount(record.VoltIndex, probeFactor);
    const std::string prefix(scale.Prefix);
    const SampleArray& s = record.Samples;
    MeasurementTexts texts;

    // DC: the integer mean of the samples less the zero reference. The scan
    // stops at the first off-scale sample, which makes the figure meaningless.
    flags.Clipped = false;
    int64_t sum = 0;
    for (int32_t v : s) {
        if (OffScale(v))
            flags.Clipped = true;
        sum += v;
        if (flags.Clipped)
            break;
    }
    if (flags.Clipped) {
        texts.Dc = "..." + prefix + "Vdc";
    } else {
        record.DcLevel = static_cast<int32_t>(sum / SampleCount) - record.ZeroRef;
        texts.Dc = FormatGeneral3(record.DcLevel * scale.VoltsPerCount, decimalSeparator) + prefix + "Vdc";
    }

    // Peak-to-peak.
    if (flags.Clipped) {
        texts.PeakToPeak = "..." + prefix + "Vpp";
    } else {
        int32_t min = 255;
        int32_t max = 0;
        for (int32_t v : s) {
            if (v < min)
                min = v;
            if (v > max)
                max = v;
        }
        record.PeakToPeak = max - min;
        texts.PeakToPeak = FormatGeneral3(record.PeakToPeak * scale.VoltsPerCount, decimalSeparator) + prefix + "Vpp";
    }

    // RMS of the signal about its mean (the AC part), in integer counts until
    // the square root.
    if (flags.Clipped) {
        texts.Rms = "..." + prefix + "Vrms";
    } else {
        int64_t total = 0;
        for (int32_t v : s)
            total += v;
        const int64_t mean = total / SampleCount;
        int64_t acc = 0;
        for (int32_t v : s)
            acc += (v - mean) * (v - mean);
        const int64_t variance = acc / SampleCount;
        record.RmsValue = std::sqrt(static_cast<long double>(variance)) * scale.VoltsPerCount;
        texts.Rms = FormatGeneral3(record.RmsValue, decimalSeparator) + prefix + "Vrms";
    }

    // Decibels relative to 0.775 V RMS.
    if (flags.Clipped || record.RmsValue == 0) {
        texts.Db = "... dB";
    } else {
        record.DbValue = Decibels(record.RmsValue, prefix);
        texts.Db = FormatGeneral3(record.DbValue, decimalSeparator) + " dB";
    }
    return texts;
}

CursorReadoutTexts ReadCursors(
    const CursorPositions& cursors, const WaveformRecord& record, int32_t probeFactor, char decimalSeparator)
{
    CursorReadoutTexts texts;
    const VoltScale scale = VoltsPerCount(record.VoltIndex, probeFactor);
    const std::string prefix(scale.Prefix);

    if (cursors.Y1 != -1 && cursors.Y2 != -1) {
        const int32_t n = std::abs(cursors.Y1 - cursors.Y2);
        // A cross on an off-scale sample sits on row 0 (255) or row 255 (0).
        if (cursors.Y1 == 0 || cursors.Y1 == 255 || cursors.Y2 == 0 || cursors.Y2 == 255)
            texts.VoltDifference = "dV=..." + prefix + "V";
        else
            texts.VoltDifference = "dV=" + FormatGeneral3(n * scale.VoltsPerCount, decimalSeparator) + prefix + "V";
    }

    if (cursors.X1 != -1 && cursors.X2 != -1) {
        const TimeBaseRow& row = TimeRow(record.TimeIndex);
        const int32_t k = std::abs((cursors.X2 - cursors.X1) / 4);
        const long double t = k * row.SamplePeriod;
        texts.TimeDifference = "dt=" + FormatGeneral3(t, decimalSeparator) + std::string(row.TimePrefix) + "s";
        if (t == 0) {
            texts.Frequency = "f=...Hz";
        } else {
            long double f = row.PrefixDivisor / t;
            const char* unit = "Hz";
            if (f >= 1000000) {
                f *= 0.000001L;
                unit = "MHz";
            } else if (f >= 1000) {
                f *= 0.001L;
                unit = "kHz";
            } else if (f >= 1) {
                unit = "Hz";
            } else {
                f *= 1000;
                unit = "mHz";
            }
            texts.Frequency = "f=" + FormatGeneral3(f, decimalSeparator) + unit;
        }
    }
    return texts;
}

} // namespace zop
