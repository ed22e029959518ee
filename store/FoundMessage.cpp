#include "store/FoundMessage.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace brindle {
namespace {

// TFoundList entry shapes.
constexpr uint8_t kHasIndex = 0x01;
constexpr uint8_t kKeptWhole = 0x02;

bool IsCommonShape(const TFoundMessage& m) {
    return !m.Freed && m.Displacement == 0 && !m.InfoOffset && m.Blocks == 1 && m.LostBytes == 0 &&
           m.Size <= std::numeric_limits<uint32_t>::max();
}

bool IsBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

// The length of the line of base64 characters that ends just before lineEnd (its CR), or 0.
size_t Base64LineBefore(std::string_view text, size_t lineEnd) {
    if (lineEnd < 1 || lineEnd + 1 >= text.size() || text[lineEnd] != '\r' || text[lineEnd + 1] != '\n') return 0;
    size_t start = lineEnd;
    while (start > 0 && text[start - 1] != '\n') --start;
    for (size_t k = start; k < lineEnd; ++k)
        if (!IsBase64Character(text[k])) return 0;
    return lineEnd - start;
}

// The line length of the base64 body around a gap that begins at gap, where the two full lines
// before the gap's line agree on it; 0 outside such a body.
size_t Base64LineLength(std::string_view text, size_t gap, size_t& lineStart) {
    lineStart = gap;
    while (lineStart > 0 && text[lineStart - 1] != '\n') --lineStart;
    if (lineStart < 2) return 0;
    const size_t previous = Base64LineBefore(text, lineStart - 2);
    if (previous < 4 || lineStart < previous + 4) return 0;
    const size_t before = Base64LineBefore(text, lineStart - previous - 4);
    if (before != previous) return 0;
    for (size_t k = lineStart; k < gap; ++k)
        if (!IsBase64Character(text[k])) return 0;
    return previous;
}

}  // namespace

const char* FoundKindName(TFoundKind kind) {
    switch (kind) {
        case TFoundKind::Indexed: return "indexed";
        case TFoundKind::Orphaned: return "orphaned";
        case TFoundKind::Deleted: return "deleted";
        case TFoundKind::Partial: return "partial";
    }
    return "";
}

void FillLostBytes(std::string& text, const std::vector<TLostRange>& lost) {
    for (const TLostRange& range : lost) {
        size_t lineStart = 0;
        const size_t lineLength = Base64LineLength(text, static_cast<size_t>(range.At), lineStart);
        for (uint64_t p = range.At; p < range.At + range.Length && p < text.size(); ++p) {
            if (lineLength == 0) {
                text[p] = ' ';
                continue;
            }
            const size_t column = static_cast<size_t>(p - lineStart) % (lineLength + 2);
            text[p] = column == lineLength ? '\r' : column == lineLength + 1 ? '\n' : 'A';
        }
    }
}

TFoundMessage TFoundList::operator[](size_t i) const {
    const TEntry& entry = entries_[i];
    if (entry.Shape & kKeptWhole) return whole_[entry.Size];
    TFoundMessage message;
    message.Offset = entry.Offset;
    message.Kind = entry.Kind;
    if (entry.Shape & kHasIndex) message.Index = entry.Index;
    message.Blocks = 1;
    message.Size = entry.Size;
    return message;
}

TFoundMessage TFoundList::at(size_t i) const {
    if (i >= entries_.size()) throw std::out_of_range("found message");
    return (*this)[i];
}

void TFoundList::push_back(const TFoundMessage& message) {
    TEntry entry;
    entry.Offset = message.Offset;
    entry.Kind = message.Kind;
    if (IsCommonShape(message)) {
        entry.Size = static_cast<uint32_t>(message.Size);
        if (message.Index) {
            entry.Shape |= kHasIndex;
            entry.Index = *message.Index;
        }
    } else {
        entry.Shape = kKeptWhole;
        entry.Size = static_cast<uint32_t>(whole_.size());
        whole_.push_back(message);
    }
    entries_.push_back(entry);
}

void TFoundList::clear() {
    std::deque<TEntry>().swap(entries_);
    std::vector<TFoundMessage>().swap(whole_);
}

void TFoundList::SortByOffset() {
    std::sort(entries_.begin(), entries_.end(), [](const TEntry& a, const TEntry& b) { return a.Offset < b.Offset; });
}

size_t TFoundList::LowerBound(uint32_t offset, size_t end) const {
    const auto last = entries_.begin() + static_cast<std::ptrdiff_t>(std::min(end, entries_.size()));
    const auto it = std::lower_bound(entries_.begin(), last, offset,
                                     [](const TEntry& entry, uint32_t at) { return entry.Offset < at; });
    return static_cast<size_t>(it - entries_.begin());
}

std::vector<TFoundMessage> TFoundList::ToVector() const { return {begin(), end()}; }

size_t TFoundList::MemoryUsage() const {
    return entries_.size() * sizeof(TEntry) + whole_.capacity() * sizeof(TFoundMessage);
}

}  // namespace brindle
