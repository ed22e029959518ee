// Reading a message's Date line: the forms RFC 5322 gives and the obsolete ones that old mail
// programs wrote name the same moment; what names no day gives none.
#include "mailbox/MessageDate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace brindle {
namespace {

// 2000-01-01 is day 36526 after 1899-12-30.
constexpr double kNewYear2000 = 36526;

double At(int hour, int minute, int second = 0) {
    return kNewYear2000 + ((hour * 60 + minute) * 60 + second) / 86400.0;
}

TEST(MessageDateTest, EveryFormNamesTheSameMoment) {
    struct TCase {
        const char* Text;
        double Expected;
    };
    const TCase cases[] = {
        {"Sat, 1 Jan 2000 13:14:15 +0000", At(13, 14, 15)},
        {"Sat, 01 Jan 2000 15:14:15 +0200", At(13, 14, 15)},
        {"1 Jan 2000 08:14:15 -0500", At(13, 14, 15)},
        {"Sat, 1 Jan 2000 08:14:15 EST", At(13, 14, 15)},
        {"Sat, 1 Jan 2000 09:14:15 EDT", At(13, 14, 15)},
        {"Sat, 1 Jan 2000 05:14:15 PST", At(13, 14, 15)},
        {"Sat, 1 Jan 2000 13:14:15 GMT", At(13, 14, 15)},
        {"Sat, 1 Jan 2000 13:14:15 UT", At(13, 14, 15)},
        {"Sat, 1 Jan 2000 13:14:15 Z", At(13, 14, 15)},
        {"sat, 1 jan 2000 13:14:15 +0000 (UTC)", At(13, 14, 15)},
        {"Sat,1 Jan 2000 13:14:15 +0000", At(13, 14, 15)},
        {"Saturday, 1 January 2000 13:14:15 +0000", At(13, 14, 15)},
        {"Sat (a comment (nested)), 1 Jan 2000 13:14:15 +0000", At(13, 14, 15)},
        {"  Sat,\r\n 1 Jan\t2000 13:14:15\r\n +0000", At(13, 14, 15)},
        {"Sat, 1 Jan 00 13:14:15 +0000", At(13, 14, 15)},
        {"Sat, 1 Jan 100 13:14:15 +0000", At(13, 14, 15)},
        {"Jan 1 2000 13:14:15 +0000", At(13, 14, 15)},
        {"1 Jan 2000 13:14 +0000", At(13, 14)},
        {"1 Jan 2000 3:04:05 +0000", At(3, 4, 5)},
        {"1 Jan 2000 13:14:15", At(13, 14, 15)},
        {"1 Jan 2000", At(0, 0)},
        {"1 Jan 2000 13:14:15 +0000 extra words", At(13, 14, 15)},
        {"1 Jan 2000 13:14:60 +0000", At(13, 14, 59)},
        // A zone of another form reads as UTC rather than losing the date.
        {"1 Jan 2000 13:14:15 CET", At(13, 14, 15)},
    };
    for (const TCase& c : cases) {
        const std::optional<TDateTime> value = MessageDateValue(c.Text);
        ASSERT_TRUE(value) << c.Text;
        EXPECT_NEAR(*value, c.Expected, 0.5 / 86400) << c.Text;
    }
}

TEST(MessageDateTest, YearsAndZonesCrossDayBoundaries) {
    // Two-digit years up to 49 are this century's, from 50 the last one's.
    EXPECT_NEAR(*MessageDateValue("31 Dec 49 00:00 +0000") - *MessageDateValue("31 Dec 2049 00:00 +0000"), 0, 1e-9);
    EXPECT_NEAR(*MessageDateValue("1 Jan 50 00:00 +0000") - *MessageDateValue("1 Jan 1950 00:00 +0000"), 0, 1e-9);
    // Late in the evening west of UTC is the next day there.
    EXPECT_NEAR(*MessageDateValue("31 Dec 1999 23:00 -0200"), At(1, 0), 1e-9);
    EXPECT_NEAR(*MessageDateValue("29 Feb 2000 00:00 +0000") - kNewYear2000, 59, 1e-9);
    EXPECT_LT(*MessageDateValue("1 Jan 1800 00:00 +0000"), 0);
}

TEST(MessageDateTest, TextThatNamesNoDayGivesNone) {
    for (const char* text : {"", "sometime in May", "Sat, 1 Foo 2000 13:14:15 +0000", "Sat, 32 Jan 2000",
                             "30 Feb 2000 10:00 +0000", "1 Jan 0 10:00 +0000", "1 Jan 0000 10:00 +0000", "Sat, 1 Jan",
                             "1 Jan 20000 10:00 +0000", "(1 Jan 2000 10:00 +0000)"})
        EXPECT_FALSE(MessageDateValue(text)) << text;
}

TEST(MessageDateTest, BadTimeIsNoDateAndBadZoneReadsAsUtc) {
    EXPECT_FALSE(MessageDateValue("1 Jan 2000 25:00 +0000"));
    EXPECT_FALSE(MessageDateValue("1 Jan 2000 10:7x +0000"));
    EXPECT_NEAR(*MessageDateValue("1 Jan 2000 10:00 +0099"), At(10, 0), 1e-9);
}

// Seconds since 1970 name the same moment as the date-time value.
TEST(MessageDateTest, SecondsAgreeWithTheValue) {
    for (const char* text : {"Thu, 1 Jan 1970 00:00:00 +0000", "Sat, 1 Jan 2000 13:14:15 +0200",
                             "29 Feb 2024 23:59:59 PST", "1 Jan 1800 00:00 +0000"}) {
        const std::optional<int64_t> seconds = MessageDateSeconds(text);
        ASSERT_TRUE(seconds) << text;
        EXPECT_NEAR(*MessageDateValue(text), 25569 + static_cast<double>(*seconds) / 86400, 1e-9) << text;
    }
    EXPECT_EQ(MessageDateSeconds("Thu, 1 Jan 1970 01:00:00 +0100"), 0);
    EXPECT_FALSE(MessageDateSeconds("sometime in May"));
}

}  // namespace
}  // namespace brindle
