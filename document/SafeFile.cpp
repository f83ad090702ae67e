#include "document/SafeFile.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "document/FileError.h"
#include "document/FilePaths.h"

namespace zop {

FileError FileErrorFromErrno(int errorNumber)
{
    return FileError(errorNumber, std::system_category().message(errorNumber));
}

namespace {

[[noreturn]] void ThrowErrno(int errorNumber)
{
    throw FileErrorFromErrno(errorNumber);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The file a save should replace: the file a symbolic link names, also one
// that does not exist yet, so that the link survives and its file gets the
// new contents.
std::string ResolveTarget(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info { };
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(current.c_str(), link.data(), link.size());
        if (length < 0)
            ThrowErrno(errno);
        link.resize(static_cast<size_t>(length));
        current = link.starts_with('/') ? link : FolderOf(current) + "/" + link;
    }
    ThrowErrno(ELOOP);
}

// A hidden name beside the target that nothing else uses; opened exclusively
// so that an existing file is never reused. The mode 0666 is reduced by the
// process's umask, as for any newly created file.
int CreateTemporary(const std::string& target, std::string& tempPath)
{
    const std::string folder = FolderOf(target);
    std::string base(FileNameOnly(target));
    if (base.size() > 200)
        base.resize(200); // leave room for the prefix and suffix within NAME_MAX
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = (folder == "/" ? std::string("/") : folder + "/") + "." + base + ".tmp-"
            + std::to_string(random() % 1000000000ULL);
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

void WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno(errno);
        }
        if (written == 0)
            ThrowErrno(ENOSPC);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

// Devices and pipes hold nothing a rename could keep: they are written in
// place, never replaced by a regular file.
void WriteInPlace(const std::string& target, std::string_view bytes)
{
    const int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        ThrowErrno(errno);
    try {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            ThrowErrno(errno);
        WriteAll(fd, bytes);
    } catch (...) {
        close(fd);
        throw;
    }
    if (close(fd) != 0)
        ThrowErrno(errno);
}

void SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)fsync(fd); // the rename is done; a folder that cannot be synced loses nothing more
    close(fd);
}

} // namespace

void WriteFileReplacing(const std::string& path, std::string_view bytes)
{
    if (path.empty())
        ThrowErrno(ENOENT);
    const std::string target = ResolveTarget(path);

    struct stat old { };
    const bool exists = stat(target.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            ThrowErrno(EISDIR);
        if (!S_ISREG(old.st_mode)) {
            WriteInPlace(target, bytes);
            return;
        }
        if (access(target.c_str(), W_OK) != 0)
            ThrowErrno(errno);
    }

    std::string tempPath;
    const int fd = CreateTemporary(target, tempPath);
    if (fd < 0)
        ThrowErrno(errno);
    try {
        if (exists) {
            if (fchmod(fd, old.st_mode & 07777) != 0)
                ThrowErrno(errno);
            (void)!fchown(fd, old.st_uid, old.st_gid); // only a privileged user may; others keep their own
        }
        WriteAll(fd, bytes);
        if (fsync(fd) != 0)
            ThrowErrno(errno);
    } catch (...) {
        close(fd);
        unlink(tempPath.c_str());
        throw;
    }
    if (close(fd) != 0) {
        const int error = errno;
        unlink(tempPath.c_str());
        ThrowErrno(error);
    }
    if (rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(tempPath.c_str());
        ThrowErrno(error);
    }
    SyncFolder(FolderOf(target));
}

} // namespace zop
