#pragma once
// A clock for tests: the date and time the commands read are what the test
// set, and stay so until it sets others.
#include <string>
#include <utility>

#include "document/DocumentCommands.h"

namespace zop::test {

class FixedClock final : public DateTimeSource {
public:
    FixedClock() = default;
    FixedClock(std::string date, std::string time)
        : Date(std::move(date))
        , Time(std::move(time))
    {
    }

    std::string Date = "07-12-2026";
    std::string Time = "10:00:00";

    std::string CurrentDate() override { return Date; }
    std::string CurrentTime() override { return Time; }
};

} // namespace zop::test
