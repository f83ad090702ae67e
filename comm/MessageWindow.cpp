#include "comm/MessageWindow.h"

#include "comm/Clock.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zop {

namespace {

struct PendingSend {
    enum class State { Queued, Running, Done, Dropped };
    WindowHandle Window = 0;
    std::uint32_t Message = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    const std::function<void()>* Task = nullptr; // run instead of the procedure; the sender keeps it alive
    State Status = State::Queued;
    std::atomic<bool> Settled { false }; // Done or Dropped, readable without the lock
    std::intptr_t Result = 0;
    std::condition_variable Finished;
    SyncEvent* Signal = nullptr; // also set when settled (a sender that does other work meanwhile)

    // Under the queue's mutex.
    void Settle(State state)
    {
        Status = state;
        Settled = true;
        Finished.notify_all();
        if (Signal)
            Signal->Set();
    }
};

struct ThreadQueue;

} // namespace

// A descriptor watched for a thread (see WatchDescriptor). Its state is
// guarded by the mutex of that thread's queue.
class DescriptorWatch {
public:
    // `fd` is the watch's own copy of the watched descriptor; it closes
    // with the watch.
    DescriptorWatch(int fd, std::function<bool()> ready, const std::shared_ptr<ThreadQueue>& queue)
        : Fd(fd)
        , Ready(std::move(ready))
        , Queue(queue)
    {
    }
    ~DescriptorWatch()
    {
        if (Fd >= 0)
            close(Fd);
    }
    DescriptorWatch(const DescriptorWatch&) = delete;
    DescriptorWatch& operator=(const DescriptorWatch&) = delete;
    const int Fd;
    std::function<bool()> Ready;
    const std::weak_ptr<ThreadQueue> Queue;
    bool Active = true;
    bool Due = false; // news seen, or work left: call at the next pump
    bool Running = false; // Ready runs on the owner thread now
};

namespace {

// The queue of one thread. Its mutex also guards the state of every message
// queued on it and of its watches.
struct ThreadQueue {
    ThreadQueue()
        : WakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
        , EpollFd(WakeFd >= 0 ? epoll_create1(EPOLL_CLOEXEC) : -1)
    {
        // The wake descriptor is an epoll set of the wake signal and the
        // watched descriptors; without one, the wake signal alone.
        epoll_event wake {};
        wake.events = EPOLLIN;
        wake.data.ptr = nullptr;
        if (EpollFd >= 0 && epoll_ctl(EpollFd, EPOLL_CTL_ADD, WakeFd, &wake) != 0) {
            close(EpollFd);
            EpollFd = -1;
        }
    }
    ~ThreadQueue()
    {
        if (EpollFd >= 0)
            close(EpollFd);
        if (WakeFd >= 0)
            close(WakeFd);
    }
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    void Wake() const
    {
        const std::uint64_t one = 1;
        while (write(WakeFd, &one, sizeof one) < 0 && errno == EINTR) { }
    }
    void DrainWake() const
    {
        std::uint64_t value = 0;
        while (read(WakeFd, &value, sizeof value) < 0 && errno == EINTR) { }
    }

