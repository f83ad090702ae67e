#pragma once
// The staging area of one instrument transfer and the recogniser that fills
// it. The instrument sends its time base, its range, its zero reference and 96
// sample lines, each ended by a carriage return; the bytes of a line are
// collected by ReceiveByte and the finished line is classified by
// HandleLineEnd. Both are plain code a test can feed bytes to; the window's
// port events call them (LinkCommands).
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "waveform/WaveformRecord.h"

namespace zop {

// The line end the instrument sends and the line-end trigger is armed on.
constexpr char LineEndByte = '\x0D';

// A transfer line is at most a couple of dozen bytes; a line that grows past
// this bound is not the instrument's and is dropped whole at its line end.
constexpr size_t LineBufferLimit = 1024;

// What HandleLineEnd did with a line end.
enum class LineEndOutcome {
    NotOurs, // another trigger's line end: nothing changed
    Consumed, // the line was classified (or matched nothing) and the buffer emptied
    Restarted, // a corrupt line: the transfer starts again from nothing
    Complete, // every flag is set: the received waveform waits to be applied
};

struct TransferState {
    std::string LineBuffer; // bytes 0x20..0xFF since the last line end
    bool LineOverflowed = false; // the current line grew past LineBufferLimit
    uint16_t DataTriggerHandle = 0;
    bool TimeSeen = false;
    bool VoltsSeen = false;
    bool ZeroSeen = false;
    bool TransferComplete = false;
    std::string PendingTimeLabel;
    std::string PendingVoltLabel;
    int32_t PendingZeroRef = 0;
    int32_t PendingTimeIndex = 0;
    int32_t PendingVoltIndex = 0;
    SampleArray PendingSamples {}; // never cleared; only indices in SamplesReceived are this transfer's
    std::bitset<SampleCount> SamplesReceived; // indices stored since this transfer's headers

    // One byte announced by the port: control bytes (below 0x20) are dropped.
    void ReceiveByte(uint8_t byte);
    void ReceiveBytes(std::string_view bytes);

    // A line end seen by the trigger `triggerHandle`. `probeMenuFactor` (1 or
    // 10) picks the volts label column when this line is the volts line.
    LineEndOutcome HandleLineEnd(uint16_t triggerHandle, int32_t probeMenuFactor);

    bool AllFlagsSet() const { return TimeSeen && VoltsSeen && ZeroSeen && TransferComplete; }
    // Samples of this transfer have arrived and the waveform is not complete yet.
    bool CollectingSamples() const { return SamplesReceived.any() && !TransferComplete; }
    // After a completed transfer: ready for the next one.
    void ResetFlags();
    // The failure guard: drops the transfer so far and the current line.
    // PendingSamples keeps its values, but none of them counts for the next
    // transfer.
    void Restart();
    // Drops the bytes of the current line (a line never continues on another port).
    void EmptyLineBuffer();

private:
    // Steps of one line; false when the line is corrupt.
    bool ClassifyLine(int32_t probeMenuFactor);
};

} // namespace zop
