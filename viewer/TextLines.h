#pragma once
// A text held in one piece with a compact index of its rows, for the viewer's text controls.
// Lines end at CR LF, at a lone CR or at a lone LF; a line end at the very end of the text
// starts no further line, so "a\n" is one line and "a\n\n" two. A row is a line, or a piece of
// at most kMaxRowBytes of a longer one: laying out a row takes time that grows with its length.
// The index keeps one checkpoint every kRowsPerCheckpoint rows, so that its memory grows with
// the number of bytes and not with the number of lines.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class TTextLines {
public:
    static constexpr size_t kRowsPerCheckpoint = 64;
    static constexpr size_t kMaxRowBytes = 16384;

    struct TRow {
        size_t begin = 0;           // first byte
        size_t end = 0;             // one past the last byte, before the line end
        size_t next = 0;            // first byte of the following row
        size_t line = 0;            // number of the line the row belongs to
        bool continuation = false;  // true when the row continues the row before it
    };

    explicit TTextLines(std::string text = {});

    std::string_view Bytes() const { return text_; }
    size_t LineCount() const { return lineCount_; }
    size_t RowCount() const { return rowCount_; }
    // The length in bytes of the longest row.
    size_t LongestRowBytes() const { return longestRow_; }

    // The row with this number (less than RowCount()).
    TRow Row(size_t index) const;
    // The row after this one; only valid when row is not the last.
    TRow NextRow(const TRow& row) const;
    // The number of the row that holds the byte offset; an offset on a line end or at the end
    // of the text belongs to the row before it.
    size_t RowAt(size_t offset) const;
    // The number of the first row of the line.
    size_t FirstRowOfLine(size_t line) const;

    // The text of bytes [from, to) as shown, in UTF-8: each row decoded as ShownRow does, every
    // line end as LF.
    std::string ShownText(size_t from, size_t to) const;

private:
    struct TCheckpoint {
        size_t offset;
        size_t line;
        bool continuation;
    };

    // The row that begins at the offset, the given line and continuation state.
    TRow RowFrom(size_t begin, size_t line, bool continuation) const;

    std::string text_;
    std::vector<TCheckpoint> checkpoints_;
    size_t lineCount_ = 0;
    size_t rowCount_ = 0;
    size_t longestRow_ = 0;
};

// A row's bytes as shown, in UTF-8: the bytes themselves when they are valid UTF-8, otherwise
// read as Windows-1252, in which every byte is one character.
std::string ShownRow(std::string_view bytes);

// Positions in a row counted as the display counts them, in UTF-16 code units of the shown
// text. ShownPosition gives the position of the character at the byte offset (an offset
// inside a character counts as that character's); ByteOffset gives the byte offset of the
// character at the position (a position inside a surrogate pair counts as the pair's).
size_t ShownPosition(std::string_view bytes, size_t offset);
size_t ByteOffset(std::string_view bytes, size_t position);

}  // namespace brindle
