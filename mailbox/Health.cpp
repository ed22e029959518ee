#include "mailbox/Health.h"

#include "mailbox/CodePage.h"
#include "mailbox/Rescue.h"
#include "platform/ByteSource.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/ParallelWork.h"
#include "store/FolderList.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>

namespace brindle {
namespace {

// Stores checked side by side.
constexpr unsigned kCheckThreads = 2;
// Warnings kept per store; the count goes on.
constexpr size_t kWarningsKept = 20;

std::string Plural(size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string Gigabytes(uint64_t bytes) {
    const uint64_t tenths = bytes * 10 / 1'000'000'000;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " GB";
}

// What the reader tells: its count through the index, its code page and the damage it met.
void ReadThroughIndex(TStoreHealth& health, const std::string& codePage) {
    size_t warnings = 0;
    const TWarningSink sink = [&](const TWarning& warning) {
        if (warnings++ < kWarningsKept) health.Warnings.push_back(warning.Describe());
    };
    try {
        std::unique_ptr<TOEReader> reader = OpenStore(health.Path, sink, false);
        health.Reachable = static_cast<size_t>(std::max(reader->GetMessageCount(), 0));
        health.CodePage = codePage.empty() ? DecideStoreCodePage(*reader) : codePage;
    } catch (const Exception& error) {
        // What the scan's own reading of the index tree reached, up to the damage.
        health.IndexError = error.Message();
        health.Reachable = health.ReadWhole + health.BrokenChains;
        health.CodePage = codePage;
    }
    if (warnings > kWarningsKept) health.Warnings.push_back(Plural(warnings - kWarningsKept, "more", "more"));
}

void IndexFileProblems(TStoreHealth& health, const TStoreRescue& rescue) {
    const mbx::TMbxScan* scan = rescue.MbxScan();
    if (!scan) return;
    if (!rescue.HasIndexFile()) {
        health.IndexFileProblems.push_back("no index file (.idx) beside the folder file");
        return;
    }
    if (!scan->IndexRead()) {
        health.IndexFileProblems.push_back("the index file does not begin as one");
        return;
    }
    if (scan->IndexEntries() != scan->IndexHeaderCount())
        health.IndexFileProblems.push_back("the index file holds " + std::to_string(scan->IndexEntries()) + " of the " +
                                           Plural(scan->IndexHeaderCount(), "entry", "entries") +
                                           " its header counts");
    const size_t matched = static_cast<size_t>(std::count_if(rescue.Found().begin(), rescue.Found().end(),
                                                             [](const TFoundMessage& m) { return m.Index.has_value(); }));
    if (matched < scan->IndexEntries())
        health.IndexFileProblems.push_back(Plural(scan->IndexEntries() - matched, "entry points", "entries point") +
                                           " at no message of the folder file");
}

void CountFound(TStoreHealth& health, const TFoundList& found) {
    for (const TFoundMessage& message : found) {
        health.LostBytes += message.LostBytes;
        switch (message.Kind) {
            case TFoundKind::Indexed:
                if (message.LostBytes == 0) ++health.ReadWhole;
                break;
            case TFoundKind::Partial:
                ++health.BrokenChains;
                break;
            case TFoundKind::Deleted:
                ++health.Deleted;
                break;
            case TFoundKind::Orphaned:
                ++health.Unindexed;
                break;
        }
    }
}

// The messages the header promises: its count, or when that is 0 what the index reaches.
size_t Expected(const TStoreHealth& health) {
    const size_t header = health.HeaderCount.value_or(0);
    return header == 0 ? health.Reachable : header;
}


std::vector<std::string> Damage(const TStoreHealth& health) {
    std::vector<std::string> damage;
    if (health.Unreadable) return {"unreadable: " + *health.Unreadable};
    if (health.Kind == kFileKindUnknown) damage.push_back("not a store of a known kind");
    const size_t expected = Expected(health);
    const size_t more = health.Unindexed;
    if (health.IndexError && health.Reachable == 0)
        damage.push_back("index cannot be read (" + health.IndexError.value() + "): " +
                         Plural(more, "message", "messages") + " found by a scan");
    else if (health.IndexError || health.Reachable < expected || more > 0)
        damage.push_back("damaged index: " + std::to_string(health.Reachable) + " of " +
                         Plural(expected, "message", "messages") + " reachable, " + std::to_string(more) +
                         " more by a scan");
    if (health.BrokenChains > 0) damage.push_back(Plural(health.BrokenChains, "text breaks", "texts break") + " off");
    const size_t reachedWhole = health.ReadWhole;
    if (health.Reachable > reachedWhole + health.BrokenChains)
        damage.push_back(Plural(health.Reachable - reachedWhole - health.BrokenChains, "reachable text is",
                                "reachable texts are") +
                         " not whole");
    for (const std::string& problem : health.IndexFileProblems) damage.push_back("index file: " + problem);
    if (!health.Warnings.empty()) damage.push_back(Plural(health.Warnings.size(), "problem", "problems") + " reading summaries");
    if (health.FileSize >= kStoreSizeLimit) damage.push_back("over the 2 GB limit of the format (" + Gigabytes(health.FileSize) + ")");
    return damage;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

std::optional<std::string> FolderListPath(const std::string& dir) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (FoldFileName(name) == "folders.dbx" && entry.is_regular_file(error)) return JoinPath(dir, name);
    }
    return std::nullopt;
}

// Listed entries with a file name that no node on disk matched.
std::vector<std::string> MissingStores(const TStoreFolder& folder) {
    std::vector<std::string> missing;
    if (!folder.HasList) return missing;
    const std::optional<std::string> listPath = FolderListPath(folder.Path);
    if (!listPath) return missing;
    std::vector<TFolderRecord> records;
    try {
        records = ReadFolderList(*TByteSource::OpenFile(*listPath));
    } catch (const Exception&) {
        return missing;
    }
    for (const TFolderRecord& record : records) {
        if (record.FileName.empty()) continue;
        const bool found = std::any_of(folder.Nodes.begin(), folder.Nodes.end(), [&](const TFolderNode& node) {
            return node.Id == record.Id && node.File;
        });
        if (!found) {
            const std::string file = SummaryToUtf8(record.FileName, folder.CodePage);
            missing.push_back(SummaryToUtf8(record.Name, folder.CodePage) + " (" + file + ")");
        }
    }
    return missing;
}

std::vector<std::string> StrayFiles(const TStoreFolder& folder) {
    std::vector<std::string> strays;
    if (!folder.HasList) return strays;
    for (const TFolderNode& node : folder.Nodes) {
        if (node.Id || !node.File) continue;
        std::string line = *node.File;
        if (std::optional<std::string> original = NameWithoutCopyMark(*node.File)) {
            const std::string folded = FoldFileName(*original);
            for (const TFolderNode& listed : folder.Nodes)
                if (listed.Id && listed.File && FoldFileName(*listed.File) == folded) {
                    line += " (a copy of " + *listed.File + "?)";
                    break;
                }
        }
        strays.push_back(std::move(line));
    }
    return strays;
}

// The path of each node from the top, names joined by "/".
std::vector<std::string> NodePaths(const TStoreFolder& folder) {
    std::vector<std::string> paths;
    std::vector<std::string> above;
    for (const TFolderNode& node : folder.Nodes) {
        above.resize(std::min<size_t>(above.size(), node.Depth));
        paths.push_back(above.empty() ? node.Name : above.back() + "/" + node.Name);
        above.push_back(paths.back());
    }
    return paths;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && FoldFileName(text.substr(text.size() - end.size())) == FoldFileName(end);
}

}  // namespace

bool TStoreHealth::Healthy() const { return Damage(*this).empty(); }

std::string TStoreHealth::Verdict() const {
    const std::vector<std::string> damage = Damage(*this);
    if (!damage.empty()) return Joined(damage);
    std::string verdict = "healthy";
    if (Deleted > 0) verdict += ", " + Plural(Deleted, "deleted message", "deleted messages") + " recoverable";
    if (FileSize >= kStoreSizeWarning) verdict += ", near the 2 GB limit of the format (" + Gigabytes(FileSize) + ")";
    return verdict;
}

bool TFolderHealth::Healthy() const {
    if (!ListDamage.empty() || !MissingStores.empty() || !StrayFiles.empty() || DuplicateGroups > 0) return false;
    return std::all_of(Stores.begin(), Stores.end(), [](const TStoreHealth& store) { return store.Healthy(); });
}

std::optional<std::string> NameWithoutCopyMark(std::string_view name) {
    std::string_view stem = name;
    std::string_view extension;
    for (std::string_view backup : {".bak", ".old", ".orig"})
        if (EndsWithIgnoringCase(stem, backup)) return std::string(stem.substr(0, stem.size() - backup.size()));
    if (const size_t dot = stem.rfind('.'); dot != std::string_view::npos) {
        extension = stem.substr(dot);
        stem = stem.substr(0, dot);
    }
    auto rest = [&](std::string_view kept) { return std::string(kept) + std::string(extension); };
    if (stem.size() > 8 && FoldFileName(stem.substr(0, 8)) == "copy of ") return rest(stem.substr(8));
    for (std::string_view mark : {" - copy", " copy"})
        if (EndsWithIgnoringCase(stem, mark) && stem.size() > mark.size()) return rest(stem.substr(0, stem.size() - mark.size()));
    // "Inbox(1)", "Inbox (2)"
    if (!stem.empty() && stem.back() == ')') {
        const size_t open = stem.rfind('(');
        if (open != std::string_view::npos && open > 0 && open + 2 < stem.size()) {
            const std::string_view digits = stem.substr(open + 1, stem.size() - open - 2);
            if (digits.find_first_not_of("0123456789") == std::string_view::npos) {
                std::string_view kept = stem.substr(0, open);
                while (!kept.empty() && kept.back() == ' ') kept.remove_suffix(1);
                if (!kept.empty()) return rest(kept);
            }
        }
    }
    return std::nullopt;
}

TStoreHealth CheckStore(const std::string& path, const std::string& codePage) {
    TStoreHealth health;
    health.Path = path;
    health.Folder = std::filesystem::path(path).filename().string();
    try {
        health.HeaderCount = StoreHeaderCount(path);
        TStoreRescue rescue(path, true);
        health.FileSize = rescue.FileSize();
        health.Kind = DetectFileKind(TByteSource::OpenFile(path)->ReadUpTo(0, 4));
        if (health.Kind == kFileKindUnknown) return health;
        rescue.Scan();
        CountFound(health, rescue.Found());
        IndexFileProblems(health, rescue);
    } catch (const Exception& error) {
        health.Unreadable = error.Message();
        return health;
    }
    ReadThroughIndex(health, codePage);
    return health;
}

TFolderHealth CheckStoreFolder(const std::string& dir, const THealthProgress& progress) {
    TFolderHealth health;
    health.Path = dir;
    const TStoreFolder folder = ReadStoreFolder(dir, [&health](const TWarning& warning) {
        health.ListDamage.push_back(warning.Describe());
    });
    health.HasList = folder.HasList;
    health.MissingStores = MissingStores(folder);
    health.StrayFiles = StrayFiles(folder);

    const std::vector<std::string> paths = NodePaths(folder);
    std::vector<size_t> stores;
    for (size_t k = 0; k < folder.Nodes.size(); ++k)
        if (folder.Nodes[k].File) stores.push_back(k);
    health.Stores.resize(stores.size());
    std::atomic<bool> cancelled{false};
    std::atomic<size_t> done{0};
    TParallelRun run(&cancelled);
    TForEachOptions options;
    options.Threads = kCheckThreads;
    ForEachInParallel(stores.size(), run, options, [&](size_t i) {
        const TFolderNode& node = folder.Nodes[stores[i]];
        health.Stores[i] = CheckStore(JoinPath(dir, *node.File), folder.CodePage);
        health.Stores[i].Folder = paths[stores[i]];
        const size_t now = ++done;
        if (progress && !run.Serialised([&] { return progress(now, stores.size()); })) cancelled = true;
    });
    if (cancelled) return health;
    const bool anyDbx = std::any_of(health.Stores.begin(), health.Stores.end(),
                                    [](const TStoreHealth& store) { return store.Kind == kFileKindOE5; });
    if (!folder.HasList && anyDbx && health.ListDamage.empty())
        health.ListDamage.push_back("no folder list (Folders.dbx): the stores stand at the top");
    const TDuplicateSurvey survey = FindDuplicates(folder, TDuplicateMode::Text);
    health.DuplicateGroups = survey.Groups.size();
    for (const auto& group : survey.Groups) health.DuplicateCopies += group.size() - 1;
    return health;
}

}  // namespace brindle
