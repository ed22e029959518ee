// The open-mailbox session: what it tells its listeners and when, and message handles of
// both kinds, before and after the store they refer to is closed.
#include "MailboxTestSupport.h"
#include "mailbox/MailboxSession.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::TTempDir;
using TChange = TMailboxSession::TChange;

// A store of three indexed messages, one deleted and one left behind, one of them with lines
// that end in LF alone.
std::vector<ts::TStoreMessage> MixedStore() {
    std::vector<ts::TStoreMessage> messages;
    const ts::TDbxPresence presences[] = {ts::TDbxPresence::Indexed, ts::TDbxPresence::Indexed,
                                          ts::TDbxPresence::Deleted, ts::TDbxPresence::Indexed,
                                          ts::TDbxPresence::Orphaned};
    for (size_t i = 0; i < std::size(presences); ++i) {
        ts::TStoreMessage m;
        m.Index = static_cast<uint32_t>(i + 1);
        m.Subject = "Subject " + std::to_string(i);
        m.Text = i == 3 ? "From: lf@example.org\nSubject: Subject 3\n\nBody 3 with LF lines\n"
                        : ts::MessageText({"From: ann@example.org", "Subject: " + m.Subject},
                                          "Body " + std::to_string(i) + " of some length\r\n");
        m.DbxPresence = presences[i];
        messages.push_back(std::move(m));
    }
    return messages;
}

class MailboxSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "Inbox.dbx";
        test::WriteDbx(path_, MixedStore());
        session_.Listen([this](TChange change) { told_.push_back(change); });
    }

    // Opens the store and runs its scan here, as a worker thread would.
    void OpenAndScan() {
        session_.OpenStore(path_);
        session_.ReadSummaries();
        const std::shared_ptr<TStoreRescue> scan = session_.StartScan(path_, false);
        ASSERT_TRUE(scan->Run());
        ASSERT_TRUE(session_.FinishScan(scan, true));
    }

    TTempDir dir_;
    std::string path_;
    TMailboxSession session_;
    std::vector<TChange> told_;
};

TEST_F(MailboxSessionTest, TellsListenersWhatOpensChangesAndCloses) {
    session_.OpenStore(path_);
    session_.ReadSummaries();
    session_.SetCodePageChoice(TCodePageChoice::Fixed("windows-1251"));
    EXPECT_EQ(session_.CodePage(), "windows-1251");
    session_.CloseStore();
    EXPECT_EQ(told_, (std::vector<TChange>{TChange::StoreOpened, TChange::CodePage, TChange::StoreClosing,
                                           TChange::CodePage}));
    EXPECT_FALSE(session_.HasStore());
    EXPECT_EQ(session_.Reader(), nullptr);
    EXPECT_TRUE(session_.CodePage().empty());
    EXPECT_TRUE(session_.CodePageChoice().IsAutomatic());

    // Closing what is closed tells nothing; a listener taken away hears nothing more.
    told_.clear();
    session_.CloseStore();
    EXPECT_TRUE(told_.empty());
    int late = 0;
    const int id = session_.Listen([&](TChange) { ++late; });
    session_.OpenStore(path_);
    session_.Unlisten(id);
    session_.CloseStore();
    EXPECT_EQ(late, 1);
}

// A file of neither kind leaves nothing open, and what was open before is closed.
TEST_F(MailboxSessionTest, FailedOpenLeavesNoStoreOrAnUnreadOne) {
    const std::string text = dir_ / "notes.dbx";
    test::WriteFile(text, "plain text, not a store");
    session_.OpenStore(path_);
    EXPECT_ANY_THROW(session_.OpenStore(text));
    EXPECT_FALSE(session_.HasStore());
    EXPECT_EQ(session_.MessageCount(), 0);
    EXPECT_FALSE(session_.Indexed(0).Valid());
}

