// The data-trigger scan without threads: bytes arrive in chunks, and a
// receiver takes what each TriggerAvailMsg announces (or nothing), as the
// dispatcher's loop would deliver them. The messages are written as "A<n>"
// (TriggerAvailMsg announcing n bytes) and "D<handle>" (TriggerDataMsg).
#include "comm/ByteRing.h"
#include "comm/TriggerScan.h"
#include "comm/Triggers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace zop {
namespace {

struct Pattern {
    std::string Bytes;
    bool IgnoreCase = false;
};

// What the receiver takes: the bytes each TriggerAvailMsg announces, nothing,
// or at each TriggerDataMsg everything up to the matching byte.
enum class Taking { Announced, Nothing, ThroughEachMatch };

// The triggers fill slots 1.. in order; slot n has handle n + 1.
DataTable MakeTriggers(const std::vector<Pattern>& patterns)
{
    DataTable table {};
    int slot = 1;
    for (const Pattern& pattern : patterns) {
        DataTrigger& trigger = table[slot];
        trigger.TriggerHandle = static_cast<std::uint16_t>(slot + 1);
        trigger.Length = static_cast<std::uint16_t>(pattern.Bytes.size());
        trigger.IgnoreCase = pattern.IgnoreCase;
        for (std::size_t i = 0; i < pattern.Bytes.size(); ++i) {
            const auto byte = static_cast<std::uint8_t>(pattern.Bytes[i]);
            trigger.Pattern[i] = pattern.IgnoreCase ? FoldCase(byte) : byte;
        }
        ++slot;
    }
    return table;
}

// Feeds `input` in chunks of `chunk` bytes (0: all at once) into a ring of
// `ringSize` bytes; after each chunk, and once more at the end (the next
// device event), runs the checks while they deliver.
std::string Scan(const std::vector<Pattern>& patterns, std::uint16_t threshold, const std::string& input, Taking taking,
    std::size_t chunk, std::uint16_t ringSize = 8192)
{
    DataTable triggers = MakeTriggers(patterns);
    ByteRing ring;
    EXPECT_TRUE(ring.Allocate(ringSize));
    ScanState scan;
    std::string log;
    const auto checks = [&] {
        for (;;) {
            const ScanDecision decision = DecideDelivery(scan, triggers, 0, ring, threshold);
            if (decision.What == ScanDecision::Kind::Nothing)
                return;
            if (decision.What == ScanDecision::Kind::Avail) {
                log += "A" + std::to_string(decision.Count) + " ";
                if (taking == Taking::Nothing)
                    return; // the announced bytes were not all taken: wait for the next event
                ring.Consume(decision.Count);
                continue;
            }
            for (int i = 0; i < decision.FiredCount; ++i)
                log += "D" + std::to_string(decision.Fired[i].Handle) + " ";
            if (taking == Taking::ThroughEachMatch)
                ring.Consume(static_cast<std::uint16_t>(ring.Used() - scan.Pending));
        }
    };
    std::size_t offset = 0;
    while (offset < input.size()) {
        const std::size_t room = ring.Free();
        const std::size_t size = std::min({ chunk == 0 ? input.size() : chunk, input.size() - offset, room });
        if (size == 0)
            return "stalled: the receivers made no room";
        EXPECT_TRUE(
            ring.Put(reinterpret_cast<const std::uint8_t*>(input.data() + offset), static_cast<std::uint16_t>(size)));
        NoteReceived(scan, static_cast<std::uint16_t>(size), ring);
        offset += size;
        checks();
    }
    checks();
    if (!log.empty())
        log.pop_back();
    return log;
}

struct ScanCase {
    const char* Name;
    std::vector<Pattern> Triggers;
    std::uint16_t Threshold;
    std::string Input;
    Taking Receiver;
    std::string AllAtOnce; // the messages when the input arrives in one read
    std::string ByteByByte; // ... and when it arrives one byte at a time
};

const ScanCase ScanCases[] = {
    { "OneByteTriggerFiresOnEveryOccurrence", { { "\r" } }, 0, "a\r\rb\r", Taking::Announced, "D2 D2 D2", "D2 D2 D2" },
    // The bytes before the terminator, then the terminator.
    { "BytesBeforeTheTerminatorComeFirst", { { "\r" } }, 1, "ab\r", Taking::Announced, "A2 D2 A1", "A1 A1 D2 A1" },
    // A receiver that leaves announced bytes holds back the data message
    // until the next device event.
    { "UntakenBytesHoldBackTheDataMessage", { { "\r" } }, 1, "ab\r", Taking::Nothing, "A2 D2 A3", "A1 A2 D2 A3" },
    // Without a match: one announcement per batch, none again without new bytes.
    { "BytesWithoutAMatchAreAnnouncedOncePerBatch", { { "\r" } }, 1, "abc", Taking::Announced, "A3", "A1 A1 A1" },
    { "AnUntakenBatchIsNotAnnouncedAgain", { { "\r" } }, 1, "abc", Taking::Nothing, "A3", "A1 A2 A3" },
    { "ThresholdZeroNeverAnnounces", { { "\r" } }, 0, "ab\rcd\r", Taking::Announced, "D2 D2", "D2 D2" },
    { "FewerBytesThanTheThresholdAreNotAnnounced", { { "\r" } }, 3, "ab\rcdef", Taking::Announced, "D2 A7",
        "D2 A3 A3" },
    { "AZeroLengthTriggerNeverFires", { { "" }, { "\r" } }, 0, "a\rb", Taking::Announced, "D3", "D3" },
    { "IgnoreCaseMatchesBothCases", { { "ok", true } }, 0, "ok Ok oK OK", Taking::Announced, "D2 D2 D2 D2",
        "D2 D2 D2 D2" },
    { "CaseSensitiveMatchesOnlyItsCase", { { "OK" } }, 0, "ok Ok oK OK", Taking::Announced, "D2", "D2" },
    { "ARepeatedBytePatternOverlaps", { { "aa" } }, 0, "aaa", Taking::Announced, "D2 D2", "D2 D2" },
    { "ALongPatternMatchesAcrossEveryByte", { { "OK\r" } }, 0, "xOK\rOK\r", Taking::Announced, "D2 D2", "D2 D2" },
    // Triggers matched at one byte fire in table order; the announcement
    // leaves out the longest matched pattern.
    { "TriggersMatchedTogetherFireInTableOrder", { { "b\r" }, { "\r" } }, 1, "ab\r", Taking::Announced, "A1 D2 D3 A2",
        "A1 A1 D2 D3 A1" },
    // One-byte triggers on the same byte fire together, in table order,
    // beside one on another byte and one ignoring case.
    { "OneByteTriggersOnOneByteFireTogether", { { "\r" }, { "x" }, { "\r" }, { "n", true } }, 1, "ab\rxN",
        Taking::Announced, "A2 D2 D4 A1 D3 A1 D5 A1", "A1 A1 D2 D4 A1 D3 A1 D5 A1" },
    { "ALaterTriggerMayMatchFirst", { { "xyz" }, { "y" } }, 0, "xyzy", Taking::Announced, "D3 D2 D3", "D3 D2 D3" },
    { "TwentyOneBytePattern", { { "abcdefghijklmnopqrstu" } }, 0, "zabcdefghijklmnopqrstuz", Taking::Announced, "D2",
        "D2" },
};

class TriggerScan : public testing::TestWithParam<ScanCase> { };

TEST_P(TriggerScan, AllAtOnceAndByteByByte)
{
    const ScanCase& c = GetParam();
    EXPECT_EQ(Scan(c.Triggers, c.Threshold, c.Input, c.Receiver, 0), c.AllAtOnce) << "all at once";
    EXPECT_EQ(Scan(c.Triggers, c.Threshold, c.Input, c.Receiver, 1), c.ByteByByte) << "one byte at a time";
}

INSTANTIATE_TEST_SUITE_P(Cases, TriggerScan, testing::ValuesIn(ScanCases),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.Name); });

