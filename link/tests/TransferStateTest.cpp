#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "link/TransferState.h"
#include "waveform/InstrumentLines.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

constexpr uint16_t Trigger = 7;

// Plays the port: the bytes before each carriage return are announced, then
// the line end reaches the data handler. Returns the outcome of every line end.
class Line {
public:
    Line() { State.DataTriggerHandle = Trigger; }

    std::vector<LineEndOutcome> Feed(std::string_view bytes)
    {
        std::vector<LineEndOutcome> outcomes;
        for (const char c : bytes) {
            State.ReceiveByte(static_cast<uint8_t>(c));
            if (c == LineEndByte)
                outcomes.push_back(State.HandleLineEnd(Trigger, Probe));
        }
        return outcomes;
    }
    LineEndOutcome Send(std::string_view line)
    {
        const auto outcomes = Feed(std::string(line) + "\r");
        return outcomes.back();
    }
    void SendHeaders()
    {
        Send("  1us/Sample");
        Send("Range(254)= 0.8V");
        Send("Zero Reference= 127");
    }
    bool NoFlags() const { return !State.TimeSeen && !State.VoltsSeen && !State.ZeroSeen && !State.TransferComplete; }

    TransferState State;
    int32_t Probe = 1;
};

std::string SampleLine(int index, int value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d%03d", index, value);
    return text;
}

TEST(TransferState, TheInstrumentsExampleTransferCompletesOnIndex95)
{
    Line line;
    std::string transfer = "  1us/Sample\r\nRange(254)= 0.8V\r\nZero Reference= 127\r\n";
    for (int i = 0; i < 95; ++i)
        transfer += SampleLine(i, i == 0 ? 131 : 100 + i) + "\r\n";
    const auto before = line.Feed(transfer);
    ASSERT_EQ(before.size(), 98u);
    for (const LineEndOutcome outcome : before)
        EXPECT_EQ(outcome, LineEndOutcome::Consumed);
    EXPECT_TRUE(line.State.TimeSeen && line.State.VoltsSeen && line.State.ZeroSeen);
    EXPECT_FALSE(line.State.TransferComplete);

    EXPECT_EQ(line.Send(SampleLine(95, 128)), LineEndOutcome::Complete);
    EXPECT_EQ(line.State.PendingTimeIndex, 3);
    EXPECT_EQ(line.State.PendingTimeLabel, "10\xB5s/div");
    EXPECT_EQ(line.State.PendingVoltIndex, 5);
    EXPECT_EQ(line.State.PendingVoltLabel, "0.1V/div");
    EXPECT_EQ(line.State.PendingZeroRef, 127);
    EXPECT_EQ(line.State.PendingSamples[0], 131);
    EXPECT_EQ(line.State.PendingSamples[94], 194);
    EXPECT_EQ(line.State.PendingSamples[95], 128);
    EXPECT_TRUE(line.State.LineBuffer.empty());

    line.State.ResetFlags();
    EXPECT_TRUE(line.NoFlags());
}

TEST(TransferState, EveryTimeBaseLineInBothFormsGivesItsIndex)
{
    for (int32_t index = 1; index <= TimeBaseRows; ++index) {
        for (const std::string_view text : { TimeRow(index).SampleLabelPadded, TimeRow(index).SampleLabel }) {
            Line line;
            line.Send(text);
            EXPECT_TRUE(line.State.TimeSeen) << text;
            EXPECT_EQ(line.State.PendingTimeIndex, index) << text;
            EXPECT_EQ(line.State.PendingTimeLabel, TimeLabel(index));
        }
    }
    for (const std::string_view text : { "1us/Sample ", " 1us/Sample", "1US/Sample", "1us/sample" }) {
        Line line;
        EXPECT_EQ(line.Send(text), LineEndOutcome::Consumed);
        EXPECT_FALSE(line.State.TimeSeen) << '"' << text << '"';
    }
    Line tenth;
    tenth.Send("0.2us/Sample");
    EXPECT_EQ(tenth.State.PendingTimeIndex, 1);
}

TEST(TransferState, EveryVoltsLineInBothFormsGivesItsIndexUnderEitherProbe)
{
    for (const int32_t probe : { 1, 10 }) {
        for (int32_t index = 1; index <= SensitivityRows; ++index) {
            for (const std::string_view text : { VoltRow(index).RangeLabel, VoltRow(index).FullScaleLabel }) {
                Line line;
                line.Probe = probe;
                line.Send(text);
                EXPECT_TRUE(line.State.VoltsSeen) << text;
                EXPECT_EQ(line.State.PendingVoltIndex, index) << text;
                EXPECT_EQ(line.State.PendingVoltLabel, VoltsLabel(index, probe));
            }
        }
    }
    Line line;
    line.Send("Range(254)=0.8V"); // one blank short of the aligned form
    line.Send("full scale (254)= 800mV");
    EXPECT_FALSE(line.State.VoltsSeen);
}

