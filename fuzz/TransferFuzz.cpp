// The transfer recogniser fed raw line bytes, as the port delivers them: every
// byte but the line end is announced to ReceiveByte, the line end reaches
// HandleLineEnd through the line-end trigger. The first input byte picks the
// probe setting and how a clean transfer is appended; the rest is noise.
//
// Checked after every byte: the line buffer stays bounded and holds no
// control bytes. After every line end: stored readings are 0..255; a seen header holds a valid
// table index and its label; a line end changes at most one sample, only
// through a five-byte line whose first two characters name that index; a
// restart clears the flags and the line; samples count for a transfer only
// once its three headers are in, and a transfer completes only on a sample
// line once every index has arrived in it. At the end, a clean transfer sent
// after any noise (and one line end to finish the noise's line) completes at
// its last line with exactly its samples.
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "link/TransferState.h"
#include "waveform/InstrumentLines.h"
#include "waveform/ScaleTables.h"
#include "waveform/TextToInteger.h"

namespace {

using namespace zop;

constexpr uint16_t LineEndTrigger = 2;

bool IsReading(int32_t value)
{
    return value >= 0 && value <= 255;
}

// After a byte other than the line end: a control byte is dropped, any other
// byte is appended unless the line is full, which marks it overflowed.
void CheckLine(const TransferState& state, uint8_t byte, size_t sizeBefore)
{
    FUZZ_CHECK(state.LineBuffer.size() <= LineBufferLimit);
    if (byte < 0x20) {
        FUZZ_CHECK(state.LineBuffer.size() == sizeBefore);
    } else if (sizeBefore == LineBufferLimit) {
        FUZZ_CHECK(state.LineBuffer.size() == sizeBefore && state.LineOverflowed);
    } else {
        FUZZ_CHECK(state.LineBuffer.size() == sizeBefore + 1);
        FUZZ_CHECK(static_cast<uint8_t>(state.LineBuffer.back()) == byte);
    }
}

void CheckState(const TransferState& state, int32_t probeAtVolts)
{
    FUZZ_CHECK(IsReading(state.PendingZeroRef));
    for (int32_t sample : state.PendingSamples)
        FUZZ_CHECK(IsReading(sample));
    if (state.TimeSeen) {
        FUZZ_CHECK(ValidTimeIndex(state.PendingTimeIndex));
        FUZZ_CHECK(state.PendingTimeLabel == TimeLabel(state.PendingTimeIndex));
    }
    if (state.VoltsSeen) {
        FUZZ_CHECK(ValidVoltIndex(state.PendingVoltIndex));
        FUZZ_CHECK(state.PendingVoltLabel == VoltsLabel(state.PendingVoltIndex, probeAtVolts));
    }
    FUZZ_CHECK(!state.TransferComplete || (state.TimeSeen && state.VoltsSeen && state.ZeroSeen));
    FUZZ_CHECK(state.SamplesReceived.none() || (state.TimeSeen && state.VoltsSeen && state.ZeroSeen));
}

class Feeder {
public:
    explicit Feeder(int32_t probe)
        : m_probe(probe)
    {
        m_state.DataTriggerHandle = LineEndTrigger;
    }

    // Returns the outcome of a line end, Consumed for other bytes.
    LineEndOutcome Feed(uint8_t byte)
    {
        LineEndOutcome outcome = LineEndOutcome::Consumed;
        if (byte != LineEndByte) {
            const size_t sizeBefore = m_state.LineBuffer.size();
            m_state.ReceiveByte(byte);
            CheckLine(m_state, byte, sizeBefore);
        } else {
            const std::string line = m_state.LineBuffer;
            const bool overflowed = m_state.LineOverflowed;
            const bool voltsBefore = m_state.VoltsSeen;
            const SampleArray before = m_state.PendingSamples;
            const bool wasComplete = m_state.TransferComplete;
            outcome = m_state.HandleLineEnd(LineEndTrigger, m_probe);
            if (!voltsBefore && m_state.VoltsSeen)
                m_probeAtVolts = m_probe;
            CheckLineEnd(line, overflowed, wasComplete, before, outcome);
            if (outcome == LineEndOutcome::Complete) {
                ++m_completed;
                m_state.ResetFlags(); // as the window does once it has taken the waveform
            }
            CheckState(m_state, m_probeAtVolts);
        }
        return outcome;
    }

