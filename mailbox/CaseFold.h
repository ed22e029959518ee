#pragma once
// Full Unicode case folding of UTF-8 text (CaseFolding.txt, statuses C and F): "STRASSE" and
// "straße" both fold to "strasse", "ÉTÉ" and "été" to "été". Searches compare folded texts.
#include <string>
#include <string_view>

namespace brindle {

// Appends the folded text. Bytes that are not valid UTF-8 are appended as they are.
void AppendFolded(std::string& out, std::string_view utf8);

inline std::string FoldCase(std::string_view utf8) {
    std::string out;
    AppendFolded(out, utf8);
    return out;
}

}  // namespace brindle
