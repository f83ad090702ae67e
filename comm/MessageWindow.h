#pragma once
// Message windows: the small facility through which the dispatcher threads
// reach code that runs on the application's thread.
//
// A message window belongs to the thread that created it. A message sent to
// it from that thread calls its procedure directly. A message sent from any
// other thread is queued for the owner thread, and the sender blocks until the
// owner has handled it or the time-out has passed. A message that has not
// started when its time-out passes is withdrawn: it is never delivered late.
// Once the owner has started handling it, the sender waits for the end, so a
// handler never runs while its sender believes it finished. A sender that
// asks for it is answered at once when the owner thread is hung: it was asked
// to handle messages and has not done so for HungTimeout.
//
// The owner thread handles queued messages by calling PumpMessages(): a
// window program calls it whenever MessageWakeDescriptor() becomes readable
// (watch it from the event loop), command-line tools and tests call it
// themselves (WaitForMessages() blocks until something arrives). Handlers may
// pump again (modal loops); messages are handled one at a time in the order
// they were sent. Time-outs run on the process clock (comm/Clock.h).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "comm/SyncEvent.h"

namespace zop {

using WindowHandle = std::uintptr_t; // 0 is no window
using WindowProc = std::function<std::intptr_t(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t)>;

enum class SendResult {
    Handled, // the procedure ran and returned
    TimedOut, // not started within the time-out; withdrawn
    Hung, // the owner thread is hung; not queued
    NoWindow, // no such window, or it went away before handling the message
};

enum class HungPolicy { Wait, AbortIfHung };

// A thread that was asked to handle a message and has not pumped for this
// long counts as hung.
inline constexpr std::chrono::milliseconds HungTimeout { 5000 };

// Creates a window owned by the calling thread.
WindowHandle CreateMessageWindow(WindowProc procedure);

// Destroys a window; messages still queued for it are answered NoWindow.
// Returns false for an unknown handle.
bool DestroyMessageWindow(WindowHandle window);

bool IsMessageWindow(WindowHandle window);

// Sends a message and waits for its handling, as described above. `result`
// receives the procedure's return value when Handled.
SendResult SendMessageTimeout(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
    std::chrono::milliseconds timeout, HungPolicy policy = HungPolicy::Wait, std::intptr_t* result = nullptr);

// Runs `task` on the thread that owns `window`, handled exactly as a message
// to that window would be (same queue and order, time-out, hung rule and
// answers), except that the window's procedure is not called. From the owner
// thread the task runs at once. The sender stays blocked while the task runs,
// so a task may use what its sender uses. A task that throws answers Handled
// and its exception leaves PumpMessages() on the owner thread.
SendResult SendTaskTimeout(WindowHandle window, const std::function<void()>& task, std::chrono::milliseconds timeout,
    HungPolicy policy = HungPolicy::Wait);

// A task sent to a window's owner thread while the sender goes on with
// other work: the same queue and order, time-out, hung rule and answers as
// SendTaskTimeout, but Start returns at once. The sender learns the answer
// from Answer(), which it asks again whenever Finished() is signalled or
// WaitMs() has passed. One task at a time; the object must outlive its task.
class TaskSend {
public:
    TaskSend();
    ~TaskSend();
    TaskSend(const TaskSend&) = delete;
    TaskSend& operator=(const TaskSend&) = delete;

