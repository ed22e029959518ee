#include "mailbox/StoreFolder.h"

#include "mailbox/CaseFold.h"
#include "mailbox/CodePage.h"
#include "platform/ByteSource.h"
#include "platform/FileNames.h"
#include "platform/LittleEndian.h"
#include "platform/ReadingPolicy.h"
#include "platform/Utf8.h"
#include "store/DBXFormat.h"
#include "store/DBXLayout.h"
#include "store/MessageFlags.h"
#include "store/MBXLayout.h"
#include "store/NchFolderTree.h"
#include "store/OEReader.h"
#include "store/StoreOpener.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <unordered_map>

namespace brindle {
namespace {

constexpr std::string_view kFolderListName = "folders.dbx";
constexpr std::string_view kBookkeepingNames[] = {kFolderListName, "pop3uidl.dbx", "offline.dbx"};
// Folders nested deeper than this are damage in the list; they are put at the top.
constexpr uint32_t kMaxFolderDepth = 64;
// The header bytes that hold the magic numbers and the message count of either kind.
constexpr size_t kCountHeaderBytes = dbx::kHeaderMessageCount + 4;
// The code page of a folder is decided over at most this many stores, holding together at
// most this many summaries, reading this many header blocks of each.
constexpr size_t kCodePageStores = 4;
constexpr uint64_t kCodePageSummaries = 20000;
constexpr size_t kCodePageHeadersPerStore = 8;

bool HasStoreExtension(std::string_view folded) { return folded.ends_with(".dbx") || folded.ends_with(".mbx"); }

std::string StemOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

// The store files of dir by folded name; where two fold alike, the first in byte order.
std::map<std::string, std::string> StoreFilesIn(const std::string& dir) {
    std::error_code error;
    std::filesystem::directory_iterator it(dir, error);
    if (error) throw EFOpenError(dir);
    std::vector<std::string> names;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) throw EFOpenError(dir);
        std::error_code ignored;
        if (it->is_regular_file(ignored)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::map<std::string, std::string> files;
    for (std::string& name : names) {
        std::string folded = FoldFileName(Utf8OrCp1252(name));
        if (HasStoreExtension(folded) && !IsBookkeepingFile(name))
            files.try_emplace(std::move(folded), std::move(name));
    }
    return files;
}

enum class TListKind { None, FolderList, Version4Tree };

struct TListFile {
    TListKind Kind = TListKind::None;
    std::string Path;
};

// The folder list of dir, else its version 4 tree file; None when it has neither.
TListFile FindListFile(const std::string& dir) {
    std::error_code error;
    TListFile tree;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::error_code ignored;
        if (!entry.is_regular_file(ignored)) continue;
        const std::string name = entry.path().filename().string();
        if (FoldFileName(name) == kFolderListName) return {TListKind::FolderList, entry.path().string()};
        if (IsNchTreeName(name) && tree.Path.empty()) tree = {TListKind::Version4Tree, entry.path().string()};
    }
    return tree;
}

// The list's records, or none when there is no list or it is damaged.
std::optional<std::vector<TFolderRecord>> ReadListOf(const TListFile& list, const TWarningSink& warnings) {
    if (list.Kind == TListKind::None) return std::nullopt;
    const bool isTree = list.Kind == TListKind::Version4Tree;
    try {
        std::unique_ptr<TByteSource> file = TByteSource::OpenFile(list.Path);
        return isTree ? ReadNchFolderTree(*file) : ReadFolderList(*file);
    } catch (const Exception& damage) {
        if (warnings)
            warnings({std::string(isTree ? "The folder tree (FOLDERS.NCH)" : "The folder list") + " cannot be read (" +
                          damage.Message() + "); the store files are listed without it.",
                      damage.Context()});
        return std::nullopt;
    }
}

// Arranges the records as a tree in depth-first order.
class TTreeBuilder {
public:
    TTreeBuilder(const std::vector<TFolderRecord>& records, const TWarningSink& warnings, const std::string& codePage)
        : records_(records),
          warnings_(warnings),
          codePage_(codePage),
          children_(records.size()),
          placed_(records.size(), false) {}

