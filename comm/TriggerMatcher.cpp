#include "comm/Triggers.h"

namespace zop {

bool MatchDataTrigger(DataTrigger& trigger, std::uint8_t byte)
{
    const int length = trigger.Length;
    if (length == 0)
        return false;
    if (trigger.IgnoreCase)
        byte = FoldCase(byte);
    const std::uint8_t first = trigger.Pattern[0];
    auto& state = trigger.MatchState;

    bool result = false;
    bool started = false;
    bool process = true;
    for (int i = 0; i < length; ++i) {
        if (process) {
            const std::uint16_t matched = state[i];
            if (trigger.Pattern[matched] == byte) {
                if (matched == length - 1) {
                    result = true;
                    state.fill(0);
                } else {
                    state[i] = matched + 1;
                }
            } else if (first == byte) {
                state[i] = 1;
                started = true;
            } else {
                state[i] = 0;
            }
        }
        if (state[i] == 1)
            started = true;
        if (i + 1 < length)
            process = started ? state[i + 1] != 0 : (state[i + 1] != 0 || first == byte);
    }
    return result;
}

} // namespace zop
