#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "comm/SyncEvent.h"

namespace zop {
namespace {

TEST(SyncEvent, AutoResetWakesOneWaiterOnce)
{
    SyncEvent event;
    ASSERT_TRUE(event.Create(EventReset::Auto));
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)) << "two signals before a wait count as one";
}

TEST(SyncEvent, ManualResetStaysSetUntilReset)
{
    SyncEvent event;
    ASSERT_TRUE(event.Create(EventReset::Manual));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(SyncEvent, WaitingForAnyGivesTheFirstSignalledInOrder)
{
    SyncEvent ready, flush, done;
    ASSERT_TRUE(ready.Create(EventReset::Auto));
    ASSERT_TRUE(flush.Create(EventReset::Auto));
    ASSERT_TRUE(done.Create(EventReset::Manual));
    EXPECT_EQ(WaitForAnyEvent({ &ready, &flush }, 0), -1);
    flush.Set();
    ready.Set();
    EXPECT_EQ(WaitForAnyEvent({ &ready, &flush }, 0), 0);
    EXPECT_EQ(WaitForAnyEvent({ &ready, &flush }, 0), 1);
    EXPECT_EQ(WaitForAnyEvent({ &ready, &flush }, 0), -1);
    done.Set();
    EXPECT_EQ(WaitForAnyEvent({ &ready, &done }, 0), 1);
    EXPECT_TRUE(done.IsSet()) << "a manual-reset event is not consumed";
}

TEST(SyncEvent, ASignalFromAnotherThreadEndsAnUnlimitedWait)
{
    SyncEvent event;
    ASSERT_TRUE(event.Create(EventReset::Auto));
    std::atomic<bool> woke { false };
    std::thread waiter([&] { woke = event.Wait(-1); });
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_FALSE(event.IsSet());
}

TEST(SyncEvent, AnEventNeverCreatedIsNeverSet)
{
    SyncEvent event;
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.IsCreated());
    EXPECT_FALSE(event.Wait(-1)) << "waiting on it returns at once";
}

} // namespace
} // namespace zop
