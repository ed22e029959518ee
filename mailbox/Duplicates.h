#pragma once
// Copies of one message: the same text in two stores (a backup beside its original), in two
// folders, or found by a scan as well as through the index. Messages are told apart by a
// SHA-256 digest of their text (or of their Message-ID and Date), so that memory stays a few
// dozen bytes per message whatever the texts weigh.
#include "mailbox/StoreFolder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
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

using TMessageDigest = std::array<uint8_t, 32>;

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
    explicit TDuplicateFilter(TDuplicateMode mode) : mode_(mode) {}

    // Whether the message is the first of its key in this run (then it is remembered at place).
    bool Admit(std::string_view text, std::string_view folder, int32_t index);

    size_t Skipped() const;
    // In the order the pairs were first met.
    std::vector<TSkippedCopies> SkippedByFolder() const;
    TDuplicateMode Mode() const { return mode_; }

private:
    uint32_t FolderNumber(std::string_view folder);

    struct TFirst {
        uint32_t Folder;
        int32_t Index;
    };
    const TDuplicateMode mode_;
    mutable std::mutex lock_;
    std::unordered_map<TMessageDigest, TFirst, TMessageDigestHash> first_;
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