    // A trigger the link did not arm must leave everything as it was.
    void ForeignLineEnd()
    {
        const TransferState before = m_state;
        FUZZ_CHECK(m_state.HandleLineEnd(LineEndTrigger + 1, m_probe) == LineEndOutcome::NotOurs);
        FUZZ_CHECK(m_state.LineBuffer == before.LineBuffer && m_state.LineOverflowed == before.LineOverflowed);
        FUZZ_CHECK(m_state.PendingSamples == before.PendingSamples);
        FUZZ_CHECK(m_state.TimeSeen == before.TimeSeen && m_state.ZeroSeen == before.ZeroSeen);
    }

    const TransferState& State() const { return m_state; }
    int Completed() const { return m_completed; }

private:
    void CheckLineEnd(
        const std::string& line, bool overflowed, bool wasComplete, const SampleArray& before, LineEndOutcome outcome)
    {
        FUZZ_CHECK(m_state.LineBuffer.empty() && !m_state.LineOverflowed);
        if (outcome == LineEndOutcome::Restarted) {
            FUZZ_CHECK(!m_state.TimeSeen && !m_state.VoltsSeen && !m_state.ZeroSeen && !m_state.TransferComplete);
            FUZZ_CHECK(!overflowed && m_state.SamplesReceived.none());
        }
        int changed = 0;
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i] == m_state.PendingSamples[i])
                continue;
            ++changed;
            FUZZ_CHECK(!overflowed && line.size() == 5);
            const auto index = TextToInteger(std::string_view(line).substr(0, 2));
            FUZZ_CHECK(index && *index == static_cast<int32_t>(i));
        }
        FUZZ_CHECK(changed <= 1);
        if (outcome == LineEndOutcome::Complete) {
            FUZZ_CHECK(m_state.SamplesReceived.all());
            // Either the line that brought the last missing index, or any line
            // while the completed waveform waits to be taken.
            if (!wasComplete) {
                const auto index = TextToInteger(std::string_view(line).substr(0, 2));
                FUZZ_CHECK(line.size() == 5 && index && *index >= 0 && *index < SampleCount);
            }
        }
    }

    TransferState m_state;
    int32_t m_probe;
    int32_t m_probeAtVolts = 1;
    int m_completed = 0;
};

int FuzzTransfer(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    std::string_view noise(reinterpret_cast<const char*>(data) + 1, size - 1);
    Feeder feeder((control & 1) ? 10 : 1);

    // With enough bytes, the last 99 describe a clean transfer sent after the noise.
    const bool clean = (control & 2) && noise.size() >= 99;
    InstrumentWaveform waveform;
    if (clean) {
        const std::string_view tail = noise.substr(noise.size() - 99);
        noise.remove_suffix(99);
        waveform.TimeIndex = static_cast<uint8_t>(tail[0]) % TimeBaseRows + 1;
        waveform.VoltIndex = static_cast<uint8_t>(tail[1]) % SensitivityRows + 1;
        waveform.ZeroRef = static_cast<uint8_t>(tail[2]);
        for (size_t i = 0; i < SampleCount; ++i)
            waveform.Samples[i] = static_cast<uint8_t>(tail[3 + i]);
    }

    for (size_t i = 0; i < noise.size(); ++i) {
        feeder.Feed(static_cast<uint8_t>(noise[i]));
        if ((control & 4) && i % 61 == 3)
            feeder.ForeignLineEnd();
    }
    if (!clean)
        return 0;

    feeder.Feed(static_cast<uint8_t>(LineEndByte));
    const int before = feeder.Completed();
    const std::string transfer = EncodeTransfer(
        waveform, (control & 8) ? LineForm::B : LineForm::A, (control & 16) ? LineEnding::CrLf : LineEnding::Cr);
    for (size_t i = 0; i < transfer.size(); ++i) {
        const LineEndOutcome outcome = feeder.Feed(static_cast<uint8_t>(transfer[i]));
        const bool lastLineEnd = transfer.find('\r', i + 1) == std::string::npos;
        FUZZ_CHECK((outcome == LineEndOutcome::Complete) == (transfer[i] == '\r' && lastLineEnd));
        FUZZ_CHECK(outcome != LineEndOutcome::Restarted);
    }
    FUZZ_CHECK(feeder.Completed() == before + 1);
    FUZZ_CHECK(feeder.State().PendingSamples == waveform.Samples);
    return 0;
}

} // namespace

FUZZ_TARGET("transfer", FuzzTransfer)
