#include "QueuedWriter.h"

#include <utility>

namespace brindle {

TQueuedWriter::TQueuedWriter(TTargetFolder& folder, TIfExists ifExists, size_t maxQueuedBytes)
    : folder_(folder), ifExists_(ifExists), maxQueuedBytes_(maxQueuedBytes), thread_([this] { WriteQueued(); }) {}

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
    changed_.wait(guard, [&] { return error_ || queue_.empty() || queuedBytes_ + bytes.size() <= maxQueuedBytes_; });
    ThrowIfFailed();
    queuedBytes_ += bytes.size();
    queue_.push_back({std::move(name), std::move(bytes)});
    guard.unlock();
    changed_.notify_all();
}

void TQueuedWriter::Finish() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return error_ || (queue_.empty() && !busy_); });
    ThrowIfFailed();
}

void TQueuedWriter::WriteQueued() {
    std::unique_lock guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        TPending file = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        guard.unlock();
        std::exception_ptr error;
        try {
            folder_.Write(file.Name, file.Bytes, ifExists_);
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        busy_ = false;
        queuedBytes_ -= file.Bytes.size();
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
