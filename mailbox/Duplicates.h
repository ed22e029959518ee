#pragma once
// Copies of one message: the same text in two stores (a backup beside its original), in two
// folders, or found by a scan as well as through the index. Messages are told apart by a
// 128-bit digest of their text (or of their Message-ID and Date), so that memory stays a few
// dozen bytes per message whatever the texts weigh. The digest is Poly1305 under a key drawn
// at random once per process: for two given different texts of up to L bytes the chance that
// their digests meet is at most 8 * ceil(L / 16) / 2^106, whoever wrote the texts, since the key
// did not exist when they were written. Digests are never kept beyond the process.
#include "mailbox/StoreFolder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace brindle {

enum class TDuplicateMode : uint8_t {
    Text,       // the same bytes
    MessageId,  // the same Message-ID and the same Date field
};

// "text" or "message-id"; none for another name.
std::optional<TDuplicateMode> DuplicateModeNamed(std::string_view name);

using TMessageDigest = std::array<uint8_t, 16>;

struct TMessageDigestHash {
    size_t operator()(const TMessageDigest& digest) const noexcept;
};

// The key that two copies share: the digest of the whole text, or of the Message-ID and the
// Date (trimmed, unfolded). None in MessageId mode for a text without a Message-ID field: such
// a message is never taken for a copy.
std::optional<TMessageDigest> DuplicateKeyOf(std::string_view text, TDuplicateMode mode);

// The value of the first header field of that name (any case) in the header block of text,
// unfolded and trimmed; none when the block lacks it.
std::optional<std::string> HeaderBlockField(std::string_view text, std::string_view name);

// Where a message went, or was found: a folder of the run and the message's position in it.
struct TMessagePlace {
    std::string Folder;  // UTF-8, as the user sees it ("Inbox/Projects")
    int32_t Index = 0;
};

// Copies left out, counted by the folder they were in and the folder their first copy went to.
struct TSkippedCopies {
    std::string Folder;
    std::string FirstFolder;
    size_t Count = 0;
};

// Remembers the messages written in one run and tells copies of them; safe to use from
// several threads at once. The first message of a key is admitted, later ones refused.
class TDuplicateFilter {
public:
    // Begins to set up the digest on another thread (loading it takes a few milliseconds),
    // while the caller prepares its run.
    explicit TDuplicateFilter(TDuplicateMode mode);

    // Whether the message is the first of its key in this run (then it is remembered at place).
    bool Admit(std::string_view text, std::string_view folder, int32_t index);
    // The same in two steps: the key (on any thread, without a lock), then the decision, which
    // depends on the keys admitted before.
    std::optional<TMessageDigest> KeyOf(std::string_view text) const { return DuplicateKeyOf(text, mode_); }
    bool Admit(const std::optional<TMessageDigest>& key, std::string_view folder, int32_t index);

    // A message of a run that AdmitRun decides.
    struct TRunMessage {
        const std::optional<TMessageDigest>* Key = nullptr;
        int32_t Index = 0;
        bool Admitted = false;
    };
    // Decides the messages of one folder in their order, as Admit would one after the other,
    // under one lock.
    void AdmitRun(std::span<TRunMessage> run, std::string_view folder);

    // Makes room for about this many keys at once, so that the table does not grow again and
    // again while messages are decided.
    void Expect(size_t messages);

    size_t Skipped() const;
    // In the order the pairs were first met.
    std::vector<TSkippedCopies> SkippedByFolder() const;
    TDuplicateMode Mode() const { return mode_; }

private:
    uint32_t FolderNumber(std::string_view folder);
    // Admit with lock_ held and the folder's number known.
    bool AdmitLocked(const TMessageDigest& key, uint32_t number, int32_t index);

    struct TFirst {
        uint32_t Folder;
        int32_t Index;
    };
    // The first copy of each key (open addressing, linear probing, at most half full). A probe
    // reads a compact array of tags (4 bytes a slot) and the slot itself only when its tag
    // matches: the tags stay in the processor's caches where the slots would not, and no key
    // costs an allocation.
    class TFirstCopies {
    public:
        // The first copy of key; when there was none, place becomes it (and inserted is true).
        TFirst Insert(const TMessageDigest& key, TFirst place, bool& inserted);
        // Room for keys without growing again.
        void Reserve(size_t keys);

    private:
        struct TSlot {
            TMessageDigest Key;
            TFirst First;
        };
        static constexpr size_t kFirstSlots = 1024;
        // Never 0, which marks an empty slot.
        static uint32_t TagOf(size_t hash) { return static_cast<uint32_t>(hash >> 32) | 1u; }
        void Rehash(size_t slots);
        std::vector<uint32_t> tags_;
        std::unique_ptr<TSlot[]> slots_;  // written before their tag; unread while it is 0
        size_t used_ = 0;
    };

    const TDuplicateMode mode_;
    std::future<void> digestReady_;  // its end is waited for on destruction
    mutable std::mutex lock_;
    TFirstCopies first_;
    std::vector<std::string> folders_;
    std::unordered_map<std::string, uint32_t> folderNumbers_;
    std::vector<TSkippedCopies> skipped_;
    std::unordered_map<uint64_t, size_t> skippedPairs_;  // folder pair -> position in skipped_
    size_t skippedCount_ = 0;
};

// A message of a store folder, as DuplicateGroups names it.
struct TFoundCopy {
    size_t Node = 0;  // in the folder's Nodes
    int32_t Index = 0;  // the summary's position; for a store read by a scan, the scan's
    bool Scanned = false;  // the store's index could not be read: found by a scan
    std::string Subject;   // from the message's own header, UTF-8
};

// What a look for copies across a store folder found.
struct TDuplicateSurvey {
    // Groups of two or more copies, each in tree order, groups by their first copy.
    std::vector<std::vector<TFoundCopy>> Groups;
    size_t Messages = 0;  // messages looked at
    // Stores that gave no message to look at, as "NAME: error".
    std::vector<std::string> Problems;
};

// Reads every message of every store of the folder (a store whose index cannot be read is
// scanned; deleted messages are left out) and groups the copies. Stores are read side by side;
// goOn is asked from those threads (one at a time is not promised), and false ends the look
// with nothing found.
TDuplicateSurvey FindDuplicates(const TStoreFolder& folder, TDuplicateMode mode,
                                const std::function<bool()>& goOn = {});

}  // namespace brindle
