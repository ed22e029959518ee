// check, duplicates and export --skip-duplicates through the command line: exit statuses,
// what the lines tell, and text from messages kept off the terminal raw.
#include "CliTestSupport.h"
#include "StoreWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

ts::TStoreMessage Message(const std::string& subject, const std::string& id) {
    ts::TStoreMessage m;
    m.Subject = subject;
    m.SenderAddress = "ann@example.org";
    m.Text = ts::MessageText({"From: ann@example.org", "Subject: " + subject, "Message-ID: " + id,
                              "Date: Wed, 1 Jan 2003 10:00:00 +0000"},
                             "Body of " + subject + "\r\n");
    return m;
}

void WriteDbx(const std::string& path, const std::vector<ts::TStoreMessage>& messages, ts::TDbxOptions options = {}) {
    ts::TDbxWriter writer(path, std::move(options));
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
}

// An inbox of five, a backup of its first three beside it and a sent folder that holds one of
// them again, plus a message whose Message-ID and Date are those of an inbox message but whose
// text differs.
struct TCopiedFolder {
    TTempDir Dir;
    std::vector<ts::TStoreMessage> Inbox;
    TCopiedFolder() {
        for (int i = 0; i < 5; ++i) Inbox.push_back(Message("Inbox " + std::to_string(i), "<" + std::to_string(i) + "@x>"));
        WriteDbx(Dir / "Inbox.dbx", Inbox);
        WriteDbx(Dir / "Inbox(1).dbx", {Inbox[0], Inbox[1], Inbox[2]});
        ts::TStoreMessage resent = Message("Inbox 4 again", "<4@x>");
        WriteDbx(Dir / "Sent.dbx", {Message("Sent 0", "<s0@x>"), Inbox[3], resent});
        ts::WriteFolderList(Dir / "Folders.dbx", {{0, 0xFFFFFFFF, "Root", ""},
                                                  {1, 0, "Inbox", "Inbox.dbx", 0, 5, 0, 1},
                                                  {2, 0, "Sent", "Sent.dbx", 0, 3, 0, 3}});
    }
};

size_t FilesUnder(const std::string& dir) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".eml") ++n;
    return n;
}

TEST(CliDuplicates, ExportLeavesOutCopiesOnlyWhenAsked) {
    TCopiedFolder folder;
    struct TCase {
        std::vector<std::string> Option;
        size_t Written;
        size_t Skipped;
    };
    // 11 messages: 3 copies in the backup and one in Sent are texts written before; the
    // resent message shares Message-ID and Date with Inbox 4.
    const TCase cases[] = {{{}, 11, 0}, {{"--skip-duplicates"}, 7, 4}, {{"--skip-duplicates=message-id"}, 6, 5}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Option.empty() ? "none" : c.Option[0]);
        TTempDir out;
        std::vector<std::string> args = {"export", folder.Dir.Path(), out / "x"};
        args.insert(args.end(), c.Option.begin(), c.Option.end());
        const test::TCliRun run = RunTool(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(FilesUnder(out / "x"), c.Written);
        if (c.Option.empty()) {
            EXPECT_EQ(run.out.find("skipped"), std::string::npos);
            EXPECT_EQ(run.out.find("Left out"), std::string::npos);
            continue;
        }
        EXPECT_NE(run.out.find(std::to_string(c.Skipped) + " duplicates skipped"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Left out 3 copies in Inbox(1) of messages written to Inbox."), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("in Sent of messages written to Inbox."), std::string::npos) << run.out;
    }
}

TEST(CliDuplicates, TheFirstCopyInTreeOrderStaysInEveryFormat) {
    TCopiedFolder folder;
    for (const char* format : {"eml", "mbox", "maildir"}) {
        SCOPED_TRACE(format);
        TTempDir out;
        const test::TCliRun first = RunTool({"export", folder.Dir.Path(), out / "a", "--format", format, "--skip-duplicates"});
        const test::TCliRun second = RunTool({"export", folder.Dir.Path(), out / "b", "--format", format, "--skip-duplicates"});
        ASSERT_EQ(first.status, 0) << first.err;
        EXPECT_EQ(first.out, second.out);
        // The backup keeps nothing: all its messages went to the inbox first.
        const std::string backup = std::string(format) == "mbox" ? out / "a/Inbox(1)" : "";
        if (!backup.empty()) EXPECT_EQ(test::ReadFile(backup), "");
    }
}

TEST(CliDuplicates, ASingleStoreLeavesOutItsOwnCopies) {
    TTempDir dir;
    const ts::TStoreMessage a = Message("A", "<a@x>");
    WriteDbx(dir / "Store.dbx", {a, Message("B", "<b@x>"), a, a});
    TTempDir out;
    const test::TCliRun run = RunTool({"export", dir / "Store.dbx", out / "x", "--skip-duplicates"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FilesUnder(out / "x"), 2u);
    EXPECT_NE(run.out.find("Left out 2 copies in Store.dbx of messages written to Store.dbx."), std::string::npos)
        << run.out;
}

TEST(CliDuplicates, WrongUsage) {
    TCopiedFolder folder;
    TTempDir out;
    for (std::vector<std::string> args : {std::vector<std::string>{"export", folder.Dir.Path(), out / "x", "--skip-duplicates=size"},
                                          std::vector<std::string>{"duplicates"},
                                          std::vector<std::string>{"check"},
                                          std::vector<std::string>{"check", "a", "b"},
                                          std::vector<std::string>{"folders", folder.Dir.Path(), "--skip-duplicates"}}) {
        SCOPED_TRACE(args.back());
        EXPECT_EQ(RunTool(args).status, 2);
    }
}

TEST(CliDuplicates, ListsGroupsWithTheirFirstCopyFirst) {
    TCopiedFolder folder;
    const test::TCliRun run = RunTool({"duplicates", folder.Dir.Path()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(lines, line)) rows.push_back(line);
    // Inbox 0, 1 and 2 with their backups, Inbox 3 with its copy in Sent: two lines each.
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows.back(), "4 groups, 4 copies beyond the first, among 11 messages.");
    EXPECT_EQ(rows[0].substr(0, 2), "1\t");
    EXPECT_NE(rows[0].find("Inbox 0"), std::string::npos);
    EXPECT_EQ(rows[0].find("Inbox(1)"), std::string::npos) << "the first copy is the inbox's";
    const test::TCliRun json = RunTool({"duplicates", folder.Dir.Path(), "--json"});
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"Messages\": 11"), std::string::npos) << json.out;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '{'), 1 + 8);
}

