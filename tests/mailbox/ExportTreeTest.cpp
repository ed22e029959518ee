// The tree walk above the export sinks: the order in which folders are asked for and filled,
// the parents handed down, folders that cannot be made, the filter, and the file sinks made
// by format.
#include "MailboxTestSupport.h"
#include "mailbox/FolderExport.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>
#include <set>
#include <sstream>
#include <mutex>

namespace brindle {
namespace {

using test::Message;
using test::TTempDir;
using test::WriteDbx;
using testsupport::TStoreMessage;
using testsupport::WriteFolderList;

namespace fs = std::filesystem;

// Records what the walk asks; a folder whose name is in Refused cannot be made.
class TRecordingSink : public TExportSink {
public:
    struct TFolder {
        std::string Shown;
        std::vector<std::string> Names;
        size_t Number = 0;
        std::string Parent;  // the parent output's folder, empty at the top
        std::vector<std::string> Subjects;
        std::vector<std::string> CodePages;
        bool Ended = false;
        int Withdrawals = 0;
    };

    class TOutput : public TSinkFolderOutput {
    public:
        TOutput(TRecordingSink& sink, size_t slot) : sink_(sink), slot_(slot) {}
        void AddMessage(const TSinkMessage& message) override {
            const std::lock_guard<std::mutex> guard(sink_.lock_);
            TFolder& folder = sink_.Folders[slot_];
            EXPECT_FALSE(folder.Ended) << folder.Shown;
            folder.Subjects.push_back(message.Info->Subject);
            folder.CodePages.emplace_back(message.CodePage);
            if (message.Info->Subject == sink_.FailingSubject) throw Exception("cannot write it");
            added_.push_back(folder.Subjects.size() - 1);
        }
        bool CanWithdraw() const override { return sink_.Withdraws; }
        size_t Withdraw(std::span<const size_t> added) override {
            const std::lock_guard<std::mutex> guard(sink_.lock_);
            TFolder& folder = sink_.Folders[slot_];
            EXPECT_FALSE(folder.Ended) << folder.Shown;
            EXPECT_TRUE(std::is_sorted(added.begin(), added.end()));
            for (auto k = added.rbegin(); k != added.rend(); ++k)
                folder.Subjects.erase(folder.Subjects.begin() + static_cast<std::ptrdiff_t>(added_.at(*k)));
            ++folder.Withdrawals;
            return added.size();
        }
        void End() override {
            const std::lock_guard<std::mutex> guard(sink_.lock_);
            sink_.Folders[slot_].Ended = true;
        }
        const std::string& Shown() const { return sink_.Folders[slot_].Shown; }

    private:
        TRecordingSink& sink_;
        size_t slot_;
        std::vector<size_t> added_;  // per message added, its place among Subjects
    };

    explicit TRecordingSink(bool sideBySide) : sideBySide_(sideBySide) {}

    void Begin() override { ++Begun; }
    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override {
        if (Refused.count(folder.Names.back())) throw Exception("refused");
        TFolder made;
        made.Shown = folder.Shown;
        made.Names = folder.Names;
        made.Number = folder.Number;
        if (parent) made.Parent = static_cast<TOutput*>(parent)->Shown();
        const std::lock_guard<std::mutex> guard(lock_);
        Folders.push_back(made);
        return std::make_unique<TOutput>(*this, Folders.size() - 1);
    }
    bool WritesFoldersSideBySide() const override { return sideBySide_; }
    unsigned FoldersSideBySide() const override { return SideBySide; }
    void Finish() override { ++Finished; }

