#pragma once
// When files are read whole, mapped, split in two halves or give their pages back: every size
// figure of that policy in one place, each with the reason for it and the benchmark that
// measures it. Tests put other figures in place with TScopedReadingPolicy.
#include <cstdint>

namespace brindle {

// Whether another pass over the same range of a file follows soon: a scan and then its texts,
// or summaries and then every text (an export). Readers say which; the policy decides whether
// the pages stay.
enum class TFollowingPass : uint8_t { None, OverSameRange };

struct TReadingPolicy {
    static constexpr uint64_t kMiB = uint64_t{1} << 20;

    // A store that a pass reads from end to end (export, the code page of a store folder) is
    // read into a buffer kept from store to store up to this size, mapped beyond it: the
    // buffer's pages are mapped once for a whole folder, while every page of a mapped file
    // faults anew; above it the copy's memory outweighs the faults saved (bench/folders).
    uint64_t ReadWholeUpTo = 16 * kMiB;
    // A file read whole is read in two halves side by side from this size on: one thread does
    // not reach the bandwidth of a solid-state disk, and below it the second thread costs more
    // than it saves (bench/store).
    uint64_t ReadInHalvesFrom = 32 * kMiB;
    // A .dbx scan covers the file in two halves side by side from this size on; below it the
    // pass takes a few milliseconds and the join costs more than the second half (bench/rescue).
    uint64_t ScanInHalvesFrom = 16 * kMiB;
    // A mapped file keeps the pages a first pass mapped for a second pass that comes soon (a
    // scan, then its texts) up to this size: mapping a page again costs more than the memory,
    // which is the page cache's own; beyond it a large file would hold gigabytes (bench/rescue).
    uint64_t KeepPagesUpTo = 256 * kMiB;
    // A rescue that reads every text of a file reads it into memory of its own up to this size,
    // where the memory stays taken while the rescue lives; beyond it the file is mapped and
    // gives its pages back (bench/rescue).
    uint64_t RescueReadWholeUpTo = 256 * kMiB;
    // The pages of a batch of found messages are asked for at once up to this span: the
    // system maps them ahead of the reads; a longer span would map memory long before it is
    // read (bench/rescue).
    uint64_t PrefetchUpTo = 32 * kMiB;

    bool ReadsWhole(uint64_t size) const { return size <= ReadWholeUpTo; }
    bool ReadsInHalves(uint64_t size) const { return size >= ReadInHalvesFrom; }
    bool ScansInHalves(uint64_t size) const { return size >= ScanInHalvesFrom; }
    bool KeepsPages(uint64_t size) const { return size <= KeepPagesUpTo; }
    // Whether a pass over a mapped file of size leaves its pages mapped when it ends.
    bool KeepsPagesAfterPass(uint64_t size, TFollowingPass next) const {
        return next == TFollowingPass::OverSameRange && KeepsPages(size);
    }
};

// The policy in force: the figures above unless a test put others in place.
const TReadingPolicy& ReadingPolicy();

// Puts a policy in place while it lives, for tests (not for use while other threads read).
class TScopedReadingPolicy {
public:
    explicit TScopedReadingPolicy(const TReadingPolicy& policy);
    ~TScopedReadingPolicy();
    TScopedReadingPolicy(const TScopedReadingPolicy&) = delete;
    TScopedReadingPolicy& operator=(const TScopedReadingPolicy&) = delete;

private:
    TReadingPolicy policy_;
    const TReadingPolicy* previous_;
};

}  // namespace brindle
