#include "core/system/SharedSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Writers asking at once share syncs, and each gets the result of one that began after it
// asked: each sync here answers with its own number, so a writer served by a sync that was
// already under way would get a number from before its asking.
TEST(SharedSync, EachWriterIsServedByASyncBegunAfterItAskedAndGetsThatOnesResult)
{
    SharedSync shared;
    std::atomic<int> begun{0};
    const auto sync = [&] {
        const int number = ++begun;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return number;
    };
    constexpr int Writers = 12;
    std::vector<std::thread> writers;
    for (int n = 0; n < Writers; ++n)
        writers.emplace_back([&] {
            const int before = begun;
            const int served = shared.after(sync);
            EXPECT_GT(served, before);
            EXPECT_LE(served, begun);
        });
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_LT(begun, Writers) << "every writer synced alone";
}

} // namespace