    std::set<std::string> Refused;
    std::string FailingSubject = "\x01";
    bool Withdraws = false;  // whether its outputs can take messages out again
    unsigned SideBySide = 0;
    std::vector<TFolder> Folders;
    int Begun = 0;
    int Finished = 0;

private:
    bool sideBySide_;
    std::mutex lock_;
};

// A > B > C, A > D, E; each store holds messages named after its folder.
void WriteTree(const TTempDir& dir) {
    WriteFolderList(dir / "Folders.dbx", {
                                             {1, 0xFFFFFFFF, "A", "A.dbx"},
                                             {2, 1, "B", "B.dbx"},
                                             {3, 2, "C", "C.dbx"},
                                             {4, 1, "D", "D.dbx"},
                                             {5, 0xFFFFFFFF, "E", "E.dbx"},
                                         });
    for (const char* name : {"A", "B", "C", "D", "E"})
        WriteDbx(dir / (std::string(name) + ".dbx"),
                 {Message(std::string(name) + "1"), Message(std::string(name) + "2")});
}

TEST(ExportTreeTest, FoldersComeInTreeOrderWithTheirParentsAndAllTheirMessages) {
    TTempDir dir;
    WriteTree(dir);
    for (const bool sideBySide : {false, true}) {
        SCOPED_TRACE(sideBySide);
        TRecordingSink sink(sideBySide);
        TExportOptions options;
        options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
        const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), sink, options);
        EXPECT_EQ(totals.Folders, 5u);
        EXPECT_EQ(totals.Messages, 10u);
        EXPECT_EQ(sink.Begun, 1);
        EXPECT_EQ(sink.Finished, 1);
        ASSERT_EQ(sink.Folders.size(), 5u);
        const char* shown[] = {"A", "A/B", "A/B/C", "A/D", "E"};
        const char* parents[] = {"", "A", "A/B", "A", ""};
        for (size_t k = 0; k < 5; ++k) {
            const TRecordingSink::TFolder& folder = sink.Folders[k];
            EXPECT_EQ(folder.Shown, shown[k]);
            EXPECT_EQ(folder.Number, k);
            EXPECT_EQ(folder.Parent, parents[k]);
            EXPECT_EQ(folder.Names.size(), std::count(folder.Shown.begin(), folder.Shown.end(), '/') + 1u);
            const std::string own = folder.Names.back();
            EXPECT_EQ(folder.Subjects, (std::vector<std::string>{own + "1", own + "2"}));
            EXPECT_TRUE(folder.Ended);
        }
    }
}

// A folder that cannot be made is told once; its sub-folders are not asked for and are told as
// not written, and the folders beside it go on.
TEST(ExportTreeTest, AFolderThatCannotBeMadeTakesOnlyItsSubFoldersAlong) {
    TTempDir dir;
    WriteTree(dir);
    TRecordingSink sink(true);
    sink.Refused = {"B"};
    std::vector<std::string> problems;
    TExportOptions options;
    options.Problem = [&](const std::string& text) { problems.push_back(text); };
    const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), sink, options);
    EXPECT_EQ(totals.Folders, 3u);
    EXPECT_EQ(totals.Messages, 6u);
    EXPECT_EQ(totals.Errors, 2u);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "A/B: the folder cannot be written: refused");
    EXPECT_EQ(problems[1], "A/B/C: the folder cannot be written: its parent folder was not written");
    std::vector<std::string> asked;
    for (const auto& folder : sink.Folders) asked.push_back(folder.Shown);
    EXPECT_EQ(asked, (std::vector<std::string>{"A", "A/D", "E"}));
}

