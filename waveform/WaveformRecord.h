#pragma once
// The one waveform document the main window holds: its numbers, its flags,
// the measurement cursors and the staging copy that files and the clipboard
// fill before it replaces the shown waveform.
#include <array>
#include <cstdint>
#include <string>

namespace zop {

constexpr int SampleCount = 96;
using SampleArray = std::array<int32_t, SampleCount>;

struct WaveformRecord {
    SampleArray Samples {}; // raw 8-bit values, index 0 leftmost
    int32_t ZeroRef = 127; // the count that stands for 0 V
    int32_t DcLevel = 0; // written by the measurements
    int32_t PeakToPeak = 0; // written by the measurements
    long double RmsValue = 0; // written by the measurements
    long double DbValue = 0; // written by the measurements
    int32_t VoltIndex = 0; // 1..12; 0 before the first waveform
    int32_t TimeIndex = 1; // 1..22
    int32_t ProbeFactor = 1; // 1 or 10
    std::string FileName; // empty: untitled
};

struct DocumentFlags {
    bool Clipped = false;
    bool Modified = false;
    bool ProbeChanged = false;

    // A document with edited texts or a changed probe asks before it goes.
    bool Unsaved() const { return Modified || ProbeChanged; }
};

// Picture coordinates of the two measurement crosses; -1 when not placed.
struct CursorPositions {
    int32_t X1 = -1;
    int32_t Y1 = -1;
    int32_t X2 = -1;
    int32_t Y2 = -1;

    bool operator==(const CursorPositions&) const = default;
};

struct IncomingImage {
    std::string Description;
    std::string Date;
    std::string Time;
    std::string TimeLabel;
    std::string VoltsLabel;
    int32_t ZeroRef = 0;
    int32_t ProbeFactor = 1;
    int32_t VoltIndex = 0;
    int32_t TimeIndex = 0;
    SampleArray Samples {};
    CursorPositions IncomingCursors;
};

// Window creation: samples 0, ZeroRef 127, VoltIndex 0, TimeIndex 1,
// ProbeFactor 1, untitled, flags and cursors cleared.
void ResetRecord(WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors);

// New: untitled, samples 0, cursors -1, ProbeFactor from the probe menu, flags
// cleared; ZeroRef, VoltIndex and TimeIndex keep their values.
void ClearRecord(WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors, int32_t probeMenuFactor);

} // namespace zop
