#pragma once
// The one number format of every measurement the program shows: three
// significant digits, fixed notation from 0.0001 up to below 1000, scientific
// notation ("1.6E3", "5E-5") outside that range.
#include <string>

namespace zop {

// The decimal separator of the user's regional settings; a point unless the
// window sets it from the platform at start-up.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// x rounded to 3 significant digits, halves away from zero, trailing zeros
// dropped: 157.48 -> "157", 0.015748 -> "0.0157", 1600 -> "1.6E3",
// 999.7 -> "1E3", -1.5748 -> "-1.57", 0 -> "0".
std::string FormatGeneral3(long double x, char decimalSeparator);
std::string FormatGeneral3(long double x);

} // namespace zop
