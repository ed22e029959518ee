#pragma once
// Writing many saved messages quickly: the caller reads message texts while worker threads
// bring the line ends into shape and create and write the files, one write per file.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace brindle {

// The text as SaveMessageFile writes it: cut at its first NUL, every line ended by CR LF, a
// CR LF after the last line. Returns the text itself when it is already in that shape;
// otherwise the normalised text built in scratch.
std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch);

// Creates or empties the file and writes the bytes with as few writes as the system allows.
// Throws EFCreateError ("Cannot create file %s") or EWriteError.
void WriteWholeFile(const std::string& path, std::string_view bytes);

class TExportWriter {
public:
    // workers: threads that write files; 0 writes each file at once in Submit.
    explicit TExportWriter(unsigned workers);
    ~TExportWriter();
    TExportWriter(const TExportWriter&) = delete;
    TExportWriter& operator=(const TExportWriter&) = delete;

    // Queues one saved message: path and raw text. Returns false once a file has failed;
    // nothing more should be submitted then.
    bool Submit(uint64_t order, std::string path, std::string rawText);

    // Waits until every queued file is written. Throws the error of the failed file that came
    // first in submission order, if any.
    void Finish();

    // Threads that suit this machine.
    static unsigned DefaultWorkers();

private:
    struct TJob {
        uint64_t order;
        std::string path;
        std::string rawText;
    };

    void WorkerLoop();
    void Record(uint64_t order, std::exception_ptr error);
    // True when a file submitted before this one has failed: this one is not written.
    bool FailedBefore(uint64_t order);

    std::mutex mutex_;
    std::condition_variable queueChanged_;
    std::deque<TJob> queue_;
    size_t queuedBytes_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    uint64_t failedOrder_ = 0;
    std::exception_ptr error_;
    std::vector<std::thread> workers_;
    std::string scratch_;  // for writing without workers
};

}  // namespace brindle