// The filter sees every message with its store's code page; what it refuses is counted as
// skipped and never reaches the sink; a message the sink cannot write is an error.
TEST(ExportTreeTest, TheFilterSkipsMessagesAndWriteFailuresAreErrors) {
    TTempDir dir;
    WriteTree(dir);
    for (const bool sideBySide : {false, true}) {
        SCOPED_TRACE(sideBySide);
        TRecordingSink sink(sideBySide);
        sink.FailingSubject = "E2";
        std::vector<std::string> problems;
        std::mutex lock;
        std::vector<std::string> filtered;
        TExportOptions options;
        options.CodePage = TCodePageChoice::Fixed("windows-1251");
        options.Problem = [&](const std::string& text) { problems.push_back(text); };
        options.Filter = [&](const TSinkMessage& message) {
            const std::lock_guard<std::mutex> guard(lock);
            filtered.push_back(message.Info->Subject);
            EXPECT_EQ(message.CodePage, "windows-1251");
            return !message.Info->Subject.ends_with("1");
        };
        const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), sink, options);
        EXPECT_EQ(filtered.size(), 10u);
        EXPECT_EQ(totals.Skipped, 5u);
        EXPECT_EQ(totals.Messages, 4u);
        EXPECT_EQ(totals.Errors, 1u);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0], "E: message 1: cannot write it");
        for (const auto& folder : sink.Folders) {
            ASSERT_EQ(folder.Subjects.size(), 1u) << folder.Shown;
            EXPECT_EQ(folder.Subjects[0], folder.Names.back() + "2");
            EXPECT_EQ(folder.CodePages[0], "windows-1251");
        }
    }
}

// Copies are left out against every message before them in tree order however far the folders
// written side by side get ahead of each other: the first folder is slowed down (by the filter,
// which sees each message as it is read), so that the later ones read theirs first, and one of
// them reads more than it may hold while it waits. Slowed down as well, the second folder's turn
// comes while it is read: it writes what it held and goes on without holding.
TEST(ExportTreeTest, FoldersWrittenSideBySideTellCopiesInTreeOrderWhicheverReadsFirst) {
    TTempDir dir;
    WriteFolderList(dir / "Folders.dbx", {
                                             {1, 0xFFFFFFFF, "A", "A.dbx"},
                                             {2, 1, "B", "B.dbx"},
                                             {3, 0xFFFFFFFF, "C", "C.dbx"},
                                             {4, 0xFFFFFFFF, "D", "D.dbx"},
                                             {5, 0xFFFFFFFF, "E", "E.dbx"},
                                         });
    const std::string large(300 << 10, 'x');
    std::vector<TStoreMessage> b = {Message("m3"), Message("m1")};
    for (int k = 1; k <= 8; ++k) b.push_back(Message("large" + std::to_string(k), large));
    WriteDbx(dir / "A.dbx", {Message("m1"), Message("m2")});
    WriteDbx(dir / "B.dbx", b);
    WriteDbx(dir / "C.dbx", {Message("m2"), Message("m4")});
    WriteDbx(dir / "D.dbx", {Message("m4"), Message("m3"), Message("large1", large)});
    WriteDbx(dir / "E.dbx", {Message("m5"), Message("m5")});
    const std::vector<std::vector<std::string>> kept = {
        {"m1", "m2"},
        {"m3", "large1", "large2", "large3", "large4", "large5", "large6", "large7", "large8"},
        {"m4"},
        {},
        {"m5"}};
    const struct {
        bool SideBySide, SecondSlowed, Withdraws;
    } cases[] = {{false, false, false}, {true, false, false}, {true, true, false}, {true, false, true},
                 {true, true, true}};
    for (const auto [sideBySide, secondSlowed, withdraws] : cases) {
        SCOPED_TRACE(testing::Message() << sideBySide << secondSlowed << withdraws);
        TRecordingSink sink(sideBySide);
        sink.SideBySide = 4;
        sink.Withdraws = withdraws;
        TExportOptions options;
        std::atomic<bool> paused{false};
        options.Filter = [&](const TSinkMessage& message) {
            if (message.Folder == "A" && !paused.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (message.Folder == "A/B" && secondSlowed) std::this_thread::sleep_for(std::chrono::milliseconds(40));
            return true;
        };
        options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
        options.LeaveOutCopies = std::make_shared<TDuplicateFilter>(TDuplicateMode::Text);
        const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), sink, options);
        EXPECT_EQ(totals.Messages, 13u);
        EXPECT_EQ(totals.Skipped, 6u);
        ASSERT_EQ(sink.Folders.size(), kept.size());
        for (size_t k = 0; k < kept.size(); ++k) EXPECT_EQ(sink.Folders[k].Subjects, kept[k]) << sink.Folders[k].Shown;
        // A folder read while A sleeps has its copies written ahead and taken out again.
        int withdrawals = 0;
        for (const TRecordingSink::TFolder& folder : sink.Folders) withdrawals += folder.Withdrawals;
        EXPECT_EQ(withdrawals > 0, withdraws);
        std::vector<std::string> pairs;
        for (const TSkippedCopies& pair : options.LeaveOutCopies->SkippedByFolder())
            pairs.push_back(pair.Folder + "<" + pair.FirstFolder + ":" + std::to_string(pair.Count));
        EXPECT_EQ(pairs, (std::vector<std::string>{"A/B<A:1", "C<A:1", "D<C:1", "D<A/B:2", "E<E:1"}));
    }
}

