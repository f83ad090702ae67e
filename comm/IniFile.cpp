#include "comm/IniFile.h"

#include <fstream>
#include <sstream>

namespace zop {
namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Unquote(const std::string& value)
{
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        // A comment after an unquoted value: "COM1=/dev/ttyUSB0   ; adapter".
        for (std::size_t i = 1; i < value.size(); ++i)
            if (value[i] == ';' && (value[i - 1] == ' ' || value[i - 1] == '\t'))
                return Trim(value.substr(0, i));
        return value;
    }
    std::string out;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 2 < value.size()) {
            c = value[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 't')
                c = '\t';
            else if (c == 'r')
                c = '\r';
        }
        out += c;
    }
    return out;
}

} // namespace

IniFile IniFile::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

IniFile IniFile::Parse(const std::string& text)
{
    IniFile ini;
    std::string group;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            group = close == std::string::npos ? std::string() : Lower(Trim(line.substr(1, close - 1)));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        if (!key.empty())
            ini.m_values[group + "/" + key] = Unquote(Trim(line.substr(equals + 1)));
    }
    return ini;
}

std::optional<std::string> IniFile::Value(const std::string& group, const std::string& key) const
{
    const auto found = m_values.find(Lower(group) + "/" + Lower(key));
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

} // namespace zop
