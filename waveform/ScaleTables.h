#pragma once
// The instrument's time-base and sensitivity settings. Each row carries the
// label shown to the user, the texts the instrument sends, and the numbers
// that turn sample counts into volts and sample distances into seconds.
// Texts are Windows-1252 bytes; the micro sign is 0xB5.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zop {

struct TimeBaseRow {
    std::string_view TimeDivLabel; // "2\xB5s/div"
    std::string_view SampleLabel; // "0.2us/Sample", as the instrument writes it
    std::string_view SampleLabelPadded; // right-aligned to 12 characters
    long double SamplePeriod; // in TimePrefix units
    std::string_view TimePrefix; // "\xB5", "m" or ""
    int32_t PrefixDivisor; // TimePrefix units per second
};

struct SensitivityRow {
    std::string_view VoltDivLabelX1;
    std::string_view VoltDivLabelX10;
    std::string_view FullScaleLabel; // the instrument's two forms of its range
    std::string_view RangeLabel;
    long double VoltsPerCountX1; // the constants as the instrument's maker lists them
    std::string_view VoltPrefixX1; // "m" or ""
    long double VoltsPerCountX10;
    std::string_view VoltPrefixX10;
};

constexpr int TimeBaseRows = 22;
constexpr int SensitivityRows = 12;

extern const std::array<TimeBaseRow, TimeBaseRows> TimeBaseTable;
extern const std::array<SensitivityRow, SensitivityRows> SensitivityTable;

bool ValidTimeIndex(int32_t index);
bool ValidVoltIndex(int32_t index);
bool ValidProbeFactor(int32_t factor);

// Lookups by 1-based index; the index must be valid.
const TimeBaseRow& TimeRow(int32_t timeIndex);
const SensitivityRow& VoltRow(int32_t voltIndex);

std::string_view TimeLabel(int32_t timeIndex);
// The x1 column for probe factor 1, the x10 column otherwise.
std::string_view VoltsLabel(int32_t voltIndex, int32_t probeFactor);

struct VoltScale {
    long double VoltsPerCount;
    std::string_view Prefix; // "m" (millivolts) or "" (volts)
};
VoltScale VoltsPerCount(int32_t voltIndex, int32_t probeFactor);

// Labels read from files: compared upper-cased (ASCII letters only); the last
// matching row wins.
struct TimeMatch {
    int32_t Index;
};
std::optional<TimeMatch> FindTimeIndex(std::string_view text);

// The x1 column first; only when no x1 label matched, the x10 column.
struct VoltMatch {
    int32_t Index;
    int32_t ProbeFactor;
};
std::optional<VoltMatch> FindVoltIndex(std::string_view text);

// Conversions.
// n counts in the unit of the volts prefix.
long double CountsToVolts(int32_t counts, int32_t voltIndex, int32_t probeFactor);
// k sample steps in TimePrefix units.
long double StepsToTime(int32_t steps, int32_t timeIndex);
// Hertz of a time t in TimePrefix units (t not 0).
long double TimeToFrequency(long double t, int32_t timeIndex);

} // namespace zop