// A sink that cannot begin writes nothing and says why.
TEST(ExportTreeTest, ASinkThatCannotBeginIsOneError) {
    TTempDir dir;
    WriteTree(dir);
    TTempDir out;
    fs::create_symlink("/nonexistent", out / "cur");  // a Maildir's cur/ that cannot be made
    std::vector<std::string> problems;
    TExportOptions options;
    options.Problem = [&](const std::string& text) { problems.push_back(text); };
    const std::unique_ptr<TExportSink> sink = MakeFileSink(TExportFormat::Maildir, out.Path());
    const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), *sink, options);
    EXPECT_EQ(totals.Folders, 0u);
    EXPECT_EQ(totals.Messages, 0u);
    EXPECT_EQ(totals.Errors, 1u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("cur"), std::string::npos) << problems[0];
}

// A sink that asks for a number of folders side by side: each message waits (a while at most)
// until that many are being written at once, and the most seen at once is kept.
class TConcurrencySink : public TExportSink {
public:
    explicit TConcurrencySink(unsigned wanted) : wanted_(wanted) {}
    class TOutput : public TSinkFolderOutput {
    public:
        explicit TOutput(TConcurrencySink& sink) : sink_(sink) {}
        void AddMessage(const TSinkMessage&) override {
            const unsigned now = ++sink_.active_;
            unsigned seen = sink_.most_;
            while (now > seen && !sink_.most_.compare_exchange_weak(seen, now)) {
            }
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (sink_.most_ < sink_.wanted_ && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --sink_.active_;
        }
        void End() override {}

    private:
        TConcurrencySink& sink_;
    };
    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder&, TSinkFolderOutput*) override {
        return std::make_unique<TOutput>(*this);
    }
    bool WritesFoldersSideBySide() const override { return true; }
    unsigned FoldersSideBySide() const override { return wanted_; }
    unsigned Most() const { return most_; }

private:
    unsigned wanted_;
    std::atomic<unsigned> active_{0};
    std::atomic<unsigned> most_{0};
};

TEST(ExportTreeTest, ASinkChoosesHowManyFoldersGoSideBySide) {
    TTempDir dir;
    WriteTree(dir);  // five folders
    for (const unsigned wanted : {1u, 3u, 4u}) {
        SCOPED_TRACE(wanted);
        TConcurrencySink sink(wanted);
        const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), sink, {});
        EXPECT_EQ(totals.Messages, 10u);
        EXPECT_EQ(sink.Most(), wanted);
    }
}

