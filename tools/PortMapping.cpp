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

    const ConfigFileContents contents = LoadConfigFile(path);
    if (!contents.Problem.empty())
        throw std::runtime_error("not changed: " + path + " is not a configuration file (" + contents.Problem + ")");
    const std::string text = contents.Text.value_or(std::string());

    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        MakeFolders(path.substr(0, slash));
    WriteFileReplacing(path, IniFile::WithValue(text, "Ports", "COM" + std::to_string(number), device));
}

} // namespace zop
