#pragma once
// The texts of the message list's cells, made from a message summary in the user's locale.
#include "store/MessageInfo.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>
#include <string_view>

namespace brindle {

// Store text as shown: UTF-8 when it is valid UTF-8, otherwise Windows-1252.
QString ShownText(std::string_view bytes);

// SenderName, or SenderAddress when the name is empty.
std::string_view SenderOf(const TMessageInfo& info);

// The date and time of a date-time value (days since 1899-12-30, the fraction being the
// time of day), to the millisecond; none when it lies outside the calendar.
std::optional<QDateTime> DateTimeOfValue(TDateTime value);

// The locale's long time format without its time-zone part: the values carry no zone.
QString LongTimeFormat(const QLocale& locale);

// Received as short date, a space and long time (the time left out at exactly midnight);
// DateText when Received is 0.
QString ReceivedText(const TMessageInfo& info, const QLocale& locale);

// The size in bytes with the locale's thousands separators.
QString SizeText(uint32_t size, const QLocale& locale);

}  // namespace brindle
