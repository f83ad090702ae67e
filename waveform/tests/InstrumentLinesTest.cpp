#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "waveform/InstrumentLines.h"
#include "waveform/TextToInteger.h"

namespace zop {
namespace {

TEST(InstrumentLines, FormsAndRefusals)
{
    InstrumentWaveform waveform;
    waveform.TimeIndex = 3;
    waveform.VoltIndex = 5;
    waveform.ZeroRef = 42;
    waveform.Samples[5] = 7;
    const auto a = InstrumentLines(waveform, LineForm::A);
    const auto b = InstrumentLines(waveform, LineForm::B);
    ASSERT_EQ(a.size(), 99u);
    EXPECT_EQ(a[0], "  1us/Sample");
    EXPECT_EQ(b[0], "1us/Sample");
    EXPECT_EQ(a[1], "Range(254)= 0.8V");
    EXPECT_EQ(b[1], "Full scale (254)= 800mV");
    EXPECT_EQ(a[2], "Zero Reference= 042");
    EXPECT_EQ(b[2], "Zero Ref= 42");
    EXPECT_EQ(a[3 + 5], "05007");
    EXPECT_EQ(b[3 + 5], " 5  7");
    EXPECT_EQ(EncodeTransfer(waveform, LineForm::B, LineEnding::CrLf).substr(0, 12), "1us/Sample\r\n");

    waveform.Samples[95] = 256;
    EXPECT_THROW(InstrumentLines(waveform, LineForm::A), std::out_of_range);
    waveform.Samples[95] = 0;
    waveform.TimeIndex = 23;
    EXPECT_THROW(InstrumentLines(waveform, LineForm::A), std::out_of_range);
}

TEST(TextToInteger, TheInstrumentsNumberRule)
{
    EXPECT_EQ(TextToInteger("42"), 42);
    EXPECT_EQ(TextToInteger("  042"), 42);
    EXPECT_EQ(TextToInteger("+5"), 5);
    EXPECT_EQ(TextToInteger(" -5"), -5);
    EXPECT_EQ(TextToInteger("$ff"), 255);
    EXPECT_EQ(TextToInteger("$FF"), 255);
    EXPECT_EQ(TextToInteger("2147483647"), 2147483647);
    EXPECT_EQ(TextToInteger("-2147483648"), INT32_MIN);
    for (const std::string_view bad : { "", "   ", "4 ", "12a", "$", "-", "+", "+$5", "$-5", "- 5", "0x1F",
             "2147483648", "-2147483649", "1e3", "\t5" })
        EXPECT_FALSE(TextToInteger(bad).has_value()) << '"' << bad << '"';
}

TEST(InstrumentLines, HeadersMatchExactlyPaddedFirst)
{
    EXPECT_EQ(MatchTimeBaseLine("  1us/Sample"), 3);
    EXPECT_EQ(MatchTimeBaseLine("1us/Sample"), 3);
    EXPECT_FALSE(MatchTimeBaseLine(" 1us/Sample"));
    EXPECT_FALSE(MatchTimeBaseLine("1US/SAMPLE"));
    EXPECT_EQ(MatchTimeBaseLine("0.2us/Sample"), 1);
    EXPECT_EQ(MatchVoltsLine("Range(254)= 0.8V"), 5);
    EXPECT_EQ(MatchVoltsLine("Full scale (254)= 800mV"), 5);
    EXPECT_EQ(MatchVoltsLine("Range(254)= 160V"), 12);
    EXPECT_FALSE(MatchVoltsLine("Range(254)=0.8V"));
}

TEST(InstrumentLines, ZeroAndSampleLinesAreReadingsOrCorrupt)
{
    struct Case {
        std::string_view Line;
        std::optional<int32_t> Value;
    };
    for (const Case& c : std::initializer_list<Case> {
             { "Zero Reference= 127", 127 },
             { "Zero Ref= 42", 42 },
             { "Zero Ref=  0", 0 },
             { "Zero Ref=255", 255 },
             { "Zero Ref=256", std::nullopt }, // not an 8-bit reading
             { "Zero Ref=-12", std::nullopt },
             { "Zero Ref=4x2", std::nullopt },
         }) {
        EXPECT_TRUE(IsZeroReferenceLine(c.Line)) << c.Line;
        EXPECT_EQ(ZeroReferenceValue(c.Line), c.Value) << c.Line;
    }
    EXPECT_FALSE(IsZeroReferenceLine("Zero Reference=127")); // the long marker has its blank
    EXPECT_FALSE(IsZeroReferenceLine("zero ref=127"));

    struct SampleCase {
        std::string_view Line;
        int32_t Index; // -1: corrupt
        int32_t Value;
    };
    for (const SampleCase& c : std::initializer_list<SampleCase> {
             { "00131", 0, 131 },
             { " 0131", 0, 131 },
             { "95255", 95, 255 },
             { " 5  7", 5, 7 },
             { "96000", -1, 0 }, // past the last sample
             { "-1000", -1, 0 },
             { "05256", -1, 0 },
             { "0512a", -1, 0 },
             { "0512", -1, 0 }, // not a sample line's length
             { "051234", -1, 0 },
         }) {
        const std::optional<SampleLine> sample = ParseSampleLine(c.Line);
        if (c.Index < 0) {
            EXPECT_FALSE(sample) << c.Line;
            continue;
        }
        ASSERT_TRUE(sample) << c.Line;
        EXPECT_EQ(sample->Index, c.Index) << c.Line;
        EXPECT_EQ(sample->Value, c.Value) << c.Line;
    }
}

} // namespace
} // namespace zop
