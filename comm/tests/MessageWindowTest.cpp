#include "comm/Clock.h"
#include "comm/MessageWindow.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zop {
namespace {

using namespace std::chrono_literals;

bool Readable(int fd)
{
    pollfd entry { fd, POLLIN, 0 };
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN);
}

class MessageWindowTest : public testing::Test {
protected:
    ManualClock m_clock;
    ScopedProcessClock m_useClock { m_clock };
    std::vector<WindowHandle> m_windows;

    WindowHandle Create(WindowProc procedure)
    {
        m_windows.push_back(CreateMessageWindow(std::move(procedure)));
        return m_windows.back();
    }
    void TearDown() override
    {
        for (WindowHandle window : m_windows)
            DestroyMessageWindow(window);
    }
    // Runs a send on another thread.
    static std::future<SendResult> SendAsync(WindowHandle window, std::uint32_t message,
        std::chrono::milliseconds timeout, HungPolicy policy = HungPolicy::Wait, std::intptr_t* result = nullptr)
    {
        return std::async(
            std::launch::async, [=] { return SendMessageTimeout(window, message, 1, 2, timeout, policy, result); });
    }
};

TEST_F(MessageWindowTest, SendFromTheOwnerThreadCallsTheProcedureDirectly)
{
    std::vector<std::uint32_t> seen;
    const WindowHandle window = Create([&](WindowHandle w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
        EXPECT_EQ(w, m_windows.front());
        seen.push_back(msg);
        return static_cast<std::intptr_t>(wp + lp);
    });
    std::intptr_t result = 0;
    EXPECT_EQ(SendMessageTimeout(window, 7, 40, 2, 1000ms, HungPolicy::AbortIfHung, &result), SendResult::Handled);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(seen, std::vector<std::uint32_t> { 7 });
    EXPECT_EQ(PumpMessages(), 0);
}

// A procedure whose window goes away while it runs, destroyed by itself or
// by another thread, runs to its end with what it holds; nothing of it is
// kept afterwards. The first send finds the window in the registry, a later
// one directly.
TEST_F(MessageWindowTest, AProcedureWhoseWindowGoesDuringItsCallRunsToItsEnd)
{
    for (const bool byAnotherThread : { false, true }) {
        for (const int sendsBefore : { 2, 0 }) {
            SCOPED_TRACE(
                testing::Message() << "another thread " << byAnotherThread << ", sends before " << sendsBefore);
            auto held = std::make_shared<std::string>("held by the procedure");
            const std::weak_ptr<std::string> watch = held;
            WindowHandle window = 0;
            bool destroy = false;
            std::string seen;
            window = CreateMessageWindow(
                [&, held = std::move(held)](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
                    if (destroy) {
                        if (byAnotherThread)
                            std::thread([&] { DestroyMessageWindow(window); }).join();
                        else
                            DestroyMessageWindow(window);
                        seen = *held;
                    }
                    return std::intptr_t { 0 };
                });
            for (int i = 0; i < sendsBefore; ++i)
                ASSERT_EQ(SendMessageTimeout(window, 1, 0, 0, 1000ms), SendResult::Handled);
            destroy = true;
            EXPECT_EQ(SendMessageTimeout(window, 1, 0, 0, 1000ms), SendResult::Handled);
            EXPECT_EQ(seen, "held by the procedure");
            EXPECT_EQ(SendMessageTimeout(window, 1, 0, 0, 1000ms), SendResult::NoWindow);
            EXPECT_TRUE(watch.expired()) << "the procedure is let go with its window";
        }
    }
}

