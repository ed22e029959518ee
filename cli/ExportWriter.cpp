#include "cli/ExportWriter.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace brindle {
namespace {

// Queued texts beyond this many bytes make Submit wait for the workers.
constexpr size_t kMaxQueuedBytes = 64u << 20;
constexpr unsigned kMaxWorkers = 2;

const char* Find(const char* from, const char* end, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)));
}

// True when every line of the text ends with CR LF and there is no other CR or LF.
bool HasOnlyCrLfLineEnds(std::string_view text) {
    if (text.size() < 2 || !text.ends_with("\r\n")) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    size_t lineFeeds = 0;
    for (const char* lf = Find(begin, end, '\n'); lf; lf = Find(lf + 1, end, '\n')) {
        if (lf == begin || lf[-1] != '\r') return false;
        ++lineFeeds;
    }
    size_t carriageReturns = 0;
    for (const char* cr = Find(begin, end, '\r'); cr; cr = Find(cr + 1, end, '\r')) ++carriageReturns;
    return carriageReturns == lineFeeds;
}

}  // namespace

std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch) {
    if (const char* nul = Find(text.data(), text.data() + text.size(), '\0'))
        text = text.substr(0, static_cast<size_t>(nul - text.data()));
    if (text.empty() || HasOnlyCrLfLineEnds(text)) return text;
    scratch.clear();
    scratch.reserve(text.size() + text.size() / 16 + 2);
    const char* pos = text.data();
    const char* end = pos + text.size();
    while (pos < end) {
        const char* lf = Find(pos, end, '\n');
        const char* lineEnd = Find(pos, lf ? lf : end, '\r');
        if (!lineEnd) lineEnd = lf ? lf : end;
        scratch.append(pos, lineEnd);
        scratch += "\r\n";
        if (lineEnd == end) break;
        pos = lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
    }
    return scratch;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw EFCreateError(path);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            ::close(fd);
            throw EWriteError();
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    if (::close(fd) != 0) throw EWriteError();
}

TExportWriter::TExportWriter(unsigned workers) {
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

TExportWriter::~TExportWriter() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    queueChanged_.notify_all();
    for (auto& worker : workers_)
        if (worker.joinable()) worker.join();
}

unsigned TExportWriter::DefaultWorkers() {
    unsigned cores = std::thread::hardware_concurrency();
    return cores < 2 ? 0 : std::min(cores, kMaxWorkers);
}

bool TExportWriter::FailedBefore(uint64_t order) {
    std::lock_guard lock(mutex_);
    return failed_ && failedOrder_ < order;
}

void TExportWriter::Record(uint64_t order, std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    if (!failed_ || order < failedOrder_) {
        failed_ = true;
        failedOrder_ = order;
        error_ = error;
    }
}

bool TExportWriter::Submit(uint64_t order, std::string path, std::string rawText) {
    if (workers_.empty()) {
        if (failed_) return false;
        try {
            WriteWholeFile(path, NormalizedLineEnds(rawText, scratch_));
        } catch (...) {
            Record(order, std::current_exception());
            return false;
        }
        return true;
    }
    std::unique_lock lock(mutex_);
    queueChanged_.wait(lock, [&] { return failed_ || queuedBytes_ < kMaxQueuedBytes; });
    if (failed_) return false;
    queuedBytes_ += rawText.size();
    queue_.push_back({order, std::move(path), std::move(rawText)});
    lock.unlock();
    queueChanged_.notify_all();
    return true;
}

void TExportWriter::WorkerLoop() {
    std::string scratch;
    while (true) {
        TJob job;
        {
            std::unique_lock lock(mutex_);
            queueChanged_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            queuedBytes_ -= job.rawText.size();
        }
        queueChanged_.notify_all();
        if (FailedBefore(job.order)) continue;
        try {
            WriteWholeFile(job.path, NormalizedLineEnds(job.rawText, scratch));
        } catch (...) {
            Record(job.order, std::current_exception());
            queueChanged_.notify_all();
        }
    }
}

void TExportWriter::Finish() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    queueChanged_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
    if (error_) std::rethrow_exception(error_);
}

}  // namespace brindle
