#include "platform/ParallelWork.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace brindle {
namespace {

// Counts the callbacks that are running at once; the highest count seen stays.
class TOverlapMeter {
public:
    void Enter() {
        const int now = ++inside_;
        int seen = most_.load();
        while (now > seen && !most_.compare_exchange_weak(seen, now)) {
        }
        // Long enough for a second thread to come in when nothing keeps it out.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        --inside_;
    }
    int Most() const { return most_.load(); }

private:
    std::atomic<int> inside_{0};
    std::atomic<int> most_{0};
};

TEST(ParallelWorkThreaded, EveryItemIsDoneOnceForZeroOneAndManyItems) {
    for (const size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}}) {
        for (const unsigned threads : {1u, 3u, 8u}) {
            SCOPED_TRACE(testing::Message() << count << " items, " << threads << " threads");
            std::vector<std::atomic<int>> done(count);
            std::vector<uint64_t> told;
            TParallelRun run;
            TForEachOptions options;
            options.Threads = threads;
            options.Batch = 4;
            options.ProgressEvery = 100;
            options.Progress = [&](uint64_t now, uint64_t total) {
                EXPECT_EQ(total, count);
                told.push_back(now);
            };
            EXPECT_TRUE(ForEachInParallel(count, run, options, [&](size_t i) { ++done[i]; }));
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(done[i].load(), 1) << "item " << i;
            ASSERT_FALSE(told.empty());
            EXPECT_EQ(told.back(), count);
            // Every multiple of 100 passed is told, then the end.
            EXPECT_GE(told.size(), count / 100 + 1);
        }
    }
}

TEST(ParallelWorkThreaded, TheFirstErrorOfAWorkerReachesTheCallerAfterAllEnded) {
    TParallelRun run;
    std::atomic<int> ended{0};
    try {
        RunShares(4, run, [&](size_t share) {
            if (share == 2) throw EReadError();
            // The others go on until they see the cancellation that the failure caused.
            while (!run.Cancelled()) std::this_thread::yield();
            ++ended;
        });
        FAIL() << "no exception";
    } catch (const EReadError& error) {
        EXPECT_EQ(error.Message(), "Stream read error");
    }
    EXPECT_EQ(ended.load(), 3);

    TParallelRun items;
    TForEachOptions options;
    options.Threads = 3;
    EXPECT_THROW(ForEachInParallel(500, items, options,
                                   [](size_t i) {
                                       if (i == 123) throw std::runtime_error("item 123");
                                   }),
                 std::runtime_error);
    EXPECT_TRUE(items.Cancelled());
}

TEST(ParallelWorkThreaded, AnErrorOnTheCallersShareWaitsForTheOthers) {
    TParallelRun run;
    std::atomic<bool> otherEnded{false};
    EXPECT_THROW(RunShares(2, run,
                           [&](size_t share) {
                               if (share == 0) throw std::runtime_error("first");
                               while (!run.Cancelled()) std::this_thread::yield();
                               otherEnded = true;
                           }),
                 std::runtime_error);
    EXPECT_TRUE(otherEnded.load());
}

TEST(ParallelWorkThreaded, CancellingStopsEveryThread) {
    constexpr size_t kCount = 1000000;
    TParallelRun run;
    std::atomic<size_t> done{0};
    TForEachOptions options;
    options.Threads = 4;
    EXPECT_FALSE(ForEachInParallel(kCount, run, options, [&](size_t) {
        if (++done == 50) run.Cancel();
    }));
    // Each thread may finish the batch it holds, no more.
    EXPECT_LT(done.load(), 50u + 2 * options.Threads);

    std::atomic<bool> flag{false};
    TParallelRun byCaller(&flag);
    std::atomic<size_t> seen{0};
    EXPECT_FALSE(RunShares(3, byCaller, [&](size_t share) {
        if (share == 1) flag = true;
        while (!byCaller.Cancelled()) std::this_thread::yield();
        ++seen;
    }));
    EXPECT_EQ(seen.load(), 3u);

    TParallelRun already;
    already.Cancel();
    size_t ran = 0;
    EXPECT_FALSE(ForEachInParallel(10, already, {}, [&](size_t) { ++ran; }));
    EXPECT_EQ(ran, 0u);
}

TEST(ParallelWorkThreaded, ProgressAndWarningsNeverRunAtOnce) {
    TOverlapMeter meter;
    TParallelRun run;
    size_t warnings = 0;
    TWarningSink sink = run.SerialisedSink([&](const TWarning&) {
        meter.Enter();
        ++warnings;
    });
    TForEachOptions options;
    options.Threads = 4;
    options.ProgressEvery = 1;
    options.Progress = [&](uint64_t, uint64_t) { meter.Enter(); };
    EXPECT_TRUE(ForEachInParallel(400, run, options, [&](size_t i) {
        if (i % 2 == 0) sink({"damaged", {}});
    }));
    EXPECT_EQ(warnings, 200u);
    EXPECT_EQ(meter.Most(), 1);
    EXPECT_FALSE(TParallelRun().SerialisedSink({}));
}

}  // namespace
}  // namespace brindle