TEST(TransferState, ControlBytesInsideALineAreDroppedAndEmptyLinesMatchNothing)
{
    Line line;
    line.Send("Range(254)=\t 40mV");
    EXPECT_EQ(line.State.PendingVoltIndex, 1);
    line.Send("  5u\ns/Sa\x01mple\x1F");
    EXPECT_EQ(line.State.PendingTimeIndex, 5);

    Line empty;
    EXPECT_EQ(empty.Feed("\r\r\r").size(), 3u);
    EXPECT_TRUE(empty.NoFlags());

    TransferState state;
    for (int byte = 0; byte < 0x20; ++byte)
        state.ReceiveByte(static_cast<uint8_t>(byte));
    state.ReceiveBytes("\x20\x7F\xB5\xFF");
    EXPECT_EQ(state.LineBuffer, "\x20\x7F\xB5\xFF");
}

TEST(TransferState, ZeroReferenceIsTheLastThreeCharactersOfALineContainingAMarker)
{
    const std::vector<std::pair<std::string, int32_t>> good = {
        { "Zero Reference= 127", 127 },
        { "Zero Ref=127", 127 },
        { "xZero Ref=042", 42 },
        { "Zero Ref= 42", 42 },
        { "Zero Ref=$FF", 255 },
        { "Zero Ref=  0", 0 },
        { "The Zero Reference= is 200", 200 },
    };
    for (const auto& [text, value] : good) {
        Line line;
        EXPECT_EQ(line.Send(text), LineEndOutcome::Consumed) << text;
        EXPECT_TRUE(line.State.ZeroSeen) << text;
        EXPECT_EQ(line.State.PendingZeroRef, value) << text;
    }
    // "Zero Reference=" without its blank, and other spellings, are no marker.
    for (const std::string_view text : { "Zero Reference=127", "Zero ref=127", "ZeroRef=127" }) {
        Line line;
        line.Send(text);
        EXPECT_FALSE(line.State.ZeroSeen) << text;
    }
}

TEST(TransferState, ACorruptZeroReferenceRestartsTheWholeTransfer)
{
    // "f=5", "256" (no 8-bit reading), "-1", a trailing blank: all corrupt.
    for (const std::string_view text : { "Zero Ref=5", "Zero Ref=256", "Zero Ref= -1", "Zero Ref=12 " }) {
        Line line;
        line.Send("  1us/Sample");
        line.Send("Range(254)= 0.8V");
        EXPECT_EQ(line.Send(text), LineEndOutcome::Restarted) << text;
        EXPECT_TRUE(line.NoFlags()) << text;
        EXPECT_TRUE(line.State.LineBuffer.empty());
        // The failed line is gone: the next line stands on its own.
        line.Send("  2us/Sample");
        EXPECT_TRUE(line.State.TimeSeen);
        EXPECT_EQ(line.State.PendingTimeIndex, 4);
    }
}

TEST(TransferState, TheFirstHeaderOfEachKindWinsUntilTheSamplesBegin)
{
    Line line;
    line.Send("Zero Ref=100");
    line.Send("Full scale (254)= 8V");
    line.Send("Zero Ref=200");
    line.Send("Range(254)= 40mV");
    line.Send("2ms/Sample");
    EXPECT_EQ(line.State.PendingTimeIndex, 13);
    EXPECT_EQ(line.State.PendingVoltIndex, 8);
    EXPECT_EQ(line.State.PendingZeroRef, 100);
    line.Send("5ms/Sample");
    EXPECT_EQ(line.State.PendingTimeIndex, 13);
    // Once a sample is in, another header begins the next transfer.
    line.Send(SampleLine(0, 1));
    line.Send("5ms/Sample");
    EXPECT_TRUE(line.State.TimeSeen);
    EXPECT_FALSE(line.State.VoltsSeen || line.State.ZeroSeen);
    EXPECT_EQ(line.State.PendingTimeIndex, 14);
}

