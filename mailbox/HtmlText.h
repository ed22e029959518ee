#pragma once
// The text of an HTML part, for searching: tags and comments dropped, the content of script
// and style elements dropped, character references decoded. Elements that begin a line or a
// cell (br, p, div, td, li, headings...) leave a line end, so that words of neighbouring
// blocks do not run together.
#include <string>
#include <string_view>

namespace brindle {

// html is UTF-8; so is the result. A reference that names no character stays as written.
std::string HtmlToText(std::string_view html);

}  // namespace brindle
