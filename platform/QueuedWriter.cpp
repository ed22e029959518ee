#include "QueuedWriter.h"

#include <algorithm>
#include <utility>

namespace brindle {

namespace {

constexpr size_t kMaxWakeBytes = size_t{1} << 20;

}  // namespace

TQueuedWriter::TQueuedWriter(TTargetFolder& folder, TIfExists ifExists, size_t maxQueuedBytes)
    : folder_(folder),
      ifExists_(ifExists),
      maxQueuedBytes_(maxQueuedBytes),
      wakeBytes_(std::min(maxQueuedBytes / 4, kMaxWakeBytes)),
      thread_([this] { WriteQueued(); }) {}

TQueuedWriter::~TQueuedWriter() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TQueuedWriter::ThrowIfFailed() {
    if (error_) std::rethrow_exception(error_);
}

void TQueuedWriter::Write(std::string name, std::string bytes) {
    std::unique_lock guard(lock_);
    auto hasRoom = [&] {
        return error_ || (queue_.empty() && !busy_) || queuedBytes_ + takenBytes_ + bytes.size() <= maxQueuedBytes_;
    };
    if (!hasRoom()) {
        // The thread is woken for what waits, however little.
        full_ = true;
        changed_.notify_all();
        changed_.wait(guard, hasRoom);
        full_ = false;
    }
    ThrowIfFailed();
    queuedBytes_ += bytes.size();
    queue_.push_back({std::move(name), std::move(bytes)});
    const bool wake = !busy_ && queuedBytes_ >= wakeBytes_;
    guard.unlock();
    if (wake) changed_.notify_all();
}

void TQueuedWriter::Finish() {
    std::unique_lock guard(lock_);
    flushing_ = true;
    changed_.notify_all();
    changed_.wait(guard, [&] { return error_ || (queue_.empty() && !busy_); });
    flushing_ = false;
    ThrowIfFailed();
}

void TQueuedWriter::WriteQueued() {
    std::unique_lock guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] {
            return stopping_ || (!queue_.empty() && (flushing_ || full_ || queuedBytes_ >= wakeBytes_));
        });
        if (queue_.empty()) return;
        std::deque<TPending> batch;
        batch.swap(queue_);
        takenBytes_ = std::exchange(queuedBytes_, 0);
        busy_ = true;
        guard.unlock();
        std::exception_ptr error;
        for (const TPending& file : batch) {
            try {
                folder_.Write(file.Name, file.Bytes, ifExists_);
            } catch (...) {
                error = std::current_exception();
                break;
            }
        }
        batch.clear();
        guard.lock();
        busy_ = false;
        takenBytes_ = 0;
        if (error) {
            error_ = error;
            queue_.clear();
            queuedBytes_ = 0;
        }
        changed_.notify_all();
        if (error_) {
            changed_.wait(guard, [&] { return stopping_; });
            return;
        }
    }
}

}  // namespace brindle
