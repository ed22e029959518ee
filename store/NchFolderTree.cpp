#include "store/NchFolderTree.h"

#include "platform/LittleEndian.h"
#include "store/NchLayout.h"

#include <unordered_map>
#include <unordered_set>

namespace brindle {
namespace {

constexpr std::string_view kTreeFileName = "folders.nch";
// Folders nested deeper than this are damage.
constexpr uint32_t kMaxDepth = 64;

struct TNchRecord {
    uint32_t Offset = 0;
    uint32_t Index = 0;
    uint32_t Parent = 0;
    uint32_t Child = 0;
    uint32_t Sibling = 0;
    std::string Name;
    std::string FileName;
};

[[noreturn]] void Damage(std::string text, std::optional<uint64_t> offset = std::nullopt) {
    ENchTreeException damage(std::move(text));
    damage.AddContext({"folder tree record", offset, std::nullopt});
    throw damage;
}

std::string TextField(std::string_view record, uint32_t start, uint32_t width) {
    std::string_view field = record.substr(start, width);
    return std::string(field.substr(0, field.find('\0')));
}

bool EndsWithMbx(std::string_view name) {
    if (name.size() < 4) return false;
    std::string tail(name.substr(name.size() - 4));
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return tail == ".mbx";
}

TNchRecord DecodeRecord(const TByteSource& file, uint32_t offset) {
    if (!file.Has(offset, nch::kRecordFieldsEnd)) Damage("A folder record runs past the end of the file.", offset);
    const std::string_view bytes = file.Read(offset, nch::kRecordFieldsEnd);
    if (le::U32(bytes, nch::kRecordOwnOffset) != offset) Damage("A folder record does not carry its offset.", offset);
    if (le::U32(bytes, nch::kRecordSize) > file.Size() - offset)
        Damage("A folder record's size runs past the end of the file.", offset);
    TNchRecord record;
    record.Offset = offset;
    record.Index = le::U32(bytes, nch::kRecordIndex);
    record.Parent = le::U32(bytes, nch::kRecordParent);
    record.Child = le::U32(bytes, nch::kRecordChild);
    record.Sibling = le::U32(bytes, nch::kRecordSibling);
    record.Name = TextField(bytes, nch::kRecordName, nch::kNameBytes);
    record.FileName = TextField(bytes, nch::kRecordFileName, nch::kFileNameBytes);
    if (!record.FileName.empty() && !EndsWithMbx(record.FileName)) record.FileName += ".mbx";
    return record;
}

// The records in the order of the list; at most as many as the file has room for.
std::vector<TNchRecord> ReadRecordList(const TByteSource& file) {
    if (!file.Has(0, nch::kHeaderSize)) Damage("The folder tree file is too short for its header.", 0);
    uint32_t offset = le::U32(file.Read(0, nch::kHeaderSize), nch::kHeaderFirstRecord);
    const uint64_t budget = file.Size() / nch::kRecordFieldsEnd;
    std::unordered_set<uint32_t> visited;
    std::vector<TNchRecord> records;
    while (offset != 0) {
        if (!visited.insert(offset).second) Damage("The list of folder records runs in a loop.", offset);
        records.push_back(DecodeRecord(file, offset));
        if (records.size() > budget) Damage("The folder tree holds more records than the file has room for.");
        offset = le::U32(file.Read(offset, nch::kRecordFieldsEnd), nch::kRecordNext);
    }
    return records;
}

class TTreeWalk {
public:
    explicit TTreeWalk(const std::vector<TNchRecord>& records) : records_(records) {
        for (size_t k = 0; k < records.size(); ++k)
            if (!byIndex_.try_emplace(records[k].Index, k).second)
                Damage("Folder index " + std::to_string(records[k].Index) + " is given twice.", records[k].Offset);
    }

    std::vector<TFolderRecord> Walk() {
        auto root = byIndex_.find(nch::kRootIndex);
        if (root == byIndex_.end()) Damage("The folder tree has no root record.");
        reached_.insert(nch::kRootIndex);
        WalkChildren(records_[root->second], std::nullopt, 0);
        for (const TNchRecord& record : records_)
            if (!reached_.contains(record.Index)) Emit(record, std::nullopt);
        return std::move(out_);
    }

private:
    // Iterative along siblings, recursive (depth-capped) into children.
    void WalkChildren(const TNchRecord& parent, std::optional<uint32_t> parentId, uint32_t depth) {
        if (depth > kMaxDepth) Damage("Folders are nested too deep.", parent.Offset);
        uint32_t next = parent.Child;
        if (next == nch::kNoChild) return;
        while (true) {
            auto found = byIndex_.find(next);
            if (found == byIndex_.end())
                Damage("A folder link leads to index " + std::to_string(next) + ", which no record has.",
                       parent.Offset);
            if (!reached_.insert(next).second)
                Damage("The folder links reach index " + std::to_string(next) + " twice.", parent.Offset);
            const TNchRecord& record = records_[found->second];
            Emit(record, parentId);
            WalkChildren(record, record.Index, depth + 1);
            if (record.Sibling == nch::kNoSibling || record.Sibling == nch::kRootIndex) return;
            next = record.Sibling;
        }
    }

    void Emit(const TNchRecord& record, std::optional<uint32_t> parentId) {
        TFolderRecord folder;
        folder.Id = record.Index;
        folder.ParentId = parentId;
        folder.Name = record.Name;
        folder.FileName = record.FileName;
        out_.push_back(std::move(folder));
    }

    const std::vector<TNchRecord>& records_;
    std::unordered_map<uint32_t, size_t> byIndex_;
    std::unordered_set<uint32_t> reached_;
    std::vector<TFolderRecord> out_;
};

}  // namespace

bool IsNchTreeName(std::string_view fileName) {
    if (fileName.size() != kTreeFileName.size()) return false;
    for (size_t k = 0; k < fileName.size(); ++k) {
        const char c = fileName[k];
        if ((c >= 'A' && c <= 'Z' ? c + 0x20 : c) != kTreeFileName[k]) return false;
    }
    return true;
}

std::vector<TFolderRecord> ReadNchFolderTree(const TByteSource& file) {
    std::vector<TNchRecord> records = ReadRecordList(file);
    std::vector<TFolderRecord> folders = TTreeWalk(records).Walk();
    file.CheckIntact();
    return folders;
}

}  // namespace brindle
