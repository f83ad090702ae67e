// The data-trigger matcher fed an arbitrary pattern and received stream. The
// first byte gives the pattern's length (1..21) and the case rule, the next
// bytes the pattern, the rest the stream.
//
// Checked after every byte: each slot's match state points inside the
// pattern and slots past the pattern's length stay untouched; a reported
// match means the last bytes received spell the pattern (ASCII letters
// folded when the case is ignored); after a match every partial match is
// gone except at most one begun by the completing byte. For a pattern of
// distinct bytes (a line end, "\r\n", "OK\r") every occurrence is reported.
#include <algorithm>
#include <string>

#include "comm/Triggers.h"
#include "fuzz/FuzzCheck.h"

namespace {

using namespace zop;

bool DistinctBytes(const DataTrigger& trigger)
{
    for (int i = 0; i < trigger.Length; ++i)
        for (int j = i + 1; j < trigger.Length; ++j)
            if (trigger.Pattern[i] == trigger.Pattern[j])
                return false;
    return true;
}

int FuzzTriggerMatcher(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    DataTrigger trigger;
    trigger.Length = static_cast<uint16_t>(data[0] % MaxDataTriggerLength + 1);
    trigger.IgnoreCase = (data[0] & 0x80) ? 1 : 0;
    if (size < 1u + trigger.Length)
        return 0;
    // Armed as AddDataTrigger arms it: folded when the case is ignored.
    for (int i = 0; i < trigger.Length; ++i)
        trigger.Pattern[i] = trigger.IgnoreCase ? FoldCase(data[1 + i]) : data[1 + i];
    const bool distinct = DistinctBytes(trigger);
    const std::string pattern(trigger.Pattern.begin(), trigger.Pattern.begin() + trigger.Length);

    std::string received; // folded like the pattern
    for (size_t n = 1u + trigger.Length; n < size; ++n) {
        const uint8_t byte = trigger.IgnoreCase ? FoldCase(data[n]) : data[n];
        received.push_back(static_cast<char>(byte));
        const bool matched = MatchDataTrigger(trigger, data[n]);

        for (int i = 0; i < MatchStateCount; ++i) {
            if (i < trigger.Length)
                FUZZ_CHECK(trigger.MatchState[i] < trigger.Length);
            else
                FUZZ_CHECK(trigger.MatchState[i] == 0);
        }
        const bool endsWithPattern = received.size() >= pattern.size()
            && received.compare(received.size() - pattern.size(), pattern.size(), pattern) == 0;
        if (matched) {
            FUZZ_CHECK(endsWithPattern);
            const auto begun = std::count_if(
                trigger.MatchState.begin(), trigger.MatchState.end(), [](uint16_t state) { return state != 0; });
            FUZZ_CHECK(begun <= 1);
            if (begun == 1)
                FUZZ_CHECK(trigger.Length > 1 && static_cast<uint8_t>(received.back()) == trigger.Pattern[0]);
        }
        if (distinct)
            FUZZ_CHECK(matched == endsWithPattern);
        if (received.size() > 4096)
            received.erase(0, received.size() - 64); // only the tail is ever compared
    }
    return 0;
}

} // namespace

FUZZ_TARGET("trigger_matcher", FuzzTriggerMatcher)
