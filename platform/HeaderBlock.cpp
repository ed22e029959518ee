#include "platform/HeaderBlock.h"

#include "platform/StringList.h"

namespace brindle {
namespace {

size_t AfterLineEndAt(std::string_view text, size_t end) {
    return end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
}

}  // namespace

std::optional<THeaderBlockEnd> FindHeaderBlockEnd(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = FindLineEnd(text, pos);
        if (end == std::string_view::npos) break;
        const size_t next = AfterLineEndAt(text, end);
        if (end == pos) return THeaderBlockEnd{pos, next};
        pos = next;
    }
    return std::nullopt;
}

std::string_view HeaderBlockOf(std::string_view text) {
    const std::optional<THeaderBlockEnd> end = FindHeaderBlockEnd(text);
    std::string_view header = end ? text.substr(0, end->Header) : text;
    while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) header.remove_suffix(1);
    return header;
}

}  // namespace brindle
