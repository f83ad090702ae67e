#include "tools/PortDiagnosis.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace zop {

namespace {

std::string UserName()
{
    if (const passwd* entry = getpwuid(geteuid()))
        return entry->pw_name;
    return "$USER";
}

// Whether this process runs with `gid` among its groups.
bool ProcessHasGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(count > 0 ? count : 0));
    if (count > 0 && getgroups(count, groups.data()) == count)
        for (const gid_t member : groups)
            if (member == gid)
                return true;
    return false;
}

// Whether the user database lists the user as a member of `gid`.
bool ListedInGroup(gid_t gid)
{
    const passwd* user = getpwuid(geteuid());
    if (!user)
        return false;
    if (user->pw_gid == gid)
        return true;
    const group* entry = getgrgid(gid);
    if (!entry)
        return false;
    for (char** member = entry->gr_mem; member && *member; ++member)
        if (std::strcmp(*member, user->pw_name) == 0)
            return true;
    return false;
}

std::string Busy(const std::string& how, const std::vector<DeviceHolder>& holders)
{
    std::string text = "busy: " + how;
    std::string names;
    for (const DeviceHolder& holder : holders)
        names += (names.empty() ? "" : ", ") + HolderText(holder);
    if (!names.empty())
        text += " (held by " + names + ")";
    return text;
}

// What a failed open of an existing character device means.
DeviceDiagnosis OpenFailure(int error, const std::string& path, const struct stat& info)
{
    using Kind = DeviceDiagnosis::Kind;
    const std::string reason = std::strerror(error);
    switch (error) {
    case EBUSY:
        return { Kind::Busy, Busy("another program has it open exclusively", FindHolders(path, info)) };
    case EMFILE:
        return { Kind::NoDescriptors,
            "cannot open: " + reason + " (this program has too many files open; raise the limit: ulimit -n)" };
    case ENFILE:
        return { Kind::NoDescriptors,
            "cannot open: " + reason + " (the system has too many files open; close other programs)" };
    case ENXIO:
    case ENODEV:
    case EIO:
        return { Kind::Gone,
            "no device behind this node: " + reason
                + " (the adapter was unplugged or is not working, or it is a terminal this program has no part in)" };
    case ENOENT:
        return { Kind::Missing, "no such device (it went away; is the adapter plugged in?)" };
    case EACCES:
    case EPERM:
        return { Kind::NoPermission, "permission denied: " + reason };
    default:
        return { Kind::Failed, "cannot open: " + reason };
    }
}

} // namespace

std::string GroupName(gid_t gid)
{
    if (const group* entry = getgrgid(gid))
        return entry->gr_name;
    return std::to_string(gid);
}

std::string OwnerName(uid_t uid)
{
    if (const passwd* entry = getpwuid(uid))
        return entry->pw_name;
    return std::to_string(uid);
}

std::string ModeText(mode_t mode)
{
    std::string text = S_ISCHR(mode) ? "c" : S_ISFIFO(mode) ? "p" : S_ISDIR(mode) ? "d" : "-";
    const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    return text;
}

std::optional<std::string> PermissionProblem(const std::string& path, const struct stat& info)
{
    if (faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 || (errno != EACCES && errno != EPERM))
        return std::nullopt;
    const std::string group = GroupName(info.st_gid);
    std::string text = "permission denied (" + ModeText(info.st_mode) + ", owner '" + OwnerName(info.st_uid)
        + "', group '" + group + "'): ";
    if ((info.st_mode & 0060) != 0060)
        text += "only its owner may open it; ask the administrator to let group '" + group + "' read and write it";
    else if (ListedInGroup(info.st_gid) && !ProcessHasGroup(info.st_gid))
        text += "you are a member of group '" + group
            + "' but this login session is not yet: log out and in again (or run: newgrp " + group + ")";
    else
        text += "the device belongs to group '" + group + "'; join it with: sudo usermod -aG " + group + " "
            + UserName() + ", then log out and in again";
    return text;
}