    std::mutex Mutex;
    std::condition_variable Arrived;
    std::deque<std::shared_ptr<PendingSend>> Pending;
    std::atomic<bool> HasPending { false }; // !Pending.empty(), readable without the mutex
    // Set when the owner was asked to pump and has not pumped since.
    std::optional<Clock::TimePoint> UnansweredSince;
    bool Alive = true;
    const int WakeFd;
    int EpollFd;
    std::vector<std::shared_ptr<DescriptorWatch>> Watches;
    std::condition_variable WatchIdle; // a watch stopped running
};

struct WindowEntry {
    std::shared_ptr<ThreadQueue> Queue;
    std::shared_ptr<const WindowProc> Procedure;
};

std::mutex g_windowsMutex;
std::unordered_map<WindowHandle, WindowEntry> g_windows;
WindowHandle g_nextHandle = 1;
// Changes whenever a window is created or goes away (under g_windowsMutex).
std::atomic<std::uint64_t> g_generation { 0 };

// The window the calling thread last sent to directly.
thread_local OwnWindowCall t_direct;

// Runs the task when there is one, else the message through `call`, whose
// answer goes to `result`.
template <typename Call> void RunHere(const std::function<void()>* task, std::intptr_t* result, const Call& call)
{
    if (task) {
        (*task)();
        return;
    }
    const std::intptr_t value = call();
    if (result)
        *result = value;
}

// The owner sending to its own window calls it directly; the window it last
// called that way is found again without the registry, before anything of a
// queued send is set up.
bool CalledThroughShortcut(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
    const std::function<void()>* task, std::intptr_t* result)
{
    if (!t_direct.Holds(window))
        return false;
    if (task)
        (*task)();
    else
        t_direct.Call(message, wParam, lParam, result);
    return true;
}

void ShutDownQueue(const std::shared_ptr<ThreadQueue>& queue);

// Ends the calling thread's queue when the thread ends: its windows go away
// and every message still queued for it is answered NoWindow.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> Queue;
    ~QueueHolder()
    {
        if (Queue)
            ShutDownQueue(Queue);
    }
};

thread_local QueueHolder t_queue;

const std::shared_ptr<ThreadQueue>& CurrentQueue()
{
    if (!t_queue.Queue)
        t_queue.Queue = std::make_shared<ThreadQueue>();
    return t_queue.Queue;
}

void DropAll(ThreadQueue& queue, WindowHandle onlyWindow)
{
    for (auto it = queue.Pending.begin(); it != queue.Pending.end();) {
        if (onlyWindow == 0 || (*it)->Window == onlyWindow) {
            (*it)->Settle(PendingSend::State::Dropped);
            it = queue.Pending.erase(it);
        } else {
            ++it;
        }
    }
    queue.HasPending = !queue.Pending.empty();
    // Nothing asks the owner to pump now: it is not late with anything, and
    // must not count as hung to the next sender.
    if (queue.Pending.empty())
        queue.UnansweredSince.reset();
}

void ShutDownQueue(const std::shared_ptr<ThreadQueue>& queue)
{
    {
        std::lock_guard registry(g_windowsMutex);
        for (auto it = g_windows.begin(); it != g_windows.end();) {
            if (it->second.Queue == queue)
                it = g_windows.erase(it);
            else
                ++it;
        }
        ++g_generation;
    }
    std::lock_guard lock(queue->Mutex);
    queue->Alive = false;
    DropAll(*queue, 0);
    for (const auto& watch : queue->Watches)
        watch->Active = false;
    queue->Watches.clear();
}

std::optional<WindowEntry> FindWindow(WindowHandle window, std::uint64_t* generation = nullptr)
{
    std::lock_guard registry(g_windowsMutex);
    if (generation)
        *generation = g_generation.load(std::memory_order_relaxed);
    const auto it = g_windows.find(window);
    if (it == g_windows.end())
        return std::nullopt;
    return it->second;
}

} // namespace

WindowHandle CreateMessageWindow(WindowProc procedure)
{
    const auto& queue = CurrentQueue();
    auto shared = std::make_shared<const WindowProc>(std::move(procedure));
    std::lock_guard registry(g_windowsMutex);
    while (g_nextHandle == 0 || g_windows.count(g_nextHandle))
        ++g_nextHandle;
    const WindowHandle handle = g_nextHandle++;
    g_windows.emplace(handle, WindowEntry { queue, std::move(shared) });
    ++g_generation;
    return handle;
}

bool DestroyMessageWindow(WindowHandle window)
{
    std::shared_ptr<ThreadQueue> queue;
    {
        std::lock_guard registry(g_windowsMutex);
        const auto it = g_windows.find(window);
        if (it == g_windows.end())
            return false;
        queue = it->second.Queue;
        g_windows.erase(it);
        ++g_generation;
    }
    t_direct.LetGoIfStale();
    std::lock_guard lock(queue->Mutex);
    DropAll(*queue, window);
    return true;
}

bool IsMessageWindow(WindowHandle window)
{
    return FindWindow(window).has_value();
}

