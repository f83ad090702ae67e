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

    // `text` with `key` of `group` set to `value`, written so that this
    // reader and the configuration store read it back as it is (in double
    // quotes with '"' and '\\' escaped when it holds a character with a
    // meaning there). The first such key of the first such group is replaced
    // and any later ones removed, else the key is added after the group's
    // last line, else the group is added at the end. Every other line stays.
    static std::string WithValue(
        const std::string& text, const std::string& group, const std::string& key, const std::string& value);

    // The value of key in group (both compared without regard to ASCII case);
    // nothing when the key is absent.
    std::optional<std::string> Value(const std::string& group, const std::string& key) const;

private:
    std::map<std::string, std::string> m_values; // "group/key" folded to lower case
};

} // namespace zop
