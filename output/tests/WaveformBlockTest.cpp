#include <gtest/gtest.h>

#include <vector>

#include "output/WaveformBlock.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

int32_t Word(const WaveformBlock& block, size_t offset)
{
    return static_cast<int32_t>(block[offset] | (block[offset + 1] << 8) | (block[offset + 2] << 16)
        | (static_cast<uint32_t>(block[offset + 3]) << 24));
}

void PutWord(WaveformBlock& block, size_t offset, int32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        block[offset + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    }
}

BlockContent Sample()
{
    BlockContent c;
    for (size_t i = 0; i < SampleCount; ++i) {
        c.Samples[i] = static_cast<int32_t>((i * 37) % 256);
    }
    c.TimeIndex = 22;
    c.VoltIndex = 12;
    c.ZeroRef = 200;
    c.ProbeFactor = 1;
    c.Cursors = { 383, 0, 4, 254 };
    c.Description = "Mains ripple";
    c.Date = "07-12-2026";
    c.Time = "08:30:00";
    return c;
}

TEST(WaveformBlockLayout, NumbersSitAtTheirOffsetsLittleEndian)
{
    BlockContent c = Sample();
    c.Cursors = { -1, 17, -1, 200 };
    const WaveformBlock block = EncodeWaveformBlock(c);
    EXPECT_EQ(block.size(), 720u);
    for (size_t i = 0; i < SampleCount; ++i) {
        ASSERT_EQ(Word(block, 4 * i), c.Samples[i]) << i;
    }
    EXPECT_EQ(Word(block, 384), 22);
    EXPECT_EQ(Word(block, 388), 12);
    EXPECT_EQ(Word(block, 392), 200);
    EXPECT_EQ(Word(block, 396), 1);
    EXPECT_EQ(Word(block, 400), -1);
    EXPECT_EQ(block[400], 0xFF);
    EXPECT_EQ(block[403], 0xFF);
    EXPECT_EQ(Word(block, 404), 17);
    EXPECT_EQ(Word(block, 408), -1);
    EXPECT_EQ(Word(block, 412), 200);
    // One word per character, character in the low byte.
    EXPECT_EQ(Word(block, 416), 'M');
    EXPECT_EQ(Word(block, 416 + 4 * 11), 'e');
    EXPECT_EQ(Word(block, 416 + 4 * 12), 0);
    EXPECT_EQ(Word(block, 416 + 4 * 13), '0');
}

TEST(WaveformBlockLayout, EmptyTextsGiveThreeZeroWordsAndZeroRest)
{
    BlockContent c = Sample();
    c.Description.clear();
    c.Date.clear();
    c.Time.clear();
    const WaveformBlock block = EncodeWaveformBlock(c);
    for (size_t offset = 416; offset < 720; ++offset) {
        ASSERT_EQ(block[offset], 0) << offset;
    }
    const auto image = DecodeWaveformBlock(block);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Description, "");
    EXPECT_EQ(image->Date, "");
    EXPECT_EQ(image->Time, "");
}

TEST(WaveformBlockLayout, FullEditFieldsEndAtByte660)
{
    BlockContent c = Sample();
    c.Description = std::string(40, 'D');
    c.Date = std::string(10, '1');
    c.Time = std::string(8, '2');
    const WaveformBlock block = EncodeWaveformBlock(c);
    EXPECT_EQ(Word(block, 416 + 4 * 39), 'D');
    EXPECT_EQ(Word(block, 416 + 4 * 40), 0);
    EXPECT_EQ(Word(block, 416 + 4 * 41), '1');
    EXPECT_EQ(Word(block, 416 + 4 * 51), 0);
    EXPECT_EQ(Word(block, 652), '2');
    EXPECT_EQ(Word(block, 656), 0); // the time's end word is the last used
    for (size_t offset = 660; offset < 720; ++offset) {
        ASSERT_EQ(block[offset], 0) << offset;
    }
}