TEST(TransferState, SampleLinesCountOnlyAfterAllThreeHeaders)
{
    Line line;
    line.Send(SampleLine(3, 77)); // before any header: discarded
    line.Send("  1us/Sample");
    line.Send("Range(254)= 0.8V");
    line.Send(SampleLine(4, 77)); // zero reference still missing
    EXPECT_EQ(line.State.PendingSamples[3], 0);
    EXPECT_EQ(line.State.PendingSamples[4], 0);
    line.Send("Zero Ref=127");
    line.Send(" 3 77");
    line.Send(" 4 77"); // blanks fill the value field too
    line.Send("$A$FF");
    EXPECT_EQ(line.State.PendingSamples[3], 77);
    EXPECT_EQ(line.State.PendingSamples[4], 77);
    EXPECT_EQ(line.State.PendingSamples[10], 255);
    EXPECT_FALSE(line.State.TransferComplete);
    // Lines of other lengths are no sample lines.
    EXPECT_EQ(line.Send("0512"), LineEndOutcome::Consumed);
    EXPECT_EQ(line.Send("051234"), LineEndOutcome::Consumed);
    EXPECT_EQ(line.State.PendingSamples[5], 0);
    // Blanks fill from the left only: "4 " is no number.
    EXPECT_EQ(line.Send("4  77"), LineEndOutcome::Restarted);
}

TEST(TransferState, FiveLettersRestartDuringSampleCollectionButNotBefore)
{
    Line before;
    before.Send("  1us/Sample");
    EXPECT_EQ(before.Send("abcde"), LineEndOutcome::Consumed);
    EXPECT_TRUE(before.State.TimeSeen);

    Line during;
    during.SendHeaders();
    during.Send(SampleLine(0, 50));
    EXPECT_EQ(during.Send("abcde"), LineEndOutcome::Restarted);
    EXPECT_TRUE(during.NoFlags());
    EXPECT_EQ(during.State.PendingSamples[0], 50); // kept for the next transfer
    // The next transfer starts from nothing: its samples need headers again.
    during.Send(SampleLine(1, 60));
    EXPECT_EQ(during.State.PendingSamples[1], 0);
}

TEST(TransferState, OutOfRangeSampleIndexOrReadingIsACorruptLine)
{
    for (const std::string_view text : { "05999", "05256", "05 -1", "96000", "-1100", "99255" }) {
        Line line;
        line.SendHeaders();
        EXPECT_EQ(line.Send(text), LineEndOutcome::Restarted) << text;
        EXPECT_TRUE(line.NoFlags()) << text;
        EXPECT_EQ(line.State.PendingSamples, SampleArray {}) << text;
    }
    Line edges;
    edges.SendHeaders();
    edges.Send("00000");
    edges.Send("01255");
    EXPECT_EQ(edges.State.PendingSamples[1], 255);
    EXPECT_EQ(edges.State.PendingSamples[0], 0);
    EXPECT_TRUE(edges.State.ZeroSeen);
}

// One transfer as the instrument sends it, headers in the given order.
struct Sent {
    int32_t TimeIndex;
    int32_t VoltIndex;
    int32_t ZeroRef;
    int32_t FirstSample; // sample i is (FirstSample + i) % 256
    std::string HeaderOrder = "tvz"; // t time base, v volts, z zero reference
    bool SamplesReversed = false;

    int32_t Sample(int i) const { return (FirstSample + i) % 256; }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (const char kind : HeaderOrder) {
            if (kind == 't')
                lines.emplace_back(TimeRow(TimeIndex).SampleLabelPadded);
            else if (kind == 'v')
                lines.emplace_back(VoltRow(VoltIndex).RangeLabel);
            else
                lines.push_back("Zero Ref=" + SampleLine(0, ZeroRef).substr(2));
        }
        for (int n = 0; n < SampleCount; ++n) {
            const int i = SamplesReversed ? SampleCount - 1 - n : n;
            lines.push_back(SampleLine(i, Sample(i)));
        }
        return lines;
    }
    void ExpectPending(const TransferState& state) const
    {
        EXPECT_TRUE(state.AllFlagsSet());
        EXPECT_EQ(state.PendingTimeIndex, TimeIndex);
        EXPECT_EQ(state.PendingTimeLabel, TimeLabel(TimeIndex));
        EXPECT_EQ(state.PendingVoltIndex, VoltIndex);
        EXPECT_EQ(state.PendingZeroRef, ZeroRef);
        for (int i = 0; i < SampleCount; ++i)
            EXPECT_EQ(state.PendingSamples[static_cast<size_t>(i)], Sample(i)) << "index " << i;
    }
};

