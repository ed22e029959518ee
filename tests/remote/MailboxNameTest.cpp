#include "remote/ImapUploadSink.h"
#include "remote/ModifiedUtf7.h"
#include "store/FolderList.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

// Examples of RFC 3501 (5.1.3) and others worked out from the UTF-16 form.
TEST(ModifiedUtf7, EncodesAndDecodes) {
    struct TCase {
        const char* utf8;
        const char* name;
    };
    const TCase cases[] = {
        {"~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"Entw\xC3\xBC" "rfe", "Entw&APw-rfe"},
        {"A & B", "A &- B"},
        {"\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5", "&BBIERQQ+BDQETwRJBDgENQ-"},
        {"\xF0\x9F\x93\xA7 mail", "&2D3c5w- mail"},  // a character beyond U+FFFF: a surrogate pair
        {"plain", "plain"},
        {"", ""},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ModifiedUtf7Encoded(c.utf8), c.name) << c.utf8;
        EXPECT_EQ(ModifiedUtf7Decoded(c.name), c.utf8) << c.name;
    }
}

TEST(ModifiedUtf7, MalformedRunsStayAsTheyAre) {
    for (const char* name : {"&Jjo", "&Jjo!-", "&AGE-", "&2D0-"}) EXPECT_EQ(ModifiedUtf7Decoded(name), name) << name;
}

TEST(ModifiedUtf7, BytesThatAreNotUtf8AreReadAsWindows1252) {
    EXPECT_EQ(ModifiedUtf7Encoded("Entw\xFCrfe"), "Entw&APw-rfe");
}

TEST(MailboxNames, LevelsReplaceTheDelimiter) {
    EXPECT_EQ(MailboxLevel("a/b.c", '/'), "a_b.c");
    EXPECT_EQ(MailboxLevel("a/b.c", '.'), "a_b_c");
    EXPECT_EQ(MailboxLevel("", '/'), "Folder");
}

TEST(MailboxNames, TreeUnderTheParentOrIntoSpecialFolders) {
    TServerMailboxes server;
    server.Delimiter = '.';
    server.SpecialUse = {{"\\Sent", "Sent Messages"}, {"\\Trash", "Deleted"}};
    TFolderNode inbox;
    inbox.Special = kSpecialInbox;
    TFolderNode sent;
    sent.Special = kSpecialSent;
    TFolderNode drafts;  // the server has no \Drafts folder
    drafts.Special = kSpecialDrafts;
    TFolderNode child;
    child.Depth = 1;
    const std::string parent = "Imported mail";

    TUploadTarget nested;
    EXPECT_EQ(MailboxFor(inbox, "Inbox", &parent, nested, server), "Imported mail.Inbox");
    EXPECT_EQ(MailboxFor(sent, "Sent Items", &parent, nested, server), "Imported mail.Sent Items");

    TUploadTarget special;
    special.SpecialFolders = true;
    EXPECT_EQ(MailboxFor(inbox, "Inbox", nullptr, special, server), "INBOX");
    EXPECT_EQ(MailboxFor(sent, "Sent Items", nullptr, special, server), "Sent Messages");
    EXPECT_EQ(MailboxFor(drafts, "Drafts", nullptr, special, server), "Drafts");
    const std::string inboxName = "INBOX";
    EXPECT_EQ(MailboxFor(child, "v1.2", &inboxName, special, server), "INBOX.v1_2");
}

}  // namespace
}  // namespace brindle
