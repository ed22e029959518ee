// Copies of messages: the keys two copies share, the filter an export asks, and the survey of
// a store folder's copies.
#include "MailboxTestSupport.h"
#include "mailbox/Duplicates.h"

#include <gtest/gtest.h>

#include <thread>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::TTempDir;

std::string Text(const std::string& id, const std::string& date, const std::string& body) {
    std::vector<std::string> fields = {"From: ann@example.org", "Subject: Hi"};
    if (!id.empty()) fields.push_back("Message-ID: " + id);
    if (!date.empty()) fields.push_back("Date: " + date);
    return ts::MessageText(fields, body);
}

TEST(DuplicateKey, SameKeyExactlyWhenTheModeSaysSo) {
    const std::string a = Text("<1@x>", "Wed, 1 Jan 2003 10:00:00 +0000", "one\r\n");
    struct TCase {
        const char* Name;
        std::string Other;
        bool SameText;
        bool SameId;
    };
    const TCase cases[] = {
        {"identical", a, true, true},
        {"other body", Text("<1@x>", "Wed, 1 Jan 2003 10:00:00 +0000", "two\r\n"), false, true},
        {"other date", Text("<1@x>", "Thu, 2 Jan 2003 10:00:00 +0000", "one\r\n"), false, false},
        {"other id", Text("<2@x>", "Wed, 1 Jan 2003 10:00:00 +0000", "one\r\n"), false, false},
        {"date folded", Text("<1@x>", "Wed, 1 Jan 2003\r\n 10:00:00 +0000", "one\r\n"), false, true},
        {"one byte more", a + " ", false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(DuplicateKeyOf(a, TDuplicateMode::Text) == DuplicateKeyOf(c.Other, TDuplicateMode::Text), c.SameText);
        EXPECT_EQ(DuplicateKeyOf(a, TDuplicateMode::MessageId) == DuplicateKeyOf(c.Other, TDuplicateMode::MessageId),
                  c.SameId);
    }
    // Without a Message-ID nothing is a copy in that mode, not even the same text.
    const std::string bare = Text("", "Wed, 1 Jan 2003 10:00:00 +0000", "one\r\n");
    EXPECT_FALSE(DuplicateKeyOf(bare, TDuplicateMode::MessageId));
    EXPECT_TRUE(DuplicateKeyOf(bare, TDuplicateMode::Text));
}

TEST(DuplicateKey, HeaderFieldsAreTakenFromTheHeaderBlockOnly) {
    struct TCase {
        std::string Text;
        std::optional<std::string> Id;
    };
    const TCase cases[] = {
        {"Message-ID: <a@b>\r\n\r\nbody\r\n", "<a@b>"},
        {"message-id:   <a@b>  \r\n\r\n", "<a@b>"},
        {"Message-ID:\r\n <a@b>\r\n\r\n", "<a@b>"},
        {"Subject: x\r\n\r\nMessage-ID: <in-body>\r\n", std::nullopt},
        {"X-Message-ID: <a@b>\r\n\r\n", std::nullopt},
        {"Message-ID: <lf@only>\n\n", "<lf@only>"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(HeaderBlockField(c.Text, "Message-ID"), c.Id);
    }
}

// The Message-ID and Date of a key are read wherever they stand in the header block, folded or
// not; a line that continues one field is still looked at as the other field's line.
TEST(DuplicateKey, MessageIdKeyReadsBothFieldsWhereverTheyStand) {
    struct TCase {
        const char* A;
        const char* B;
        bool Same;
    };
    const TCase cases[] = {
        {"Date: D\r\nMessage-ID: <a>\r\n\r\n", "Message-ID: <a>\r\nDate: D\r\n\r\n", true},
        {"Message-ID: <a>\r\nDate:\r\n  D\r\n\r\n", "Message-ID: <a>\r\nDate: D\r\n\r\n", true},
        {"Message-ID: <a>\r\n\tDate: E\r\nDate: D\r\n\r\n", "Message-ID: <a> Date: E\r\nDate: E\r\n\r\n", true},
        {"Message-ID: <a>\r\nDate: D\r\n\r\n", "Message-ID: <a>\r\nDate: E\r\n\r\n", false},
        {"Message-ID: <a>\r\n\r\nDate: D\r\n", "Message-ID: <a>\r\n\r\n", true},
        {"Message-ID: <a>\r\nDate: D\r\nDate: E\r\n\r\n", "Message-ID: <a>\r\nDate: D\r\n\r\n", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " / " + c.B);
        const std::optional<TMessageDigest> a = DuplicateKeyOf(c.A, TDuplicateMode::MessageId);
        ASSERT_TRUE(a);
        EXPECT_EQ(a == DuplicateKeyOf(c.B, TDuplicateMode::MessageId), c.Same);
    }
}

TEST(DuplicateFilter, AdmitsTheFirstCopyAndTellsWhereItWent) {
    TDuplicateFilter filter(TDuplicateMode::Text);
    const std::string a = Text("<1@x>", "", "a\r\n");
    const std::string b = Text("<2@x>", "", "b\r\n");
    EXPECT_TRUE(filter.Admit(a, "Inbox", 0));
    EXPECT_TRUE(filter.Admit(b, "Inbox", 1));
    EXPECT_FALSE(filter.Admit(a, "Inbox", 2));  // a copy in the same folder counts too
    EXPECT_FALSE(filter.Admit(a, "Inbox(1)", 0));
    EXPECT_FALSE(filter.Admit(b, "Inbox(1)", 1));
    EXPECT_TRUE(filter.Admit(Text("<3@x>", "", "c\r\n"), "Inbox(1)", 2));
    EXPECT_EQ(filter.Skipped(), 3u);
    const std::vector<TSkippedCopies> pairs = filter.SkippedByFolder();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].Folder, "Inbox");
    EXPECT_EQ(pairs[0].FirstFolder, "Inbox");
    EXPECT_EQ(pairs[0].Count, 1u);
    EXPECT_EQ(pairs[1].Folder, "Inbox(1)");
    EXPECT_EQ(pairs[1].FirstFolder, "Inbox");
    EXPECT_EQ(pairs[1].Count, 2u);
}

