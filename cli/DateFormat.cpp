#include "cli/DateFormat.h"

#include "platform/Utf8.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace brindle {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
// Day numbers of 0001-01-01 and 9999-12-31 counted from 1899-12-30.
constexpr int64_t kFirstDay = -693593;
constexpr int64_t kLastDay = 2958465;

int64_t FloorDivide(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The proleptic Gregorian date of a day number counted from 1899-12-30.
std::chrono::year_month_day DateFromDayNumber(int64_t dayNumber) {
    using namespace std::chrono;
    return year_month_day{sys_days{year{1899} / December / 30} + days{dayNumber}};
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
    const std::chrono::year_month_day date = DateFromDayNumber(dayNumber);
    int seconds = static_cast<int>(timeOfDay / 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()) % 10000,
                  static_cast<unsigned>(date.month()) % 100, static_cast<unsigned>(date.day()) % 100,
                  seconds / 3600 % 100, seconds / 60 % 60, seconds % 60);
    return text;
}

std::string ReceivedText(const TMessageInfo& info) {
    if (info.Received != 0) return DateTimeToIso8601(info.Received);
    return Utf8OrCp1252(info.DateText);
}

}  // namespace brindle
