#include "platform/ParallelWork.h"

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace brindle {

TWarningSink TParallelRun::SerialisedSink(TWarningSink sink) {
    if (!sink) return {};
    return [this, sink = std::move(sink)](const TWarning& warning) { Serialised([&] { sink(warning); }); };
}

void TParallelRun::Fail(std::exception_ptr error) {
    {
        std::lock_guard lock(failureLock_);
        if (!failure_) failure_ = std::move(error);
    }
    Cancel();
}

void TParallelRun::RethrowFailure() {
    std::exception_ptr failure;
    {
        std::lock_guard lock(failureLock_);
        failure = std::exchange(failure_, nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

bool RunShares(size_t shares, TParallelRun& run, const std::function<void(size_t share)>& share) {
    auto guarded = [&](size_t k) {
        try {
            share(k);
        } catch (...) {
            run.Fail(std::current_exception());
        }
    };
    {
        std::vector<std::jthread> threads;
        threads.reserve(shares > 0 ? shares - 1 : 0);
        try {
            for (size_t k = 1; k < shares; ++k) threads.emplace_back(guarded, k);
        } catch (...) {
            // No thread could be started: the shares that have one still end.
            run.Fail(std::current_exception());
        }
        if (shares > 0) guarded(0);
    }
    run.RethrowFailure();
    return !run.Cancelled();
}

bool ForEachInParallel(size_t count, TParallelRun& run, const TForEachOptions& options,
                       const std::function<void(size_t item)>& each) {
    const size_t batch = std::max<size_t>(options.Batch, 1);
    const size_t batches = (count + batch - 1) / batch;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min<size_t>(options.Threads ? options.Threads : cores, std::max<size_t>(batches, 1));
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> done{0};
    auto tell = [&](uint64_t now) {
        if (options.Progress) run.Serialised([&] { options.Progress(now, count); });
    };
    auto work = [&](size_t) {
        while (!run.Cancelled()) {
            const size_t first = next.fetch_add(batch);
            if (first >= count) break;
            const size_t last = std::min(count, first + batch);
            for (size_t i = first; i < last; ++i) each(i);
            const uint64_t before = done.fetch_add(last - first);
            const uint64_t after = before + (last - first);
            if (options.ProgressEvery && before / options.ProgressEvery != after / options.ProgressEvery) tell(after);
        }
    };
    bool finished = false;
    try {
        finished = RunShares(threads, run, work);
    } catch (...) {
        tell(done.load());
        throw;
    }
    tell(done.load());
    return finished;
}

}  // namespace brindle
