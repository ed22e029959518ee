#include "remote/UploadJournal.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace brindle {
namespace {

const std::string kSha(64, 'a');
const std::string kOtherSha(64, 'b');

TEST(UploadJournal, EntriesSurviveReopening) {
    test::TTempDir dir;
    const std::string path = dir / "state/brindle/upload.journal";
    {
        TUploadJournal journal(path);
        EXPECT_FALSE(journal.Has("Imported mail/Inbox", 7, kSha, 1));
        journal.Record("Imported mail/Inbox", 7, kSha, 1, 42);
        journal.Record("Imported mail/&BBIERQQ+BDQETwRJBDgENQ-", 7, kSha, 2, 0);
        EXPECT_TRUE(journal.Has("Imported mail/Inbox", 7, kSha, 1));
    }
    TUploadJournal again(path);
    EXPECT_TRUE(again.Has("Imported mail/Inbox", 7, kSha, 1));
    EXPECT_TRUE(again.Has("Imported mail/&BBIERQQ+BDQETwRJBDgENQ-", 7, kSha, 2));
    // Another UIDVALIDITY, mailbox, text or occurrence is another message.
    EXPECT_FALSE(again.Has("Imported mail/Inbox", 8, kSha, 1));
    EXPECT_FALSE(again.Has("Imported mail/Sent", 7, kSha, 1));
    EXPECT_FALSE(again.Has("Imported mail/Inbox", 7, kOtherSha, 1));
    EXPECT_FALSE(again.Has("Imported mail/Inbox", 7, kSha, 2));
}

TEST(UploadJournal, ALineCutShortByAKillIsLeftOut) {
    test::TTempDir dir;
    const std::string path = dir / "upload.journal";
    {
        std::ofstream file(path, std::ios::binary);
        file << "a 7 1 " << kSha << " 42 Inbox\n";
        file << "a 7 1 " << kOtherSha.substr(0, 30);  // the process died while writing
    }
    {
        TUploadJournal journal(path);
        EXPECT_TRUE(journal.Has("Inbox", 7, kSha, 1));
        EXPECT_FALSE(journal.Has("Inbox", 7, kOtherSha, 1));
        journal.Record("Inbox", 7, kOtherSha, 1, 43);
    }
    // The entry written after the broken line is read again, on a line of its own.
    TUploadJournal again(path);
    EXPECT_TRUE(again.Has("Inbox", 7, kOtherSha, 1));
}

TEST(UploadJournal, DefaultPathFollowsXdgStateHome) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string keep = saved ? saved : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_STATE_HOME", "/tmp/state-home", 1);
    EXPECT_EQ(TUploadJournal::DefaultPath("ann@example.com", "imap.example.com", 993),
              "/tmp/state-home/brindle/upload-ann@example.com@imap.example.com_993.journal");
    EXPECT_EQ(TUploadJournal::DefaultPath("a/../b", "h", 1), "/tmp/state-home/brindle/upload-a_.._b@h_1.journal");
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
    setenv("HOME", "/home/x", 1);
    EXPECT_EQ(TUploadJournal::DefaultPath("u", "h", 2), "/home/x/.local/state/brindle/upload-u@h_2.journal");
    setenv("HOME", home.c_str(), 1);
    if (saved)
        setenv("XDG_STATE_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace brindle
