#pragma once
// The folder tree of a version 4 store folder (FOLDERS.NCH), read into the records of the
// version 5/6 folder list so that one tree builder serves both.
#include "platform/ByteSource.h"
#include "store/FolderList.h"

#include <string_view>
#include <vector>

namespace brindle {

// The tree cannot be read; the folder's .mbx files are then taken without it.
class ENchTreeException : public Exception {
public:
    using Exception::Exception;
};

// True for the tree file's name, in any case of its letters.
bool IsNchTreeName(std::string_view fileName);

// The folders below the root in depth-first order (a folder's children follow it, siblings
// in the order of their links): Id is the folder's index, ParentId its parent's (none at the
// top), FileName ends in ".mbx" when it is not empty, Special stays none. Every offset and
// index is checked; a loop in either kind of link, a record whose fields run past the end of
// the file, an index given twice or a link to an index that no record has is damage.
// Records that the tree does not reach come last, at the top. Throws ENchTreeException or
// EReadError.
std::vector<TFolderRecord> ReadNchFolderTree(const TByteSource& file);

}  // namespace brindle