bool OwnWindowCall::Holds(WindowHandle window) const
{
    // Found only among the calling thread's windows; windows that go away
    // (also with the queue, when the thread ends) change the generation.
    return m_procedure && m_window == window && window != 0
        && m_generation == g_generation.load(std::memory_order_acquire);
}

bool OwnWindowCall::Find(WindowHandle window)
{
    if (m_calls != 0)
        return false;
    const std::optional<WindowEntry> entry = FindWindow(window, &m_generation);
    m_window = window;
    m_procedure = entry && entry->Queue == CurrentQueue() ? entry->Procedure : nullptr;
    return m_procedure != nullptr;
}

bool OwnWindowCall::Call(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t* result)
{
    if (!Holds(m_window) && !Find(m_window))
        return false;
    struct Running {
        OwnWindowCall& Self;
        explicit Running(OwnWindowCall& self)
            : Self(self)
        {
            ++Self.m_calls;
        }
        ~Running()
        {
            --Self.m_calls;
            Self.LetGoIfStale();
        }
    } running(*this);
    const std::intptr_t value = (*m_procedure)(m_window, message, wParam, lParam);
    if (result)
        *result = value;
    return true;
}

void OwnWindowCall::LetGoIfStale()
{
    if (m_calls == 0 && m_generation != g_generation.load(std::memory_order_relaxed))
        m_procedure.reset();
}

namespace {

// A message or a task on its way to the owner thread of `window`: the
// answer when it was known at once, else the queued send.
struct Posted {
    std::optional<SendResult> Answer;
    std::shared_ptr<ThreadQueue> Queue;
    std::shared_ptr<PendingSend> Pending;
    Clock::TimePoint Deadline;
};

// Sends a message or a task, as the public send functions describe, up to
// the point where the sender waits; the callers have tried the shortcut.
Posted Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
    const std::function<void()>* task, std::chrono::milliseconds timeout, HungPolicy policy, std::intptr_t* result,
    SyncEvent* signal)
{
    const std::optional<WindowEntry> entry = FindWindow(window);
    if (!entry)
        return { SendResult::NoWindow, {}, {}, {} };

    if (entry->Queue == t_queue.Queue) {
        // Kept for the next send, unless a call through the shortcut runs.
        const bool remembered = t_direct.Find(window);
        RunHere(task, result, [&] {
            std::intptr_t value = 0;
            if (!remembered || !t_direct.Call(message, wParam, lParam, &value))
                value = (*entry->Procedure)(window, message, wParam, lParam);
            return value;
        });
        return { SendResult::Handled, {}, {}, {} };
    }

    ThreadQueue& queue = *entry->Queue;
    const Clock& clock = Clock::Process();
    auto pending = std::make_shared<PendingSend>();
    pending->Window = window;
    pending->Message = message;
    pending->WParam = wParam;
    pending->LParam = lParam;
    pending->Task = task;
    pending->Signal = signal;

    std::lock_guard lock(queue.Mutex);
    if (!queue.Alive)
        return { SendResult::NoWindow, {}, {}, {} };
    const Clock::TimePoint start = clock.Now();
    if (policy == HungPolicy::AbortIfHung && queue.UnansweredSince && start - *queue.UnansweredSince >= HungTimeout)
        return { SendResult::Hung, {}, {}, {} };
    queue.Pending.push_back(pending);
    queue.HasPending = true;
    if (!queue.UnansweredSince)
        queue.UnansweredSince = start;
    queue.Arrived.notify_all();
    queue.Wake();
    return { std::nullopt, entry->Queue, std::move(pending), start + timeout };
}

// Withdraws a send that has not started: it is never handled late.
SendResult Withdraw(Posted& posted)
{
    ThreadQueue& queue = *posted.Queue;
    std::erase(queue.Pending, posted.Pending);
    queue.HasPending = !queue.Pending.empty();
    posted.Pending->Status = PendingSend::State::Dropped;
    return SendResult::TimedOut;
}

