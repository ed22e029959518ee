#include "store/FoundMessage.h"

namespace brindle {
namespace {

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

}  // namespace brindle
