#pragma once
// The report sheet the picture tests draw: a flat trace at 100 shown in dots
// over a zero reference of 127, four crosses, a description, date and time,
// the settings panels but `emptyPanel`, and two of the three cursor readouts.
#include <cstddef>
#include <string>

#include "output/ReportSheet.h"

namespace zop::test {

inline SheetContent RippleSheet(size_t emptyPanel)
{
    SheetContent sheet;
    for (size_t i = 0; i < SampleCount; ++i)
        sheet.Record.Samples[i] = 100;
    sheet.Record.ZeroRef = 127;
    sheet.Mode = TraceMode::Dot;
    sheet.Cursors = { 40, 60, 200, 100 };
    sheet.Description = "Ripple";
    sheet.Date = "07-12-2026";
    sheet.Time = "09:15:00";
    sheet.SettingsPanel = { "10ms/div", "0.5V/div", "DC 1V", "Pp 3V", "RMS 1V", "3dB" };
    sheet.SettingsPanel.at(emptyPanel).clear();
    sheet.CursorReadouts = { "dV 1V", "", "F 500Hz" };
    return sheet;
}

} // namespace zop::test
