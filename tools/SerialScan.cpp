#include "tools/SerialScan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "comm/DevicePath.h"
#include "comm/IniFile.h"

namespace zop {

namespace {

// The name families of serial devices, in the order they are listed.
constexpr std::array Families = { "ttyUSB", "ttyACM", "ttyAMA", "rfcomm", "ttyS" };

bool IsConsoleFamily(const std::string& name)
{
    return name.starts_with("ttyS");
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// "a/b/../c" as "a/c", without asking the file system.
std::string Normalise(const std::string& path)
{
    std::vector<std::string> parts;
    std::istringstream in(path);
    for (std::string part; std::getline(in, part, '/');) {
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else
            parts.push_back(part);
    }
    std::string out = path.starts_with('/') ? "" : ".";
    for (const std::string& part : parts)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

std::optional<std::string> ReadLink(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0)
        return std::nullopt;
    return std::string(target, static_cast<size_t>(length));
}

std::optional<std::string> RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return std::nullopt;
    return std::string(resolved);
}

// The first line of a small sysfs file, trimmed; empty when absent.
std::string ReadAttribute(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

std::vector<std::string> ListDirectory(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

// ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b)
{
    const auto split = [](const std::string& name) {
        size_t digits = name.size();
        while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
            --digits;
        return std::pair(name.substr(0, digits), digits < name.size() ? std::stoull(name.substr(digits)) : 0ULL);
    };
    return split(a) < split(b);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The driver and USB identity of a tty from /sys/class/tty/NAME/device and
// the devices above it.
void DescribeFromSysfs(const MachineRoots& roots, const std::string& name, SerialDevice& device)
{
    const std::optional<std::string> start = RealPath(roots.Sys + "/class/tty/" + name + "/device");
    const std::optional<std::string> top = RealPath(roots.Sys);
    if (!start || !top)
        return;
    for (std::string dir = *start; dir.starts_with(*top + "/") && dir.size() > top->size(); dir = DirName(dir)) {
        if (device.Driver.empty())
            if (const auto driver = ReadLink(dir + "/driver");
                driver && driver->find("/serial-base/") == std::string::npos)
                device.Driver = BaseName(*driver);
        if (!device.Usb && access((dir + "/idVendor").c_str(), F_OK) == 0)
            device.Usb = UsbIdentity { ReadAttribute(dir + "/idVendor"), ReadAttribute(dir + "/idProduct"),
                ReadAttribute(dir + "/manufacturer"), ReadAttribute(dir + "/product"), ReadAttribute(dir + "/serial") };
        if (!device.Driver.empty() && device.Usb)
            break;
    }
}

// The names the kernel uses for its consoles ("tty0 ttyS0").
std::vector<std::string> ActiveConsoles(const MachineRoots& roots)
{
    std::vector<std::string> names;
    std::istringstream in(ReadAttribute(roots.Sys + "/class/tty/console/active"));
    for (std::string name; in >> name;)
        names.push_back(name);
    return names;
}

// The process of a lock file "LCK..NAME" another program left for the node
// named NAME, when that process still runs. The file holds the process id as
// text (or, from old programs, as a binary int).
std::optional<DeviceHolder> LockFileHolder(const MachineRoots& roots, const std::string& name)
{
    std::ifstream file(roots.Lock + "/LCK.." + name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    // Text is digits among blanks and a line end ("123\n" is four bytes too,
    // like a binary int).
    const bool asText = std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) || std::isspace(c);
    }) && std::any_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    long pid = 0;
    if (asText) {
        pid = std::strtol(text.c_str(), nullptr, 10);
    } else if (text.size() == sizeof(int)) {
        int binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        pid = binary;
    }
    if (pid <= 0 || pid == getpid() || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return std::nullopt; // a stale lock
    DeviceHolder holder { static_cast<pid_t>(pid), "", true };
    std::ifstream(roots.Proc + "/" + std::to_string(pid) + "/comm") >> holder.Command;
    return holder;
}

} // namespace

bool SerialDevice::Locked() const
{
    return std::any_of(Holders.begin(), Holders.end(), [](const DeviceHolder& h) { return h.Locks; });
}

MachineRoots RootsFromEnvironment()
{
    MachineRoots roots;
    if (const char* dev = std::getenv("ZOP5_DEV_ROOT"); dev && *dev)
        roots.Dev = dev;
    if (const char* sys = std::getenv("ZOP5_SYS_ROOT"); sys && *sys)
        roots.Sys = sys;
    if (const char* lock = std::getenv("ZOP5_LOCK_DIR"); lock && *lock)
        roots.Lock = lock;
    return roots;
}

ComMapping PortMapping(int number)
{
    const std::string key = "COM" + std::to_string(number);
    const std::string variable = "ZOP5_" + key;
    std::string source = "default";
    if (std::getenv(variable.c_str()))
        source = variable;
    else if (IniFile::Load(PortConfigPath()).Value("Ports", key))
        source = PortConfigPath();
    return { number, ResolveDevicePath(key), source };
}

ScanResult ScanSerialDevices(const MachineRoots& roots, ProbeDevices probe)
{
    ScanResult result;
    const std::vector<std::string> consoles = ActiveConsoles(roots);

    // The nodes by name, then whatever a by-id link leads to besides.
    std::vector<std::string> nodes;
    std::vector<std::string> entries = ListDirectory(roots.Dev);
    std::sort(entries.begin(), entries.end(), NaturalLess);
    for (const char* family : Families)
        for (const std::string& name : entries) {
            if (!name.starts_with(family) || name.size() == std::string_view(family).size())
                continue;
            const std::string type = ReadAttribute(roots.Sys + "/class/tty/" + name + "/type");
            if (IsConsoleFamily(name) && type == "0") {
                ++result.HiddenUartless; // a port the kernel reserves with no UART behind it
                continue;
            }
            nodes.push_back(roots.Dev + "/" + name);
        }
    const std::string byIdDir = roots.Dev + "/serial/by-id";
    std::vector<std::string> links = ListDirectory(byIdDir);
    std::sort(links.begin(), links.end());
    std::vector<std::pair<std::string, std::string>> byId; // link, node it names
    for (const std::string& name : links) {
        const std::string link = byIdDir + "/" + name;
        const std::optional<std::string> target = ReadLink(link);
        std::string node = target ? Normalise(target->starts_with('/') ? *target : byIdDir + "/" + *target) : link;
        if (std::find(nodes.begin(), nodes.end(), node) == nodes.end())
            nodes.push_back(node);
        byId.emplace_back(link, node);
    }

    std::array<ComMapping, 4> mappings;
    std::array<std::optional<struct stat>, 4> mapped;
    for (int n = 1; n <= 4; ++n) {
        mappings[n - 1] = PortMapping(n);
        struct stat info { };
        if (!mappings[n - 1].Device.empty() && stat(mappings[n - 1].Device.c_str(), &info) == 0)
            mapped[n - 1] = info;
        result.Ports.push_back(mappings[n - 1]);
    }

    for (const std::string& node : nodes) {
        SerialDevice device;
        device.Node = node;
        const std::string name = BaseName(node);
        struct stat info { };
        device.Present = stat(node.c_str(), &info) == 0;
        const std::optional<std::string> real = RealPath(node);
        device.Console = IsConsoleFamily(name) || std::find(consoles.begin(), consoles.end(), name) != consoles.end()
            || (real
                && (real->starts_with("/dev/ttyS") || real == "/dev/console"
                    || std::find(consoles.begin(), consoles.end(), BaseName(*real)) != consoles.end()));
        for (const auto& [link, named] : byId) {
            struct stat linked { };
            if (named == node || (device.Present && stat(link.c_str(), &linked) == 0 && SameFile(linked, info)))
                device.ById.push_back(link);
        }
        DescribeFromSysfs(roots, name, device);
        for (int n = 1; n <= 4; ++n)
            if (mappings[n - 1].Device == node || (device.Present && mapped[n - 1] && SameFile(*mapped[n - 1], info)))
                device.Ports.push_back(n);
        if (device.Present) {
            device.CharacterDevice = S_ISCHR(info.st_mode);
            device.Mode = ModeText(info.st_mode);
            device.Owner = OwnerName(info.st_uid);
            device.Group = GroupName(info.st_gid);
            device.PermissionProblem = PermissionProblem(node, info);
            device.Holders = FindHolders(node, info, roots.Proc);
            // A lock file goes by the name of the node the program opened:
            // this one or the one it leads to.
            for (const std::string& named : { name, real ? BaseName(*real) : name })
                if (auto locker = LockFileHolder(roots, named)) {
                    auto known = std::find_if(device.Holders.begin(), device.Holders.end(),
                        [&](const DeviceHolder& h) { return h.Pid == locker->Pid; });
                    if (known != device.Holders.end())
                        known->Locks = true;
                    else
                        device.Holders.push_back(*locker);
                }
        }
        if (probe == ProbeDevices::Yes && !device.Console)
            device.Probe = DiagnoseDevice("", node);
        result.Devices.push_back(std::move(device));
    }
    return result;
}

} // namespace zop
