#include "tests/reliability/Instrument.h"

#include <cstdlib>
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

namespace zop::test {

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
