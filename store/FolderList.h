#pragma once
// The folder list of a version 5/6 store folder (Folders.dbx): one record per folder with its
// place in the tree, its name and the name of the store file that holds its messages. The
// file has the header and index tree of a message store, with its own second magic number.
#include "platform/ByteSource.h"
#include "store/DBXFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

// The list cannot be read; the folder's store files are then taken without it.
class EFolderListException : public EDBXReaderException {
public:
    using EDBXReaderException::EDBXReaderException;
};

enum : uint32_t {
    kSpecialNone = 0,
    kSpecialInbox = 1,
    kSpecialOutbox = 2,
    kSpecialSent = 3,
    kSpecialDeleted = 4,
    kSpecialDrafts = 5,
};

// One folder as the list records it. Texts are the writer's bytes (its code page), up to
// their first NUL; a field the object lacks keeps its default.
struct TFolderRecord {
    uint32_t Id = 0;
    std::optional<uint32_t> ParentId;  // none at the top
    std::string Name;
    std::string FileName;  // empty for a folder without a store file
    uint32_t Flags = 0;
    uint32_t MessageCount = 0;
    uint32_t UnreadCount = 0;
    uint32_t Special = kSpecialNone;
    uint32_t AccountKind = 0;
};

// True when the first bytes carry both magic numbers of a folder list.
bool IsFolderList(std::string_view firstBytes);

// Every record in the order of the list's index tree. The tree walk checks what the message
// store reader checks (markers, parents, entry counts, nodes reached twice, depth, the header's
// count). Throws EFolderListException with the damage found, or EReadError.
std::vector<TFolderRecord> ReadFolderList(const TByteSource& file);

}  // namespace brindle
