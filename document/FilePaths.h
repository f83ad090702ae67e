#pragma once
// Names of files as the document commands take them apart. Paths are native
// bytes; the folder separator is '/'.
#include <string>
#include <string_view>

namespace zop {

// The extension with its dot, from the last '.' after the last separator;
// empty when there is none ("/a.b/c" has none).
std::string_view FileExtension(std::string_view path);

// Replaces the extension by `extension` (which carries its dot); a name
// without one gets it appended. "" becomes just the extension.
std::string ChangeFileExtension(std::string_view path, std::string_view extension);

// The name after the last separator.
std::string_view FileNameOnly(std::string_view path);

} // namespace zop
