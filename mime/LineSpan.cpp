#include "mime/LineSpan.h"

namespace brindle {

TLineViews ViewsOf(const TStringList& list) {
    return TLineViews(list.begin(), list.end());
}

std::string JoinLines(TLineSpan lines) {
    size_t total = 0;
    for (std::string_view line : lines) total += line.size() + 2;
    std::string text;
    text.reserve(total);
    for (std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

TStringList CopyLines(TLineSpan lines) {
    return TStringList(lines.begin(), lines.end());
}

}  // namespace brindle