// Sends the lines and returns the positions of those that completed a transfer.
std::vector<size_t> SendAll(Line& line, const std::vector<std::string>& lines)
{
    std::vector<size_t> completions;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (line.Send(lines[i]) == LineEndOutcome::Complete)
            completions.push_back(i);
    }
    return completions;
}

TEST(TransferState, ATransferCutInItsSamplesIsDroppedAndTheNextOneArrivesWhole)
{
    const Sent cut { 3, 5, 10, 100 };
    // Cut after one sample, in the middle, one sample short.
    for (const size_t cutAfter : { 4u, 50u, 98u }) {
        for (const Sent& next : {
                 Sent { 9, 1, 200, 7, "tvz" },
                 Sent { 12, 8, 201, 30, "zvt" },
                 Sent { 20, 12, 202, 60, "vzt", true },
             }) {
            const std::string label = "cut after " + std::to_string(cutAfter) + " lines, then " + next.HeaderOrder;
            Line line;
            auto lines = cut.Lines();
            lines.resize(cutAfter);
            EXPECT_TRUE(SendAll(line, lines).empty()) << label;
            const auto nextLines = next.Lines();
            EXPECT_EQ(SendAll(line, nextLines), std::vector<size_t> { nextLines.size() - 1 }) << label;
            next.ExpectPending(line.State);
        }
    }
}

TEST(TransferState, OnlySamplesOfTheTransferItselfCompleteIt)
{
    const Sent earlier { 3, 5, 10, 100 };
    const Sent later { 9, 1, 200, 7 };
    auto earlierLines = earlier.Lines();
    const auto laterLines = later.Lines();
    const std::vector<std::string> laterHeaders(laterLines.begin(), laterLines.begin() + 3);
    const auto lastSample = earlierLines.back();
    earlierLines.pop_back(); // index 95 never arrives
    struct Case {
        const char* Name;
        std::vector<std::string> Before; // everything before the later transfer's headers
        std::vector<std::string> Samples; // then the later transfer's samples, one short of complete
    };
    std::vector<std::string> allButIndex0(laterLines.begin() + 4, laterLines.end());
    std::vector<std::string> index5Repeated(SampleCount, SampleLine(5, later.Sample(5)));
    std::vector<std::string> afterCorruptLine = earlierLines;
    afterCorruptLine.push_back("abcde");
    const std::vector<Case> cases = {
        { "index 95 alone after a cut transfer", earlierLines, { laterLines.back() } },
        { "index 95 alone after a corrupt line", afterCorruptLine, { laterLines.back() } },
        { "every index but 0 after a cut transfer", earlierLines, allButIndex0 },
        { "one index sent 96 times", {}, index5Repeated },
        { "index 95 first in a fresh transfer", {}, { laterLines.back(), laterLines[3] } },
    };
    for (const Case& c : cases) {
        Line line;
        SendAll(line, c.Before);
        SendAll(line, laterHeaders);
        EXPECT_TRUE(SendAll(line, c.Samples).empty()) << c.Name;
        EXPECT_FALSE(line.State.TransferComplete) << c.Name;
        // The indices still missing complete it, with nothing of the earlier one.
        std::vector<std::string> rest;
        for (auto sample = laterLines.begin() + 3; sample != laterLines.end(); ++sample) {
            if (std::find(c.Samples.begin(), c.Samples.end(), *sample) == c.Samples.end())
                rest.push_back(*sample);
        }
        EXPECT_EQ(SendAll(line, rest), std::vector<size_t> { rest.size() - 1 }) << c.Name;
        later.ExpectPending(line.State);
    }
}

TEST(TransferState, BackToBackTransfersEachKeepTheirOwnZeroReference)
{
    // As the window does: each completed waveform is taken before the next line.
    const std::vector<Sent> transfers = {
        { 3, 5, 10, 100 },
        { 3, 5, 20, 110, "ztv" },
        { 3, 5, 30, 120, "tzv" },
        { 3, 5, 40, 130, "vtz", true },
    };
    Line line;
    for (size_t n = 0; n < transfers.size(); ++n) {
        auto lines = transfers[n].Lines();
        if (n == 1)
            lines.resize(60); // this one is cut off
        const auto completions = SendAll(line, lines);
        if (n == 1) {
            EXPECT_TRUE(completions.empty());
            continue;
        }
        EXPECT_EQ(completions, std::vector<size_t> { lines.size() - 1 }) << "transfer " << n;
        transfers[n].ExpectPending(line.State);
        line.State.ResetFlags();
    }
}