// The reader is still there while StoreClosing is told, and gone after.
TEST_F(MailboxSessionTest, ClosingIsToldWhileTheStoreCanStillBeRead) {
    session_.OpenStore(path_);
    session_.ReadSummaries();
    int32_t countWhileClosing = -1;
    session_.Listen([&](TChange change) {
        if (change == TChange::StoreClosing) countWhileClosing = session_.MessageCount();
    });
    session_.OpenStore(path_);  // opening closes what was open first
    EXPECT_EQ(countWhileClosing, 3);
}

TEST_F(MailboxSessionTest, AutomaticCodePageTakesTheStoreFoldersDecisionOverTheStoresOwn) {
    session_.OpenStoreFolder(dir_.Path(), "koi8-r");
    session_.OpenStore(path_);
    session_.SetCodePageChoice(TCodePageChoice::Automatic());
    EXPECT_EQ(session_.CodePage(), "koi8-r");
    session_.CloseStoreFolder();
    EXPECT_FALSE(session_.HasStore());
    EXPECT_TRUE(session_.StoreFolder().empty());
    session_.OpenStore(path_);
    session_.SetCodePageChoice(TCodePageChoice::Automatic());
    EXPECT_NE(session_.CodePage(), "koi8-r");
    EXPECT_FALSE(session_.CodePage().empty());
}

// Indexed and recovered handles answer the same questions, and a recovered one of the index
// has the same text as its indexed one.
TEST_F(MailboxSessionTest, HandlesOfBothKindsAnswerAlike) {
    OpenAndScan();
    ASSERT_NE(session_.Rescue(), nullptr);
    EXPECT_EQ(session_.UnindexedCount(), 2u);
    const std::vector<ts::TStoreMessage> written = MixedStore();
    for (int32_t i = 0; i < session_.MessageCount(); ++i) {
        const TMessageHandle handle = session_.Indexed(i);
        ASSERT_TRUE(handle.Valid());
        EXPECT_FALSE(handle.Recovered());
        EXPECT_EQ(handle.Kind(), TFoundKind::Indexed);
        EXPECT_EQ(handle.LostBytes(), 0u);
        EXPECT_EQ(handle.Index(), i);
        EXPECT_NE(handle.Header().find("Subject: " + handle.Summary().Subject), std::string::npos) << i;
    }
    size_t deleted = 0;
    for (size_t p = 0; p < session_.RecoveredCount(); ++p) {
        const TMessageHandle handle = session_.Recovered(p);
        ASSERT_TRUE(handle.Valid());
        EXPECT_TRUE(handle.Recovered());
        EXPECT_FALSE(handle.Index());
        EXPECT_EQ(handle.Kind(), handle.Rescued().Found.Kind);
        EXPECT_EQ(handle.LostBytes(), handle.Rescued().Found.LostBytes);
        const std::string subject = handle.Summary().Subject;
        EXPECT_NE(handle.Header().find("Subject: " + subject), std::string::npos);
        EXPECT_EQ(handle.Header().find("\n\n"), std::string::npos);
        EXPECT_EQ(handle.SaveName({}).rfind(FoundKindName(handle.Kind()), 0), 0u) << handle.SaveName({});
        if (handle.Kind() == TFoundKind::Deleted) ++deleted;
        if (handle.Kind() != TFoundKind::Indexed) continue;
        const auto indexed = *handle.Rescued().Found.Index;
        EXPECT_EQ(handle.Text(), session_.Indexed(static_cast<int32_t>(indexed)).Text());
    }
    EXPECT_EQ(deleted, 1u);
    EXPECT_FALSE(session_.Indexed(-1).Valid());
    EXPECT_FALSE(session_.Indexed(session_.MessageCount()).Valid());
    EXPECT_FALSE(session_.Recovered(session_.RecoveredCount()).Valid());
}

