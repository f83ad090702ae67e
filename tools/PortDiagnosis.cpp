#include "tools/PortDiagnosis.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zop {

namespace {

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

std::string ModeText(mode_t mode)
{
    std::string text = S_ISCHR(mode) ? "c" : "-";
    const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    return text;
}

} // namespace

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
    if (!S_ISCHR(info.st_mode))
        return { Kind::NotATerminal, "not a serial device" };
    if (access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
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
        return { Kind::NoPermission, text };
    }
    // A terminal that is not a serial line (a pseudo-terminal works too).
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool terminal = isatty(fd);
        close(fd);
        if (!terminal)
            return { Kind::NotATerminal, "not a serial device" };
    }
    return { Kind::Busy, "busy: another program holds the port (the window, a capture, a terminal program)" };
}

} // namespace zop
