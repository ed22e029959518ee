#include "mailbox/MessageDate.h"

#include "platform/TextRules.h"

#include <array>
#include <chrono>
#include <string>
#include <vector>

namespace brindle {
namespace {

constexpr int kMaxCommentDepth = 8;
constexpr size_t kMaxTokens = 16;
constexpr int64_t kSecondsPerDay = 86400;
// 1970-01-01 in days since 1899-12-30.
constexpr int64_t kUnixEpochDay = 25569;
constexpr int kMinutesPerHour = 60;
constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::array<std::string_view, 7> kWeekdays = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

struct TZoneName {
    std::string_view Name;
    int Hours;
};
// RFC 5322 4.3: the US zones; military letters other than Z are read as UTC, as it advises.
constexpr std::array<TZoneName, 12> kZoneNames = {{{"ut", 0},
                                                   {"utc", 0},
                                                   {"gmt", 0},
                                                   {"z", 0},
                                                   {"edt", -4},
                                                   {"est", -5},
                                                   {"cdt", -5},
                                                   {"cst", -6},
                                                   {"mdt", -6},
                                                   {"mst", -7},
                                                   {"pdt", -7},
                                                   {"pst", -8}}};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The words of the text: comments (nested up to a bound) and commas separate them like blanks.
std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    int depth = 0;
    auto end = [&] {
        if (!word.empty() && words.size() < kMaxTokens) words.push_back(LowerAscii(word));
        word.clear();
    };
    for (char c : text) {
        if (c == '(') {
            end();
            if (++depth > kMaxCommentDepth) break;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth > 0) {
            continue;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            end();
        } else {
            word += c;
        }
    }
    end();
    return words;
}

std::optional<int> Number(std::string_view digits, size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<unsigned> MonthOf(std::string_view word) {
    if (word.size() < 3) return std::nullopt;
    for (size_t i = 0; i < kMonths.size(); ++i)
        if (word.substr(0, 3) == kMonths[i]) return static_cast<unsigned>(i + 1);
    return std::nullopt;
}

bool IsWeekday(std::string_view word) {
    if (word.size() < 3) return false;
    for (std::string_view day : kWeekdays)
        if (word.substr(0, 3) == day) return true;
    return false;
}

// Two-digit years are 1950 to 2049, three-digit ones count from 1900 (RFC 5322 4.3).
int FullYear(std::string_view digits, int year) {
    if (digits.size() == 2) return year < 50 ? 2000 + year : 1900 + year;
    if (digits.size() == 3) return 1900 + year;
    return year;
}

// "hh:mm" or "hh:mm:ss" as seconds of the day.
std::optional<int> SecondsOfDay(std::string_view word) {
    std::array<int, 3> parts{0, 0, 0};
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        const size_t colon = word.find(':', start);
        const std::string_view piece = word.substr(start, colon == std::string_view::npos ? colon : colon - start);
        std::optional<int> value = Number(piece, 2);
        if (!value || count == parts.size()) return std::nullopt;
        parts[count++] = *value;
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return std::nullopt;
    // A leap second is read as the second before it.
    return (parts[0] * kMinutesPerHour + parts[1]) * 60 + std::min(parts[2], 59);
}

// A zone as minutes east of UTC: "+hhmm", "-hhmm" or a name; none for another word.
std::optional<int> ZoneMinutes(std::string_view word) {
    if (word.size() == 5 && (word[0] == '+' || word[0] == '-')) {
        std::optional<int> hours = Number(word.substr(1, 2), 2);
        std::optional<int> minutes = Number(word.substr(3, 2), 2);
        if (!hours || !minutes || *minutes > 59) return std::nullopt;
        const int offset = *hours * kMinutesPerHour + *minutes;
        return word[0] == '-' ? -offset : offset;
    }
    for (const TZoneName& zone : kZoneNames)
        if (word == zone.Name) return zone.Hours * kMinutesPerHour;
    if (word.size() == 1 && IsLetter(word[0]) && word[0] != 'j') return 0;
    return std::nullopt;
}

// A day (days since 1899-12-30) and the seconds from its midnight in UTC, which the zone may
// take below 0 or past the day's end.
struct TMoment {
    int64_t Day = 0;
    int64_t Second = 0;
};

std::optional<TMoment> ParseMoment(std::string_view text) {
    const std::vector<std::string> words = Words(text);
    size_t at = 0;
    if (at < words.size() && IsWeekday(words[at])) ++at;
    if (words.size() < at + 3) return std::nullopt;
    // "1 Jan 2000", and the "Jan 1 2000" that some programs wrote.
    std::optional<int> day = Number(words[at], 2);
    std::optional<unsigned> month = MonthOf(words[at + 1]);
    if (!day || !month) {
        day = Number(words[at + 1], 2);
        month = MonthOf(words[at]);
    }
    const std::string& yearWord = words[at + 2];
    std::optional<int> year = Number(yearWord, 4);
    if (!day || !month || !year) return std::nullopt;
    at += 3;
    int seconds = 0;
    // A word with a colon is the time, and one that is no time makes the whole date unsure.
    if (at < words.size() && words[at].find(':') != std::string::npos) {
        std::optional<int> time = SecondsOfDay(words[at]);
        if (!time) return std::nullopt;
        seconds = *time;
        ++at;
    }
    int zone = 0;
    if (at < words.size()) zone = ZoneMinutes(words[at]).value_or(0);

    using namespace std::chrono;
    const year_month_day date{std::chrono::year{FullYear(yearWord, *year)}, std::chrono::month{*month},
                              std::chrono::day{static_cast<unsigned>(*day)}};
    if (!date.ok() || date.year() < std::chrono::year{1}) return std::nullopt;
    const int64_t dayCount = (sys_days{date} - sys_days{std::chrono::year{1899} / December / 30}).count();
    return TMoment{dayCount, int64_t{seconds} - int64_t{zone} * 60};
}

}  // namespace

std::optional<int64_t> MessageDateSeconds(std::string_view text) {
    const std::optional<TMoment> moment = ParseMoment(text);
    if (!moment) return std::nullopt;
    return (moment->Day - kUnixEpochDay) * kSecondsPerDay + moment->Second;
}

std::optional<TDateTime> MessageDateValue(std::string_view text) {
    const std::optional<TMoment> moment = ParseMoment(text);
    if (!moment) return std::nullopt;
    return static_cast<double>(moment->Day) + static_cast<double>(moment->Second) / kSecondsPerDay;
}

}  // namespace brindle
