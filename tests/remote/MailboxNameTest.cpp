#include "remote/ImapUploadSink.h"
#include "store/FolderList.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

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