TEST(CliDuplicates, SubjectsReachTheTerminalEscaped) {
    TTempDir dir;
    const ts::TStoreMessage evil = Message("Evil \x1b]0;title\x07 here", "<e@x>");
    WriteDbx(dir / "Store.dbx", {evil, evil});
    std::ostringstream out, err;
    const int status = RunCli({"duplicates", dir / "Store.dbx"}, out, err, TTerminals{true, true});
    ASSERT_EQ(status, 0) << err.str();
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(out.str().find('\x07'), std::string::npos);
    EXPECT_NE(out.str().find("Evil"), std::string::npos);
}

TEST(CliCheck, ExitStatusFollowsTheVerdicts) {
    TTempDir dir;
    std::vector<ts::TStoreMessage> messages;
    for (int i = 0; i < 6; ++i) messages.push_back(Message("M " + std::to_string(i), "<" + std::to_string(i) + "@y>"));
    WriteDbx(dir / "Sound.dbx", messages);
    ts::TDbxOptions promised;
    promised.HeaderCount = 9;
    WriteDbx(dir / "Promised.dbx", messages, promised);
    struct TCase {
        std::string Path;
        int Status;
        std::string Verdict;
    };
    const TCase cases[] = {
        {dir / "Sound.dbx", 0, "Sound.dbx: healthy"},
        {dir / "Promised.dbx", 1, "Promised.dbx: damaged index: 6 of 9 messages reachable"},
        {dir / "Absent.dbx", 1, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        const test::TCliRun run = RunTool({"check", c.Path});
        EXPECT_EQ(run.status, c.Status) << run.err;
        if (!c.Verdict.empty()) EXPECT_NE(run.out.find("  " + c.Verdict), std::string::npos) << run.out;
        const test::TCliRun json = RunTool({"check", c.Path, "--json"});
        EXPECT_EQ(json.status, c.Status);
        if (!c.Verdict.empty())
            EXPECT_NE(json.out.find(c.Status == 0 ? "\"Healthy\": true" : "\"Healthy\": false"), std::string::npos);
    }
}

TEST(CliCheck, StoreFolderReportTellsStraysAndCopies) {
    TCopiedFolder folder;
    const test::TCliRun run = RunTool({"check", folder.Dir.Path()});
    EXPECT_EQ(run.status, 1);  // a stray backup and copies: worth a look
    EXPECT_NE(run.out.find("not listed: Inbox(1).dbx (a copy of Inbox.dbx?)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("duplicate groups: 4"), std::string::npos) << run.out;
    for (const char* verdict : {"Root/Inbox: healthy", "Root/Sent: healthy", "Inbox(1): healthy"})
        EXPECT_NE(run.out.find(verdict), std::string::npos) << verdict;
}

TEST(CliCheck, CorpusStoresGetAVerdict) {
    size_t seen = 0;
    for (const char* store : {"dbx/mtdbx_test.dbx", "dbx/dbxconvert_test.dbx", "dbx/iped_test_OutlookDBX.dbx"}) {
        if (!test::CorpusHas(store)) continue;
        ++seen;
        const test::TCliRun run = RunTool({"check", test::CorpusPath(store)});
        EXPECT_TRUE(run.status == 0 || run.status == 1) << store;
        EXPECT_NE(run.out.find("verdict: "), std::string::npos) << store;
        // The scan finds at least what the index reaches.
        const test::TCliRun list = RunTool({"list", test::CorpusPath(store)});
        if (list.status == 0) {
            const auto listed = std::count(list.out.begin(), list.out.end(), '\n');
            EXPECT_NE(run.out.find("reached through the index: " + std::to_string(listed)), std::string::npos) << store;
        }
    }
    if (seen == 0) GTEST_SKIP() << "corpus not present";
}

}  // namespace
}  // namespace brindle
