#pragma once
// The layout of a version 5/6 folder file (.dbx) as far as it is read. Numbers are
// little-endian; offsets with a structure's name count from the start of that structure.
// Every node, message-info object and data block begins with its own file offset (marker).
#include <cstdint>

namespace brindle::dbx {

// File header.
inline constexpr uint32_t kHeaderSize = 0x24BC;
inline constexpr uint32_t kHeaderMagic1 = 0x00;
inline constexpr uint32_t kHeaderMagic2 = 0x04;
inline constexpr uint32_t kHeaderMessageCount = 0xC4;
inline constexpr uint32_t kHeaderRootNode = 0xE4;
inline constexpr uint32_t kMagic1 = 0xFE12ADCF;
inline constexpr uint32_t kMagic2 = 0x6F74FDC5;         // a message database
inline constexpr uint32_t kMagic2Folders = 0x6F74FDC6;  // the folder list (Folders.dbx)

// Folder area: follows the header; the folder's name starts at byte 261 of it.
inline constexpr uint32_t kFolderAreaOffset = kHeaderSize;
inline constexpr uint32_t kFolderAreaSize = 0x220;
inline constexpr uint32_t kFolderNameStart = 261;

// Index node: 51 entries of 12 bytes after a 24-byte head.
inline constexpr uint32_t kNodeSize = 0x27C;
inline constexpr uint32_t kNodeMarker = 0x00;
inline constexpr uint32_t kNodeFirstChild = 0x08;
inline constexpr uint32_t kNodeParent = 0x0C;
inline constexpr uint32_t kNodeEntryCount = 0x11;
inline constexpr uint32_t kNodeFirstChildCount = 0x14;
inline constexpr uint32_t kNodeEntries = 0x18;
inline constexpr uint32_t kNodeMaxEntries = 51;
inline constexpr uint32_t kEntrySize = 12;
inline constexpr uint32_t kEntryValue = 0;
inline constexpr uint32_t kEntryChild = 4;
inline constexpr uint32_t kEntryChildCount = 8;
static_assert(kNodeEntries + kNodeMaxEntries * kEntrySize == kNodeSize);

// Message-info object: a 12-byte head, then a table of 4-byte entries (id byte and 24-bit
// value) and the data area that indirect entries point into.
inline constexpr uint32_t kInfoHeadSize = 12;
inline constexpr uint32_t kInfoMarker = 0x00;
inline constexpr uint32_t kInfoBodyLength = 0x04;  // 16 bits
inline constexpr uint32_t kInfoEntryCount = 0x0A;  // 8 bits
inline constexpr uint32_t kInfoEntrySize = 4;
inline constexpr uint8_t kDirectForm = 0x80;

// Fields of message-info entries (the id without its direct-form bit).
inline constexpr uint8_t kFieldIndex = 0x00;  // direct form only
inline constexpr uint8_t kFieldFlags = 0x01;
inline constexpr uint8_t kFieldDataOffset = 0x04;
inline constexpr uint8_t kFieldMessageID = 0x07;
inline constexpr uint8_t kFieldSubject = 0x08;
inline constexpr uint8_t kFieldServer = 0x0C;
inline constexpr uint8_t kFieldSenderName = 0x0D;
inline constexpr uint8_t kFieldSenderAddress = 0x0E;
inline constexpr uint8_t kFieldPriority = 0x10;
inline constexpr uint8_t kFieldReceived = 0x12;  // FILETIME in the data area
inline constexpr uint8_t kFieldReceiverName = 0x13;
inline constexpr uint8_t kFieldReceiverAddress = 0x14;
inline constexpr uint8_t kFieldAccountName = 0x1A;

// Fields of folder-info entries in the folder list; its index tree (root at kHeaderRootNode,
// count at kHeaderMessageCount) leads to one folder-info object per folder.
inline constexpr uint8_t kFolderFieldId = 0x00;
inline constexpr uint8_t kFolderFieldParent = 0x01;  // 0xFFFFFFFF: the top
inline constexpr uint8_t kFolderFieldName = 0x02;
inline constexpr uint8_t kFolderFieldFile = 0x03;  // the store file's name
inline constexpr uint8_t kFolderFieldFlags = 0x06;
inline constexpr uint8_t kFolderFieldCount = 0x07;
inline constexpr uint8_t kFolderFieldUnread = 0x08;
inline constexpr uint8_t kFolderFieldSpecial = 0x09;      // 1 Inbox ... 5 Drafts
inline constexpr uint8_t kFolderFieldAccountKind = 0x0A;  // 0 news, 1 IMAP, 3 local
inline constexpr uint32_t kNoParentFolder = 0xFFFFFFFF;

// Data block: a 16-byte head, then the block's text bytes.
inline constexpr uint32_t kBlockHeadSize = 16;
inline constexpr uint32_t kBlockMarker = 0x00;
inline constexpr uint32_t kBlockCapacity = 0x04;  // not read
inline constexpr uint32_t kBlockTextCount = 0x08;
inline constexpr uint32_t kBlockNext = 0x0C;

}  // namespace brindle::dbx