    // False when the signal could not be made (out of descriptors): use
    // SendTaskTimeout then.
    bool Usable() const;
    // Starts sending `task`, which the caller keeps alive until the answer.
    // Returns the answer when it is known at once (the task ran here, the
    // owner is hung, no such window), else nothing: the task is queued.
    std::optional<SendResult> Start(WindowHandle window, const std::function<void()>& task,
        std::chrono::milliseconds timeout, HungPolicy policy = HungPolicy::Wait);
    // The answer once the task has run or was dropped; a task still queued
    // when its time-out has passed is withdrawn (TimedOut). Nothing while it
    // is queued within its time-out or running.
    std::optional<SendResult> Answer();
    // Signalled when the task has run or was dropped; cleared when Answer()
    // gives the answer.
    SyncEvent& Finished();
    // How long the sender may wait for Finished() before asking Answer()
    // again: without limit (-1) once the task runs; while it is queued, the
    // rest of the time-out in slices of at most 10 ms, so that a process
    // clock moved by hand (comm/Clock.h) is seen.
    int WaitMs() const;

private:
    struct Outgoing;
    std::unique_ptr<Outgoing> m_out;
};

// A descriptor watched for the owner thread of a window: when new bytes
// make it readable, the owner's wake descriptor becomes readable and the
// owner's next PumpMessages() calls `ready` on the owner thread, after the
// messages queued before. `ready` returns true when it left work for later:
// it is then called again at the next pump (the owner is woken for it).
// Nested pumps never call a watch that is running. The watch is edge-driven:
// bytes that stay unread do not wake the owner again. It watches a copy of
// the descriptor of its own (closed when the watch is stopped and let go),
// so the caller may close its descriptor before it stops the watch.
class DescriptorWatch;
using WatchHandle = std::shared_ptr<DescriptorWatch>;
// Starts a watch; null when the window is not known or the descriptor
// cannot be watched.
WatchHandle WatchDescriptor(WindowHandle window, int fd, std::function<bool()> ready);
// Makes a watch due as if its descriptor had news (its owner is woken).
// False when it was due already (its thread has not pumped since it became
// due), has ended, or its thread is gone.
bool NudgeWatch(const WatchHandle& watch);
// Ends a watch: when it returns, `ready` is not running on another thread
// and is never called again. From inside `ready`, it only ends the watch.
void StopWatch(const WatchHandle& watch);

// A window of the calling thread called directly, without the queue. It
// holds the window's procedure while no window has come or gone since it was
// found, so that a call through it needs neither the registry nor a count of
// its own, and a procedure whose window goes away during the call (on any
// thread) runs to its end. It takes another window, or lets the procedure
// go, only while no call through it runs. Each thread keeps one for its own
// sends to its windows; a dispatcher's loop lent to a thread keeps one for
// its run of messages.
class OwnWindowCall {
public:
    OwnWindowCall() = default;
    explicit OwnWindowCall(WindowHandle window) { Find(window); }
    WindowHandle Window() const { return m_window; }
    // Whether it holds `window`'s procedure, found since windows last came
    // or went.
    bool Holds(WindowHandle window) const;
    // Takes `window` when it is a window of the calling thread; false when
    // it is gone, belongs to another thread, or a call through this runs.
    bool Find(WindowHandle window);
    // Calls the window's procedure, as a message sent from this thread
    // would, finding the window again when windows have come or gone; false,
    // and nothing called, when it cannot be found (see Find).
    bool Call(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t* result = nullptr);
    // Lets the procedure go once no call runs and windows have come or gone
    // since it was found.
    void LetGoIfStale();

private:
    WindowHandle m_window = 0;
    std::uint64_t m_generation = 0;
    std::shared_ptr<const WindowProc> m_procedure;
    int m_calls = 0; // calls through m_procedure running
};

// True when messages wait for the calling thread.
bool MessagesWaiting();

// Handles every message queued for the calling thread's windows, including
// those that arrive while it runs. Returns how many were handled.
int PumpMessages();

// Blocks the calling thread until a message is queued for it, a watched
// descriptor has news for it, or the time-out has passed on the process
// clock. Returns true when there is something to pump.
bool WaitForMessages(std::chrono::milliseconds timeout);

// A descriptor that is readable while messages wait for the calling thread,
// or a watched descriptor (see WatchDescriptor) has news for it.
// It belongs to the facility; do not close it.
int MessageWakeDescriptor();

// What a window procedure returns for a message it does not handle.
std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

} // namespace zop
