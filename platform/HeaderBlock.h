#pragma once
// Where a message's header block ends. Stored texts keep the store's contract: the block ends
// at the first CR LF CR LF. Texts shown or searched are read as the MIME parser reads them:
// lines end in CR LF, LF or CR, and the first empty line ends the block.
#include <cstddef>
#include <optional>
#include <string_view>

namespace brindle {

inline constexpr std::string_view kStoredBlankLine = "\r\n\r\n";

// The position of the store's blank line (its CR LF CR LF), or npos.
inline size_t StoredHeaderEnd(std::string_view text, size_t from = 0) { return text.find(kStoredBlankLine, from); }

struct THeaderBlockEnd {
    size_t Header = 0;  // where the empty line begins: the header block with its last line end
    size_t Body = 0;    // just after the empty line's own line end
};

// The empty line that ends the header block, whatever its line ends; none when the text has
// no empty line (it is all header).
std::optional<THeaderBlockEnd> FindHeaderBlockEnd(std::string_view text);

// The header block of a text as the reader is shown it: up to its empty line, the line ends
// of its last line left off; the whole text when there is no empty line.
std::string_view HeaderBlockOf(std::string_view text);

}  // namespace brindle
