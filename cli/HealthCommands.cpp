// The commands that judge a mailbox before it is trusted: check (a health report) and
// duplicates (the copies of messages across a store folder).
#include "cli/Commands.h"
#include "cli/JsonWriter.h"
#include "cli/TerminalText.h"
#include "mailbox/Duplicates.h"
#include "mailbox/FolderExport.h"
#include "mailbox/Health.h"
#include "store/OEReader.h"
#include "store/StoreOpener.h"

#include <filesystem>

namespace brindle {
namespace {

// Text from a store (names, subjects) as one cell of a line.
std::string Cell(std::string_view text) { return ControlsAsSpaces(EscapedForTerminal(text)); }

std::string KindName(uint8_t kind) {
    switch (kind) {
        case kFileKindOE4:
            return "1 (version 4 folder, .mbx)";
        case kFileKindOE5:
            return "2 (version 5/6 folder, .dbx)";
        default:
            return "unknown";
    }
}

std::string SizeLine(uint64_t size) {
    const uint64_t permille = size * 1000 / kStoreSizeLimit;
    return std::to_string(size) + " bytes, " + std::to_string(permille / 10) + "." + std::to_string(permille % 10) +
           " % of the 2 GB limit";
}

void WriteStoreReport(std::ostream& out, const TStoreHealth& store) {
    out << "Store " << Cell(store.Folder) << " (" << Cell(std::filesystem::path(store.Path).filename().string())
        << ")\n";
    out << "  kind: " << KindName(store.Kind) << '\n';
    out << "  code page: " << (store.CodePage.empty() ? "unknown" : store.CodePage) << '\n';
    out << "  header's message count: " << (store.HeaderCount ? std::to_string(*store.HeaderCount) : "unreadable")
        << '\n';
    out << "  reached through the index: " << store.Reachable;
    if (store.IndexError) out << " (the index cannot be read: " << Cell(*store.IndexError) << ")";
    out << '\n';
    out << "  texts that read whole: " << store.ReadWhole << '\n';
    out << "  chains that break off: " << store.BrokenChains << '\n';
    out << "  deleted, recoverable: " << store.Deleted << '\n';
    out << "  unindexed: " << store.Unindexed << '\n';
    out << "  lost bytes: " << store.LostBytes << '\n';
    out << "  file size: " << SizeLine(store.FileSize) << '\n';
    for (const std::string& problem : store.IndexFileProblems) out << "  index file: " << Cell(problem) << '\n';
    for (const std::string& warning : store.Warnings) out << "  summary problem: " << Cell(warning) << '\n';
    out << "  verdict: " << Cell(store.Verdict()) << '\n';
}

void WriteFolderReport(std::ostream& out, const TFolderHealth& folder) {
    out << "Store folder " << Cell(folder.Path) << '\n';
    out << "  folder list: " << (folder.HasList ? "read" : "none read") << '\n';
    for (const std::string& damage : folder.ListDamage) out << "  folder list damage: " << Cell(damage) << '\n';
    for (const std::string& missing : folder.MissingStores) out << "  listed but missing: " << Cell(missing) << '\n';
    for (const std::string& stray : folder.StrayFiles) out << "  not listed: " << Cell(stray) << '\n';
    out << "  duplicate groups: " << folder.DuplicateGroups << " (" << folder.DuplicateCopies
        << (folder.DuplicateCopies == 1 ? " copy" : " copies") << " beyond the first)\n";
}

void WriteStoreObject(TJsonWriter& json, const TStoreHealth& store) {
    json.BeginObject();
    json.Member("Folder", store.Folder);
    json.Member("Path", store.Path);
    json.Member("Kind", static_cast<uint32_t>(store.Kind));
    json.Member("CodePage", store.CodePage);
    json.Key("HeaderCount");
    store.HeaderCount ? json.Number(*store.HeaderCount) : json.Null();
    json.Key("IndexError");
    store.IndexError ? json.String(*store.IndexError) : json.Null();
    json.Member("Reachable", static_cast<uint64_t>(store.Reachable));
    json.Member("ReadWhole", static_cast<uint64_t>(store.ReadWhole));
    json.Member("BrokenChains", static_cast<uint64_t>(store.BrokenChains));
    json.Member("Deleted", static_cast<uint64_t>(store.Deleted));
    json.Member("Unindexed", static_cast<uint64_t>(store.Unindexed));
    json.Member("LostBytes", store.LostBytes);
    json.Member("FileSize", store.FileSize);
    json.Member("SizeLimit", kStoreSizeLimit);
    json.Key("IndexFileProblems");
    json.BeginArray();
    for (const std::string& problem : store.IndexFileProblems) json.String(problem);
    json.EndArray();
    json.Key("Warnings");
    json.BeginArray();
    for (const std::string& warning : store.Warnings) json.String(warning);
    json.EndArray();
    json.Key("Unreadable");
    store.Unreadable ? json.String(*store.Unreadable) : json.Null();
    json.Member("Healthy", store.Healthy());
    json.Member("Verdict", store.Verdict());
    json.EndObject();
}

void WriteStrings(TJsonWriter& json, std::string_view name, const std::vector<std::string>& texts) {
    json.Key(name);
    json.BeginArray();
    for (const std::string& text : texts) json.String(text);
    json.EndArray();
}

void WriteFolderObject(TJsonWriter& json, const TFolderHealth& folder) {
    json.BeginObject();
    json.Member("Path", folder.Path);
    json.Member("HasList", folder.HasList);
    WriteStrings(json, "ListDamage", folder.ListDamage);
    WriteStrings(json, "MissingStores", folder.MissingStores);
    WriteStrings(json, "StrayFiles", folder.StrayFiles);
    json.Member("DuplicateGroups", static_cast<uint64_t>(folder.DuplicateGroups));
    json.Member("DuplicateCopies", static_cast<uint64_t>(folder.DuplicateCopies));
    json.Member("Healthy", folder.Healthy());
    json.EndObject();
}

void WriteCheckJson(std::ostream& out, const TFolderHealth* folder, const std::vector<TStoreHealth>& stores,
                    bool healthy) {
    TJsonWriter json;
    json.BeginObject();
    json.Key("StoreFolder");
    folder ? WriteFolderObject(json, *folder) : json.Null();
    json.Key("Stores");
    json.BeginArray();
    for (const TStoreHealth& store : stores) WriteStoreObject(json, store);
    json.EndArray();
    json.Member("Healthy", healthy);
    json.EndObject();
    json.FlushTo(out);
}

}  // namespace

void RunCheck(const TCliArguments& args, std::ostream& out) {
    const std::string& path = args.operands.at(0);
    std::error_code error;
    std::optional<TFolderHealth> folder;
    std::vector<TStoreHealth> single;
    if (std::filesystem::is_directory(path, error))
        folder = CheckStoreFolder(path);
    else if (std::filesystem::exists(path, error))
        single.push_back(CheckStore(path, args.codePage));
    else
        throw EFOpenError(path);
    const std::vector<TStoreHealth>& stores = folder ? folder->Stores : single;
    const bool healthy = folder ? folder->Healthy() : single.front().Healthy();
    if (args.json) {
        WriteCheckJson(out, folder ? &*folder : nullptr, stores, healthy);
    } else {
        if (folder) WriteFolderReport(out, *folder);
        for (const TStoreHealth& store : stores) WriteStoreReport(out, store);
        out << "Verdict:\n";
        for (const TStoreHealth& store : stores) out << "  " << Cell(store.Folder) << ": " << Cell(store.Verdict()) << '\n';
        if (folder)
            out << "  (store folder): "
                << (folder->ListDamage.empty() && folder->MissingStores.empty() && folder->StrayFiles.empty() &&
                            folder->DuplicateGroups == 0
                        ? "healthy"
                        : "needs a look (see above)")
                << '\n';
    }
    out.flush();
    if (!healthy) throw Exception("damage found (the report above tells where)");
}

void RunDuplicates(const TCliArguments& args, std::ostream& out) {
    const std::string& path = args.operands.at(0);
    std::error_code error;
    const TStoreFolder folder =
        std::filesystem::is_directory(path, error)
            ? ReadStoreFolder(path, args.warnings, args.codePage)
            : SingleStoreFolder(path, std::filesystem::path(path).filename().string());
    if (!std::filesystem::is_directory(path, error)) CreateStoreReader(path, {});
    const TDuplicateSurvey survey = FindDuplicates(folder, TDuplicateMode::Text);
    std::vector<std::string> names;
    {
        std::vector<std::string> above;
        for (const TFolderNode& node : folder.Nodes) {
            above.resize(std::min<size_t>(above.size(), node.Depth));
            names.push_back(above.empty() ? node.Name : above.back() + "/" + node.Name);
            above.push_back(names.back());
        }
    }
    for (const std::string& problem : survey.Problems)
        if (args.err) *args.err << "brindle-cli: " << Cell(problem) << '\n';
    size_t copies = 0;
    for (const auto& group : survey.Groups) copies += group.size() - 1;
    if (args.json) {
        TJsonWriter json;
        json.BeginObject();
        json.Member("Messages", static_cast<uint64_t>(survey.Messages));
        json.Key("Groups");
        json.BeginArray();
        for (const auto& group : survey.Groups) {
            json.BeginArray();
            for (const TFoundCopy& copy : group) {
                json.BeginObject();
                json.Member("Folder", names[copy.Node]);
                json.Member("File", folder.Nodes[copy.Node].File.value_or(std::string()));
                json.Member("Index", copy.Index);
                json.Member("Scanned", copy.Scanned);
                json.Member("Subject", copy.Subject);
                json.EndObject();
            }
            json.EndArray();
        }
        json.EndArray();
        json.EndObject();
        json.FlushTo(out);
    } else {
        std::string text;
        for (size_t g = 0; g < survey.Groups.size(); ++g)
            for (const TFoundCopy& copy : survey.Groups[g])
                text += std::to_string(g + 1) + '\t' + Cell(names[copy.Node]) + '\t' +
                        (copy.Scanned ? "found " : "") + std::to_string(copy.Index) + '\t' + Cell(copy.Subject) + '\n';
        text += std::to_string(survey.Groups.size()) + (survey.Groups.size() == 1 ? " group, " : " groups, ") +
                std::to_string(copies) + (copies == 1 ? " copy" : " copies") + " beyond the first, among " +
                std::to_string(survey.Messages) + (survey.Messages == 1 ? " message.\n" : " messages.\n");
        out << text;
    }
    if (!survey.Problems.empty())
        throw Exception(std::to_string(survey.Problems.size()) +
                        (survey.Problems.size() == 1 ? " store was" : " stores were") + " not read.");
}

}  // namespace brindle
