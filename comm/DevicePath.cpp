#include "comm/DevicePath.h"

#include <cstdlib>

#include "comm/IniFile.h"

namespace zop {
namespace {

// The port number of "COMn" or "\\.\COMn" (ASCII case ignored), or 0.
int ComNumber(const std::string& name)
{
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0)
        rest = rest.substr(4);
    if (rest.size() < 4)
        return 0;
    for (int i = 0; i < 3; ++i) {
        const char c = static_cast<char>(rest[i] & ~0x20);
        if (c != "COM"[i])
            return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9' || number > 999)
            return 0;
        number = number * 10 + (rest[i] - '0');
    }
    return number;
}

std::string DefaultPath(int number)
{
    switch (number) {
    case 1:
        return "/dev/ttyUSB0";
    case 2:
        return "/dev/ttyUSB1";
    case 3:
        return "/dev/ttyS0";
    case 4:
        return "/dev/ttyS1";
    default:
        return {};
    }
}

} // namespace

std::string PortConfigPath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config)
        return std::string(config) + "/Tracelet ZOP5.ini";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/Tracelet ZOP5.ini";
}

std::string ResolveDevicePath(const std::string& name)
{
    const int number = ComNumber(name);
    if (number == 0)
        return name;
    const std::string key = "COM" + std::to_string(number);
    if (const char* value = std::getenv(("ZOP5_" + key).c_str()))
        return value;
    if (auto value = IniFile::Load(PortConfigPath()).Value("Ports", key))
        return *value;
    return DefaultPath(number);
}

} // namespace zop
