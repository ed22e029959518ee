#pragma once
// Work split over threads, with one set of rules for every such split:
//  - the caller's thread takes a share of the work itself; the others run on threads that are
//    joined before any call returns;
//  - a run is cancelled by Cancel(), by the caller's flag, or by a share that throws; every
//    share asks Cancelled() now and then and stops early;
//  - the first exception thrown by any share is rethrown on the caller's thread once every
//    thread has been joined; later ones are dropped;
//  - progress and warnings are told one call at a time, under the run's lock: a caller's
//    callbacks never run concurrently, whichever thread they come from.
#include "platform/Warnings.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>

namespace brindle {

class TParallelRun {
public:
    // cancel, when given, is the caller's own flag; it is read, never written.
    explicit TParallelRun(const std::atomic<bool>* cancel = nullptr) : external_(cancel) {}
    TParallelRun(const TParallelRun&) = delete;
    TParallelRun& operator=(const TParallelRun&) = delete;

    bool Cancelled() const {
        return cancelled_.load(std::memory_order_relaxed) ||
               (external_ && external_->load(std::memory_order_relaxed));
    }
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }

    // Runs tell() under the run's lock. A call made from within another one on the same
    // thread goes through (the lock is recursive).
    template <class TTell>
    decltype(auto) Serialised(TTell&& tell) {
        std::lock_guard lock(lock_);
        return tell();
    }
    // A sink that hands each warning to sink under the run's lock; empty when sink is. The
    // run must outlive every copy of it.
    TWarningSink SerialisedSink(TWarningSink sink);

    // Keeps the first failure of a share and cancels the run.
    void Fail(std::exception_ptr error);
    // Rethrows the first failure, if any.
    void RethrowFailure();

private:
    std::atomic<bool> cancelled_{false};
    const std::atomic<bool>* external_;
    std::recursive_mutex lock_;
    std::mutex failureLock_;
    std::exception_ptr failure_;
};

// Runs share(k) for every k below shares, share 0 on the caller's thread and each other on a
// thread of its own. Returns false when the run was cancelled (by a share, the caller's flag
// or an earlier Cancel()); rethrows the first exception of a share after all were joined.
bool RunShares(size_t shares, TParallelRun& run, const std::function<void(size_t share)>& share);

struct TForEachOptions {
    // Threads in all, the caller's included; 0: one per core. Never more than there are
    // batches.
    unsigned Threads = 0;
    // Items a thread takes at a time.
    size_t Batch = 1;
    // Told under the run's lock each time the count of items done passes a multiple of
    // ProgressEvery, and once when the run ends (also when it was cancelled).
    uint64_t ProgressEvery = 0;
    std::function<void(uint64_t done, uint64_t total)> Progress;
};

// Runs each(i) for every i below count, the threads taking the next batch not yet taken, so
// that every item is done once. Stops taking batches when the run is cancelled; returns false
// then. Exceptions as in RunShares.
bool ForEachInParallel(size_t count, TParallelRun& run, const TForEachOptions& options,
                       const std::function<void(size_t item)>& each);

}  // namespace brindle
