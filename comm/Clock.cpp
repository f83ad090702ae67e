#include "comm/Clock.h"

namespace zop {

namespace {

// Never destroyed: a detached dispatcher thread may still ask for the time
// while the program's static objects are being destroyed at exit.
SteadyClock& g_steady = *new SteadyClock;
std::atomic<Clock*> g_process { nullptr };

} // namespace

std::uint32_t Clock::TickCount() const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

Clock& Clock::Process()
{
    Clock* clock = g_process.load(std::memory_order_acquire);
    return clock ? *clock : g_steady;
}

void Clock::SetProcess(Clock* clock)
{
    g_process.store(clock, std::memory_order_release);
}

void SteadyClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline) const
{
    cv.wait_until(lock, deadline);
}

ManualClock::ManualClock()
    : m_nanoseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::hours(1)).count())
{
}

Clock::TimePoint ManualClock::Now() const
{
    return TimePoint(std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(m_nanoseconds.load())));
}

void ManualClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline) const
{
    if (Now() >= deadline)
        return;
    // Time moves only when a test advances it; look again shortly.
    cv.wait_for(lock, std::chrono::milliseconds(1));
}

void ManualClock::Advance(Duration by)
{
    m_nanoseconds.fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(by).count());
}

} // namespace zop