// Under the queue's mutex: the answer to a queued send once there is one;
// a send not started by its deadline is withdrawn. Nothing while it is
// queued within the time-out or running.
std::optional<SendResult> AnswerOf(Posted& posted, std::intptr_t* result)
{
    const PendingSend& pending = *posted.Pending;
    switch (pending.Status) {
    case PendingSend::State::Done:
        if (result)
            *result = pending.Result;
        return SendResult::Handled;
    case PendingSend::State::Dropped:
        return SendResult::NoWindow;
    case PendingSend::State::Running:
        return std::nullopt;
    case PendingSend::State::Queued:
        break;
    }
    if (Clock::Process().Now() >= posted.Deadline)
        return Withdraw(posted);
    return std::nullopt;
}

// Posts a message or a task and waits for its answer.
SendResult PostAndWait(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
    const std::function<void()>* task, std::chrono::milliseconds timeout, HungPolicy policy, std::intptr_t* result)
{
    Posted posted = Post(window, message, wParam, lParam, task, timeout, policy, result, nullptr);
    if (posted.Answer)
        return *posted.Answer;

    // The owner usually answers within microseconds: look a few times
    // before going to sleep, which saves the sender a wake-up per message.
    for (int spin = 0; spin < 64 && !posted.Pending->Settled.load(std::memory_order_acquire); ++spin)
        std::this_thread::yield();

    const Clock& clock = Clock::Process();
    std::unique_lock lock(posted.Queue->Mutex);
    for (;;) {
        if (const std::optional<SendResult> answer = AnswerOf(posted, result))
            return *answer;
        if (posted.Pending->Status == PendingSend::State::Running)
            posted.Pending->Finished.wait(lock);
        else
            clock.WaitUntil(lock, posted.Pending->Finished, posted.Deadline);
    }
}

// A message or a task for the owner thread of `window`, as the two public
// send functions describe.
SendResult Send(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
    const std::function<void()>* task, std::chrono::milliseconds timeout, HungPolicy policy, std::intptr_t* result)
{
    if (CalledThroughShortcut(window, message, wParam, lParam, task, result))
        return SendResult::Handled;
    return PostAndWait(window, message, wParam, lParam, task, timeout, policy, result);
}

} // namespace

SendResult SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
    std::chrono::milliseconds timeout, HungPolicy policy, std::intptr_t* result)
{
    return Send(window, message, wParam, lParam, nullptr, timeout, policy, result);
}

SendResult SendTaskTimeout(
    WindowHandle window, const std::function<void()>& task, std::chrono::milliseconds timeout, HungPolicy policy)
{
    return Send(window, 0, 0, 0, &task, timeout, policy, nullptr);
}

struct TaskSend::Outgoing {
    SyncEvent Signal;
    Posted Sent;
};

TaskSend::TaskSend()
    : m_out(std::make_unique<Outgoing>())
{
    m_out->Signal.Create(EventReset::Manual);
}

TaskSend::~TaskSend()
{
    Posted& sent = m_out->Sent;
    if (!sent.Pending)
        return;
    // Never leave a task behind that would set a signal that is gone.
    std::unique_lock lock(sent.Queue->Mutex);
    while (!AnswerOf(sent, nullptr)) {
        if (sent.Pending->Status == PendingSend::State::Queued) {
            Withdraw(sent);
            break;
        }
        sent.Pending->Finished.wait(lock);
    }
}

bool TaskSend::Usable() const
{
    return m_out->Signal.IsCreated();
}

std::optional<SendResult> TaskSend::Start(
    WindowHandle window, const std::function<void()>& task, std::chrono::milliseconds timeout, HungPolicy policy)
{
    m_out->Sent = CalledThroughShortcut(window, 0, 0, 0, &task, nullptr)
        ? Posted { SendResult::Handled, {}, {}, {} }
        : Post(window, 0, 0, 0, &task, timeout, policy, nullptr, &m_out->Signal);
    return m_out->Sent.Answer;
}

std::optional<SendResult> TaskSend::Answer()
{
    Posted& sent = m_out->Sent;
    if (!sent.Pending)
        return sent.Answer;
    std::optional<SendResult> answer;
    {
        std::lock_guard lock(sent.Queue->Mutex);
        answer = AnswerOf(sent, nullptr);
    }
    if (answer) {
        // Cleared here rather than at the next start, which is then one
        // call shorter.
        m_out->Signal.Reset();
        sent = Posted { answer, {}, {}, {} };
    }
    return answer;
}

