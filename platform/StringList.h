#pragma once
// String lists: ordered lists of 8-bit lines, held as one byte text in which the lines are
// separated by line ends. A line end is CR LF, a lone CR or a lone LF; lines never hold CR or
// LF themselves. Memory grows with the bytes of the lines, not with their number.
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The text up to its first NUL byte (all of it when it holds none).
std::string_view UpToNul(std::string_view text);

// The position of the first CR or LF from pos on, or npos. Looks no further than that byte
// (and the rest of its sixteen-byte block), so that splitting a text costs one pass whatever
// its line ends are.
size_t FindLineEnd(std::string_view text, size_t pos);

// Reads the lines of a text one after the other: split at CR LF, at a lone CR and at a lone
// LF; a final piece without a line end is a line too; a NUL is an ordinary byte; an empty
// text has no lines.
class TLineReader {
public:
    explicit TLineReader(std::string_view text, size_t pos = 0) : text_(text), pos_(pos) {}

    // The next line, or false at the end of the text.
    bool Next(std::string_view& line);
    // Where the next line begins (the text's size at its end).
    size_t Position() const { return pos_; }
    // The bytes the line-end search has looked at so far, to check that it stays linear.
    size_t BytesExamined() const { return examined_; }

private:
    std::string_view text_;
    size_t pos_;
    size_t examined_ = 0;
};

// Calls onLine(line) for every line of a text, as TLineReader splits it.
template <typename Emit>
void ForEachLineOfBytes(std::string_view text, Emit onLine) {
    TLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) onLine(line);
}

// A run of whole lines inside a text held elsewhere, as its bytes: from the first byte of its
// first line to the line end of its last line (which may be missing at the end of a text).
// Split as TLineReader splits.
class TLineRange {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string_view*;
        using reference = std::string_view;

        iterator() = default;
        iterator(std::string_view text, size_t pos) : text_(text), pos_(pos) { Find(); }

        std::string_view operator*() const { return text_.substr(pos_, lineEnd_ - pos_); }
        iterator& operator++() {
            pos_ = next_;
            Find();
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& other) const { return pos_ == other.pos_; }

        // Where the line begins, and where the line after it begins.
        size_t Offset() const { return pos_; }
        size_t NextOffset() const { return next_; }

    private:
        void Find();

        std::string_view text_;
        size_t pos_ = 0;
        size_t lineEnd_ = 0;
        size_t next_ = 0;
    };

    TLineRange() = default;
    explicit TLineRange(std::string_view bytes) : bytes_(bytes) {}

    iterator begin() const { return iterator(bytes_, 0); }
    iterator end() const { return iterator(bytes_, bytes_.size()); }
    bool empty() const { return bytes_.empty(); }
    std::string_view Bytes() const { return bytes_; }
    // The first line; empty when there is none.
    std::string_view Front() const { return empty() ? std::string_view() : *begin(); }

    // The lines from it on, and the lines from first up to (without) last.
    TLineRange From(const iterator& it) const { return TLineRange(bytes_.substr(it.Offset())); }
    TLineRange Between(const iterator& first, const iterator& last) const {
        return TLineRange(bytes_.substr(first.Offset(), last.Offset() - first.Offset()));
    }

private:
    std::string_view bytes_;
};

class TStringList {
public:
    using iterator = TLineRange::iterator;
    using const_iterator = TLineRange::iterator;
    using value_type = std::string_view;

    TStringList() = default;
    TStringList(std::initializer_list<std::string_view> lines);
    TStringList(size_t count, std::string_view line);
    TStringList(const TStringList& other);
    TStringList(TStringList&& other) noexcept;
    TStringList& operator=(const TStringList& other);
    TStringList& operator=(TStringList&& other) noexcept;
    ~TStringList() = default;

    // The number of lines. Lines are counted and indexed when size or operator[] is called,
    // those appended since the last call only, so that a list that is only walked never reads
    // its text twice. Such a call changes the list's inner state: a list must not be read
    // from several threads at once before it.
    size_t size() const;
    bool empty() const { return bytes_.empty(); }
    // A line by number: from the nearest checkpoint on, so at most kCheckpointStride lines
    // are read. Walk the list with its iterators to read it all. Throws std::out_of_range.
    std::string_view operator[](size_t index) const;
    std::string_view front() const { return (*this)[0]; }
    std::string_view back() const { return (*this)[size() - 1]; }

