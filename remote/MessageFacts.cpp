#include "remote/MessageFacts.h"

#include <array>
#include <cctype>
#include <charconv>
#include <ctime>
#include <vector>

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

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != ',') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

int MonthOf(std::string_view word) {
    static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3) return 0;
    for (size_t i = 0; i < kMonths.size(); ++i)
        if (SameLetters(word.substr(0, 3), kMonths[i])) return static_cast<int>(i) + 1;
    return 0;
}

// Minutes east of UTC of a zone ("+0200", "GMT", "EST"...); none for one it does not know.
std::optional<int> ZoneMinutes(std::string_view zone) {
    if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
        const std::optional<int> digits = Number(zone.substr(1));
        if (!digits) return std::nullopt;
        const int minutes = *digits / 100 * 60 + *digits % 100;
        return zone[0] == '-' ? -minutes : minutes;
    }
    struct TNamed {
        std::string_view Name;
        int Minutes;
    };
    static constexpr TNamed kNamed[] = {{"UT", 0},        {"UTC", 0},       {"GMT", 0},       {"Z", 0},
                                        {"EST", -5 * 60}, {"EDT", -4 * 60}, {"CST", -6 * 60}, {"CDT", -5 * 60},
                                        {"MST", -7 * 60}, {"MDT", -6 * 60}, {"PST", -8 * 60}, {"PDT", -7 * 60}};
    for (const TNamed& named : kNamed)
        if (SameLetters(zone, named.Name)) return named.Minutes;
    return std::nullopt;
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

std::optional<int64_t> ParseMessageDate(std::string_view date) {
    std::vector<std::string_view> words = Words(date);
    if (!words.empty() && !Number(words.front())) words.erase(words.begin());  // the day name
    if (words.size() < 4) return std::nullopt;
    const std::optional<int> day = Number(words[0]);
    const int month = MonthOf(words[1]);
    std::optional<int> year = Number(words[2]);
    if (!day || month == 0 || !year || *day < 1 || *day > 31) return std::nullopt;
    if (*year < 50) *year += 2000;
    else if (*year < 1000) *year += 1900;
    const std::string_view clock = words[3];
    int parts[3] = {0, 0, 0};
    size_t start = 0;
    for (int i = 0; i < 3 && start <= clock.size(); ++i) {
        size_t colon = clock.find(':', start);
        if (colon == std::string_view::npos) colon = clock.size();
        const std::optional<int> part = Number(clock.substr(start, colon - start));
        if (!part) return std::nullopt;
        parts[i] = *part;
        start = colon + 1;
        if (colon == clock.size()) break;
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return std::nullopt;
    const int zone = words.size() > 4 ? ZoneMinutes(words[4]).value_or(0) : 0;
    std::tm fields{};
    fields.tm_year = *year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = *day;
    fields.tm_hour = parts[0];
    fields.tm_min = parts[1];
    fields.tm_sec = parts[2];
    return static_cast<int64_t>(timegm(&fields)) - int64_t{zone} * 60;
}

}  // namespace brindle