// A dispatcher's loop lent to the window's thread calls the window directly
// for a run of messages: found again when windows come and go, refused for
// a window of another thread or one that is gone, and a window destroyed
// by its own procedure still runs that call to its end.
TEST_F(MessageWindowTest, AnOwnWindowCallCallsItsWindowWhileItIsThere)
{
    auto held = std::make_shared<std::string>("held by the procedure");
    const std::weak_ptr<std::string> watch = held;
    std::vector<std::string> seen;
    bool destroy = false;
    WindowHandle window = 0;
    window = CreateMessageWindow(
        [&, held = std::move(held)](WindowHandle w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
            seen.push_back(std::to_string(w == window) + ":" + std::to_string(msg) + ":" + std::to_string(wp) + ":"
                + std::to_string(lp));
            if (destroy) {
                DestroyMessageWindow(window);
                seen.push_back(*held);
            }
            return std::intptr_t { 0 };
        });
    OwnWindowCall call(window);
    EXPECT_EQ(call.Window(), window);
    EXPECT_TRUE(call.Call(7, 40, 2));
    DestroyMessageWindow(Create([](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }));
    EXPECT_TRUE(call.Call(8, 1, 1)) << "found again after another window went";

    std::promise<WindowHandle> made;
    std::promise<void> tested;
    std::thread owner([&] {
        made.set_value(CreateMessageWindow([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
            seen.push_back("foreign");
            return 0;
        }));
        tested.get_future().wait(); // the window lives as long as its thread
    });
    const WindowHandle foreign = made.get_future().get();
    EXPECT_TRUE(IsMessageWindow(foreign));
    EXPECT_FALSE(OwnWindowCall(foreign).Call(1, 0, 0)) << "another thread's window";
    tested.set_value();
    owner.join();
    EXPECT_FALSE(OwnWindowCall(12345).Call(1, 0, 0)) << "no such window";

    destroy = true;
    EXPECT_TRUE(call.Call(9, 0, 0));
    EXPECT_FALSE(call.Call(10, 0, 0)) << "the window is gone";
    EXPECT_TRUE(watch.expired()) << "the procedure is let go with its window";
    EXPECT_EQ(seen, (std::vector<std::string> { "1:7:40:2", "1:8:1:1", "1:9:0:0", "held by the procedure" }));
}

TEST_F(MessageWindowTest, CrossThreadSendRunsOnTheOwnerWhenItPumps)
{
    std::thread::id ranOn;
    const WindowHandle window = Create([&](WindowHandle, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
        ranOn = std::this_thread::get_id();
        return static_cast<std::intptr_t>(msg * 100 + wp * 10 + lp);
    });
    std::intptr_t result = 0;
    auto sent = SendAsync(window, 3, 1000ms, HungPolicy::AbortIfHung, &result);
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_TRUE(Readable(MessageWakeDescriptor()));
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(sent.get(), SendResult::Handled);
    EXPECT_EQ(result, 312);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(Readable(MessageWakeDescriptor()));
}

TEST_F(MessageWindowTest, TimedOutMessageIsWithdrawnAndNeverDeliveredLate)
{
    int calls = 0;
    const WindowHandle window = Create([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++calls;
        return std::intptr_t { 0 };
    });
    auto sent = SendAsync(window, 1, 1000ms);
    ASSERT_TRUE(WaitForMessages(60000ms));
    m_clock.Advance(999ms);
    EXPECT_EQ(sent.wait_for(20ms), std::future_status::timeout) << "gave up before its time-out";
    m_clock.Advance(1ms);
    EXPECT_EQ(sent.get(), SendResult::TimedOut);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(calls, 0);
}

TEST_F(MessageWindowTest, HungOwnerIsAnsweredAtOnceUntilItPumpsAgain)
{
    int calls = 0;
    const WindowHandle window = Create([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++calls;
        return std::intptr_t { 0 };
    });
    auto first = SendAsync(window, 1, 1000ms, HungPolicy::AbortIfHung);
    ASSERT_TRUE(WaitForMessages(60000ms));
    m_clock.Advance(1000ms);
    ASSERT_EQ(first.get(), SendResult::TimedOut);

    // Asked 4.999 s ago and not pumped: not hung yet, the send waits.
    m_clock.Advance(3999ms);
    auto second = SendAsync(window, 2, 1000ms, HungPolicy::AbortIfHung);
    ASSERT_TRUE(WaitForMessages(60000ms));
    m_clock.Advance(1000ms);
    ASSERT_EQ(second.get(), SendResult::TimedOut);

    // Now hung: answered without waiting and without queueing.
    EXPECT_EQ(SendAsync(window, 3, 1000ms, HungPolicy::AbortIfHung).get(), SendResult::Hung);
    // A sender that does not ask to abort still queues.
    auto patient = SendAsync(window, 4, 1000ms, HungPolicy::Wait);
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(patient.get(), SendResult::Handled);
    EXPECT_EQ(calls, 1);

    // Pumping makes the owner responsive again.
    auto after = SendAsync(window, 5, 1000ms, HungPolicy::AbortIfHung);
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(after.get(), SendResult::Handled);
}

