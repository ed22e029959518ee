#pragma once
// The layout of a version 4 folder tree (FOLDERS.NCH). Numbers are little-endian; record
// offsets count from the record's start. The header holds the offset of the first record;
// records form a list linked by file offsets, and the tree is linked by folder indexes: the
// record of index 0 is the root, whose child is the first folder at the top.
#include <cstdint>

namespace brindle::nch {

inline constexpr uint32_t kHeaderFirstRecord = 20;
inline constexpr uint32_t kHeaderSize = kHeaderFirstRecord + 4;

// Record: a 16-byte head of list links, then the folder's fields.
inline constexpr uint32_t kRecordOwnOffset = 0;
inline constexpr uint32_t kRecordSize = 4;
inline constexpr uint32_t kRecordPrevious = 8;
inline constexpr uint32_t kRecordNext = 12;  // 0 ends the list
inline constexpr uint32_t kRecordIndex = 16;
inline constexpr uint32_t kRecordName = 20;       // NUL-terminated, in the writer's code page
inline constexpr uint32_t kRecordFileName = 279;  // NUL-terminated; ".mbx" may be left off
inline constexpr uint32_t kRecordParent = 539;
inline constexpr uint32_t kRecordChild = 543;    // first child's index, 0 = none
inline constexpr uint32_t kRecordSibling = 547;  // next sibling's index, 0xFFFFFFFF = none
inline constexpr uint32_t kRecordType = 551;
inline constexpr uint32_t kRecordFieldsEnd = kRecordType + 4;
inline constexpr uint32_t kNameBytes = kRecordFileName - kRecordName;
inline constexpr uint32_t kFileNameBytes = kRecordParent - kRecordFileName;

inline constexpr uint32_t kRootIndex = 0;
inline constexpr uint32_t kNoChild = 0;
inline constexpr uint32_t kNoSibling = 0xFFFFFFFF;

}  // namespace brindle::nch