TEST(WaveformBlockRoundTrip, EverythingComesBackWithLabelsFromTheTables)
{
    const BlockContent c = Sample();
    const auto image = DecodeWaveformBlock(EncodeWaveformBlock(c));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Samples, c.Samples);
    EXPECT_EQ(image->TimeIndex, 22);
    EXPECT_EQ(image->VoltIndex, 12);
    EXPECT_EQ(image->ZeroRef, 200);
    EXPECT_EQ(image->ProbeFactor, 1);
    EXPECT_EQ(image->IncomingCursors, c.Cursors);
    EXPECT_EQ(image->Description, c.Description);
    EXPECT_EQ(image->Date, c.Date);
    EXPECT_EQ(image->Time, c.Time);
    EXPECT_EQ(image->TimeLabel, TimeLabel(22));
    EXPECT_EQ(image->VoltsLabel, VoltsLabel(12, 1));
}

TEST(WaveformBlockRoundTrip, TenTimesProbeGivesFactorTenAndItsLabel)
{
    BlockContent c = Sample();
    c.VoltIndex = 5;
    c.ProbeFactor = 10;
    const WaveformBlock block = EncodeWaveformBlock(c);
    EXPECT_EQ(Word(block, 396), 10);
    const auto image = DecodeWaveformBlock(block);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ProbeFactor, 10);
    EXPECT_EQ(image->VoltsLabel, VoltsLabel(5, 10));
    EXPECT_NE(image->VoltsLabel, VoltsLabel(5, 1));
}

TEST(WaveformBlockRoundTrip, CharactersKeepTheirCodePageBytes)
{
    BlockContent c = Sample();
    c.Description = "5\xB5s \xE9t\xE9 \x80";
    const auto image = DecodeWaveformBlock(EncodeWaveformBlock(c));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Description, c.Description);
}

TEST(WaveformBlockTexts, LongTextsAreCutTo41Characters)
{
    BlockContent c = Sample();
    c.Description = std::string(60, 'x');
    c.Date = "";
    c.Time = "";
    const auto image = DecodeWaveformBlock(EncodeWaveformBlock(c));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Description, std::string(41, 'x'));
}

TEST(WaveformBlockTexts, LaterTextsAreCutFirstWhenAllThreeDoNotFit)
{
    BlockContent c = Sample();
    c.Description = std::string(41, 'a');
    c.Date = std::string(41, 'b');
    c.Time = std::string(41, 'c');
    const WaveformBlock block = EncodeWaveformBlock(c);
    const auto image = DecodeWaveformBlock(block);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Description, std::string(41, 'a'));
    EXPECT_EQ(image->Date, std::string(32, 'b'));
    EXPECT_EQ(image->Time, "");
    EXPECT_EQ(Word(block, 716), 0); // the last word is the time's end word

    c.Date = std::string(20, 'b'); // 41 + 20 leaves 12 for the time
    const auto second = DecodeWaveformBlock(EncodeWaveformBlock(c));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Date, std::string(20, 'b'));
    EXPECT_EQ(second->Time, std::string(12, 'c'));
}

TEST(WaveformBlockTexts, TextStopsAtAnEmbeddedZeroByte)
{
    BlockContent c = Sample();
    c.Description = std::string("ab\0cd", 5);
    const auto image = DecodeWaveformBlock(EncodeWaveformBlock(c));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Description, "ab");
    EXPECT_EQ(image->Date, c.Date);
}

class MalformedBlock : public testing::Test {
protected:
    WaveformBlock block = EncodeWaveformBlock(Sample());
};

TEST_F(MalformedBlock, ShortBlocksAreRefused)
{
    EXPECT_FALSE(DecodeWaveformBlock(std::span<const uint8_t>(block.data(), 719)));
    EXPECT_FALSE(DecodeWaveformBlock(std::span<const uint8_t>(block.data(), 0)));
    std::vector<uint8_t> longer(block.begin(), block.end());
    longer.resize(1024, 0xEE); // extra bytes from a platform that rounds up
    EXPECT_TRUE(DecodeWaveformBlock(longer));
}