TEST_F(MessageWindowTest, AnOwnerWhoseQueuedMessagesWentWithTheirWindowIsNotHung)
{
    const WindowHandle first = Create(DefWindowProc);
    auto dropped = SendAsync(first, 1, 1000ms, HungPolicy::AbortIfHung);
    ASSERT_TRUE(WaitForMessages(60000ms));
    DestroyMessageWindow(first);
    EXPECT_EQ(dropped.get(), SendResult::NoWindow);

    // Busy elsewhere for longer than the hung time-out, without pumping:
    // nobody was waiting for it meanwhile.
    m_clock.Advance(HungTimeout + 1000ms);
    int calls = 0;
    const WindowHandle second = Create([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++calls;
        return std::intptr_t { 0 };
    });
    auto sent = SendAsync(second, 2, 1000ms, HungPolicy::AbortIfHung);
    ASSERT_EQ(sent.wait_for(100ms), std::future_status::timeout) << "answered Hung at once";
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(sent.get(), SendResult::Handled);
    EXPECT_EQ(calls, 1);
}

TEST_F(MessageWindowTest, StartedMessageIsWaitedForPastItsTimeOut)
{
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future();
    const WindowHandle window = Create([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        entered.set_value();
        released.wait();
        return std::intptr_t { 9 };
    });
    std::intptr_t result = 0;
    auto sent = SendAsync(window, 1, 1000ms, HungPolicy::AbortIfHung, &result);
    ASSERT_TRUE(WaitForMessages(60000ms));
    std::thread helper([&] {
        entered.get_future().wait();
        m_clock.Advance(5000ms);
        EXPECT_EQ(sent.wait_for(20ms), std::future_status::timeout);
        release.set_value();
    });
    EXPECT_EQ(PumpMessages(), 1);
    helper.join();
    EXPECT_EQ(sent.get(), SendResult::Handled);
    EXPECT_EQ(result, 9);
}

TEST_F(MessageWindowTest, ModalLoopInsideAHandlerGoesOnPumping)
{
    std::vector<std::uint32_t> order;
    std::future<SendResult> inner;
    WindowHandle window = 0;
    window = Create([&](WindowHandle, std::uint32_t msg, std::uintptr_t, std::intptr_t) {
        order.push_back(msg);
        if (msg == 1) {
            inner = SendAsync(window, 2, 1000ms);
            EXPECT_TRUE(WaitForMessages(60000ms));
            EXPECT_EQ(PumpMessages(), 1);
            order.push_back(100);
        }
        return std::intptr_t { 0 };
    });
    auto outer = SendAsync(window, 1, 1000ms);
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(outer.get(), SendResult::Handled);
    EXPECT_EQ(inner.get(), SendResult::Handled);
    EXPECT_EQ(order, (std::vector<std::uint32_t> { 1, 2, 100 }));
}