// What a view needs beside the text: the notice of a recovered message, and the code page, which
// for a message of the index follows the session's choice.
TEST_F(MailboxSessionTest, HandlesTellTheirNoticeAndCodePage) {
    OpenAndScan();
    session_.SetCodePageChoice(TCodePageChoice::Fixed("windows-1250"));
    const TMessageHandle indexed = session_.Indexed(0);
    EXPECT_EQ(indexed.CodePage(), "windows-1250");
    EXPECT_EQ(indexed.Notice(), "");
    session_.SetCodePageChoice(TCodePageChoice::Fixed("koi8-r"));
    EXPECT_EQ(indexed.CodePage(), "koi8-r");
    for (size_t p = 0; p < session_.RecoveredCount(); ++p) {
        const TMessageHandle found = session_.Recovered(p);
        EXPECT_EQ(found.CodePage(), "");
        EXPECT_EQ(found.Notice(), RecoveryNotice(found.Rescued().Found));
        EXPECT_EQ(found.Notice().empty(), found.Kind() == TFoundKind::Indexed);
    }
    session_.CloseStore();
    EXPECT_THROW(indexed.CodePage(), EMessageGone);
}

// A recovered message's sender is split into name and address as the index splits one.
TEST_F(MailboxSessionTest, RecoveredSenderIsSplitLikeAnIndexedOne) {
    const std::pair<const char*, std::pair<const char*, const char*>> cases[] = {
        {"Ann Example <ann@example.org>", {"Ann Example", "ann@example.org"}},
        {"\"Doe, Jane\" <jane@example.org>", {"Doe, Jane", "jane@example.org"}},
        {"bob@example.org (Bob)", {"Bob", "bob@example.org"}},
        {"carl@example.org", {"carl@example.org", "carl@example.org"}},
        {"", {"", ""}},
    };
    for (const auto& [from, split] : cases) {
        TRescuedMessage message;
        message.Header.From = from;
        const TMessageInfo info = RecoveredSummary(message);
        EXPECT_EQ(info.SenderName, split.first) << from;
        EXPECT_EQ(info.SenderAddress, split.second) << from;
    }
}

// A loose message answers from the text it holds, whatever the session does.
TEST_F(MailboxSessionTest, LooseMessageHoldsItsText) {
    const std::string text = "From: Ann <ann@example.org>\r\nSubject: Loose\r\n\r\nBody\r\n";
    const TMessageHandle loose = TMessageHandle::OfText(text, "windows-1252");
    OpenAndScan();
    session_.CloseStore();
    ASSERT_TRUE(loose.Valid());
    EXPECT_FALSE(loose.Recovered());
    EXPECT_EQ(loose.Text(), text);
    EXPECT_EQ(loose.Header(), "From: Ann <ann@example.org>\r\nSubject: Loose");
    EXPECT_EQ(loose.Summary().Subject, "Loose");
    EXPECT_EQ(loose.Summary().SenderName, "Ann");
    EXPECT_EQ(loose.Kind(), TFoundKind::Indexed);
    EXPECT_EQ(loose.LostBytes(), 0u);
    EXPECT_FALSE(loose.Index());
    EXPECT_EQ(loose.Notice(), "");
    EXPECT_EQ(loose.CodePage(), "windows-1252");
    EXPECT_EQ(loose.SaveName({}), "Loose.eml");
    EXPECT_THROW(loose.Rescued(), EMessageGone);
}

// A message whose lines end in LF alone shows its header as the copy that the scan found does.
TEST_F(MailboxSessionTest, HeaderOfAnLfOnlyMessageIsShownFromEitherKind) {
    OpenAndScan();
    int32_t lfIndex = -1;
    for (int32_t i = 0; i < session_.MessageCount(); ++i)
        if (session_.Indexed(i).Summary().Subject == "Subject 3") lfIndex = i;
    ASSERT_GE(lfIndex, 0);
    EXPECT_EQ(session_.Indexed(lfIndex).Header(), "From: lf@example.org\nSubject: Subject 3");
    size_t copies = 0;
    for (size_t p = 0; p < session_.RecoveredCount(); ++p) {
        if (session_.Recovered(p).Summary().Subject != "Subject 3") continue;
        ++copies;
        EXPECT_EQ(session_.Recovered(p).Header(), session_.Indexed(lfIndex).Header());
    }
    EXPECT_EQ(copies, 1u);
}

