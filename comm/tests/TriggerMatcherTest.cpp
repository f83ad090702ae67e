#include "comm/Triggers.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace zop {
namespace {

DataTrigger Make(std::string_view pattern, bool ignoreCase = false)
{
    DataTrigger trigger;
    trigger.Length = static_cast<std::uint16_t>(pattern.size());
    trigger.IgnoreCase = ignoreCase;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(pattern[i]);
        trigger.Pattern[i] = ignoreCase ? FoldCase(byte) : byte;
    }
    return trigger;
}

// The positions (1-based) of the bytes of `input` at which the trigger fires.
std::string Fire(DataTrigger trigger, std::string_view input)
{
    std::string marks;
    for (char c : input)
        marks += MatchDataTrigger(trigger, static_cast<std::uint8_t>(c)) ? '^' : '.';
    return marks;
}

TEST(TriggerMatcher, OneByteTriggerFiresOnEveryOccurrence)
{
    EXPECT_EQ(Fire(Make("\r"), "ab\r\r\rc\r"), "..^^^.^");
}

TEST(TriggerMatcher, RepeatedBytePatternOverlaps)
{
    EXPECT_EQ(Fire(Make("aa"), "aaa"), ".^^");
    // After a full match every partial match is dropped; only the completing
    // byte may begin the next one, in a slot after the one that completed.
    EXPECT_EQ(Fire(Make("aa"), "aaaa"), ".^^.");
    EXPECT_EQ(Fire(Make("aaa"), "aaaaa"), "..^.^");
}

TEST(TriggerMatcher, PartialMatchesRestartWhereThePatternCouldBegin)
{
    EXPECT_EQ(Fire(Make("ab"), "aab"), "..^");
    EXPECT_EQ(Fire(Make("aab"), "aaab"), "...^");
    EXPECT_EQ(Fire(Make("abab"), "abababx"), "...^...");
    EXPECT_EQ(Fire(Make("END"), "ENENDEND"), "....^..^");
    EXPECT_EQ(Fire(Make("xyz"), "xyxyzxz"), "....^..");
}

TEST(TriggerMatcher, StateCarriesAcrossBatches)
{
    DataTrigger trigger = Make("OK\r");
    EXPECT_FALSE(MatchDataTrigger(trigger, 'O'));
    EXPECT_FALSE(MatchDataTrigger(trigger, 'K'));
    EXPECT_TRUE(MatchDataTrigger(trigger, '\r'));
    EXPECT_FALSE(MatchDataTrigger(trigger, '\r'));
}

TEST(TriggerMatcher, IgnoreCaseFoldsAsciiLettersOnly)
{
    EXPECT_EQ(Fire(Make("Range", true), "RANGE range rAnGe"), "....^.....^.....^");
    EXPECT_EQ(Fire(Make("Range"), "RANGE range Range"), "................^");
    // 0xE9 and 0xC9 are a letter pair in Windows-1252 but are not folded.
    EXPECT_EQ(Fire(Make("\xE9", true), "\xC9\xE9"), ".^");
}

TEST(TriggerMatcher, LongestPatternAndEmptyPattern)
{
    const std::string longest(21, 'z');
    EXPECT_EQ(Fire(Make(longest), std::string(22, 'z')), std::string(20, '.') + "^.");
    EXPECT_EQ(Fire(Make(""), std::string("\r\r\0", 3)), "...");
}

} // namespace
} // namespace zop
