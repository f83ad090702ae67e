#pragma once
// The viewer's table of measurements: one row per capture, each value with
// its difference to the reference capture, and the table as CSV.
#include <optional>
#include <string>
#include <vector>

#include "viewer/Capture.h"

namespace zop::viewer {

enum class Unit { Text, Seconds, Volts, Hertz, Decibels, Share, Ratio };

struct Quantity {
    std::string Key; // CSV column name, e.g. "dc_volts"
    Unit Kind = Unit::Text;
};

struct Cell {
    std::string Text; // as shown
    std::optional<double> Value; // in seconds, volts, hertz, dB or a share; none: not measurable
};

// The columns after the capture's name, in order.
const std::vector<Quantity>& TableQuantities();

// The cells of one capture, in the order of TableQuantities(). The settings
// and the window's four measurements read exactly as the window shows them.
std::vector<Cell> MeasureCapture(const Capture& capture, char decimalSeparator);

// A value with an SI prefix and its unit: "1.57 mV", "500 Hz", "-3.2 dB",
// "48.4 %"; "-" when there is none.
std::string FormatQuantity(std::optional<double> value, Unit unit, char decimalSeparator);
// The same with a sign, for a difference: "+30 mV", "-1.2 kHz", "0 V".
std::string FormatDifference(std::optional<double> value, Unit unit, char decimalSeparator);
// A value minus the reference's; none when either is not measurable.
std::optional<double> Difference(const Cell& cell, const Cell& reference);

struct TableRow {
    std::string Name;
    std::string Description;
    std::string Date;
    std::string Time;
    std::vector<Cell> Cells;
};

// The table as CSV (RFC 4180, UTF-8): a header line, then one line per row
// with each value in plain units and, for numeric columns, its difference to
// row `reference` (none: no difference columns are filled).
std::string TableCsv(const std::vector<TableRow>& rows, std::optional<size_t> reference);

} // namespace zop::viewer