TEST_F(MailboxSessionTest, HandleAfterCloseFailsCleanly) {
    const TMessageHandle none;
    struct TCase {
        const char* What;
        std::function<void()> Close;
    };
    const TCase cases[] = {
        {"store closed", [&] { session_.CloseStore(); }},
        {"another store opened", [&] { session_.OpenStore(path_); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        OpenAndScan();
        const TMessageHandle a = session_.Indexed(0);
        const TMessageHandle b = session_.Recovered(0);
        ASSERT_TRUE(a.Valid() && b.Valid());
        c.Close();
        for (const TMessageHandle* handle : {&a, &b, &none}) {
            EXPECT_FALSE(handle->Valid());
            EXPECT_THROW(handle->Text(), EMessageGone);
            EXPECT_THROW(handle->Summary(), EMessageGone);
            EXPECT_THROW(handle->Header(), EMessageGone);
        }
        EXPECT_THROW(b.Kind(), EMessageGone);
    }
    // Cancelling the scan takes only the recovered messages away.
    OpenAndScan();
    const TMessageHandle kept = session_.Indexed(1);
    const TMessageHandle dropped = session_.Recovered(1);
    session_.CancelScan();
    EXPECT_TRUE(kept.Valid());
    EXPECT_FALSE(kept.Text().empty());
    EXPECT_FALSE(dropped.Valid());
    EXPECT_EQ(session_.Rescue(), nullptr);
}

// A scan that a later one or a close replaced changes nothing when it ends.
TEST_F(MailboxSessionTest, StaleScanIsIgnored) {
    session_.OpenStore(path_);
    const std::shared_ptr<TStoreRescue> first = session_.StartScan(path_, false);
    const std::shared_ptr<TStoreRescue> second = session_.StartScan(path_, false);
    ASSERT_TRUE(first->Run());
    EXPECT_FALSE(session_.FinishScan(first, true));
    EXPECT_TRUE(session_.ScanRunning());
    EXPECT_EQ(session_.Rescue(), nullptr);
    session_.CloseStore();
    ASSERT_TRUE(second->Run());
    EXPECT_FALSE(session_.FinishScan(second, true));
    EXPECT_EQ(session_.Rescue(), nullptr);

    // A scan as the result closes the store; a failed one names why.
    session_.OpenStore(path_);
    const std::shared_ptr<TStoreRescue> result = session_.StartScan(path_, true);
    EXPECT_FALSE(session_.HasStore());
    EXPECT_TRUE(session_.ScanIsResult());
    EXPECT_TRUE(session_.FinishScan(result, false, "it broke"));
    EXPECT_EQ(session_.ScanError(), "it broke");
    EXPECT_FALSE(session_.ScanRunning());
    EXPECT_EQ(session_.Rescue(), nullptr);
}

TEST_F(MailboxSessionTest, WarningsOfReadingAreKeptUntilTheNextStore) {
    const std::string damaged = dir_ / "Damaged.dbx";
    ts::TDbxOptions options;
    options.HeaderCount = 0;  // read from the index tree, with a warning
    test::WriteDbx(damaged, MixedStore(), options);
    session_.OpenStore(damaged);
    session_.ReadSummaries();
    EXPECT_EQ(session_.MessageCount(), 3);
    ASSERT_EQ(session_.Warnings().size(), 1u);
    EXPECT_NE(session_.Warnings()[0].find("message count is 0"), std::string::npos) << session_.Warnings()[0];
    EXPECT_NE(std::find(told_.begin(), told_.end(), TChange::Warnings), told_.end());

    session_.OpenStore(path_);
    session_.ReadSummaries();
    EXPECT_TRUE(session_.Warnings().empty());
    session_.AddWarning("folder list unreadable");
    EXPECT_EQ(session_.Warnings(), std::vector<std::string>{"folder list unreadable"});
    EXPECT_EQ(told_.back(), TChange::Warnings);
}

}  // namespace
}  // namespace brindle
