#include "StringList.h"

namespace brindle {
namespace {

std::string_view UpToNul(std::string_view text) {
    size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// Calls emit(line) for every line of the text.
template <typename Emit>
void ForEachLine(std::string_view text, Emit emit) {
    text = UpToNul(text);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            emit(text.substr(pos));
            return;
        }
        emit(text.substr(pos, end - pos));
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

}  // namespace

TStringList SplitLines(std::string_view text) {
    TStringList list;
    AppendLines(list, text);
    return list;
}

void AppendLines(TStringList& list, std::string_view text) {
    ForEachLine(text, [&](std::string_view line) { list.emplace_back(line); });
}

std::string JoinLines(const TStringList& list) {
    size_t total = 0;
    for (const auto& line : list) total += line.size() + 2;
    std::string text;
    text.reserve(total);
    for (const auto& line : list) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string NormalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    ForEachLine(text, [&](std::string_view line) {
        out += line;
        out += "\r\n";
    });
    return out;
}

}  // namespace brindle
