#pragma once
// Option values shared by the commands of zop5-tool, and the way each command
// reports a usage error.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "document/FormState.h"

namespace zop {

// A command line the command cannot run: exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "x1" or "x10" (any letter case): the probe factor 1 or 10.
int32_t ParseProbe(std::string_view text);
// "dot", "bar" or "smooth" (any letter case).
TraceMode ParseMode(std::string_view text);

// Two sample columns "C1,C2", each 0..95.
struct CursorColumns {
    int First = 0;
    int Second = 0;
};
CursorColumns ParseCursorColumns(std::string_view text);

// A whole number low..high, else a UsageError naming `option`.
long ParseWhole(std::string_view option, std::string_view text, long low, long high);
// Seconds (a decimal number) 0..high.
double ParseSeconds(std::string_view option, std::string_view text, double high);

// Prints "zop5-tool COMMAND: MESSAGE" and the hint to --help on standard
// error and returns the usage exit status.
int ReportUsageError(std::string_view command, std::string_view message);

// JSON text of a UTF-8 string, with quotes.
std::string JsonString(std::string_view utf8);
// JSON number, or null when absent.
std::string JsonNumber(std::optional<long double> value);

} // namespace zop
