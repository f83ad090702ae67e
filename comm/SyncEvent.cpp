#include "comm/SyncEvent.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace zop {
namespace {

// Milliseconds left until a deadline, for poll(); -1 waits without limit.
class Deadline {
public:
    explicit Deadline(int timeoutMs)
        : m_unlimited(timeoutMs < 0)
        , m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs))
    {
    }
    int Remaining() const
    {
        if (m_unlimited)
            return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

private:
    bool m_unlimited;
    std::chrono::steady_clock::time_point m_end;
};

} // namespace

SyncEvent::~SyncEvent()
{
    Close();
}

bool SyncEvent::Create(EventReset reset)
{
    Close();
    m_reset = reset;
    m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return m_fd >= 0;
}

void SyncEvent::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

void SyncEvent::Set()
{
    if (m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice; EAGAIN would mean it is set anyway.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) { }
}

void SyncEvent::Reset()
{
    if (m_fd < 0)
        return;
    std::uint64_t value = 0;
    while (read(m_fd, &value, sizeof value) < 0 && errno == EINTR) { }
}

bool SyncEvent::TryConsume()
{
    std::uint64_t value = 0;
    for (;;) {
        if (read(m_fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value))
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool SyncEvent::IsSet() const
{
    if (m_fd < 0)
        return false;
    pollfd p { m_fd, POLLIN, 0 };
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool SyncEvent::Wait(int timeoutMs)
{
    // An event that was never created can never be signalled.
    return m_fd >= 0 && WaitForAnyEvent({ this }, timeoutMs) == 0;
}

int WaitForAnyEvent(std::initializer_list<SyncEvent*> events, int timeoutMs)
{
    // The dispatcher waits on one or two events many times a second: no
    // allocation for a few.
    std::array<pollfd, 4> few {};
    std::vector<pollfd> many(events.size() > few.size() ? events.size() : 0);
    pollfd* fds = many.empty() ? few.data() : many.data();
    std::size_t count = 0;
    for (SyncEvent* e : events)
        fds[count++] = { e->Fd(), POLLIN, 0 };
    const Deadline deadline(timeoutMs);
    for (;;) {
        const int ready = poll(fds, count, deadline.Remaining());
        if (ready < 0 && errno != EINTR)
            return -1;
        if (ready > 0) {
            int index = 0;
            for (SyncEvent* e : events) {
                if (fds[index].revents & POLLIN) {
                    // Another waiter may take an auto-reset signal first: then wait on.
                    if (e->ResetMode() == EventReset::Manual || e->TryConsume())
                        return index;
                }
                ++index;
            }
        }
        if (deadline.Remaining() == 0)
            return -1;
    }
}

} // namespace zop
