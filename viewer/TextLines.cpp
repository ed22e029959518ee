#include "viewer/TextLines.h"

#include "platform/Utf8.h"
#include "viewer/ViewerText.h"

#include <algorithm>

namespace brindle {
namespace {

constexpr size_t kMaxUtf8Length = 4;

bool IsLineEndByte(char c) { return c == '\r' || c == '\n'; }

// A NUL inside a message's text is not shown; everything after it is.
std::string WithoutNuls(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

// UTF-16 code units of the character whose lead byte this is.
size_t Utf16Units(char lead) { return static_cast<unsigned char>(lead) >= 0xF0 ? 2 : 1; }

}  // namespace

TTextLines::TTextLines(std::string text) : text_(WithoutNuls(std::move(text))) {
    if (text_.empty()) return;
    TRow row = RowFrom(0, 0, false);
    for (;;) {
        if (rowCount_ % kRowsPerCheckpoint == 0) checkpoints_.push_back({row.begin, row.line, row.continuation});
        ++rowCount_;
        if (!row.continuation) ++lineCount_;
        longestRow_ = std::max(longestRow_, row.end - row.begin);
        if (row.next >= text_.size()) break;
        row = NextRow(row);
    }
}

TTextLines::TRow TTextLines::RowFrom(size_t begin, size_t line, bool continuation) const {
    TRow row{begin, begin, begin, line, continuation};
    const size_t stop = std::min(text_.size(), begin + kMaxRowBytes + 1);
    size_t end = begin;
    while (end < stop && !IsLineEndByte(text_[end])) ++end;
    if (end < stop) {
        row.end = end;
        row.next = end + ((text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ? 2 : 1);
    } else if (end == text_.size()) {
        row.end = row.next = end;
    } else {
        // Cut before a lead byte, so that a valid UTF-8 line stays valid in every row.
        size_t cut = begin + kMaxRowBytes;
        for (size_t back = 0; back + 1 < kMaxUtf8Length && IsUtf8Continuation(text_[cut]); ++back) --cut;
        row.end = row.next = cut;
    }
    return row;
}

TTextLines::TRow TTextLines::NextRow(const TRow& row) const {
    const bool continued = row.end == row.next;
    return RowFrom(row.next, continued ? row.line : row.line + 1, continued);
}

TTextLines::TRow TTextLines::Row(size_t index) const {
    if (index >= rowCount_) return {text_.size(), text_.size(), text_.size(), lineCount_, false};
    const TCheckpoint& checkpoint = checkpoints_[index / kRowsPerCheckpoint];
    TRow row = RowFrom(checkpoint.offset, checkpoint.line, checkpoint.continuation);
    for (size_t i = index / kRowsPerCheckpoint * kRowsPerCheckpoint; i < index; ++i) row = NextRow(row);
    return row;
}

size_t TTextLines::RowAt(size_t offset) const {
    if (rowCount_ == 0) return 0;
    const auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), offset,
                                        [](size_t value, const TCheckpoint& c) { return value < c.offset; });
    const size_t checkpoint = after == checkpoints_.begin() ? 0 : static_cast<size_t>(after - checkpoints_.begin()) - 1;
    size_t index = checkpoint * kRowsPerCheckpoint;
    const TCheckpoint& start = checkpoints_[checkpoint];
    for (TRow row = RowFrom(start.offset, start.line, start.continuation); row.next <= offset && index + 1 < rowCount_;
         row = NextRow(row))
        ++index;
    return index;
}

size_t TTextLines::FirstRowOfLine(size_t line) const {
    if (rowCount_ == 0) return 0;
    if (line >= lineCount_) return rowCount_ - 1;
    const auto after = std::partition_point(checkpoints_.begin(), checkpoints_.end(), [line](const TCheckpoint& c) {
        return c.line < line || (c.line == line && !c.continuation);
    });
    const size_t checkpoint = after == checkpoints_.begin() ? 0 : static_cast<size_t>(after - checkpoints_.begin()) - 1;
    size_t index = checkpoint * kRowsPerCheckpoint;
    const TCheckpoint& start = checkpoints_[checkpoint];
    for (TRow row = RowFrom(start.offset, start.line, start.continuation); row.line < line; row = NextRow(row)) ++index;
    return index;
}

std::string TTextLines::ShownText(size_t from, size_t to) const {
    to = std::min(to, text_.size());
    std::string shown;
    if (from >= to) return shown;
    shown.reserve(to - from);
    size_t index = RowAt(from);
    for (TRow row = Row(index);; row = NextRow(row)) {
        const std::string_view bytes = Bytes().substr(row.begin, row.end - row.begin);
        const size_t first = std::max(from, row.begin) - row.begin;
        const size_t last = std::max(std::min(to, row.end), row.begin) - row.begin;
        if (first < last && IsValidUtf8(bytes)) {
            const size_t a = ByteOffset(bytes, ShownPosition(bytes, first));
            const size_t b = ByteOffset(bytes, ShownPosition(bytes, last));
            shown.append(bytes.substr(a, b - a));
        } else if (first < last) {
            shown += Cp1252ToUtf8(bytes.substr(first, last - first));
        }
        if (row.end < row.next && from <= row.end && to > row.end) shown += '\n';
        if (row.next >= to || ++index >= rowCount_) break;
    }
    return shown;
}

std::string ShownRow(std::string_view bytes) { return Utf8OrCp1252(bytes); }

size_t ShownPosition(std::string_view bytes, size_t offset) {
    offset = std::min(offset, bytes.size());
    if (!IsValidUtf8(bytes)) return offset;
    while (offset > 0 && offset < bytes.size() && IsUtf8Continuation(bytes[offset])) --offset;
    size_t units = 0;
    for (size_t i = 0; i < offset; ++i)
        if (!IsUtf8Continuation(bytes[i])) units += Utf16Units(bytes[i]);
    return units;
}

size_t ByteOffset(std::string_view bytes, size_t position) {
    if (!IsValidUtf8(bytes)) return std::min(position, bytes.size());
    size_t units = 0;
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t width = Utf16Units(bytes[i]);
        if (units + width > position) break;
        units += width;
        ++i;
        while (i < bytes.size() && IsUtf8Continuation(bytes[i])) ++i;
    }
    return i;
}

}  // namespace brindle
