#pragma once
// Why a serial device does not open, in words a user can act on: no device
// mapped, nothing at that path, not a terminal, no permission (naming the
// group that owns the device and how to join it), held by another program,
// out of descriptors, or a node with no device behind it. Also who else has
// a device open or locked, found without opening or locking it.
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace zop {

struct DeviceDiagnosis {
    enum class Kind {
        Opens, // nothing stands in the way
        NoDevice, // mapped to nothing
        Missing, // nothing at the path
        NotATerminal, // a file, a FIFO, a terminal that is not a line
        NoPermission,
        Busy, // locked or held exclusively by another program
        NoDescriptors, // this process or the system is out of file descriptors
        Gone, // a node without a device behind it (unplugged, no controlling terminal)
        Failed, // any other reason the system gives
    };
    Kind What = Kind::Failed;
    std::string Text; // one line, UTF-8
};

// Looks at `path` as opening it would, and says what stands in the way. The
// device is opened (without waiting, never as the controlling terminal, and
// closed at once) only when it is a character device the user may open and
// nothing else already explains a failure; it is never locked. `port`
// ("COM1") names the environment variable in the advice for an unmapped port.
DeviceDiagnosis DiagnoseDevice(const std::string& port, const std::string& path);

// When the user may not read and write the node described by `info`: the
// reason with the owner, group and mode, and what to do about it.
std::optional<std::string> PermissionProblem(const std::string& path, const struct stat& info);

// "crw-rw----" of a mode.
std::string ModeText(mode_t mode);
std::string GroupName(gid_t gid);
std::string OwnerName(uid_t uid);

// Another process that has the device open or locked.
struct DeviceHolder {
    pid_t Pid = 0;
    std::string Command; // its /proc/PID/comm, or empty when unknown
    bool Locks = false; // holds a lock on it (flock or a record lock)
};

// Every other process holding the file at `path` (a lock in /proc/locks on
// the file of `info`, an open descriptor in /proc/PID/fd leading to the same
// real path, as far as this user may look), in process order. Nothing is
// opened, and the other processes' files are not looked at (a file on a
// stalled network share would hang the look).
std::vector<DeviceHolder> FindHolders(
    const std::string& path, const struct stat& info, const std::string& procRoot = "/proc");

// "1234 (minicom)".
std::string HolderText(const DeviceHolder& holder);

} // namespace zop