TEST_F(MessageWindowTest, MessagesFromOneSenderAreHandledInOrder)
{
    std::vector<std::uintptr_t> order;
    const WindowHandle window = Create([&](WindowHandle, std::uint32_t, std::uintptr_t wp, std::intptr_t) {
        order.push_back(wp);
        return std::intptr_t { 0 };
    });
    std::atomic<bool> done { false };
    std::thread sender([&] {
        for (std::uintptr_t i = 0; i < 50; ++i)
            EXPECT_EQ(SendMessageTimeout(window, 1, i, 0, 1000ms), SendResult::Handled);
        done = true;
    });
    // The process clock stands still here: wait on the wake-up descriptor.
    pollfd wake { MessageWakeDescriptor(), POLLIN, 0 };
    while (!done) {
        poll(&wake, 1, 1);
        PumpMessages();
    }
    sender.join();
    ASSERT_EQ(order.size(), 50u);
    for (std::uintptr_t i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

TEST_F(MessageWindowTest, DestroyedOrUnknownWindowAnswersNoWindow)
{
    int calls = 0;
    const WindowHandle window = CreateMessageWindow([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++calls;
        return std::intptr_t { 0 };
    });
    auto queued = SendAsync(window, 1, 1000ms);
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_TRUE(DestroyMessageWindow(window));
    EXPECT_EQ(queued.get(), SendResult::NoWindow);
    EXPECT_FALSE(IsMessageWindow(window));
    EXPECT_FALSE(DestroyMessageWindow(window));
    EXPECT_EQ(SendMessageTimeout(window, 1, 0, 0, 1000ms), SendResult::NoWindow);
    EXPECT_EQ(SendMessageTimeout(0, 1, 0, 0, 1000ms), SendResult::NoWindow);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(calls, 0);
}

TEST_F(MessageWindowTest, WindowsOfAnEndedThreadAreGone)
{
    WindowHandle window = 0;
    std::thread owner([&] {
        window = CreateMessageWindow(
            [](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return std::intptr_t { 1 }; });
        EXPECT_TRUE(IsMessageWindow(window));
    });
    owner.join();
    EXPECT_FALSE(IsMessageWindow(window));
    EXPECT_EQ(SendMessageTimeout(window, 1, 0, 0, 1000ms), SendResult::NoWindow);
}

TEST_F(MessageWindowTest, FailingProcedureStillReleasesItsSender)
{
    const WindowHandle window = Create([](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        throw std::runtime_error("handler failed");
    });
    auto sent = SendAsync(window, 1, 1000ms);
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_THROW(PumpMessages(), std::runtime_error);
    EXPECT_EQ(sent.get(), SendResult::Handled);
}

TEST_F(MessageWindowTest, TasksRunOnTheOwnerThreadInsteadOfTheProcedure)
{
    int procedureCalls = 0;
    const WindowHandle window = Create([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++procedureCalls;
        return std::intptr_t { 0 };
    });
    std::vector<std::thread::id> ranOn;
    const std::function<void()> task = [&] { ranOn.push_back(std::this_thread::get_id()); };

    // From the owner thread the task runs at once, also when the window was
    // just reached through the registry or through the last direct send.
    EXPECT_EQ(SendTaskTimeout(window, task, 1000ms), SendResult::Handled);
    EXPECT_EQ(SendTaskTimeout(window, task, 1000ms), SendResult::Handled);
    EXPECT_EQ(ranOn.size(), 2u);

    // From another thread it waits until the owner pumps.
    EXPECT_FALSE(MessagesWaiting());
    auto sent = std::async(std::launch::async, [&] { return SendTaskTimeout(window, task, 1000ms); });
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_TRUE(MessagesWaiting());
    EXPECT_EQ(ranOn.size(), 2u);
    EXPECT_EQ(PumpMessages(), 1);
    EXPECT_EQ(sent.get(), SendResult::Handled);
    EXPECT_FALSE(MessagesWaiting());
    ASSERT_EQ(ranOn.size(), 3u);
    EXPECT_EQ(ranOn.back(), std::this_thread::get_id());
    EXPECT_EQ(procedureCalls, 0);

    // A destroyed window takes no task, also not through a remembered direct send.
    DestroyMessageWindow(window);
    EXPECT_EQ(SendTaskTimeout(window, task, 1000ms), SendResult::NoWindow);
    EXPECT_EQ(SendMessageTimeout(window, 1, 0, 0, 1000ms), SendResult::NoWindow);
    EXPECT_EQ(ranOn.size(), 3u);
}

TEST_F(MessageWindowTest, TaskNotStartedInTimeIsWithdrawnAndNeverRuns)
{
    const WindowHandle window = Create(DefWindowProc);
    int ran = 0;
    const std::function<void()> task = [&] { ++ran; };
    auto sent = std::async(std::launch::async, [&] { return SendTaskTimeout(window, task, 1000ms); });
    ASSERT_TRUE(WaitForMessages(60000ms));
    m_clock.Advance(1000ms);
    EXPECT_EQ(sent.get(), SendResult::TimedOut);
    EXPECT_FALSE(MessagesWaiting());
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(ran, 0);
}

TEST_F(MessageWindowTest, FailingTaskStillReleasesItsSender)
{
    const WindowHandle window = Create(DefWindowProc);
    const std::function<void()> task = [] { throw std::runtime_error("task failed"); };
    auto sent = std::async(std::launch::async, [&] { return SendTaskTimeout(window, task, 1000ms); });
    ASSERT_TRUE(WaitForMessages(60000ms));
    EXPECT_THROW(PumpMessages(), std::runtime_error);
    EXPECT_EQ(sent.get(), SendResult::Handled);
}

// A task whose sender goes on with other work: Start returns at once, and
// the answers are those of SendTaskTimeout, signalled by Finished().
TEST_F(MessageWindowTest, ATaskSendLeavesItsSenderFreeAndAnswersLikeASend)
{
    enum class Then { Pump, LetTimeOut, DestroyWindow };
    struct Case {
        const char* Name;
        Then Owner;
        SendResult Expected;
        int Runs;
    };
    const Case cases[] = {
        { "the owner pumps", Then::Pump, SendResult::Handled, 1 },
        { "not started in time", Then::LetTimeOut, SendResult::TimedOut, 0 },
        { "the window goes away", Then::DestroyWindow, SendResult::NoWindow, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const WindowHandle window = Create(DefWindowProc);
        int runs = 0;
        const std::function<void()> task = [&] { ++runs; };
        TaskSend send;
        ASSERT_TRUE(send.Usable());
        std::promise<void> started;
        std::atomic<int> waits { 0 };
        auto answered = std::async(std::launch::async, [&] {
            std::optional<SendResult> answer = send.Start(window, task, 1000ms, HungPolicy::AbortIfHung);
            started.set_value();
            while (!answer) {
                send.Finished().Wait(send.WaitMs());
                ++waits;
                answer = send.Answer();
            }
            return *answer;
        });
        ASSERT_EQ(started.get_future().wait_for(60s), std::future_status::ready) << "Start does not wait for the owner";
        ASSERT_TRUE(WaitForMessages(60000ms));
        switch (c.Owner) {
        case Then::Pump:
            EXPECT_EQ(PumpMessages(), 1);
            break;
        case Then::LetTimeOut:
            m_clock.Advance(999ms);
            EXPECT_EQ(answered.wait_for(30ms), std::future_status::timeout) << "gave up before its time-out";
            m_clock.Advance(1ms);
            break;
        case Then::DestroyWindow:
            DestroyMessageWindow(window);
            break;
        }
        EXPECT_EQ(answered.get(), c.Expected);
        EXPECT_GE(waits.load(), 1);
        EXPECT_EQ(PumpMessages(), 0) << "nothing is left queued";
        EXPECT_EQ(runs, c.Runs);
        EXPECT_EQ(send.Answer(), c.Expected) << "the answer stays";
        EXPECT_FALSE(send.Finished().IsSet()) << "cleared with the answer, ready for the next task";
    }

    // From the owner thread the task runs at once.
    const WindowHandle own = Create(DefWindowProc);
    int runs = 0;
    TaskSend send;
    EXPECT_EQ(send.Start(
                  own, [&] { ++runs; }, 1000ms),
        SendResult::Handled);
    EXPECT_EQ(runs, 1);
}

// A pipe whose read end is watched for the test thread's window.
class WatchedPipe {
public:
    WatchedPipe()
    {
        int ends[2] = { -1, -1 };
        EXPECT_EQ(pipe(ends), 0);
        Read = ends[0];
        Write = ends[1];
    }
    ~WatchedPipe()
    {
        CloseRead();
        close(Write);
    }
    WatchedPipe(const WatchedPipe&) = delete;
    WatchedPipe& operator=(const WatchedPipe&) = delete;
    void News() const { ASSERT_EQ(write(Write, "x", 1), 1); }
    void CloseRead()
    {
        if (Read >= 0)
            close(Read);
        Read = -1;
    }
    int Read = -1;
    int Write = -1;
};

TEST_F(MessageWindowTest, AWatchedDescriptorsNewsIsHandledByTheOwnersNextPumpAfterTheMessagesBefore)
{
    struct Case {
        const char* Name;
        bool Again; // what the watch's first call returns
        std::vector<std::string> FirstPump;
        bool WakeAfter; // the wake descriptor is readable after the first pump
        std::vector<std::string> SecondPump;
    };
    const Case cases[] = {
        { "news once", false, { "message", "watch" }, false, {} },
        { "work left", true, { "message", "watch" }, true, { "watch" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> log;
        const WindowHandle window
            = Create([&](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
                  log.push_back("message");
                  return 0;
              });
        WatchedPipe pipe;
        int calls = 0;
        const WatchHandle watch = WatchDescriptor(window, pipe.Read, [&] {
            log.push_back("watch");
            EXPECT_EQ(PumpMessages(), 0) << "a nested pump does not call a running watch";
            return ++calls == 1 && c.Again;
        });
        ASSERT_TRUE(watch);
        EXPECT_FALSE(Readable(MessageWakeDescriptor()));
        auto sent = SendAsync(window, 7, 60000ms);
        while (!MessagesWaiting())
            std::this_thread::yield();
        pipe.News();
        EXPECT_TRUE(Readable(MessageWakeDescriptor()));
        PumpMessages();
        EXPECT_EQ(sent.get(), SendResult::Handled);
        EXPECT_EQ(log, c.FirstPump);
        EXPECT_EQ(Readable(MessageWakeDescriptor()), c.WakeAfter) << "news left unread does not wake again";
        log.clear();
        PumpMessages();
        EXPECT_EQ(log, c.SecondPump);
        // New news wakes the owner again, also through WaitForMessages.
        pipe.News();
        EXPECT_TRUE(WaitForMessages(60000ms));
        StopWatch(watch);
        log.clear();
        PumpMessages();
        EXPECT_TRUE(log.empty()) << "a stopped watch is never called";
    }
}

TEST_F(MessageWindowTest, StoppingAWatchWaitsForItsRunningCallAndSparesAnotherWatchOnTheSameNumber)
{
    const WindowHandle window = Create(DefWindowProc);
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> returned { false };
    WatchedPipe first;
    const WatchHandle watch = WatchDescriptor(window, first.Read, [&] {
        entered.set_value();
        release.get_future().wait();
        returned = true;
        return false;
    });
    ASSERT_TRUE(watch);
    first.News();
    auto stopped = std::async(std::launch::async, [&] {
        entered.get_future().wait();
        StopWatch(watch);
        return returned.load();
    });
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        release.set_value();
    });
    PumpMessages();
    releaser.join();
    EXPECT_TRUE(stopped.get()) << "StopWatch returned before the running call ended";

    // Inside its own call, a watch only ends.
    WatchedPipe second;
    WatchHandle self;
    int calls = 0;
    self = WatchDescriptor(window, second.Read, [&] {
        ++calls;
        StopWatch(self);
        return true;
    });
    second.News();
    PumpMessages();
    PumpMessages();
    EXPECT_EQ(calls, 1);

    // A watch keeps its own copy of the descriptor: the caller may close
    // its descriptor, whose number another watch may then be given; stopping
    // the first watch does not end the second.
    WatchedPipe third;
    int thirdCalls = 0;
    const WatchHandle closed = WatchDescriptor(window, third.Read, [] { return false; });
    const int number = third.Read;
    third.CloseRead();
    WatchedPipe reused;
    if (reused.Read != number)
        GTEST_SKIP() << "the descriptor number was not reused";
    const WatchHandle next = WatchDescriptor(window, reused.Read, [&] {
        ++thirdCalls;
        return false;
    });
    ASSERT_TRUE(next);
    StopWatch(closed);
    reused.News();
    PumpMessages();
    EXPECT_EQ(thirdCalls, 1);
    StopWatch(next);
}

// A watch whose call throws: the failure leaves the pump, and the watches
// not called yet are called at the next pump (and can be stopped).
TEST_F(MessageWindowTest, AWatchThatThrowsLeavesTheOtherWatchesForTheNextPump)
{
    const WindowHandle window = Create(DefWindowProc);
    WatchedPipe failing;
    WatchedPipe other;
    int otherCalls = 0;
    const WatchHandle first
        = WatchDescriptor(window, failing.Read, []() -> bool { throw std::runtime_error("watch failed"); });
    const WatchHandle second = WatchDescriptor(window, other.Read, [&] {
        ++otherCalls;
        return false;
    });
    failing.News();
    other.News();
    EXPECT_THROW(PumpMessages(), std::runtime_error);
    EXPECT_EQ(otherCalls, 0);
    PumpMessages();
    ASSERT_EQ(otherCalls, 1);
    StopWatch(first);
    StopWatch(second);
}

TEST(MessageWindowSteadyClock, WaitForMessagesTimesOutWhenNothingArrives)
{
    EXPECT_FALSE(WaitForMessages(std::chrono::milliseconds(5)));
    EXPECT_EQ(DefWindowProc(0, 1, 2, 3), 0);
}

} // namespace
} // namespace zop