TEST(DuplicateFilter, EachTextIsAdmittedOnceAcrossThreads) {
    TDuplicateFilter filter(TDuplicateMode::Text);
    constexpr int kTexts = 3000;  // past the first table's room: it grows while both ask
    std::atomic<int> admitted{0};
    auto work = [&](const std::string& folder) {
        for (int i = 0; i < kTexts; ++i)
            if (filter.Admit("Subject: " + std::to_string(i) + "\r\n\r\n", folder, i)) ++admitted;
    };
    std::thread other(work, "B");
    work("A");
    other.join();
    EXPECT_EQ(admitted.load(), kTexts);
    EXPECT_EQ(filter.Skipped(), size_t{kTexts});
}

// However much room was made ahead (none, too little, the stores' claim far past the cap), and
// whether a folder's messages are decided one by one or as a run, every copy finds its first one.
TEST(DuplicateFilter, CopiesAreFoundWhateverRoomWasMadeAhead) {
    constexpr size_t kTexts = 5000;
    const auto text = [](size_t i) { return "Subject: " + std::to_string(i) + "\r\n\r\n"; };
    for (const bool asRun : {false, true})
        for (const size_t expected : {size_t{0}, size_t{10}, kTexts, SIZE_MAX}) {
            SCOPED_TRACE(std::to_string(expected) + (asRun ? " as a run" : " one by one"));
            TDuplicateFilter filter(TDuplicateMode::Text);
            filter.Expect(expected);
            size_t admitted = 0;
            for (size_t i = 0; i < kTexts; ++i) admitted += filter.Admit(text(i), "A", static_cast<int32_t>(i));
            if (asRun) {
                // Each text twice in B: the second copy of a run refers to A as well.
                std::vector<std::optional<TMessageDigest>> keys;
                for (size_t i = 0; i < 2 * kTexts; ++i) keys.push_back(filter.KeyOf(text(i % kTexts)));
                keys.push_back(std::nullopt);  // a message without a key is always admitted
                std::vector<TDuplicateFilter::TRunMessage> run;
                for (size_t i = 0; i < keys.size(); ++i) run.push_back({&keys[i], static_cast<int32_t>(i)});
                filter.AdmitRun(run, "B");
                for (const TDuplicateFilter::TRunMessage& message : run) admitted += message.Admitted;
            } else {
                for (size_t i = 2 * kTexts; i-- > 0;)
                    admitted += filter.Admit(text(i % kTexts), "B", static_cast<int32_t>(i));
            }
            EXPECT_EQ(admitted, kTexts + (asRun ? 1 : 0));
            const std::vector<TSkippedCopies> pairs = filter.SkippedByFolder();
            ASSERT_EQ(pairs.size(), 1u);
            EXPECT_EQ(pairs[0].Folder, "B");
            EXPECT_EQ(pairs[0].FirstFolder, "A");
            EXPECT_EQ(pairs[0].Count, 2 * kTexts);
        }
}