SyncEvent& TaskSend::Finished()
{
    return m_out->Signal;
}

int TaskSend::WaitMs() const
{
    const Posted& sent = m_out->Sent;
    if (!sent.Pending)
        return 0;
    {
        std::lock_guard lock(sent.Queue->Mutex);
        if (sent.Pending->Status != PendingSend::State::Queued)
            return sent.Pending->Status == PendingSend::State::Running ? -1 : 0;
    }
    constexpr std::chrono::milliseconds Slice { 10 };
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(sent.Deadline - Clock::Process().Now());
    return static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), Slice).count());
}

bool MessagesWaiting()
{
    return CurrentQueue()->HasPending.load(std::memory_order_relaxed);
}

namespace {

// One look at the wake descriptor: the wake signal is drained when it is
// set, and the watches with news become due. Returns whether any is due.
bool TakeNews(ThreadQueue& queue)
{
    if (queue.EpollFd < 0) {
        queue.DrainWake();
        return false;
    }
    constexpr int MaxEvents = 8;
    epoll_event events[MaxEvents];
    bool wake = false;
    bool due = false;
    for (;;) {
        const int count = epoll_wait(queue.EpollFd, events, MaxEvents, 0);
        if (count < 0 && errno == EINTR)
            continue;
        std::unique_lock lock(queue.Mutex, std::defer_lock);
        for (int i = 0; i < count; ++i) {
            if (!events[i].data.ptr) {
                wake = true;
                continue;
            }
            if (!lock.owns_lock())
                lock.lock();
            for (const auto& watch : queue.Watches) {
                if (watch.get() == events[i].data.ptr)
                    watch->Due = true;
            }
        }
        if (!lock.owns_lock())
            lock.lock();
        for (const auto& watch : queue.Watches)
            due = due || watch->Due;
        if (count < MaxEvents)
            break;
    }
    if (wake)
        queue.DrainWake();
    return due;
}

// Calls the watches that are due and not running, once each.
void RunWatches(const std::shared_ptr<ThreadQueue>& queue)
{
    std::vector<std::shared_ptr<DescriptorWatch>> due;
    {
        std::lock_guard lock(queue->Mutex);
        for (const auto& watch : queue->Watches) {
            if (watch->Active && watch->Due && !watch->Running) {
                watch->Due = false;
                watch->Running = true;
                due.push_back(watch);
            }
        }
    }
    // Ends a call; `again` makes the watch due for the next pump.
    const auto finish = [&](DescriptorWatch& watch, bool again) {
        {
            std::lock_guard lock(queue->Mutex);
            watch.Running = false;
            watch.Due = watch.Due || (again && watch.Active);
        }
        queue->WatchIdle.notify_all();
        if (again)
            queue->Wake();
    };
    for (std::size_t i = 0; i < due.size(); ++i) {
        bool again = false;
        try {
            again = due[i]->Ready();
        } catch (...) {
            finish(*due[i], false);
            // The watches not called yet are called at the next pump.
            for (std::size_t rest = i + 1; rest < due.size(); ++rest)
                finish(*due[rest], true);
            throw;
        }
        finish(*due[i], again);
    }
}

} // namespace

