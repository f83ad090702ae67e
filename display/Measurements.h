#pragma once
// The four automatic measurements of a waveform (DC level, peak-to-peak, AC
// RMS and decibels) and the read-out of the two measurement crosses, as the
// texts the status lines show. Pure functions of the record; the window's
// handlers (TraceView) put the texts into the panels.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "waveform/WaveformRecord.h"

namespace zop {

// Texts of SettingsPanel panels 2..5: "...Vdc", "...Vpp", "...Vrms", "... dB".
struct MeasurementTexts {
    std::string Dc;
    std::string PeakToPeak;
    std::string Rms;
    std::string Db;
};

// Runs the DC, peak-to-peak, RMS and dB steps in this order, writing
// flags.Clipped and the record's DcLevel, PeakToPeak, RmsValue and DbValue.
// The volts scale is the column of `probeFactor` (the probe menu's state) at
// the record's VoltIndex, which must be valid (1..12).
// A waveform holding an off-scale sample (0 or 255) gives no numbers:
// "..." with the unit, and "... dB"; so does an RMS of exactly 0 for dB.
MeasurementTexts Measure(WaveformRecord& record, DocumentFlags& flags, int32_t probeFactor, char decimalSeparator);

// Level of an RMS value (in the unit of `voltPrefix`, "m" or "") relative to
// 0.775 V RMS, in decibels. rms must be positive.
long double Decibels(long double rms, std::string_view voltPrefix);

// Texts of StatusBar panels 1..3: "dV=157mV", "dt=2ms", "f=500Hz"; empty
// while the crosses they need are not placed (-1).
struct CursorReadoutTexts {
    std::string VoltDifference;
    std::string TimeDifference;
    std::string Frequency;
};

// The record's TimeIndex and VoltIndex must be valid.
CursorReadoutTexts ReadCursors(
    const CursorPositions& cursors, const WaveformRecord& record, int32_t probeFactor, char decimalSeparator);

} // namespace zop
