#include "app/CellTexts.h"

#include "platform/Utf8.h"

#include <cmath>
#include <cstdint>

namespace brindle {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
// About 27,000 years either side of 1900: far beyond any store, well inside QDate.
constexpr double kLargestDayCount = 1e7;

// Removes the time-zone letters ("t", "tt", ...) outside quoted text, with the blanks that
// separated them from the rest.
QString WithoutZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        result += c;
    }
    return result.simplified();
}

}  // namespace

QString ShownText(std::string_view bytes) { return QString::fromStdString(Utf8OrCp1252(bytes)); }

std::string_view SenderOf(const TMessageInfo& info) {
    return info.SenderName.empty() ? std::string_view(info.SenderAddress) : std::string_view(info.SenderName);
}

std::optional<QDateTime> DateTimeOfValue(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > kLargestDayCount) return std::nullopt;
    // Before 1899-12-30 the whole days count backwards while the fraction still counts the
    // time of day forwards.
    double days = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - days) * kMillisecondsPerDay);
    int64_t dayCount = static_cast<int64_t>(days);
    if (ms >= kMillisecondsPerDay) {
        ms -= kMillisecondsPerDay;
        ++dayCount;
    }
    QDate date = QDate(1899, 12, 30).addDays(dayCount);
    if (!date.isValid()) return std::nullopt;
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

QString LongTimeFormat(const QLocale& locale) { return WithoutZone(locale.timeFormat(QLocale::LongFormat)); }

QString ReceivedText(const TMessageInfo& info, const QLocale& locale) {
    if (info.Received == 0.0) return ShownText(info.DateText);
    std::optional<QDateTime> when = DateTimeOfValue(info.Received);
    if (!when) return QString();
    QString text = locale.toString(when->date(), QLocale::ShortFormat);
    if (when->time() != QTime(0, 0)) text += u' ' + locale.toString(when->time(), LongTimeFormat(locale));
    return text;
}

QString SizeText(uint32_t size, const QLocale& locale) { return locale.toString(static_cast<qulonglong>(size)); }

}  // namespace brindle
