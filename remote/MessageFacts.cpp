#include "remote/MessageFacts.h"

#include <cctype>

namespace brindle {
namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string> HeaderFieldValue(std::string_view text, std::string_view name) {
    size_t position = 0;
    std::optional<std::string> value;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(position, end - position);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        position = end + 1;
        if (line.empty()) break;  // the end of the header block
        const bool continuation = line.front() == ' ' || line.front() == '\t';
        if (value && continuation) {
            *value += ' ';
            *value += Trimmed(line);
            continue;
        }
        if (value) break;
        if (!continuation && line.size() > name.size() && line[name.size()] == ':' &&
            SameLetters(line.substr(0, name.size()), name))
            value = std::string(Trimmed(line.substr(name.size() + 1)));
    }
    if (value) value = std::string(Trimmed(*value));
    return value;
}

}  // namespace brindle