    iterator begin() const { return Lines().begin(); }
    iterator end() const { return Lines().end(); }
    TLineRange Lines() const { return TLineRange(bytes_); }
    // The lines with their line ends, as held.
    std::string_view Bytes() const { return bytes_; }

    // Appends one line; a CR or LF in it ends that line and begins another.
    void push_back(std::string_view line);
    // Appends the lines of a text up to its first NUL, split as TLineReader splits.
    void AppendText(std::string_view text);
    // Appends the lines of a range, copying their bytes as they are (a NUL included).
    void AppendRange(TLineRange lines) { AppendBytes(lines.Bytes()); }
    // Replaces the list by the lines of a text up to its first NUL, keeping the text's own
    // buffer: no copy is made.
    void Assign(std::string text);
    // Gives back the memory of pages that hold the bytes (the release callback of AssignView);
    // the bytes stay readable. Does nothing for a list's own text or bytes outside the text.
    using TRelease = std::function<void(size_t offset, size_t size)>;
    void ReleaseBytes(std::string_view bytes) const;

    // Replaces the list by the lines of text held elsewhere, up to its first NUL, without a
    // copy: keeper keeps the text alive and unchanged for as long as the list refers to it
    // (a mapped file). The first change to the list copies the text into the list's own.
    // release, when given, is what ReleaseBytes calls: it gives back the memory of a range of
    // the text, which stays readable (a mapped file's pages).
    void AssignView(std::string_view text, std::shared_ptr<const void> keeper, TRelease release = nullptr);
    // As Assign and AssignView, but every byte of the text stays, a NUL too: a message's raw
    // text, of which the parts after a NUL still count.
    void AssignAll(std::string text);
    void AssignAllView(std::string_view text, std::shared_ptr<const void> keeper, TRelease release = nullptr);
    void clear();

    friend bool operator==(const TStringList& a, const TStringList& b);

    static constexpr size_t kCheckpointStride = 64;

private:
    void AppendBytes(std::string_view bytes);
    // Makes sure the last line of the list's own text has its line end, so that appended
    // bytes begin a new line.
    void EndLastLine();
    // Counts and indexes the lines from indexedTo_ on.
    void EnsureIndex() const;

    // The list's own text, made the one in use when it is borrowed and about to change.
    std::string& Own();
    // Points bytes_ at the text in use.
    void Rebind(std::string_view borrowed);

    std::string own_;
    std::shared_ptr<const void> keeper_;  // set while the text is borrowed
    TRelease release_;                    // may be set while the text is borrowed
    std::string_view bytes_;              // the text in use: own_ or the borrowed one
    // The count of the lines before indexedTo_ (where a line begins, or the text's end) and
    // the offset of every kCheckpointStride-th of them, line 0 first.
    mutable size_t indexedTo_ = 0;
    mutable size_t count_ = 0;
    mutable std::vector<size_t> checkpoints_;
};

// Splits a text into lines at CR LF, at a lone CR and at a lone LF. A final piece without a
// line end is a line too; a NUL byte ends the text; an empty text gives no lines.
TStringList SplitLines(std::string_view text);

// Appends the lines of a text, split as SplitLines does.
void AppendLines(TStringList& list, std::string_view text);

// The text of a list or a range: every line followed by CR LF, the last one included.
std::string JoinLines(const TStringList& list);
std::string JoinRange(TLineRange lines);

// The same as JoinLines(SplitLines(text)) without building the list: line ends become
// CR LF, a missing final line end is added, and the text ends at its first NUL.
std::string NormalizeLineEnds(std::string_view text);

// Like NormalizeLineEnds, but for bytes: a NUL is kept like any other byte.
std::string NormalizeLineEndsKeepingNul(std::string_view text);

// The same result as NormalizeLineEndsKeepingNul (a message's text written as a file keeps every
// byte), without a copy when the text is already in that shape (no NUL, every line ended by
// CR LF): then the text itself comes back, otherwise the text built in scratch.
std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch);

}  // namespace brindle
