#include "QueuedWriter.h"

#include <algorithm>
#include <utility>

namespace brindle {

namespace {

constexpr size_t kMaxWakeBytes = size_t{1} << 20;

}  // namespace

TQueuedWriter::TQueuedWriter(TTargetFolder& folder, TIfExists ifExists, size_t maxQueuedBytes, unsigned threads)
    : folder_(folder),
      ifExists_(ifExists),
      maxQueuedBytes_(maxQueuedBytes),
      wakeBytes_(std::min(maxQueuedBytes / 4, kMaxWakeBytes)),
      threadCount_(std::max(threads, 1u)) {
    for (unsigned t = 1; t < threadCount_; ++t) handles_.push_back(folder.Duplicate());
    try {
        threads_.emplace_back([this] { WriteQueued(folder_); });
        for (const auto& handle : handles_)
            threads_.emplace_back([this, target = handle.get()] { WriteQueued(*target); });
    } catch (...) {
        Stop();
        throw;
    }
}

TQueuedWriter::~TQueuedWriter() { Stop(); }

void TQueuedWriter::Stop() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

// What a queued file holds in memory: its name and contents and the entry that keeps them, so
// that many tiny files count for what they cost.
size_t TQueuedWriter::WeightOf(const std::string& name, const std::string& bytes) {
    return sizeof(TPending) + name.size() + bytes.size();
}

void TQueuedWriter::ThrowIfFailed() {
    if (error_) std::rethrow_exception(error_);
}

void TQueuedWriter::Write(std::string name, std::string bytes) {
    std::unique_lock guard(lock_);
    const size_t weight = WeightOf(name, bytes);
    auto hasRoom = [&] {
        return error_ || (queue_.empty() && busy_ == 0) || queuedBytes_ + takenBytes_ + weight <= maxQueuedBytes_;
    };
    if (!hasRoom()) {
        // The threads are woken for what waits, however little.
        full_ = true;
        changed_.notify_all();
        changed_.wait(guard, hasRoom);
        full_ = false;
    }
    ThrowIfFailed();
    queuedBytes_ += weight;
    queue_.push_back({std::move(name), std::move(bytes)});
    const bool wake = busy_ < threadCount_ && queuedBytes_ >= wakeBytes_;
    guard.unlock();
    if (wake) changed_.notify_all();
}

void TQueuedWriter::Finish() {
    std::unique_lock guard(lock_);
    flushing_ = true;
    changed_.notify_all();
    changed_.wait(guard, [&] { return error_ || (queue_.empty() && busy_ == 0); });
    flushing_ = false;
    ThrowIfFailed();
}

// Whether a waiting thread should take a batch now (the lock held).
bool TQueuedWriter::Wanted() const {
    return !queue_.empty() && (flushing_ || full_ || stopping_ || queuedBytes_ >= wakeBytes_);
}

// Files from the front of the queue: all of them for a single thread, else about wakeBytes_
// (at least one file), so that the other threads find some left (the lock held).
std::deque<TQueuedWriter::TPending> TQueuedWriter::TakeBatch() {
    std::deque<TPending> batch;
    if (threadCount_ == 1) {
        batch.swap(queue_);
        takenBytes_ += std::exchange(queuedBytes_, 0);
        return batch;
    }
    size_t bytes = 0;
    while (!queue_.empty() && (batch.empty() || bytes < wakeBytes_)) {
        bytes += WeightOf(queue_.front().Name, queue_.front().Bytes);
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
    }
    queuedBytes_ -= bytes;
    takenBytes_ += bytes;
    return batch;
}

void TQueuedWriter::WriteQueued(TTargetFolder& target) {
    std::unique_lock guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return error_ || Wanted() || (stopping_ && queue_.empty()); });
        if (error_ || queue_.empty()) return;
        std::deque<TPending> batch = TakeBatch();
        size_t batchBytes = 0;
        for (const TPending& file : batch) batchBytes += WeightOf(file.Name, file.Bytes);
        ++busy_;
        guard.unlock();
        std::exception_ptr error;
        for (const TPending& file : batch) {
            if (failed_.load()) break;
            try {
                target.Write(file.Name, file.Bytes, ifExists_);
            } catch (...) {
                error = std::current_exception();
                failed_.store(true);
                break;
            }
        }
        batch.clear();
        guard.lock();
        --busy_;
        takenBytes_ -= batchBytes;
        if (error && !error_) {
            error_ = error;
            queue_.clear();
            queuedBytes_ = 0;
        }
        changed_.notify_all();
    }
}

}  // namespace brindle
