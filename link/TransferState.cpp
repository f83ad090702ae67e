#include "link/TransferState.h"

#include "waveform/InstrumentLines.h"
#include "waveform/ScaleTables.h"

namespace zop {

namespace {

bool IsHeaderLine(std::string_view line)
{
    return MatchTimeBaseLine(line) || MatchVoltsLine(line) || IsZeroReferenceLine(line);
}

} // namespace

void TransferState::ReceiveByte(uint8_t byte)
{
    if (byte < 0x20)
        return;
    if (LineBuffer.size() >= LineBufferLimit) {
        // Keep memory bounded; the rest of this line is worthless anyway.
        LineOverflowed = true;
        return;
    }
    LineBuffer.push_back(static_cast<char>(byte));
}

void TransferState::ReceiveBytes(std::string_view bytes)
{
    for (const char c : bytes)
        ReceiveByte(static_cast<uint8_t>(c));
}

LineEndOutcome TransferState::HandleLineEnd(uint16_t triggerHandle, int32_t probeMenuFactor)
{
    if (triggerHandle != DataTriggerHandle)
        return LineEndOutcome::NotOurs;
    // An overlong line is treated as a line that matches nothing.
    if (!LineOverflowed && !ClassifyLine(probeMenuFactor)) {
        Restart();
        return LineEndOutcome::Restarted;
    }
    EmptyLineBuffer();
    return AllFlagsSet() ? LineEndOutcome::Complete : LineEndOutcome::Consumed;
}

bool TransferState::ClassifyLine(int32_t probeMenuFactor)
{
    const std::string_view line = LineBuffer;
    // A header while samples are being collected belongs to the next
    // transfer: the instrument was cut off in the middle of this one, whose
    // missing samples will never come. Drop it and start over with this line,
    // so that a waveform never takes headers or samples of two transfers.
    if (CollectingSamples() && IsHeaderLine(line))
        ResetFlags();
    if (!TimeSeen) {
        if (const auto index = MatchTimeBaseLine(line)) {
            TimeSeen = true;
            PendingTimeIndex = *index;
            PendingTimeLabel = TimeLabel(*index);
        }
    }
    if (!VoltsSeen) {
        if (const auto index = MatchVoltsLine(line)) {
            VoltsSeen = true;
            PendingVoltIndex = *index;
            PendingVoltLabel = VoltsLabel(*index, probeMenuFactor);
        }
    }
    if (!ZeroSeen && IsZeroReferenceLine(line)) {
        ZeroSeen = true;
        const auto value = ZeroReferenceValue(line);
        if (!value)
            return false;
        PendingZeroRef = *value;
    }
    if (!TransferComplete && TimeSeen && VoltsSeen && ZeroSeen && line.size() == SampleLineLength) {
        const auto sample = ParseSampleLine(line);
        if (!sample)
            return false;
        const auto index = static_cast<size_t>(sample->Index);
        PendingSamples[index] = sample->Value;
        SamplesReceived.set(index);
        // Complete once every index arrived in this transfer, in any order.
        if (SamplesReceived.all())
            TransferComplete = true;
    }
    return true;
}

void TransferState::ResetFlags()
{
    TimeSeen = false;
    VoltsSeen = false;
    ZeroSeen = false;
    TransferComplete = false;
    SamplesReceived.reset();
}

void TransferState::Restart()
{
    ResetFlags();
    // Without this the failed line would be joined in front of the next one.
    EmptyLineBuffer();
}

void TransferState::EmptyLineBuffer()
{
    LineBuffer.clear();
    LineOverflowed = false;
}

} // namespace zop
