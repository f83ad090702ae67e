#include "comm/IniFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zop {
namespace {

std::atomic<ConfigFileReporter> g_reporter { nullptr };
std::atomic<bool> g_reported { false };

void Report(const std::string& path, const std::string& reason)
{
    const ConfigFileReporter reporter = g_reporter.load();
    if (reporter && !g_reported.exchange(true))
        reporter(path, reason);
}

std::string TooLarge()
{
    return "larger than " + std::to_string(ConfigFileLimit / 1024) + " KiB";
}

// Why the file behind `info` is no configuration file, or empty when it is one.
std::string Unusable(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return std::strerror(EISDIR);
    if (!S_ISREG(info.st_mode))
        return "not a regular file";
    if (static_cast<unsigned long long>(info.st_size) > ConfigFileLimit)
        return TooLarge();
    return {};
}

bool Missing(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

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

// A value as written into the file: plain when it holds only characters
// without a meaning in an INI file, else quoted.
std::string Written(const std::string& value)
{
    bool plain = true;
    for (const char c : value)
        plain = plain
            && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.'
                || c == '_' || c == '-' || c == '+' || c == ':' || c == '@');
    if (plain)
        return value;
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

void SetConfigFileReporter(ConfigFileReporter reporter)
{
    g_reporter = reporter;
}

bool ConfigFileUsable(const std::string& path)
{
    struct stat info { };
    if (stat(path.c_str(), &info) != 0) {
        if (Missing(errno))
            return true;
        Report(path, std::strerror(errno));
        return false;
    }
    const std::string reason = Unusable(info);
    if (!reason.empty())
        Report(path, reason);
    return reason.empty();
}

ConfigFileContents LoadConfigFile(const std::string& path)
{
    // Looked at before it is opened: opening a device may do something.
    struct stat info { };
    if (stat(path.c_str(), &info) != 0)
        return { std::nullopt, Missing(errno) ? std::string() : std::strerror(errno) };
    if (std::string reason = Unusable(info); !reason.empty())
        return { std::nullopt, reason };
    // Without waiting, and checked again once open: the name may have been
    // given to a pipe in between.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return { std::nullopt, Missing(errno) ? std::string() : std::strerror(errno) };
    std::string text;
    std::string reason = fstat(fd, &info) == 0 ? Unusable(info) : std::strerror(errno);
    if (reason.empty()) {
        char buffer[8192];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                reason = std::strerror(errno);
                break;
            }
            if (got == 0)
                break;
            text.append(buffer, static_cast<std::size_t>(got));
            if (text.size() > ConfigFileLimit) {
                reason = TooLarge();
                break;
            }
        }
    }
    close(fd);
    if (!reason.empty())
        return { std::nullopt, reason };
    return { std::move(text), {} };
}

std::optional<std::string> ReadConfigFile(const std::string& path)
{
    ConfigFileContents contents = LoadConfigFile(path);
    if (!contents.Problem.empty())
        Report(path, contents.Problem);
    return std::move(contents.Text);
}

IniFile IniFile::Load(const std::string& path)
{
    const std::optional<std::string> text = ReadConfigFile(path);
    return text ? Parse(*text) : IniFile {};
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

std::string IniFile::WithValue(
    const std::string& text, const std::string& group, const std::string& key, const std::string& value)
{
    const std::string wantedGroup = Lower(group);
    const std::string wantedKey = Lower(key);
    const std::string line = key + "=" + Written(value);
    const std::string end = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string one; std::getline(in, one);) {
        if (!one.empty() && one.back() == '\r')
            one.pop_back();
        lines.push_back(one);
    }

    bool inGroup = false;
    int groupsSeen = 0;
    bool written = false;
    std::optional<size_t> insertAt; // after the last line of the first such group that is not blank
    std::vector<std::string> out;
    for (const std::string& one : lines) {
        const std::string trimmed = Trim(one);
        if (trimmed.starts_with('[')) {
            const auto close = trimmed.find(']');
            inGroup = close != std::string::npos && Lower(Trim(trimmed.substr(1, close - 1))) == wantedGroup;
            groupsSeen += inGroup ? 1 : 0;
        } else if (inGroup && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#') {
            const auto equals = trimmed.find('=');
            if (equals != std::string::npos && Lower(Trim(trimmed.substr(0, equals))) == wantedKey) {
                if (!written)
                    out.push_back(line);
                written = true;
                continue;
            }
        }
        out.push_back(one);
        if (inGroup && groupsSeen == 1 && !trimmed.empty())
            insertAt = out.size();
    }
    if (!written && insertAt) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(*insertAt), line);
    } else if (!written) {
        while (!out.empty() && Trim(out.back()).empty())
            out.pop_back();
        if (!out.empty())
            out.push_back("");
        out.push_back("[" + group + "]");
        out.push_back(line);
    }
    std::string result;
    for (const std::string& one : out)
        result += one + end;
    return result;
}

} // namespace zop
