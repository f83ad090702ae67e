#include "display/FormatGeneral3.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zop {

namespace {

char g_decimalSeparator = '.';

// Three significant digits of a positive finite value and its decimal
// exponent e, with value = 0.d1d2d3 x 10^e. The value is first written out
// with 18 significant digits, as many as extended precision carries, and
// that decimal text is rounded: 0.00099995 therefore rounds up to 0.001
// although its binary form lies a hair below the half.
void ThreeDigits(long double magnitude, int digits[3], int& exponent)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17Le", magnitude); // d.ddddddddddddddddde[+-]xx
    int all[18];
    int n = 0;
    const char* p = text;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            all[n++] = *p - '0';
    exponent = std::atoi(p + 1) + 1;
    int carry = all[3] >= 5 ? 1 : 0;
    for (int i = 2; i >= 0; --i) {
        const int d = all[i] + carry;
        digits[i] = d % 10;
        carry = d / 10;
    }
    if (carry) { // 9.995 -> 10.0: one more digit before the point
        digits[0] = 1;
        digits[1] = 0;
        digits[2] = 0;
        ++exponent;
    }
}

} // namespace

char DecimalSeparator()
{
    return g_decimalSeparator;
}

void SetDecimalSeparator(char separator)
{
    g_decimalSeparator = separator;
}

std::string FormatGeneral3(long double x)
{
    return FormatGeneral3(x, g_decimalSeparator);
}

std::string FormatGeneral3(long double x, char decimalSeparator)
{
    if (std::isnan(x))
        return "NAN";
    if (std::isinf(x))
        return x < 0 ? "-INF" : "INF";
    if (x == 0)
        return "0";
    if (x < 0)
        return "-" + FormatGeneral3(-x, decimalSeparator);

    int digits[3];
    int e = 0;
    ThreeDigits(x, digits, e);
    int used = 3; // significant digits left after dropping trailing zeros
    while (used > 1 && digits[used - 1] == 0)
        --used;

    std::string out;
    if (e >= -3 && e <= 3) {
        if (e <= 0) {
            out = "0";
            out += decimalSeparator;
            out.append(static_cast<size_t>(-e), '0');
            for (int i = 0; i < used; ++i)
                out += static_cast<char>('0' + digits[i]);
        } else {
            for (int i = 0; i < e; ++i)
                out += static_cast<char>('0' + (i < used ? digits[i] : 0));
            if (used > e) {
                out += decimalSeparator;
                for (int i = e; i < used; ++i)
                    out += static_cast<char>('0' + digits[i]);
            }
        }
        return out;
    }
    out += static_cast<char>('0' + digits[0]);
    if (used > 1) {
        out += decimalSeparator;
        for (int i = 1; i < used; ++i)
            out += static_cast<char>('0' + digits[i]);
    }
    out += 'E';
    out += std::to_string(e - 1);
    return out;
}

} // namespace zop
