#pragma once
// Writes new files into a target folder on threads of their own while the caller prepares the
// next ones. With one thread, files are written one after the other in the order they were
// queued, so the names that NextFreeName hands out are those a plain loop of
// TTargetFolder::Write would give. With more, each thread writes through a handle of its own
// (TTargetFolder::Duplicate) and files are written in any order: no file is ever replaced, but
// files queued under one name may be numbered in another order. A thread is woken for a batch
// of files (a quarter of the queue, at most 1 MiB), not for each.
#include "platform/TargetFolder.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brindle {

class TQueuedWriter {
public:
    // The folder must outlive the writer and must not be written through elsewhere meanwhile.
    // At most about maxQueuedBytes of memory (file contents, names and their entries) waits at
    // any time (one file always may).
    TQueuedWriter(TTargetFolder& folder, TIfExists ifExists, size_t maxQueuedBytes = size_t{16} << 20,
                  unsigned threads = 1);
    // Writes what is still queued (unless writing failed) before it returns; errors are dropped.
    ~TQueuedWriter();
    TQueuedWriter(const TQueuedWriter&) = delete;
    TQueuedWriter& operator=(const TQueuedWriter&) = delete;

    // Queues a file; waits while the queue is full. Throws the first error that writing met
    // (EFCreateError, EWriteError); no file is begun after an error.
    void Write(std::string name, std::string bytes);
    // Waits until every queued file is written; throws the first error that writing met.
    void Finish();

private:
    struct TPending {
        std::string Name;
        std::string Bytes;
    };
    static size_t WeightOf(const std::string& name, const std::string& bytes);
    void Stop();
    void WriteQueued(TTargetFolder& target);
    bool Wanted() const;
    std::deque<TPending> TakeBatch();
    void ThrowIfFailed();

    TTargetFolder& folder_;
    std::vector<std::unique_ptr<TTargetFolder>> handles_;  // of the threads after the first
    const TIfExists ifExists_;
    const size_t maxQueuedBytes_;
    const size_t wakeBytes_;
    const unsigned threadCount_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<TPending> queue_;  // not yet taken by a thread
    size_t queuedBytes_ = 0;      // the weight of queue_
    size_t takenBytes_ = 0;       // of the batches being written
    unsigned busy_ = 0;           // threads writing a batch
    bool flushing_ = false;       // Finish waits: every queued file is wanted now
    bool full_ = false;           // Write waits for room
    bool stopping_ = false;
    std::atomic<bool> failed_{false};
    std::exception_ptr error_;
    std::vector<std::thread> threads_;
};

}  // namespace brindle
