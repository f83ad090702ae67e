#include "tests/reliability/Instrument.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace zop::test {

Instrument::Instrument()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const char* name = ptsname(m_master);
    if (!name)
        throw std::runtime_error("no pseudo-terminal name");
    m_path = name;
}

Instrument::~Instrument()
{
    Vanish();
}

bool Instrument::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (m_master < 0)
            return false;
        const ssize_t written = write(m_master, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            pollfd p { m_master, POLLOUT, 0 };
            poll(&p, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

void Instrument::Vanish()
{
    if (m_master >= 0)
        close(m_master);
    m_master = -1;
}

namespace {

// Entries of a /proc folder; `listingDescriptor` leaves out the descriptor
// the listing itself holds open.
int CountEntries(const char* folder, bool listingDescriptor)
{
    DIR* dir = opendir(folder);
    if (!dir)
        return -1;
    int count = 0;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - (listingDescriptor ? 1 : 0);
}

} // namespace

ProcessFigures CurrentFigures()
{
    ProcessFigures figures;
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    figures.ResidentBytes = resident * sysconf(_SC_PAGESIZE);
    const struct mallinfo2 info = mallinfo2();
    figures.HeapBytes = static_cast<long>(info.uordblks + info.hblkhd);
    figures.Threads = CountEntries("/proc/self/task", false);
    figures.Descriptors = CountEntries("/proc/self/fd", true);
    return figures;
}

bool UnderSanitizer()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

bool SoakRunsEnabled()
{
    const char* value = std::getenv("ZOP5_SOAK");
    return value && std::string(value) == "1";
}

} // namespace zop::test
