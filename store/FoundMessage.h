#pragma once
// What a whole-file scan finds: message texts that a store still holds, indexed or not.
#include "store/IndexIterator.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

enum class TFoundKind : uint8_t {
    Indexed,   // a message of the index
    Orphaned,  // left behind where no summary reaches it
    Deleted,   // freed, or dropped from the index
    Partial,   // a chain that breaks off: its next block is missing or taken by another chain
};
const char* FoundKindName(TFoundKind kind);  // "indexed", "orphaned", "deleted", "partial"

// A run of lost bytes in a recovered text.
struct TLostRange {
    uint64_t At = 0;
    uint32_t Length = 0;
};

struct TFoundMessage {
    uint32_t Offset = 0;  // the first block (.dbx) or the record (.mbx)
    TFoundKind Kind = TFoundKind::Orphaned;
    bool Freed = false;                  // .dbx: made of freed blocks
    int64_t Displacement = 0;            // .dbx: where the blocks lie minus where their markers say
    std::optional<uint32_t> Index;       // the summary's position when the index reaches it
    std::optional<uint32_t> InfoOffset;  // .dbx: a message-info object that points at the chain
    uint32_t Blocks = 0;
    uint64_t Size = 0;       // text bytes recovered, lost ones included
    uint32_t LostBytes = 0;  // bytes of the text that the file no longer holds
};

// The messages that a scan found. One of the common shape (a single run of bytes where its
// markers say, none lost, no info object, as every version 4 record is) takes 16 bytes; any
// other is kept whole beside. Messages are read back as values.
class TFoundList {
public:
    using TIterator = TIndexIterator<TFoundList, TFoundMessage>;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    TFoundMessage operator[](size_t i) const;
    // Throws std::out_of_range past the end.
    TFoundMessage at(size_t i) const;
    uint32_t OffsetAt(size_t i) const { return entries_[i].Offset; }
    TIterator begin() const { return {this, 0}; }
    TIterator end() const { return {this, entries_.size()}; }

    void push_back(const TFoundMessage& message);
    void clear();
    // Orders the messages by offset (a stable order for equal offsets is not kept).
    void SortByOffset();
    // Of the first `end` messages, sorted by offset, the position of the first at offset or
    // after it.
    size_t LowerBound(uint32_t offset, size_t end) const;
    std::vector<TFoundMessage> ToVector() const;
    size_t MemoryUsage() const;

private:
    struct TEntry {
        uint32_t Offset = 0;
        uint32_t Size = 0;   // or, for a message kept whole, its place in whole_
        uint32_t Index = 0;  // when HasIndex
        TFoundKind Kind = TFoundKind::Orphaned;
        uint8_t Shape = 0;
    };

    std::deque<TEntry> entries_;  // grows in blocks: no copy of the whole as it grows
    std::vector<TFoundMessage> whole_;
};

// Tells how far the scan is (bytes of the file looked at, of all); false cancels the scan.
using TScanProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Lost bytes replaced so that the text does the least harm: inside a base64 body whose lines
// before the gap show the line length, the line end is put back where it belongs and the
// other lost characters become "A", so that the rest decodes in step; elsewhere a space.
void FillLostBytes(std::string& text, const std::vector<TLostRange>& lost);

}  // namespace brindle
