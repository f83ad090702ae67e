#pragma once
// A small reader of INI files as the configuration store writes them:
// "[Group]" lines, "key=value" lines, values optionally in double quotes with
// backslash escapes. Lines starting with ';' or '#' are comments.
#include <map>
#include <optional>
#include <string>

namespace zop {

class IniFile {
public:
    // An empty reader when the file cannot be read.
    static IniFile Load(const std::string& path);
    static IniFile Parse(const std::string& text);

    // The value of key in group (both compared without regard to ASCII case);
    // nothing when the key is absent.
    std::optional<std::string> Value(const std::string& group, const std::string& key) const;

private:
    std::map<std::string, std::string> m_values; // "group/key" folded to lower case
};

} // namespace zop