std::vector<DeviceHolder> FindHolders(const std::string& path, const struct stat& info, const std::string& procRoot)
{
    std::vector<DeviceHolder> holders;
    const pid_t self = getpid();
    const auto holder = [&](pid_t pid) -> DeviceHolder& {
        for (DeviceHolder& known : holders)
            if (known.Pid == pid)
                return known;
        std::string command;
        std::ifstream(procRoot + "/" + std::to_string(pid) + "/comm") >> command;
        return holders.emplace_back(DeviceHolder { pid, command, false });
    };

    // "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"; a waiting lock has "->"
    // after the number. The file is named by major:minor (hex) and inode.
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
        static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks(procRoot + "/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string word; fields >> word;)
            field.push_back(word);
        if (field.size() < 6 || field[1] == "->" || field[5] != file)
            continue;
        const pid_t pid = static_cast<pid_t>(std::atoi(field[4].c_str()));
        if (pid > 0 && pid != self)
            holder(pid).Locks = true;
    }

    char resolved[PATH_MAX];
    const std::optional<std::string> real
        = realpath(path.c_str(), resolved) ? std::optional<std::string>(resolved) : std::nullopt;
    DIR* processes = real ? opendir(procRoot.c_str()) : nullptr;
    if (processes) {
        while (const dirent* process = readdir(processes)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(process->d_name));
            if (pid <= 0 || pid == self)
                continue;
            const std::string fdDir = procRoot + "/" + process->d_name + "/fd";
            DIR* descriptors = opendir(fdDir.c_str());
            if (!descriptors)
                continue;
            while (const dirent* descriptor = readdir(descriptors)) {
                char target[PATH_MAX];
                const ssize_t length = readlink((fdDir + "/" + descriptor->d_name).c_str(), target, sizeof target - 1);
                if (length > 0 && std::string_view(target, static_cast<size_t>(length)) == *real) {
                    holder(pid);
                    break;
                }
            }
            closedir(descriptors);
        }
        closedir(processes);
    }
    std::sort(holders.begin(), holders.end(), [](const auto& a, const auto& b) { return a.Pid < b.Pid; });
    return holders;
}

std::string HolderText(const DeviceHolder& holder)
{
    return std::to_string(holder.Pid) + (holder.Command.empty() ? "" : " (" + holder.Command + ")");
}

DeviceDiagnosis DiagnoseDevice(const std::string& port, const std::string& path)
{
    using Kind = DeviceDiagnosis::Kind;
    if (path.empty())
        return { Kind::NoDevice,
            "no device: mapped to nothing (set ZOP5_" + port + "=PATH or [Ports] " + port + "=PATH)" };
    struct stat info { };
    if (stat(path.c_str(), &info) != 0)
        return { Kind::Missing,
            errno == ENOENT ? "no such device (is the adapter plugged in?)"
                            : std::string("cannot look at the device: ") + std::strerror(errno) };
    // Only a character device is opened: a FIFO or a file would not be a line,
    // and opening a FIFO can wait for ever.
    if (!S_ISCHR(info.st_mode))
        return { Kind::NotATerminal, "not a serial device" };
    if (auto problem = PermissionProblem(path, info))
        return { Kind::NoPermission, *problem };

    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return OpenFailure(errno, path, info);
    DeviceDiagnosis result { Kind::Opens, "opens" };
    int exclusive = 0;
    if (!isatty(fd)) {
        result = { Kind::NotATerminal, "not a serial device" };
    } else if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        // Admin rights pass the exclusive mode; we still keep out of its way.
        result = { Kind::Busy, Busy("another program has it open exclusively", FindHolders(path, info)) };
    } else {
        std::vector<DeviceHolder> holders = FindHolders(path, info);
        bool locked = std::any_of(holders.begin(), holders.end(), [](const auto& h) { return h.Locks; });
        // Where /proc/locks is not to be seen, a lock that is free is taken
        // and given back at once.
        if (!locked && flock(fd, LOCK_EX | LOCK_NB) != 0)
            locked = errno == EWOULDBLOCK;
        if (locked) {
            std::erase_if(holders, [](const auto& h) { return !h.Locks; });
            result = { Kind::Busy, Busy("another program has locked it", holders) };
        }
    }
    close(fd);
    return result;
}

} // namespace zop
