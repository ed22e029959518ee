#pragma once
// The layout of a version 4 folder: the message file (.mbx) and its index file (.idx).
// Numbers are little-endian; offsets with a structure's name count from its start.
#include <cstdint>

namespace brindle::mbx {

// .mbx header; the message records follow it directly.
inline constexpr uint32_t kHeaderSize = 84;
inline constexpr uint32_t kHeaderMagic = 0x00;
inline constexpr uint32_t kHeaderCount = 0x08;
inline constexpr uint32_t kMagic = 0x36464D4A;  // "JMF6"

// Message record: a 16-byte head, then the message's text.
inline constexpr uint32_t kRecordHeadSize = 16;
inline constexpr uint32_t kRecordTag = 0;
inline constexpr uint32_t kRecordNumber = 4;
inline constexpr uint32_t kRecordLength = 8;
inline constexpr uint32_t kRecordTextLength = 12;
// The smallest room a message takes: its head and at least one byte of text.
inline constexpr uint32_t kMinRecordSize = kRecordHeadSize + 1;
// Header blocks are read in pieces of this many bytes.
inline constexpr uint32_t kHeaderPieceSize = 1024;

// .idx header; the first index record follows it directly.
inline constexpr uint32_t kIdxHeaderSize = 80;
inline constexpr uint32_t kIdxHeaderMagic = 0x00;
inline constexpr uint32_t kIdxHeaderCount = 0x08;
inline constexpr uint32_t kIdxMagic = 0x39464D4A;  // "JMF9"

// Index record: a fixed part, then seven counted strings (4-byte length, then the bytes).
inline constexpr uint32_t kIdxFixedSize = 212;
inline constexpr uint32_t kIdxFlags = 0;
inline constexpr uint32_t kIdxMessageNumber = 8;
inline constexpr uint32_t kIdxOwnOffset = 12;
inline constexpr uint32_t kIdxRecordLength = 16;
inline constexpr uint32_t kIdxTextOffset = 20;
inline constexpr uint32_t kIdxTextSize = 24;
inline constexpr uint32_t kIdxReceived = 194;  // FILETIME, not aligned
inline constexpr uint32_t kIdxPriority = 210;  // 16 bits
inline constexpr uint32_t kIdxStringCount = 7;
// Counted strings: subject, receiver address, sender address, server, two unused, account.
inline constexpr uint32_t kIdxStringSubject = 0;
inline constexpr uint32_t kIdxStringReceiverAddress = 1;
inline constexpr uint32_t kIdxStringSenderAddress = 2;
inline constexpr uint32_t kIdxStringServer = 3;
inline constexpr uint32_t kIdxStringAccount = 6;

}  // namespace brindle::mbx