    // Nodes with Name, Id, ParentId, Unread, Special and Depth set; File and Count are left.
    // Each kind of damage is told once, with how many folders it touches and the first of them.
    std::vector<std::pair<TFolderNode, const TFolderRecord*>> Build() {
        std::unordered_map<uint32_t, size_t> byId;
        std::vector<size_t> tops;
        TDamageCount twice, ownParent, parentMissing, unreached;
        for (size_t k = 0; k < records_.size(); ++k)
            if (!byId.try_emplace(records_[k].Id, k).second) twice.Add(records_[k].Id);
        for (size_t k = 0; k < records_.size(); ++k) {
            const TFolderRecord& record = records_[k];
            auto parent = record.ParentId ? byId.find(*record.ParentId) : byId.end();
            if (record.ParentId && *record.ParentId == record.Id) {
                ownParent.Add(record.Id);
                tops.push_back(k);
            } else if (!record.ParentId || parent == byId.end()) {
                if (record.ParentId) parentMissing.Add(record.Id);
                tops.push_back(k);
            } else {
                children_[parent->second].push_back(k);
            }
        }
        for (size_t top : tops) Place(top, std::nullopt, 0);
        // Records that only lead to each other (a loop of parents), or that hang deeper than a
        // list can be, are not reached from the top.
        for (size_t k = 0; k < records_.size(); ++k)
            if (!placed_[k]) unreached.Add(records_[k].Id);
        for (size_t k = 0; k < records_.size(); ++k)
            if (!placed_[k]) Place(k, std::nullopt, 0);
        Tell(twice, "folder id is listed twice", "folder ids are listed twice");
        Tell(ownParent, "folder is its own parent", "folders are their own parents");
        Tell(parentMissing, "folder's parent is not listed", "folders' parents are not listed");
        Tell(unreached, "folder is not reached from the top of the list (its parents form a loop or lie too deep)",
             "folders are not reached from the top of the list (their parents form a loop or lie too deep)");
        return std::move(nodes_);
    }

private:
    struct TDamageCount {
        size_t Count = 0;
        uint32_t FirstId = 0;
        void Add(uint32_t id) {
            if (Count++ == 0) FirstId = id;
        }
    };

    // "1 folder is its own parent (folder 7)." or "3 folders are their own parents (the
    // first: folder 7)."
    void Tell(const TDamageCount& damage, const char* one, const char* many) const {
        if (damage.Count == 0) return;
        Warn(std::to_string(damage.Count) + " " + (damage.Count == 1 ? one : many) +
             (damage.Count == 1 ? " (folder " : " (the first: folder ") + std::to_string(damage.FirstId) + ").");
    }

    void Place(size_t k, std::optional<uint32_t> parentId, uint32_t depth) {
        if (placed_[k]) return;
        if (depth > kMaxFolderDepth) return;  // placed later at the top
        placed_[k] = true;
        const TFolderRecord& record = records_[k];
        TFolderNode node;
        node.Id = record.Id;
        node.ParentId = parentId;
        node.Name = SummaryToUtf8(record.Name, codePage_);
        node.Unread = record.UnreadCount;
        node.Special = record.Special;
        node.Depth = depth;
        nodes_.push_back({std::move(node), &record});
        for (size_t child : children_[k]) Place(child, record.Id, depth + 1);
    }

    void Warn(std::string text) const {
        if (warnings_) warnings_({std::move(text), {"folder list", std::nullopt, std::nullopt}});
    }

    const std::vector<TFolderRecord>& records_;
    const TWarningSink& warnings_;
    const std::string& codePage_;
    std::vector<std::vector<size_t>> children_;
    std::vector<bool> placed_;
    std::vector<std::pair<TFolderNode, const TFolderRecord*>> nodes_;
};

}  // namespace

std::string FoldFileName(std::string_view utf8) { return FoldCase(utf8); }

std::string_view SpecialFolderName(uint32_t special) {
    switch (special) {
        case kSpecialInbox: return "inbox";
        case kSpecialOutbox: return "outbox";
        case kSpecialSent: return "sent";
        case kSpecialDeleted: return "deleted";
        case kSpecialDrafts: return "drafts";
        default: return {};
    }
}

bool IsBookkeepingFile(std::string_view name) {
    const std::string folded = FoldFileName(name);
    return std::find(std::begin(kBookkeepingNames), std::end(kBookkeepingNames), folded) != std::end(kBookkeepingNames);
}

