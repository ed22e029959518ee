#include "store/FolderList.h"

#include "platform/LittleEndian.h"
#include "store/DBXLayout.h"

namespace brindle {
namespace {

constexpr const char* kNotFolderList = "File is not a folder list.";
constexpr const char* kCountTooLarge = "Folder count exceeds what the file can hold.";

// A top folder's parent in the direct form, where the entry holds only 24 bits.
constexpr uint32_t kNoParentDirect = 0xFFFFFF;

TFolderRecord DecodeFolder(const dbx::TInfoObject& object) {
    TFolderRecord record;
    record.Id = object.Number(dbx::kFolderFieldId).value_or(0);
    const std::optional<uint32_t> parent = object.Number(dbx::kFolderFieldParent);
    if (parent && *parent != dbx::kNoParentFolder && *parent != kNoParentDirect) record.ParentId = parent;
    if (auto name = object.Text(dbx::kFolderFieldName)) record.Name = *name;
    if (auto file = object.Text(dbx::kFolderFieldFile)) record.FileName = *file;
    record.Flags = object.Number(dbx::kFolderFieldFlags).value_or(0);
    record.MessageCount = object.Number(dbx::kFolderFieldCount).value_or(0);
    record.UnreadCount = object.Number(dbx::kFolderFieldUnread).value_or(0);
    record.Special = object.Number(dbx::kFolderFieldSpecial).value_or(kSpecialNone);
    record.AccountKind = object.Number(dbx::kFolderFieldAccountKind).value_or(0);
    return record;
}

// Damage of the underlying walk, retold as damage of the list.
template <typename Read>
decltype(auto) AsListDamage(Read read) {
    try {
        return read();
    } catch (const EFolderListException&) {
        throw;
    } catch (const Exception& error) {
        EFolderListException damage(error.Message());
        damage.AddContext(error.Context());
        throw damage;
    }
}

}  // namespace

bool IsFolderList(std::string_view firstBytes) {
    return firstBytes.size() >= 8 && le::U32(firstBytes, dbx::kHeaderMagic1) == dbx::kMagic1 &&
           le::U32(firstBytes, dbx::kHeaderMagic2) == dbx::kMagic2Folders;
}

std::vector<TFolderRecord> ReadFolderList(const TByteSource& file) {
    return AsListDamage([&] {
        std::string_view header =
            WithContext({"file header", 0, std::nullopt}, [&] { return file.Read(0, dbx::kHeaderSize); });
        if (!IsFolderList(header)) throw EFolderListException(kNotFolderList);
        const uint32_t count = le::U32(header, dbx::kHeaderMessageCount);
        if (count == 0) return std::vector<TFolderRecord>();
        if (count > file.Size() / dbx::kEntrySize) throw EFolderListException(kCountTooLarge);
        std::vector<uint32_t> offsets;
        dbx::ReadIndexTree(file, le::U32(header, dbx::kHeaderRootNode), count, offsets);
        std::vector<TFolderRecord> records;
        records.reserve(offsets.size());
        for (uint32_t offset : offsets) {
            TFolderRecord record = DecodeFolder(dbx::TInfoObject::Read(file, offset));
            records.push_back(std::move(record));
        }
        file.CheckIntact();
        return records;
    });
}

}  // namespace brindle
