#pragma once
// A health report of a mailbox before its export is trusted: for each store what its header
// promises, what its index reaches, what a scan of the whole file finds besides and what is
// lost; for a store folder also what its folder list and its files disagree on, and the copies
// of messages it holds.
#include "mailbox/Duplicates.h"
#include "mailbox/StoreFolder.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

// A store file may not grow past 2 GiB: its offsets are read as signed 32-bit numbers.
inline constexpr uint64_t kStoreSizeLimit = uint64_t{1} << 31;
// From this size on the report warns that the limit is near (90 %).
inline constexpr uint64_t kStoreSizeWarning = kStoreSizeLimit / 10 * 9;

struct TStoreHealth {
    std::string Path;
    std::string Folder;  // the folder's place in the tree ("Inbox/Projects"); the file name alone
    uint8_t Kind = 0;    // kFileKind*
    std::string CodePage;
    std::optional<uint32_t> HeaderCount;  // none: the header cannot be read
    // The reader could not open the store through its index: why.
    std::optional<std::string> IndexError;
    // Messages the index reaches: the reader's count, or when the reader cannot open the store,
    // what the scan's own reading of the index tree reached before the damage.
    size_t Reachable = 0;
    size_t ReadWhole = 0;     // of them, texts that a scan finds whole (no lost bytes, no break)
    size_t BrokenChains = 0;  // texts that break off (their next block is missing or taken)
    size_t Deleted = 0;       // deleted messages whose texts are still in the file
    size_t Unindexed = 0;     // live texts that no summary reaches
    uint64_t LostBytes = 0;   // over every text found, deleted ones too
    uint64_t FileSize = 0;
    std::vector<std::string> IndexFileProblems;  // version 4: the .idx beside the .mbx
    std::vector<std::string> Warnings;           // damage that reading the index tolerated
    std::optional<std::string> Unreadable;       // the file itself cannot be read

    bool Healthy() const;
    // "healthy", or what is wrong: "damaged index: 27 of 30 messages reachable, 3 more by a scan".
    std::string Verdict() const;
};

struct TFolderHealth {
    std::string Path;
    bool HasList = false;
    std::vector<std::string> ListDamage;    // the folder list's damage as reading told it
    std::vector<std::string> MissingStores;  // "Name (File.dbx)": listed, not on disk
    // "File.dbx", with " (a copy of Inbox.dbx?)" when its name is a listed file's with a copy mark.
    std::vector<std::string> StrayFiles;
    size_t DuplicateGroups = 0;
    size_t DuplicateCopies = 0;  // copies beyond the first of each group
    std::vector<TStoreHealth> Stores;

    bool Healthy() const;  // the folder's own state and every store's
};

using THealthProgress = std::function<bool(size_t storesDone, size_t stores)>;

// Opens and scans one store file; never throws for a damaged or unreadable file (Unreadable
// tells). codePage: the label to report; empty: decided from the store.
TStoreHealth CheckStore(const std::string& path, const std::string& codePage = {});

// The store folder dir; throws EFOpenError when it cannot be listed. Progress is told one call
// at a time (from the threads that check the stores side by side); false stops the check.
TFolderHealth CheckStoreFolder(const std::string& dir, const THealthProgress& progress = {});

// A store file's name with a copy mark ("Inbox(1).dbx", "Inbox - Copy.dbx", "Copy of
// Inbox.dbx", "Inbox.dbx.bak") as the name without it; none for other names.
std::optional<std::string> NameWithoutCopyMark(std::string_view name);

}  // namespace brindle
