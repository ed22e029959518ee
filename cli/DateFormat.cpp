#include "cli/DateFormat.h"

#include "platform/Utf8.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace brindle {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
// Day numbers of 0001-01-01 and 9999-12-31 counted from 1899-12-30.
constexpr int64_t kFirstDay = -693593;
constexpr int64_t kLastDay = 2958465;

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

int64_t FloorDivide(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Proleptic Gregorian date of a day number counted from 1899-12-30, by 400-year eras of
// 146097 days that begin on a 1 March.
CivilDate DateFromDayNumber(int64_t dayNumber) {
    // 1899-12-30 is 693,899 days after 0000-03-01.
    int64_t days = dayNumber + 693899;
    int64_t era = FloorDivide(days, 146097);
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    unsigned day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    unsigned month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

}  // namespace

std::string DateTimeToIso8601(TDateTime value) {
    if (!std::isfinite(value)) return {};
    double milliseconds = std::round(value * static_cast<double>(kMillisecondsPerDay));
    if (milliseconds < static_cast<double>(kFirstDay * kMillisecondsPerDay) ||
        milliseconds >= static_cast<double>((kLastDay + 1) * kMillisecondsPerDay))
        return {};
    auto total = static_cast<int64_t>(milliseconds);
    int64_t dayNumber = FloorDivide(total, kMillisecondsPerDay);
    int64_t timeOfDay = total - dayNumber * kMillisecondsPerDay;
    CivilDate date = DateFromDayNumber(dayNumber);
    int seconds = static_cast<int>(timeOfDay / 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year) % 10000,
                  date.month % 100, date.day % 100, seconds / 3600 % 100, seconds / 60 % 60, seconds % 60);
    return text;
}

std::string ReceivedText(const TMessageInfo& info) {
    if (info.Received != 0) return DateTimeToIso8601(info.Received);
    return Utf8OrCp1252(info.DateText);
}

}  // namespace brindle