TEST(DuplicateSurvey, GroupsCopiesAcrossStoresInTreeOrder) {
    TTempDir dir;
    std::vector<ts::TStoreMessage> inbox;
    for (int i = 0; i < 6; ++i) inbox.push_back(test::Message("Inbox " + std::to_string(i)));
    inbox.push_back(test::Message("Inbox 0"));  // the same text again in its own store
    test::WriteDbx(dir / "Inbox.dbx", inbox);
    // A backup holding the first three, and a folder holding one of them besides its own.
    test::WriteDbx(dir / "Inbox(1).dbx", {inbox[0], inbox[1], inbox[2]});
    test::WriteDbx(dir / "Sent.dbx", {test::Message("Sent 0"), inbox[4]});
    ts::WriteFolderList(dir / "Folders.dbx", {{0, 0xFFFFFFFF, "Root", ""},
                                              {1, 0, "Inbox", "Inbox.dbx", 0, 7, 0, 1},
                                              {2, 0, "Sent", "Sent.dbx", 0, 2, 0, 3}});
    const TStoreFolder folder = ReadStoreFolder(dir.Path());
    const TDuplicateSurvey survey = FindDuplicates(folder, TDuplicateMode::Text);
    EXPECT_EQ(survey.Messages, 12u);
    EXPECT_TRUE(survey.Problems.empty());
    // Inbox 0 (three copies), Inbox 1, Inbox 2, Inbox 4.
    ASSERT_EQ(survey.Groups.size(), 4u);
    auto fileOf = [&](const TFoundCopy& copy) { return folder.Nodes[copy.Node].File.value_or(""); };
    EXPECT_EQ(survey.Groups[0].size(), 3u);
    for (const auto& group : survey.Groups) {
        ASSERT_GE(group.size(), 2u);
        EXPECT_EQ(fileOf(group[0]), "Inbox.dbx");  // the first copy in tree order
        for (const TFoundCopy& copy : group) EXPECT_EQ(copy.Subject, group[0].Subject);
    }
    EXPECT_EQ(survey.Groups[0][0].Index, 0);
    EXPECT_EQ(survey.Groups[0][1].Index, 6);
    EXPECT_EQ(fileOf(survey.Groups[3][1]), "Sent.dbx");
}

TEST(DuplicateSurvey, ReadsAStoreWithADamagedIndexByAScan) {
    TTempDir dir;
    std::vector<ts::TStoreMessage> messages = {test::Message("One"), test::Message("Two")};
    test::WriteDbx(dir / "Good.dbx", messages);
    ts::TDbxOptions damaged;
    damaged.Damage = {{ts::TDbxDamageKind::NodeMarker, 0}};
    test::WriteDbx(dir / "Broken.dbx", messages, damaged);
    const TDuplicateSurvey survey = FindDuplicates(ReadStoreFolder(dir.Path()), TDuplicateMode::Text);
    ASSERT_EQ(survey.Groups.size(), 2u);
    for (const auto& group : survey.Groups) {
        ASSERT_EQ(group.size(), 2u);
        EXPECT_NE(group[0].Scanned, group[1].Scanned);
    }
}

}  // namespace
}  // namespace brindle
