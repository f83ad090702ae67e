// The reader of the configuration file ([Ports] maps COM1..COM4 to devices)
// fed arbitrary text.
//
// Checked: the line ends (LF or CR LF) never change a value; groups and keys
// are found whatever their ASCII case; a group appended after any text wins
// over everything before it, and a quoted value with backslash escapes comes
// back byte for byte, whatever bytes it holds.
#include <string>
#include <vector>

#include "comm/IniFile.h"
#include "fuzz/FuzzCheck.h"

namespace {

using namespace zop;

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Names to look up: those the program uses, and the words that stand before
// '=' or between brackets in the text (a few of them).
void CollectNames(const std::string& text, std::vector<std::string>& groups, std::vector<std::string>& keys)
{
    groups = { "Ports", "Configuration", "" };
    keys = { "COM1", "COM2", "COM3", "COM4", "ViewMode" };
    std::size_t start = 0;
    while (start <= text.size() && groups.size() < 8 && keys.size() < 12) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trimmed(text.substr(start, end - start));
        if (!line.empty() && line.front() == '[') {
            groups.push_back(Trimmed(line.substr(1, line.find(']') == std::string::npos ? 0 : line.find(']') - 1)));
        } else if (const auto equals = line.find('='); equals != std::string::npos) {
            keys.push_back(Trimmed(line.substr(0, equals)));
        }
        start = end + 1;
    }
}

// A value written as the configuration store quotes it.
std::string Quoted(const std::string& value)
{
    std::string out = "\"";
    for (const char c : value) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
        case '"':
            out += '\\';
            out += c;
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

int FuzzIniFile(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const IniFile ini = IniFile::Parse(text);

    std::string crlf;
    for (const char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const IniFile withCrLf = IniFile::Parse(crlf);

    std::vector<std::string> groups;
    std::vector<std::string> keys;
    CollectNames(text, groups, keys);
    for (const std::string& group : groups) {
        for (const std::string& key : keys) {
            const auto value = ini.Value(group, key);
            FUZZ_CHECK(withCrLf.Value(group, key) == value);
            FUZZ_CHECK(ini.Value(Upper(group), Upper(key)) == value);
            if (value)
                FUZZ_CHECK(value->find('\n') == std::string::npos || text.find("\\n") != std::string::npos);
        }
    }

    // Whatever came before, a group appended on a line of its own is read,
    // and its quoted value comes back as written.
    const std::string value = text.substr(0, std::min<std::size_t>(text.size(), 64));
    const IniFile appended = IniFile::Parse(text + "\n[Ports]\nCOM1=" + Quoted(value) + "\n");
    FUZZ_CHECK(appended.Value("ports", "com1") == value);
    FUZZ_CHECK(appended.Value("PORTS", "COM1") == value);
    return 0;
}

} // namespace

FUZZ_TARGET("ini_file", FuzzIniFile)
