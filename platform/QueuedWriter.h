#pragma once
// Writes new files into a target folder on a thread of its own while the caller prepares the
// next ones. Files are written one after the other in the order they were queued, so the names
// that NextFreeName hands out are those a plain loop of TTargetFolder::Write would give. The
// thread is woken for a batch of files (a quarter of the queue, at most 1 MiB), not for each.
#include "platform/TargetFolder.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace brindle {

class TQueuedWriter {
public:
    // The folder must outlive the writer and must not be written through elsewhere meanwhile.
    // At most about maxQueuedBytes of file contents wait at any time (one file always may).
    TQueuedWriter(TTargetFolder& folder, TIfExists ifExists, size_t maxQueuedBytes = size_t{16} << 20);
    // Writes what is still queued (unless writing failed) before it returns; errors are dropped.
    ~TQueuedWriter();
    TQueuedWriter(const TQueuedWriter&) = delete;
    TQueuedWriter& operator=(const TQueuedWriter&) = delete;

    // Queues a file; waits while the queue is full. Throws the first error that writing met
    // (EFCreateError, EWriteError); nothing is written after an error.
    void Write(std::string name, std::string bytes);
    // Waits until every queued file is written; throws the first error that writing met.
    void Finish();

private:
    struct TPending {
        std::string Name;
        std::string Bytes;
    };
    void WriteQueued();
    void ThrowIfFailed();

    TTargetFolder& folder_;
    const TIfExists ifExists_;
    const size_t maxQueuedBytes_;
    const size_t wakeBytes_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<TPending> queue_;  // not yet taken by the thread
    size_t queuedBytes_ = 0;      // of queue_
    size_t takenBytes_ = 0;       // of the batch being written
    bool busy_ = false;
    bool flushing_ = false;  // Finish waits: every queued file is wanted now
    bool full_ = false;      // Write waits for room
    bool stopping_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

}  // namespace brindle
