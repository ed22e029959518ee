#pragma once
// A store folder: the folder that holds a mail client's store files, seen as the tree of
// folders that its folder list (Folders.dbx) describes, with each folder matched to its store
// file on disk. Version 4 folders (.mbx with .idx) keep their tree in FOLDERS.NCH instead.
#include "platform/Warnings.h"
#include "store/FolderList.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct TFolderNode {
    std::optional<uint32_t> Id;        // none for a store file that the list does not name
    std::optional<uint32_t> ParentId;  // the Id of the node it hangs under; none at the top
    std::string Name;                  // UTF-8
    std::optional<std::string> File;   // the store file's name as found on disk
    std::optional<uint32_t> Count;     // messages, from the store file's header
    std::optional<uint32_t> Unread;    // from the list
    uint32_t Special = kSpecialNone;
    uint32_t Depth = 0;
};

struct TStoreFolder {
    std::string Path;  // the folder on disk
    bool HasList = false;          // the tree came from a version 5/6 folder list
    bool HasVersion4Tree = false;  // the tree came from FOLDERS.NCH
    // The code page (a charset label) in which the names and the stores' summaries are read.
    std::string CodePage;
    // Tree order: every node comes after its parent and before the next node of a lower or
    // equal depth that is not its descendant (depth-first, the list's order among siblings).
    std::vector<TFolderNode> Nodes;
};

// Store file names are matched to list entries after case folding (FoldCase), the one that
// searches use too.
std::string FoldFileName(std::string_view utf8);

// "inbox", "outbox", "sent", "deleted", "drafts"; empty for other values.
std::string_view SpecialFolderName(uint32_t special);

// True for names that hold no mail folder: the folder list, Pop3uidl.dbx and Offline.dbx.
bool IsBookkeepingFile(std::string_view name);

// Reads the folder list of dir (Folders.dbx, else FOLDERS.NCH, when there is one) and the
// headers of its store files. A missing or damaged list leaves every store file at the top (a damaged one is told to
// warnings). Store files that the list does not name come last at the top, named after their
// file; list entries without a file keep File empty. Names are read in codePage (a label);
// when it is empty the code page is decided over the list's names and a few of the stores
// (DecideFolderCodePage). Throws EFOpenError when dir cannot be listed.
TStoreFolder ReadStoreFolder(const std::string& dir, const TWarningSink& warnings = {},
                             const std::string& codePage = {});

// The code page of a store folder, decided over the list's names (the bytes of its records)
// and the summaries of at most a few of the store files (paths with their message counts): the
// largest that fit a bounded number of summaries together, a few header blocks each.
std::string DecideFolderCodePage(const std::vector<std::string>& names,
                                 const std::vector<std::pair<std::string, uint32_t>>& stores);

// The message count of a store file from its header; none for a file of neither kind.
std::optional<uint32_t> StoreHeaderCount(const std::string& path);

struct TNodeUnread {
    size_t Node;
    uint32_t Unread;
};

// The unread messages of each store file of the folder whose count the list did not tell, read
// from the store's own summaries; a store that cannot be read is passed over. Stops early,
// with what it has, once *cancel is set.
std::vector<TNodeUnread> UnreadOfUncountedStores(const TStoreFolder& folder,
                                                 const std::atomic<bool>* cancel = nullptr);

}  // namespace brindle
