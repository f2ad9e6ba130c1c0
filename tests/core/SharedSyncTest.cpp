#include "core/system/SharedSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// Writers asking at once share syncs, and each gets the result of one that began after it
// asked: each sync here answers with its own number, so a writer served by a sync that was
// already under way would get a number from before its asking.
TEST(SharedSync, EachWriterIsServedByASyncBegunAfterItAskedAndGetsThatOnesResult)
{
    SharedSync shared;
    std::atomic<int> begun{0};
    std::vector<std::thread> writers;
    for (int n = 0; n < 12; ++n)
        writers.emplace_back([&] {
            const int before = begun;
            const int served = shared.after([&] {
                const int number = ++begun;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return number;
            });
            EXPECT_GT(served, before);
            EXPECT_LE(served, begun);
        });
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_LT(begun, 12) << "every writer synced alone";
}