int PumpMessages()
{
    const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    bool watchesDue = TakeNews(*queue);
    int handled = 0;
    for (;;) {
        std::shared_ptr<PendingSend> pending;
        {
            std::unique_lock lock(queue->Mutex);
            queue->UnansweredSince.reset();
            if (queue->Pending.empty()) {
                // The watches run after the messages queued before them, and
                // once per pump, so that work they leave waits its turn.
                if (!watchesDue)
                    return handled;
                lock.unlock();
                watchesDue = false;
                RunWatches(queue);
                continue;
            }
            pending = queue->Pending.front();
            queue->Pending.pop_front();
            queue->HasPending = !queue->Pending.empty();
            pending->Status = PendingSend::State::Running;
        }
        std::intptr_t value = 0;
        const std::optional<WindowEntry> entry = FindWindow(pending->Window);
        auto finish = [&](PendingSend::State state) {
            std::lock_guard lock(queue->Mutex);
            pending->Result = value;
            pending->Settle(state);
        };
        if (entry && entry->Queue == queue) {
            try {
                RunHere(pending->Task, &value, [&] {
                    return (*entry->Procedure)(pending->Window, pending->Message, pending->WParam, pending->LParam);
                });
            } catch (...) {
                finish(PendingSend::State::Done);
                throw;
            }
            finish(PendingSend::State::Done);
        } else {
            finish(PendingSend::State::Dropped);
        }
        ++handled;
    }
}

bool WaitForMessages(std::chrono::milliseconds timeout)
{
    const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    const Clock& clock = Clock::Process();
    std::unique_lock lock(queue->Mutex);
    const Clock::TimePoint deadline = clock.Now() + timeout;
    while (queue->Pending.empty()) {
        if (clock.Now() >= deadline)
            return false;
        if (queue->Watches.empty() || queue->EpollFd < 0) {
            clock.WaitUntil(lock, queue->Arrived, deadline);
            continue;
        }
        // Watched descriptors end the wait too (the caller's pump calls
        // them): wait on the wake descriptor, in slices, so that a process
        // clock moved by hand is seen.
        constexpr std::chrono::milliseconds Slice { 10 };
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.Now());
        lock.unlock();
        pollfd wake { queue->EpollFd, POLLIN, 0 };
        const int ready
            = poll(&wake, 1, static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), Slice).count()));
        lock.lock();
        if (ready > 0)
            return true;
    }
    return true;
}

int MessageWakeDescriptor()
{
    const auto& queue = CurrentQueue();
    return queue->EpollFd >= 0 ? queue->EpollFd : queue->WakeFd;
}

WatchHandle WatchDescriptor(WindowHandle window, int fd, std::function<bool()> ready)
{
    const std::optional<WindowEntry> entry = FindWindow(window);
    if (!entry || fd < 0)
        return nullptr;
    // The watch keeps its own copy of the descriptor: the owner of the
    // descriptor may close it on another thread before the watch stops (a
    // port closed inside its handler), and the stop must not then reach a
    // closed descriptor, or another one given the same number.
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    ThreadQueue& queue = *entry->Queue;
    auto watch = std::make_shared<DescriptorWatch>(own, std::move(ready), entry->Queue);
    std::lock_guard lock(queue.Mutex);
    epoll_event news {};
    news.events = EPOLLIN | EPOLLET;
    news.data.ptr = watch.get();
    if (!queue.Alive || queue.EpollFd < 0 || epoll_ctl(queue.EpollFd, EPOLL_CTL_ADD, own, &news) != 0)
        return nullptr;
    queue.Watches.push_back(watch);
    return watch;
}

bool NudgeWatch(const WatchHandle& watch)
{
    const std::shared_ptr<ThreadQueue> queue = watch ? watch->Queue.lock() : nullptr;
    if (!queue)
        return false;
    std::lock_guard lock(queue->Mutex);
    if (!watch->Active || !queue->Alive || watch->Due)
        return false;
    watch->Due = true;
    queue->Wake();
    return true;
}

void StopWatch(const WatchHandle& watch)
{
    if (!watch)
        return;
    const std::shared_ptr<ThreadQueue> queue = watch->Queue.lock();
    if (!queue)
        return;
    std::unique_lock lock(queue->Mutex);
    if (watch->Active) {
        watch->Active = false;
        if (queue->EpollFd >= 0)
            epoll_ctl(queue->EpollFd, EPOLL_CTL_DEL, watch->Fd, nullptr);
        std::erase(queue->Watches, watch);
    }
    if (queue == t_queue.Queue)
        return; // from inside Ready: it ends when it returns
    queue->WatchIdle.wait(lock, [&] { return !watch->Running; });
}

std::intptr_t DefWindowProc(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t)
{
    return 0;
}

} // namespace zop
