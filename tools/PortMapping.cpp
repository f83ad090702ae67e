#include "tools/PortMapping.h"

#include "comm/IniFile.h"
#include "document/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zop {

namespace {

// A configuration is a few lines; anything larger is not one.
constexpr off_t LargestConfiguration = 256 * 1024;

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(error));
}

void MakeFolders(const std::string& folder)
{
    for (size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            Fail("cannot create the folder", part, errno);
    }
}

} // namespace

void WritePortMapping(const std::string& configPath, int number, const std::string& device)
{
    // Through a link to the file it names, so the link stays.
    std::string path = configPath;
    char resolved[PATH_MAX];
    if (realpath(configPath.c_str(), resolved))
        path = resolved;

    std::string text;
    const int in = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in >= 0) {
        struct stat info { };
        if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > LargestConfiguration) {
            close(in);
            throw std::runtime_error(
                "not changed: " + path + " is not a configuration file (not a regular file of at most 256 KiB)");
        }
        char buffer[8192];
        for (ssize_t got; (got = read(in, buffer, sizeof buffer)) != 0;) {
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                const int error = errno;
                close(in);
                Fail("cannot read", path, error);
            }
            text.append(buffer, static_cast<size_t>(got));
            if (text.size() > static_cast<size_t>(LargestConfiguration)) {
                close(in);
                throw std::runtime_error("not changed: " + path + " grew beyond 256 KiB while read");
            }
        }
        close(in);
    } else if (errno != ENOENT) {
        Fail("cannot read", path, errno);
    }

    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        MakeFolders(path.substr(0, slash));
    WriteFileReplacing(path, IniFile::WithValue(text, "Ports", "COM" + std::to_string(number), device));
}

} // namespace zop