TEST_F(MalformedBlock, IndicesOutsideTheirTablesAreRefused)
{
    for (int32_t t : { 0, 23, -1, 1 << 30 }) {
        WaveformBlock b = block;
        PutWord(b, 384, t);
        EXPECT_FALSE(DecodeWaveformBlock(b)) << "time index " << t;
    }
    for (int32_t v : { 0, 13, -5 }) {
        WaveformBlock b = block;
        PutWord(b, 388, v);
        EXPECT_FALSE(DecodeWaveformBlock(b)) << "volts index " << v;
    }
    for (int32_t t : { 1, 22 }) {
        WaveformBlock b = block;
        PutWord(b, 384, t);
        EXPECT_TRUE(DecodeWaveformBlock(b)) << "time index " << t;
    }
}

TEST_F(MalformedBlock, ProbeFactorOtherThanOneOrTenIsRefused)
{
    for (int32_t p : { 0, 2, 100, -1 }) {
        WaveformBlock b = block;
        PutWord(b, 396, p);
        EXPECT_FALSE(DecodeWaveformBlock(b)) << p;
    }
}

TEST_F(MalformedBlock, SamplesAndZeroOutsideAByteAreRefused)
{
    for (size_t index : { size_t { 0 }, size_t { 95 } }) {
        for (int32_t value : { -1, 256 }) {
            WaveformBlock b = block;
            PutWord(b, index * 4, value);
            EXPECT_FALSE(DecodeWaveformBlock(b)) << index << " " << value;
        }
    }
    for (int32_t z : { -1, 256 }) {
        WaveformBlock b = block;
        PutWord(b, 392, z);
        EXPECT_FALSE(DecodeWaveformBlock(b)) << z;
    }
    WaveformBlock edges = block;
    PutWord(edges, 0, 0);
    PutWord(edges, 4, 255);
    PutWord(edges, 392, 255);
    EXPECT_TRUE(DecodeWaveformBlock(edges));
}

TEST_F(MalformedBlock, CursorsOutsideThePictureAreRefused)
{
    const std::vector<std::pair<size_t, int32_t>> bad { { 400, 384 }, { 400, -2 }, { 404, 256 }, { 408, 1000 },
        { 412, -7 } };
    for (auto [offset, value] : bad) {
        WaveformBlock b = block;
        PutWord(b, offset, value);
        EXPECT_FALSE(DecodeWaveformBlock(b)) << offset << " " << value;
    }
}

TEST_F(MalformedBlock, CrossesOnOffScaleSamplesAreNotMalformed)
{
    // A cross on a sample of 0 stands on row 255, one on a sample of 255 on
    // row 0; both come from a block this program wrote.
    WaveformBlock b = block;
    PutWord(b, 400, 2);
    PutWord(b, 404, 255);
    PutWord(b, 408, 382);
    PutWord(b, 412, 255);
    const auto image = DecodeWaveformBlock(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->IncomingCursors, (CursorPositions { 2, 255, 382, 255 }));
}

TEST_F(MalformedBlock, TextWithoutEndWordIsRefused)
{
    WaveformBlock b {};
    std::copy(block.begin(), block.begin() + 416, b.begin());
    // The description runs to the end of the block: 76 words, each a character.
    for (size_t offset = 416; offset < 720; offset += 4) {
        PutWord(b, offset, 'z');
    }
    EXPECT_FALSE(DecodeWaveformBlock(b));
    // Description and date end, the time does not.
    WaveformBlock c {};
    std::copy(block.begin(), block.begin() + 416, c.begin());
    for (size_t offset = 424; offset < 720; offset += 4) {
        PutWord(c, offset, 'z');
    }
    EXPECT_FALSE(DecodeWaveformBlock(c));
}

TEST_F(MalformedBlock, TextLongerThanTheBufferIsRefused)
{
    WaveformBlock b {};
    std::copy(block.begin(), block.begin() + 416, b.begin());
    for (size_t i = 0; i < 42; ++i) {
        PutWord(b, 416 + 4 * i, 'q');
    }
    EXPECT_FALSE(DecodeWaveformBlock(b));
    PutWord(b, 416 + 4 * 41, 0); // 41 characters fit
    EXPECT_TRUE(DecodeWaveformBlock(b));
}

} // namespace
} // namespace zop