TEST(TriggerScanRing, LinesOverManyLapsOfASmallRingFireOncePerLineInEveryChunking)
{
    std::string input;
    std::string expected;
    for (int line = 0; line < 40; ++line) {
        input += "line" + std::to_string(line) + "\r\n";
        expected += "D2 ";
    }
    expected.pop_back();
    for (const std::size_t chunk : { std::size_t { 1 }, std::size_t { 5 }, std::size_t { 13 }, std::size_t { 16 } })
        EXPECT_EQ(Scan({ { "\r\n" } }, 0, input, Taking::ThroughEachMatch, chunk, 16), expected)
            << "chunks of " << chunk;
}

// A lone one-byte trigger is scanned for on its own; beside a trigger that
// never matches, the general scan must announce the same messages for any
// stream, chunking, threshold and receiver.
TEST(TriggerScanRing, ALoneOneByteTriggerDecidesAsTheGeneralScan)
{
    std::mt19937 random(14);
    for (int round = 0; round < 300; ++round) {
        std::string input(std::uniform_int_distribution<std::size_t>(0, 60)(random), 'a');
        for (char& byte : input)
            byte = "ab\r"[std::uniform_int_distribution<int>(0, 2)(random)];
        const auto threshold = static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 3)(random));
        const auto taking = static_cast<Taking>(std::uniform_int_distribution<int>(0, 2)(random));
        const std::size_t chunk = std::uniform_int_distribution<std::size_t>(0, 7)(random);
        const auto ringSize = static_cast<std::uint16_t>(std::uniform_int_distribution<int>(8, 24)(random));
        SCOPED_TRACE(testing::Message() << "input \"" << input << "\" threshold " << threshold << " chunk " << chunk
                                        << " ring " << ringSize << " taking " << static_cast<int>(taking));
        EXPECT_EQ(Scan({ { "\r" } }, threshold, input, taking, chunk, ringSize),
            Scan({ { "\r" }, { "\x01" } }, threshold, input, taking, chunk, ringSize));
    }
}

