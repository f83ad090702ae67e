#pragma once
// A small reader of INI files as the configuration store writes them:
// "[Group]" lines, "key=value" lines, values optionally in double quotes with
// backslash escapes. Lines starting with ';' or '#' are comments.
#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace zop {

// The configuration file is read only when it is a regular file of at most
// this size: the program writes a few lines, and a pipe, a device or a huge
// file must neither block a start nor fill the memory.
inline constexpr std::size_t ConfigFileLimit = 256 * 1024;

// Whether the configuration file at `path` may be read and written: it is
// missing (a write creates it) or a regular file within ConfigFileLimit.
// Anything else is reported (see SetConfigFileReporter) and must be treated
// as absent and never written through.
bool ConfigFileUsable(const std::string& path);

// The configuration file's bytes when it is usable; when it is not, why not
// (Problem); neither when it is missing.
struct ConfigFileContents {
    std::optional<std::string> Text;
    std::string Problem;
};
ConfigFileContents LoadConfigFile(const std::string& path);

// The bytes of the configuration file at `path`; nothing when it is missing
// or not usable (the latter reported).
std::optional<std::string> ReadConfigFile(const std::string& path);

// Who hears why a configuration file is ignored, once per process: a
// command-line program prints it, the window takes the file as absent
// without a word (no reporter).
using ConfigFileReporter = void (*)(const std::string& path, const std::string& reason);
void SetConfigFileReporter(ConfigFileReporter reporter);

class IniFile {
public:
    // An empty reader when the file cannot be read or is not usable.
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
