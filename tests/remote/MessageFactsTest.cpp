#include "mailbox/MessageDate.h"
#include "remote/MessageFacts.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

TEST(MessageFacts, HeaderFieldInAnyCaseUnfolded) {
    const std::string text =
        "From: a@b\r\nmessage-id:\r\n  <x.1@example.org>\r\nSubject: s\r\n\r\nMessage-ID: <body@x>\r\n";
    EXPECT_EQ(HeaderFieldValue(text, "Message-ID"), "<x.1@example.org>");
    EXPECT_EQ(HeaderFieldValue(text, "subject"), "s");
    EXPECT_EQ(HeaderFieldValue(text, "Date"), std::nullopt);
    EXPECT_EQ(HeaderFieldValue("Subject: only\n\nDate: body", "Date"), std::nullopt);
    EXPECT_EQ(HeaderFieldValue("X-Subject: no\r\n\r\n", "Subject"), std::nullopt);
}

TEST(MessageFacts, DatesInTheirZones) {
    struct TCase {
        const char* date;
        int64_t seconds;
    };
    // 2003-07-01 08:52:37 UTC is 1057049557.
    const TCase cases[] = {
        {"Tue, 1 Jul 2003 10:52:37 +0200", 1057049557},
        {"1 Jul 2003 08:52:37 GMT", 1057049557},
        {"Tue, 01 Jul 2003 04:52:37 EDT", 1057049557},
        {"Tue, 1 Jul 03 08:52:37 +0000", 1057049557},
        {"Mon, 30 Jun 2003 23:22:37 -0930", 1057049557},
        {"Tue, 1 Jul 2003 08:52 +0000", 1057049520},
    };
    for (const TCase& c : cases) EXPECT_EQ(MessageDateSeconds(c.date), c.seconds) << c.date;
    for (const char* bad : {"", "yesterday", "Tue, 1 Foo 2003 10:52:37", "32 Jul 2003 10:00:00", "1 Jul 2003 25:00"})
        EXPECT_EQ(MessageDateSeconds(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace brindle
