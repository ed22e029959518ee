#pragma once
// String lists: ordered lists of 8-bit lines.
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

using TStringList = std::vector<std::string>;

// The text up to its first NUL byte (all of it when it holds none).
std::string_view UpToNul(std::string_view text);

// The position of the first CR or LF from pos on, or npos.
size_t FindLineEnd(std::string_view text, size_t pos);

// Calls emit(line) for every line of a text split at CR LF, at a lone CR and at a lone LF; a
// final piece without a line end is a line too, and a NUL is an ordinary byte.
template <typename Emit>
void ForEachLineOfBytes(std::string_view text, Emit emit) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = FindLineEnd(text, pos);
        if (end == std::string_view::npos) {
            emit(text.substr(pos));
            return;
        }
        emit(text.substr(pos, end - pos));
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

// Splits a text into lines at CR LF, at a lone CR and at a lone LF. A final piece without a
// line end is a line too; a NUL byte ends the text; an empty text gives no lines.
TStringList SplitLines(std::string_view text);

// Appends the lines of a text, split as SplitLines does.
void AppendLines(TStringList& list, std::string_view text);

// The text of a list: every line followed by CR LF, the last one included.
std::string JoinLines(const TStringList& list);

// The same as JoinLines(SplitLines(text)) without building the list: line ends become
// CR LF, a missing final line end is added, and the text ends at its first NUL.
std::string NormalizeLineEnds(std::string_view text);

// Like NormalizeLineEnds, but for bytes: a NUL is kept like any other byte.
std::string NormalizeLineEndsKeepingNul(std::string_view text);

// The same result as NormalizeLineEnds, without a copy when the text is already in that shape
// (no NUL, every line ended by CR LF): then the text itself comes back, otherwise the text
// built in scratch.
std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch);

}  // namespace brindle
