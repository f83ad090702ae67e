#include "comm/Allocation.h"

#include <atomic>
#include <new>

namespace zop {
namespace {

std::atomic<int> g_allowed { -1 };

} // namespace

bool AllocationAllowed()
{
    int allowed = g_allowed.load();
    while (allowed >= 0) {
        const int next = allowed == 0 ? -1 : allowed - 1;
        if (g_allowed.compare_exchange_weak(allowed, next))
            return allowed != 0;
    }
    return true;
}

std::unique_ptr<std::uint8_t[]> TryAllocateBytes(std::size_t count)
{
    if (!AllocationAllowed())
        return nullptr;
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[count == 0 ? 1 : count]());
}

void FailAllocationAfter(int allowed)
{
    g_allowed.store(allowed < 0 ? -1 : allowed);
}

} // namespace zop
