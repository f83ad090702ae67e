#pragma once
// The integer conversion the instrument's numbers go through: optional leading
// blanks, then an optional "+" or "-" and decimal digits, or "$" and
// hexadecimal digits. Anything else (trailing blanks, an empty field, a number
// that does not fit 32 bits) is a conversion failure.
#include <cstdint>
#include <optional>
#include <string_view>

namespace zop {

std::optional<int32_t> TextToInteger(std::string_view text);

} // namespace zop
