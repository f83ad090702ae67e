#include "waveform/ScaleTables.h"

#include <stdexcept>

#include "waveform/Cp1252.h"

namespace zop {

// clang-format off
const std::array<TimeBaseRow, TimeBaseRows> TimeBaseTable = {{
    {"2\xB5""s/div", "0.2us/Sample", "0.2us/Sample", 0.2L, "\xB5", 1000000},
    {"4\xB5""s/div", "0.4us/Sample", "0.4us/Sample", 0.4L, "\xB5", 1000000},
    {"10\xB5""s/div", "1us/Sample", "  1us/Sample", 1.0L, "\xB5", 1000000},
    {"20\xB5""s/div", "2us/Sample", "  2us/Sample", 2.0L, "\xB5", 1000000},
    {"50\xB5""s/div", "5us/Sample", "  5us/Sample", 5.0L, "\xB5", 1000000},
    {"0.1ms/div", "10us/Sample", " 10us/Sample", 10.0L, "\xB5", 1000000},
    {"0.2ms/div", "20us/Sample", " 20us/Sample", 0.02L, "m", 1000},
    {"0.5ms/div", "50us/Sample", " 50us/Sample", 0.05L, "m", 1000},
    {"1ms/div", "100us/Sample", "100us/Sample", 0.1L, "m", 1000},
    {"2ms/div", "200us/Sample", "200us/Sample", 0.2L, "m", 1000},
    {"5ms/div", "500us/Sample", "500us/Sample", 0.5L, "m", 1000},
    {"10ms/div", "1ms/Sample", "  1ms/Sample", 1.0L, "m", 1000},
    {"20ms/div", "2ms/Sample", "  2ms/Sample", 2.0L, "m", 1000},
    {"50ms/div", "5ms/Sample", "  5ms/Sample", 5.0L, "m", 1000},
    {"0.1s/div", "10ms/Sample", " 10ms/Sample", 10.0L, "m", 1000},
    {"0.2s/div", "20ms/Sample", " 20ms/Sample", 0.02L, "", 1},
    {"0.5s/div", "50ms/Sample", " 50ms/Sample", 0.05L, "", 1},
    {"1s/div", "100ms/Sample", "100ms/Sample", 0.1L, "", 1},
    {"2s/div", "200ms/Sample", "200ms/Sample", 0.2L, "", 1},
    {"5s/div", "500ms/Sample", "500ms/Sample", 0.5L, "", 1},
    {"10s/div", "1s/Sample", "   1s/Sample", 1.0L, "", 1},
    {"20s/div", "2s/Sample", "   2s/Sample", 2.0L, "", 1},
}};

const std::array<SensitivityRow, SensitivityRows> SensitivityTable = {{
    {"5mV/div", "50mV/div", "Full scale (254)= 40mV", "Range(254)= 40mV", 0.15748L, "m", 1.5748L, "m"},
    {"10mV/div", "0.1V/div", "Full scale (254)= 80mV", "Range(254)= 80mV", 0.31496L, "m", 3.1496L, "m"},
    {"20mV/div", "0.2V/div", "Full scale (254)= 160mV", "Range(254)=160mV", 0.62992L, "m", 0.0062992L, ""},
    {"50mV/div", "0.5V/div", "Full scale (254)= 400mV", "Range(254)=400mV", 1.5748L, "m", 0.015748L, ""},
    {"0.1V/div", "1V/div", "Full scale (254)= 800mV", "Range(254)= 0.8V", 3.1496L, "m", 0.031496L, ""},
    {"0.2V/div", "2V/div", "Full scale (254)= 1.6V", "Range(254)= 1.6V", 0.0062992L, "", 0.062992L, ""},
    {"0.4V/div", "4V/div", "Full scale (254)= 3.2V", "Range(254)= 3.2V", 0.012598L, "", 0.125984L, ""},
    {"1V/div", "10V/div", "Full scale (254)= 8V", "Range(254)=   8V", 0.031496L, "", 0.31496L, ""},
    {"2V/div", "20V/div", "Full scale (254)= 16V", "Range(254)=  16V", 0.062992L, "", 0.62992L, ""},
    {"4V/div", "40V/div", "Full scale (254)= 32V", "Range(254)=  32V", 0.12598L, "", 1.25984L, ""},
    {"8V/div", "80V/div", "Full scale (254)= 64V", "Range(254)=  64V", 0.2519685L, "", 2.519685L, ""},
    {"20V/div", "200V/div", "Full scale (254)= 160V", "Range(254)= 160V", 0.629921L, "", 6.29921L, ""},
}};
// clang-format on

bool ValidTimeIndex(int32_t index)
{
    return index >= 1 && index <= TimeBaseRows;
}
bool ValidVoltIndex(int32_t index)
{
    return index >= 1 && index <= SensitivityRows;
}
bool ValidProbeFactor(int32_t factor)
{
    return factor == 1 || factor == 10;
}

const TimeBaseRow& TimeRow(int32_t timeIndex)
{
    if (!ValidTimeIndex(timeIndex))
        throw std::out_of_range("time index outside 1..22");
    return TimeBaseTable[static_cast<size_t>(timeIndex - 1)];
}

const SensitivityRow& VoltRow(int32_t voltIndex)
{
    if (!ValidVoltIndex(voltIndex))
        throw std::out_of_range("volts index outside 1..12");
    return SensitivityTable[static_cast<size_t>(voltIndex - 1)];
}

std::string_view TimeLabel(int32_t timeIndex)
{
    return TimeRow(timeIndex).TimeDivLabel;
}

std::string_view VoltsLabel(int32_t voltIndex, int32_t probeFactor)
{
    const SensitivityRow& row = VoltRow(voltIndex);
    return probeFactor == 1 ? row.VoltDivLabelX1 : row.VoltDivLabelX10;
}

VoltScale VoltsPerCount(int32_t voltIndex, int32_t probeFactor)
{
    const SensitivityRow& row = VoltRow(voltIndex);
    if (probeFactor == 1)
        return { row.VoltsPerCountX1, row.VoltPrefixX1 };
    return { row.VoltsPerCountX10, row.VoltPrefixX10 };
}

std::optional<TimeMatch> FindTimeIndex(std::string_view text)
{
    const std::string wanted = UpperAscii(text);
    std::optional<TimeMatch> found;
    for (int32_t i = 1; i <= TimeBaseRows; ++i)
        if (UpperAscii(TimeRow(i).TimeDivLabel) == wanted)
            found = TimeMatch { i };
    return found;
}

std::optional<VoltMatch> FindVoltIndex(std::string_view text)
{
    const std::string wanted = UpperAscii(text);
    std::optional<VoltMatch> found;
    for (int32_t i = 1; i <= SensitivityRows; ++i)
        if (UpperAscii(VoltRow(i).VoltDivLabelX1) == wanted)
            found = VoltMatch { i, 1 };
    if (found)
        return found;
    for (int32_t i = 1; i <= SensitivityRows; ++i)
        if (UpperAscii(VoltRow(i).VoltDivLabelX10) == wanted)
            found = VoltMatch { i, 10 };
    return found;
}

long double CountsToVolts(int32_t counts, int32_t voltIndex, int32_t probeFactor)
{
    return counts * VoltsPerCount(voltIndex, probeFactor).VoltsPerCount;
}

long double StepsToTime(int32_t steps, int32_t timeIndex)
{
    return steps * TimeRow(timeIndex).SamplePeriod;
}

long double TimeToFrequency(long double t, int32_t timeIndex)
{
    return TimeRow(timeIndex).PrefixDivisor / t;
}

} // namespace zop
