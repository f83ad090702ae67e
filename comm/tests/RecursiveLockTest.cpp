#include "comm/RecursiveLock.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace zop {
namespace {

TEST(RecursiveLock, TheOwnerTakesItAgainAndOthersWaitForTheLastRelease)
{
    RecursiveLock lock;
    lock.lock();
    lock.lock();
    EXPECT_TRUE(lock.try_lock());
    auto other = [&] {
        return std::async(std::launch::async, [&] {
            const bool taken = lock.try_lock();
            if (taken)
                lock.unlock();
            return taken;
        }).get();
    };
    lock.unlock();
    lock.unlock();
    EXPECT_FALSE(other()) << "still held once";
    lock.unlock();
    EXPECT_TRUE(other());
}

TEST(RecursiveLock, ContendedUpdatesAreNeverLost)
{
    RecursiveLock lock;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            std::lock_guard outer(lock);
            std::lock_guard inner(lock);
            ++counter;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 80000);
}

} // namespace
} // namespace zop
