#pragma once
// The time source of the serial library. Everything in comm/ that waits for a
// time-out (message sends, dispatcher stops, timer triggers) asks the process
// clock, so tests can replace it with a ManualClock and advance time by hand
// instead of sleeping.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zop {

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual TimePoint Now() const = 0;

    // Blocks on `cv` (whose mutex `lock` holds) until it is notified, the
    // deadline has passed on this clock, or a spurious wake-up. The caller
    // re-checks its condition and the time after every return.
    virtual void WaitUntil(
        std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline) const = 0;

    // Milliseconds of this clock as a 32-bit tick counter (wraps like a
    // millisecond tick count of the operating system).
    std::uint32_t TickCount() const;

    // The clock every part of comm/ uses. Set(nullptr) restores the steady
    // clock. The given clock must outlive its use.
    static Clock& Process();
    static void SetProcess(Clock* clock);
};

class SteadyClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline) const override;
};

// A clock that stands still until Advance() moves it. Waiters poll it in
// short real slices, so advancing it releases them within a millisecond.
class ManualClock final : public Clock {
public:
    ManualClock();
    TimePoint Now() const override;
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline) const override;
    void Advance(Duration by);

private:
    std::atomic<std::int64_t> m_nanoseconds;
};

// Installs a clock as the process clock for the lifetime of this object.
class ScopedProcessClock {
public:
    explicit ScopedProcessClock(Clock& clock) { Clock::SetProcess(&clock); }
    ~ScopedProcessClock() { Clock::SetProcess(nullptr); }
    ScopedProcessClock(const ScopedProcessClock&) = delete;
    ScopedProcessClock& operator=(const ScopedProcessClock&) = delete;
};

} // namespace zop
