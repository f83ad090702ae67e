// The window's event loop delivers messages that the serial library's
// threads send to windows of the window thread.
#include "app/CommMessagePump.h"
#include "comm/MessageWindow.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace zop {
namespace {

using namespace std::chrono_literals;

std::future<SendResult> SendFromAnotherThread(WindowHandle window, std::uint32_t message)
{
    return std::async(std::launch::async, [=] { return SendMessageTimeout(window, message, 0, 0, 10000ms); });
}

// Runs the event loop until `done` holds (at most 10 s).
bool RunUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

TEST(CommMessagePump, TheEventLoopHandlesMessagesFromOtherThreads)
{
    CommMessagePump pump;
    std::vector<std::uint32_t> handled;
    const WindowHandle window
        = CreateMessageWindow([&](WindowHandle, std::uint32_t msg, std::uintptr_t, std::intptr_t) {
              handled.push_back(msg);
              return std::intptr_t { 7 };
          });
    auto sent = SendFromAnotherThread(window, 1);
    ASSERT_TRUE(RunUntil([&] { return sent.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(sent.get(), SendResult::Handled);
    EXPECT_EQ(handled, std::vector<std::uint32_t> { 1 });
    DestroyMessageWindow(window);
}

TEST(CommMessagePump, AModalLoopInsideAHandlerGoesOnDelivering)
{
    CommMessagePump pump;
    std::vector<std::uint32_t> handled;
    std::future<SendResult> inner;
    WindowHandle window = 0;
    window = CreateMessageWindow([&](WindowHandle, std::uint32_t msg, std::uintptr_t, std::intptr_t) {
        handled.push_back(msg);
        if (msg == 1) {
            // As a question box would: a nested loop while the first message is handled.
            inner = SendFromAnotherThread(window, 2);
            EXPECT_TRUE(RunUntil([&] { return inner.wait_for(0s) == std::future_status::ready; }));
        }
        return std::intptr_t { 0 };
    });
    auto outer = SendFromAnotherThread(window, 1);
    ASSERT_TRUE(RunUntil([&] { return outer.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(inner.get(), SendResult::Handled);
    EXPECT_EQ(handled, (std::vector<std::uint32_t> { 1, 2 }));
    DestroyMessageWindow(window);
}

} // namespace
} // namespace zop