TEST(ExportTreeTest, FileSinksByFormat) {
    struct TCase {
        TExportFormat Format;
        bool SideBySide;
        const char* Made;  // what a folder named F becomes in the output folder
    };
    const TCase cases[] = {
        {TExportFormat::Eml, false, "F"},
        {TExportFormat::Mbox, true, "F"},
        {TExportFormat::Maildir, true, ".F"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Format));
        TTempDir out;
        const std::unique_ptr<TExportSink> sink = MakeFileSink(c.Format, out.Path());
        EXPECT_EQ(sink->WritesFoldersSideBySide(), c.SideBySide);
        sink->Begin();
        TFolderNode node;
        node.Name = "F";
        auto output = sink->BeginFolder(TSinkFolder{&node, 0, {"F"}, "F"}, nullptr);
        ASSERT_TRUE(output);
        output->End();
        sink->Finish();
        EXPECT_TRUE(fs::exists(fs::symlink_status(out / c.Made))) << c.Made;
    }
    EXPECT_EQ(ExportFormatNamed("mbox"), TExportFormat::Mbox);
    EXPECT_EQ(ExportFormatNamed("maildir"), TExportFormat::Maildir);
    EXPECT_EQ(ExportFormatNamed("eml"), TExportFormat::Eml);
    EXPECT_FALSE(ExportFormatNamed("MBOX"));
}

// The bytes of every file under dir, by path from dir.
std::map<std::string, std::string> FilesUnder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), dir).string()].assign(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

// Copies scattered through folders read ahead of their turn (the first folder is slowed) are
// taken out of the mbox and Maildir files: what is left is what an export in turn writes.
TEST(ExportTreeTest, FoldersSideBySideTakeTheCopiesTheyWroteAheadOutOfTheirFiles) {
    TTempDir dir;
    WriteFolderList(dir / "Folders.dbx", {
                                             {1, 0xFFFFFFFF, "A", "A.dbx"},
                                             {2, 0xFFFFFFFF, "B", "B.dbx"},
                                             {3, 0xFFFFFFFF, "C", "C.dbx"},
                                             {4, 0xFFFFFFFF, "D", "D.dbx"},
                                         });
    const std::string large(200 << 10, 'x');
    WriteDbx(dir / "A.dbx", {Message("m1"), Message("m2")});
    WriteDbx(dir / "B.dbx", {Message("m3"), Message("m1"), Message("big", large), Message("m4"), Message("m2")});
    WriteDbx(dir / "C.dbx", {Message("m5"), Message("m3"), Message("m5"), Message("big", large), Message("m6")});
    WriteDbx(dir / "D.dbx", {Message("m4"), Message("m6"), Message("m1")});
    const std::map<std::string, std::vector<std::string>> kept = {
        {"A", {"m1", "m2"}}, {"B", {"m3", "big", "m4"}}, {"C", {"m5", "m6"}}, {"D", {}}};
    for (const TExportFormat format : {TExportFormat::Mbox, TExportFormat::Maildir}) {
        std::map<std::string, std::string> inTurn;
        for (const bool slowed : {false, true}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(format) << slowed);
            TTempDir out;
            TExportOptions options;
            std::atomic<bool> paused{false};
            options.Filter = [&](const TSinkMessage& message) {
                if (slowed && message.Folder == "A" && !paused.exchange(true))
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return true;
            };
            options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
            options.LeaveOutCopies = std::make_shared<TDuplicateFilter>(TDuplicateMode::Text);
            const std::unique_ptr<TExportSink> sink = MakeFileSink(format, out.Path());
            const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), *sink, options);
            EXPECT_EQ(totals.Messages, 7u);
            EXPECT_EQ(totals.Skipped, 8u);
            const std::map<std::string, std::string> files = FilesUnder(out.Path());
            for (const auto& [folder, subjects] : kept) {
                std::vector<std::string> found;
                for (const auto& [path, bytes] : files)
                    if (path == folder || path.starts_with("." + folder + "/"))
                        for (size_t at = bytes.find("Subject: "); at != std::string::npos;
                             at = bytes.find("Subject: ", at + 1))
                            found.push_back(bytes.substr(at + 9, bytes.find_first_of("\r\n", at) - at - 9));
                std::vector<std::string> expected = subjects;
                if (format == TExportFormat::Maildir) {
                    // The files of a Maildir come in no order.
                    std::sort(found.begin(), found.end());
                    std::sort(expected.begin(), expected.end());
                }
                EXPECT_EQ(found, expected) << folder;
            }
            if (!slowed)
                inTurn = files;
            else
                EXPECT_EQ(files, inTurn);
        }
    }
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// A folder list as the mail client writes it: its root (Id 0) and the local folders (Id 1)
// without store files, the local Inbox with a sub-folder, a drafts folder, and an IMAP account
// with a folder of its own.
void WriteClientTree(const TTempDir& dir) {
    WriteFolderList(dir / "Folders.dbx", {
                                             {0, 0xFFFFFFFF, "Root", ""},
                                             {1, 0, "Local Folders", ""},
                                             {2, 1, "Inbox", "Inbox.dbx", 0, 0, 0, 1},
                                             {3, 2, "Caf\xC3\xA9 \xC2\xABR\xC3\xA9sum\xC3\xA9s\xC2\xBB", "Cafe.dbx"},
                                             {4, 1, "Drafts", "Drafts.dbx", 0, 0, 0, 5},
                                             {5, 1, "v2.1 notes", "Notes.dbx"},
                                             {6, 0, "imap.example.org", "", 0, 0, 0, 0, 1},
                                             {7, 6, "Archive", "Archive.dbx", 0, 0, 0, 0, 1},
                                         });
    WriteDbx(dir / "Inbox.dbx", {Message("in1"), Message("in2", "Hello\r\n", 0)});
    WriteDbx(dir / "Cafe.dbx", {Message("cafe")});
    WriteDbx(dir / "Drafts.dbx", {Message("draft")});
    WriteDbx(dir / "Notes.dbx", {Message("notes")});
    WriteDbx(dir / "Archive.dbx", {Message("old")});
}