namespace {

std::optional<uint32_t> DbxCountFromIndexTree(const std::string& path) {
    try {
        const std::unique_ptr<TByteSource> file = TByteSource::OpenFile(path);
        if (!file->Has(0, dbx::kHeaderSize)) return 0;
        const uint64_t count = dbx::IndexTreeCount(*file, le::U32(file->Read(0, dbx::kHeaderSize), dbx::kHeaderRootNode));
        if (count > UINT32_MAX) return std::nullopt;
        return static_cast<uint32_t>(count);
    } catch (const Exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<uint32_t> StoreHeaderCount(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char bytes[kCountHeaderBytes];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    const std::string_view header(bytes, got);
    if (got >= mbx::kHeaderCount + 4 && le::U32(header, mbx::kHeaderMagic) == mbx::kMagic)
        return le::U32(header, mbx::kHeaderCount);
    if (got == kCountHeaderBytes && le::U32(header, dbx::kHeaderMagic1) == dbx::kMagic1 &&
        le::U32(header, dbx::kHeaderMagic2) == dbx::kMagic2) {
        const uint32_t count = le::U32(header, dbx::kHeaderMessageCount);
        // A count of 0 over an index tree is damage: the tree's root tells the count.
        return count != 0 ? count : DbxCountFromIndexTree(path);
    }
    return std::nullopt;
}

std::vector<TNodeUnread> UnreadOfUncountedStores(const TStoreFolder& folder, const std::atomic<bool>* cancel) {
    std::vector<TNodeUnread> counts;
    for (size_t k = 0; k < folder.Nodes.size(); ++k) {
        if (cancel && cancel->load()) break;
        const TFolderNode& node = folder.Nodes[k];
        if (!node.File || node.Unread) continue;
        try {
            const std::unique_ptr<TOEReader> reader = OpenStore(JoinPath(folder.Path, *node.File), {}, false);
            uint32_t unread = 0;
            for (int32_t i = 0; i < reader->GetMessageCount(); ++i)
                if ((reader->GetMessageInfo(i).Flags & kFlagRead) == 0) ++unread;
            counts.push_back({k, unread});
        } catch (const Exception&) {
            continue;
        }
    }
    return counts;
}

std::string DecideFolderCodePage(const std::vector<std::string>& names,
                                 const std::vector<std::pair<std::string, uint32_t>>& stores) {
    TCodePageEvidence evidence;
    for (const std::string& name : names) evidence.AddText(name);
    std::vector<std::pair<std::string, uint32_t>> bySize = stores;
    std::stable_sort(bySize.begin(), bySize.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    uint64_t summaries = 0;
    size_t used = 0;
    TReadBuffer buffer;
    for (const auto& [path, count] : bySize) {
        if (used == kCodePageStores) break;
        if (count == 0 || summaries + count > kCodePageSummaries) continue;
        try {
            std::unique_ptr<TOEReader> reader =
                OpenStoreFrom(path, TByteSource::OpenFile(path, buffer, ReadingPolicy().ReadWholeUpTo), {}, false);
            evidence.AddStore(*reader, kCodePageHeadersPerStore);
            summaries += count;
            ++used;
        } catch (const Exception&) {
            // A store that cannot be read gives no evidence.
        }
    }
    return evidence.Decide();
}

TStoreFolder ReadStoreFolder(const std::string& dir, const TWarningSink& warnings, const std::string& codePage) {
    TStoreFolder folder;
    folder.Path = dir;
    std::map<std::string, std::string> files = StoreFilesIn(dir);
    const TListFile listFile = FindListFile(dir);
    std::optional<std::vector<TFolderRecord>> records = ReadListOf(listFile, warnings);
    folder.HasList = records && listFile.Kind == TListKind::FolderList;
    folder.HasVersion4Tree = records && listFile.Kind == TListKind::Version4Tree;
    std::map<std::string, std::optional<uint32_t>> counts;
    for (const auto& [folded, name] : files) counts[name] = StoreHeaderCount(JoinPath(dir, name));
    folder.CodePage = codePage;
    if (folder.CodePage.empty()) {
        std::vector<std::string> names;
        if (records)
            for (const TFolderRecord& record : *records) names.push_back(record.Name);
        std::vector<std::pair<std::string, uint32_t>> stores;
        for (const auto& [name, count] : counts)
            if (count) stores.emplace_back(JoinPath(dir, name), *count);
        folder.CodePage = DecideFolderCodePage(names, stores);
    }
    if (records) {
        for (auto& [node, record] : TTreeBuilder(*records, warnings, folder.CodePage).Build()) {
            if (!record->FileName.empty()) {
                auto file = files.find(FoldFileName(SummaryToUtf8(record->FileName, folder.CodePage)));
                if (file != files.end()) {
                    node.File = file->second;
                    files.erase(file);
                }
            }
            folder.Nodes.push_back(std::move(node));
        }
    }
    for (auto& [folded, name] : files) {
        TFolderNode node;
        node.Name = Utf8OrCp1252(StemOf(name));
        node.File = name;
        folder.Nodes.push_back(std::move(node));
    }
    for (TFolderNode& node : folder.Nodes)
        if (node.File) node.Count = counts[*node.File];
    return folder;
}

}  // namespace brindle