TEST(TransferState, ThePendingWaveformReturnsOnTheNextLineOfAnyKindUnchanged)
{
    Line line;
    line.SendHeaders();
    for (int i = 0; i < SampleCount; ++i)
        line.Send(SampleLine(i, 0));
    // The window did not apply it (the save question was cancelled).
    for (const std::string_view text : { "", "  5us/Sample", "Range(254)= 40mV", "Zero Ref=001", "00001", "abcde" })
        EXPECT_EQ(line.Send(text), LineEndOutcome::Complete) << text;
    EXPECT_EQ(line.State.PendingTimeIndex, 3);
    EXPECT_EQ(line.State.PendingVoltIndex, 5);
    EXPECT_EQ(line.State.PendingZeroRef, 127);
    EXPECT_EQ(line.State.PendingSamples[0], 0);
    EXPECT_TRUE(line.State.LineBuffer.empty());
}

TEST(TransferState, TheVoltsLabelFollowsTheProbeWhenTheVoltsLineArrives)
{
    Line line;
    line.Probe = 10;
    line.Send("Range(254)= 0.8V");
    line.Probe = 1;
    line.Send("  1us/Sample");
    line.Send("Zero Ref=127");
    EXPECT_EQ(line.State.PendingVoltLabel, "1V/div");
}

TEST(TransferState, AnotherTriggersLineEndChangesNothing)
{
    Line line;
    line.State.ReceiveBytes("  1us/Sample");
    EXPECT_EQ(line.State.HandleLineEnd(Trigger + 1, 1), LineEndOutcome::NotOurs);
    EXPECT_EQ(line.State.LineBuffer, "  1us/Sample");
    EXPECT_FALSE(line.State.TimeSeen);
    EXPECT_EQ(line.State.HandleLineEnd(Trigger, 1), LineEndOutcome::Consumed);
    EXPECT_TRUE(line.State.TimeSeen);
}

TEST(TransferState, AnOverlongLineIsBoundedAndDroppedWholeAtItsLineEnd)
{
    Line line;
    line.SendHeaders();
    // An endless stream without line ends keeps the buffer at its bound.
    for (int i = 0; i < 100000; ++i)
        line.State.ReceiveByte('7');
    EXPECT_EQ(line.State.LineBuffer.size(), LineBufferLimit);
    // Its tail looks like a sample line, but the line is dropped whole.
    EXPECT_EQ(line.Send("05100"), LineEndOutcome::Consumed);
    EXPECT_EQ(line.State.PendingSamples[5], 0);
    EXPECT_TRUE(line.State.ZeroSeen); // not a corrupt line: the transfer goes on
    EXPECT_TRUE(line.State.LineBuffer.empty());
    line.Send("05100");
    EXPECT_EQ(line.State.PendingSamples[5], 100);

    // A line exactly at the bound is still read; one byte more is not.
    const std::string marker = "Zero Ref=042";
    Line atBound;
    atBound.Send(std::string(LineBufferLimit - marker.size(), 'x') + marker);
    EXPECT_EQ(atBound.State.PendingZeroRef, 42);
    Line pastBound;
    pastBound.Send(std::string(LineBufferLimit - marker.size() + 1, 'x') + marker);
    EXPECT_FALSE(pastBound.State.ZeroSeen);
}

TEST(TransferState, TransfersInEveryLineFormRoundTrip)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> reading(0, 255);
    for (const LineForm form : { LineForm::A, LineForm::B }) {
        for (const LineEnding ending : { LineEnding::Cr, LineEnding::CrLf }) {
            for (int32_t time = 1; time <= TimeBaseRows; ++time) {
                InstrumentWaveform sent;
                sent.TimeIndex = time;
                sent.VoltIndex = (time - 1) % SensitivityRows + 1;
                sent.ZeroRef = reading(random);
                for (int32_t& sample : sent.Samples)
                    sample = reading(random);
                Line line;
                const auto outcomes = line.Feed(EncodeTransfer(sent, form, ending));
                ASSERT_EQ(outcomes.size(), 99u);
                EXPECT_EQ(outcomes.back(), LineEndOutcome::Complete);
                EXPECT_EQ(line.State.PendingTimeIndex, sent.TimeIndex);
                EXPECT_EQ(line.State.PendingVoltIndex, sent.VoltIndex);
                EXPECT_EQ(line.State.PendingZeroRef, sent.ZeroRef);
                EXPECT_EQ(line.State.PendingSamples, sent.Samples);
            }
        }
    }
}

} // namespace
} // namespace zop
