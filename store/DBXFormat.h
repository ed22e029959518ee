#pragma once
// The building blocks of version 5/6 files (.dbx) over a byte source: the index-tree walk,
// message-info (and folder-info) objects with their entry table, and chains of data blocks.
// The message store reader, the folder-list reader and the whole-file scan share them.
#include "platform/ByteSource.h"
#include "platform/Exceptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class EDBXReaderException : public Exception {
public:
    using Exception::Exception;
};

namespace dbx {

// Fills values (made count long, zeros first) with the values of the index tree rooted at
// root, in the tree's order. Checks each node's marker, parent and entry count, that no node
// is reached twice, the depth and that the counts add up to count. Throws
// EDBXReaderException or EReadError with the node's context; the values found before stay.
void ReadIndexTree(const TByteSource& file, uint32_t root, uint32_t count, std::vector<uint32_t>& values);

// The number of values that the root node at root says its tree holds (its own values and the
// counts of its children), for a header whose count was lost; 0 when the node does not read
// as an index node.
uint64_t IndexTreeCount(const TByteSource& file, uint32_t root);

// An info object: a 12-byte head, a table of 4-byte entries (id byte, 24-bit value) and the
// data area that indirect entries point into. The id's top bit marks a value held in the
// entry itself; the other bits name the field.
class TInfoObject {
public:
    // Reads the object at offset; throws "Wrong object marker." when it does not begin with
    // its own offset, and EReadError when it runs past the end of the file.
    static TInfoObject Read(const TByteSource& file, uint32_t offset);

    uint32_t Offset() const { return offset_; }
    size_t EntryCount() const;
    // Entry k: the id byte and the 24-bit value.
    uint8_t IdAt(size_t k) const;
    uint32_t ValueAt(size_t k) const;

    // The field's value as the entry holds it (direct form) or, with indirect allowed, as 4
    // bytes in the data area; none when the object lacks the field or its data lies outside.
    std::optional<uint32_t> Number(uint8_t field, bool directAllowed = true, bool indirectAllowed = true) const;
    // 8 bytes in the data area (indirect form only).
    std::optional<uint64_t> Number64(uint8_t field) const;
    // The text in the data area (indirect form only): up to its first NUL, the end of the
    // object or 255 bytes. The view lies inside the file's bytes.
    std::optional<std::string_view> Text(uint8_t field) const;

    // Where the data of an indirect entry's value lies in the object, when it is inside.
    std::optional<uint64_t> DataPosition(uint32_t value, uint64_t width) const;

private:
    // What decode gives for the last entry of the field, in the given forms, that decodes:
    // later entries replace earlier ones, entries whose data lies outside are passed over.
    template <typename Decode>
    auto LastDecoded(uint8_t field, bool direct, bool indirect, Decode decode) const -> decltype(decode(size_t{0}));

    uint32_t offset_ = 0;
    std::string_view body_;
    uint64_t dataStart_ = 0;
    size_t entries_ = 0;
};

// A data block's head: marker, capacity, text bytes in this block, next block or 0.
struct TBlockHead {
    uint32_t Marker = 0;
    uint32_t Capacity = 0;
    uint32_t TextCount = 0;
    uint32_t Next = 0;
};
// Throws EReadError when the head runs past the end of the file.
TBlockHead ReadBlockHead(const TByteSource& file, uint64_t offset);

// Walks chains of data blocks. Every block must begin with its own offset; a chain that comes
// back to a block it has passed, or more blocks over all chains than the file has bytes, is
// damage ("Data block chain leads back to a block already visited.").
class TBlockChains {
public:
    explicit TBlockChains(const TByteSource& file) : file_(file), blockBudget_(file.Size()) {}

    // The sum of the text counts of the chain from first. With looped given, a chain that comes
    // back to a block it has passed is no error: *looped is set and the sum counts each block
    // of it once.
    uint32_t SumTextCounts(uint32_t first, bool* looped = nullptr);
    // The chain's text: every byte that each block's text count holds, NULs too. With untilHeaderEnd, stops
    // after the block that completes the first CR LF CR LF. sizeHint reserves room.
    std::string ReadText(uint32_t first, bool untilHeaderEnd, uint64_t sizeHint = 0) const;
    // Blocks walked by SumTextCounts so far.
    uint64_t BlocksWalked() const { return blocksWalked_; }

private:
    // The text counts of the chain from first up to the first block met a second time.
    uint32_t SumUntilRepeat(uint32_t first) const;

    const TByteSource& file_;
    uint64_t blockBudget_;
    uint64_t blocksWalked_ = 0;
};

}  // namespace dbx
}  // namespace brindle