std::vector<std::string> SortedNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ExportTreeTest, TheListsEmptyLevelsAreLeftOutAndOtherAccountsKeepTheirName) {
    TTempDir dir;
    WriteClientTree(dir);
    TRecordingSink sink(false);
    TExportOptions options;
    options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
    const TExportTotals totals = ExportTree(ReadStoreFolder(dir.Path()), sink, options);
    EXPECT_EQ(totals.Folders, 6u);
    std::vector<std::string> shown;
    for (const auto& folder : sink.Folders) shown.push_back(folder.Shown);
    EXPECT_EQ(shown, (std::vector<std::string>{"Inbox", "Inbox/Caf\xC3\xA9 \xC2\xABR\xC3\xA9sum\xC3\xA9s\xC2\xBB",
                                               "Drafts", "v2.1 notes", "imap.example.org",
                                               "imap.example.org/Archive"}));
}

TEST(ExportTreeTest, MaildirPutsTheInboxAtItsTopAndNamesFoldersInModifiedUtf7) {
    TTempDir dir, out;
    WriteClientTree(dir);
    TExportOptions options;
    options.Format = TExportFormat::Maildir;
    options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
    const TExportTotals totals = ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
    EXPECT_EQ(totals.Messages, 6u);
    EXPECT_EQ(SortedNames(out.Path()),
              (std::vector<std::string>{".Drafts", ".INBOX.Caf&AOk- &AKs-R&AOk-sum&AOk-s&ALs-",
                                        ".imap_example_org", ".imap_example_org.Archive", ".v2_1 notes", "cur",
                                        "new", "tmp"}));
    EXPECT_EQ(SortedNames(out / "cur").size(), 2u);  // the inbox's own messages
    const std::vector<std::string> drafts = SortedNames(out / ".Drafts/cur");
    ASSERT_EQ(drafts.size(), 1u);
    EXPECT_TRUE(drafts[0].ends_with(":2,DS")) << drafts[0];
}

