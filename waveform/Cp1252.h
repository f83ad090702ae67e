#pragma once
// Texts of the program are single bytes in the Windows-1252 code page (the
// micro sign is 0xB5). They are converted to Unicode only at the edges: the
// widgets, the terminal and exported UTF-8 formats.
#include <string>
#include <string_view>

namespace zop {

// The Unicode code point of a Windows-1252 byte. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the
// same number, as the platform's converters do, so every byte round-trips.
char32_t Cp1252ToUnicode(unsigned char byte);

// The Windows-1252 byte of a code point, or -1 when the code page has none.
int UnicodeToCp1252(char32_t codePoint);

std::string Cp1252ToUtf8(std::string_view text);

// Characters without a Windows-1252 byte, and malformed UTF-8, become
// `replacement`.
std::string Utf8ToCp1252(std::string_view utf8, char replacement = '?');

// Upper case of ASCII letters only; every other byte (the micro sign too) is
// left as it is.
std::string UpperAscii(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

} // namespace zop