TEST(TriggerScanRing, BytesTakenOutsideADeliveryAreNeverOffered)
{
    DataTable triggers = MakeTriggers({ { "\r" } });
    ByteRing ring;
    ASSERT_TRUE(ring.Allocate(64));
    ScanState scan;
    const std::string input = "a\rb\r";
    ring.Put(reinterpret_cast<const std::uint8_t*>(input.data()), static_cast<std::uint16_t>(input.size()));
    NoteReceived(scan, static_cast<std::uint16_t>(input.size()), ring);
    ring.Consume(2); // "a\r" taken before the scan saw it
    ScanDecision decision = DecideDelivery(scan, triggers, 0, ring, 0);
    ASSERT_EQ(decision.What, ScanDecision::Kind::Data);
    EXPECT_EQ(decision.FiredCount, 1);
    EXPECT_EQ(scan.Scanned, 4u);
    EXPECT_EQ(DecideDelivery(scan, triggers, 0, ring, 0).What, ScanDecision::Kind::Nothing);
}

// Triggers armed, replaced or cleared while a stream runs count from the
// next check on; the scan keeps nothing of the tables it saw before.
TEST(TriggerScanRing, FollowsTheTablesWhenTheyChange)
{
    DataTable triggers = MakeTriggers({ { "\r" } });
    std::uint32_t version = 7;
    ByteRing ring;
    ASSERT_TRUE(ring.Allocate(64));
    ScanState scan;
    const auto receive = [&](const std::string& bytes) {
        ring.Put(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint16_t>(bytes.size()));
        NoteReceived(scan, static_cast<std::uint16_t>(bytes.size()), ring);
    };
    const auto fired = [&] {
        std::string handles;
        for (;;) {
            const ScanDecision decision = DecideDelivery(scan, triggers, version, ring, 0);
            if (decision.What == ScanDecision::Kind::Nothing)
                return handles;
            for (int i = 0; i < decision.FiredCount; ++i)
                handles += std::to_string(decision.Fired[i].Handle) + ";";
        }
    };
    receive("a\rb\n");
    EXPECT_EQ(fired(), "2;");

    triggers = MakeTriggers({ { "\r" }, { "n", true } }); // a second trigger, ignoring case
    ++version;
    receive("N\r");
    EXPECT_EQ(fired(), "3;2;");

    triggers = MakeTriggers({ { "x" } }); // slot 1 now holds another pattern
    ++version;
    receive("\rNx");
    EXPECT_EQ(fired(), "2;");

    triggers = {};
    ++version;
    receive("x\r");
    EXPECT_EQ(fired(), "");
}

// The ring's arithmetic at sizes that do and do not divide its position range.
TEST(ByteRingTest, WrapsFillsAndPeeksAtAnySize)
{
    for (const std::uint16_t size :
        { std::uint16_t { 1 }, std::uint16_t { 7 }, std::uint16_t { 64 }, std::uint16_t { 65535 } }) {
        ByteRing ring;
        ASSERT_TRUE(ring.Allocate(size));
        std::uint8_t next = 0;
        std::uint8_t expected = 0;
        for (int round = 0; round < 3 * 3; ++round) {
            // Fill to the brim in pieces of at most 3, then take all but one.
            while (ring.Free() > 0) {
                std::uint8_t piece[3];
                const auto count = std::min<std::uint16_t>(3, ring.Free());
                for (int i = 0; i < count; ++i)
                    piece[i] = next++;
                ASSERT_TRUE(ring.Put(piece, count));
            }
            EXPECT_TRUE(ring.Full());
            EXPECT_EQ(ring.Used(), size);
            EXPECT_EQ(ring.Head(), ring.Tail()) << "full: head meets tail";
            EXPECT_FALSE(ring.Put(&next, 1)) << "a full ring refuses";
            EXPECT_EQ(ring.At(static_cast<std::uint16_t>(size - 1)), static_cast<std::uint8_t>(next - 1));
            const auto take = static_cast<std::uint16_t>(size - 1);
            std::vector<std::uint8_t> out(take + 1u);
            EXPECT_EQ(ring.CopyOut(0, out.data(), take), take);
            for (int i = 0; i < take; ++i)
                ASSERT_EQ(out[i], static_cast<std::uint8_t>(expected + i));
            ring.Consume(take);
            expected = static_cast<std::uint8_t>(expected + take);
            EXPECT_EQ(ring.Used(), 1);
        }
        std::uint16_t room = 0;
        ring.Room(&room);
        EXPECT_EQ(room, std::min<std::uint16_t>(ring.Free(), static_cast<std::uint16_t>(size - ring.Head())));
        ring.Discard();
        EXPECT_TRUE(ring.Empty());
    }
}

} // namespace
} // namespace zop