// A top folder named INBOX beside the inbox would be the Maildir itself to a server.
TEST(ExportTreeTest, MaildirKeepsAFolderNamedInboxApartFromTheInbox) {
    TTempDir dir, out;
    WriteFolderList(dir / "Folders.dbx", {
                                             {2, 0xFFFFFFFF, "Inbox", "Inbox.dbx", 0, 0, 0, 1},
                                             {3, 0xFFFFFFFF, "inbox", "Other.dbx"},
                                         });
    WriteDbx(dir / "Inbox.dbx", {Message("a")});
    WriteDbx(dir / "Other.dbx", {Message("b")});
    TExportOptions options;
    options.Format = TExportFormat::Maildir;
    options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
    ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
    EXPECT_EQ(SortedNames(out.Path()), (std::vector<std::string>{".inbox (2)", "cur", "new", "tmp"}));
}

// More folders than one batch of those written side by side: each sub-folder, empty or not,
// gets its mark and its three parts, and an entry already in OUT keeps its name.
TEST(ExportTreeTest, MaildirFoldersMadeSideBySideAllGetTheirPartsAndNeverTakeAnEntryInTheWay) {
    constexpr uint32_t kFolders = 300;
    TTempDir dir, out;
    std::vector<testsupport::TFolderListEntry> list;
    for (uint32_t k = 0; k < kFolders; ++k)
        list.push_back({k + 1, k < 10 ? 0xFFFFFFFF : k / 10 + 1, "F" + std::to_string(k),
                        k % 50 ? "" : "S" + std::to_string(k) + ".dbx"});
    WriteFolderList(dir / "Folders.dbx", list);
    for (uint32_t k = 0; k < kFolders; k += 50) WriteDbx(dir / ("S" + std::to_string(k) + ".dbx"), {Message("m")});
    test::WriteFile(out / ".F3", "mine");
    TExportOptions options;
    options.Format = TExportFormat::Maildir;
    options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
    const TExportTotals totals = ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
    EXPECT_EQ(totals.Folders, kFolders);
    EXPECT_EQ(totals.Messages, kFolders / 50);
    std::ifstream mine(out / ".F3");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "mine");
    size_t folders = 0, messages = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(out.Path())) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".") || name == ".F3") continue;
        ++folders;
        EXPECT_EQ(SortedNames(entry.path()), (std::vector<std::string>{"cur", "maildirfolder", "new", "tmp"}))
            << name;
        messages += SortedNames(entry.path() / "cur").size();
    }
    EXPECT_EQ(folders, kFolders);
    EXPECT_EQ(messages, kFolders / 50);
    EXPECT_TRUE(fs::is_directory(fs::path(out / ".F3 (2)") / "cur"));
    EXPECT_TRUE(fs::is_directory(fs::path(out / ".F1.F13") / "tmp"));
}

TEST(ExportTreeTest, MboxMarksDraftsAndReplacesTheMessagesOwnStatusLines) {
    TStoreMessage own = Message("own");
    own.Flags = 0x80 | 0x20;  // read, flagged
    own.Text = "Status: U\r\nX-Status: D\r\n  continued\r\nX-Mozilla-Status: 0009\r\nSubject: own\r\n\r\n"
               "Status: in the body stays\r\n";
    TTempDir dir, out;
    WriteClientTree(dir);
    WriteDbx(dir / "Drafts.dbx", {own});
    TExportOptions options;
    options.Format = TExportFormat::Mbox;
    options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
    ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
    EXPECT_EQ(SortedNames(out.Path()), (std::vector<std::string>{"Drafts", "Inbox", "Inbox.sbd", "imap.example.org",
                                                                 "imap.example.org.sbd", "v2.1 notes"}));
    const std::string drafts = test::ReadWholeFile(out / "Drafts");
    const size_t firstLineEnd = drafts.find('\n');
    EXPECT_EQ(drafts.substr(firstLineEnd + 1),
              "X-Mozilla-Status: 0005\nX-Mozilla-Status2: 00000000\nStatus: RO\nX-Status: FT\nSubject: own\n\n"
              "Status: in the body stays\n\n");
}

}  // namespace
}  // namespace brindle
