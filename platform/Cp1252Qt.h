#pragma once
// The widget boundary: the program's Windows-1252 texts to and from QString.
#include <QString>
#include <string>
#include <string_view>

namespace zop {

QString ToQString(std::string_view cp1252);
// Characters the code page cannot hold become '?'.
std::string FromQString(const QString& text);

} // namespace zop
