#include "tools/ToolOptions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "tools/ToolCommand.h"
#include "waveform/Cp1252.h"
#include "waveform/WaveformRecord.h"

namespace zop {

int32_t ParseProbe(std::string_view text)
{
    if (EqualsIgnoreAsciiCase(text, "x1"))
        return 1;
    if (EqualsIgnoreAsciiCase(text, "x10"))
        return 10;
    throw UsageError("--probe: expected x1 or x10: " + std::string(text));
}

TraceMode ParseMode(std::string_view text)
{
    if (EqualsIgnoreAsciiCase(text, "dot"))
        return TraceMode::Dot;
    if (EqualsIgnoreAsciiCase(text, "bar"))
        return TraceMode::Bar;
    if (EqualsIgnoreAsciiCase(text, "smooth"))
        return TraceMode::Smooth;
    throw UsageError("--mode: expected dot, bar or smooth: " + std::string(text));
}

long ParseWhole(std::string_view option, std::string_view text, long low, long high)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw UsageError(std::string(option) + ": expected a whole number " + std::to_string(low) + ".."
            + std::to_string(high) + ": " + std::string(text));
    return value;
}

double ParseSeconds(std::string_view option, std::string_view text, double high)
{
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value) || value < 0 || value > high)
        throw UsageError(
            std::string(option) + ": expected seconds 0.." + std::to_string(static_cast<long>(high)) + ": " + copy);
    return value;
}

CursorColumns ParseCursorColumns(std::string_view text)
{
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        throw UsageError("--cursors: expected two sample columns C1,C2: " + std::string(text));
    return { static_cast<int>(ParseWhole("--cursors", text.substr(0, comma), 0, SampleCount - 1)),
        static_cast<int>(ParseWhole("--cursors", text.substr(comma + 1), 0, SampleCount - 1)) };
}

int ReportUsageError(std::string_view command, std::string_view message)
{
    std::fprintf(stderr, "zop5-tool %.*s: %.*s\nTry 'zop5-tool %.*s --help'.\n", static_cast<int>(command.size()),
        command.data(), static_cast<int>(message.size()), message.data(), static_cast<int>(command.size()),
        command.data());
    return ExitUsage;
}

const char* FailureText(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return OutOfMemoryText;
    return error.what();
}

std::string JsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonNumber(std::optional<long double> value)
{
    if (!value || !std::isfinite(*value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.10Lg", *value);
    return text;
}

} // namespace zop
