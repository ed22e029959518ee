// brindle-cli attachments --all over a store folder and a single store, and folders over a
// version 4 store folder with its tree file.
#include "Base64Encode.h"
#include "CliTestSupport.h"
#include "StoreWriter.h"
#include "TnefWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

namespace brindle {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

struct TPart {
    std::string Name;  // empty: a part without a file name
    std::string Type;
    std::string Bytes;
};

const uint64_t kReceived = ts::FileTimeOf(2004, 5, 6, 7, 8, 9);
int64_t ReceivedUnix() {
    struct tm parts {};
    parts.tm_year = 2004 - 1900;
    parts.tm_mon = 4;
    parts.tm_mday = 6;
    parts.tm_hour = 7;
    parts.tm_min = 8;
    parts.tm_sec = 9;
    return timegm(&parts);
}

ts::TStoreMessage MailWith(const std::string& subject, const std::vector<TPart>& parts) {
    std::string body = "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n";
    for (const TPart& part : parts) {
        body += "--b\r\nContent-Type: " + part.Type + "\r\nContent-Transfer-Encoding: base64\r\n";
        if (!part.Name.empty()) body += "Content-Disposition: attachment; filename=\"" + part.Name + "\"\r\n";
        body += "\r\n" + ts::Base64Lines(part.Bytes, "\r\n");
    }
    body += "--b--\r\n";
    ts::TStoreMessage m;
    m.Subject = subject;
    m.Received = kReceived;
    m.Text = ts::MessageText({"From: a@example.org", "Subject: " + subject, "MIME-Version: 1.0",
                              "Content-Type: multipart/mixed; boundary=\"b\""},
                             body);
    return m;
}

void WriteStore(const std::string& path, const std::vector<ts::TStoreMessage>& messages) {
    ts::TDbxWriter writer(path);
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
}

constexpr char kPdfBytes[] = "%PDF-1.4\0\x01\x02 binary";
const TPart kReport{"report.pdf", "application/pdf", std::string(kPdfBytes, sizeof kPdfBytes - 1)};
const TPart kOtherReport{"report.pdf", "application/pdf", "%PDF-1.4 another one"};
const TPart kUnnamed{"", "image/png", "\x89PNG not really"};
const TPart kNotes{"notes.txt", "application/octet-stream", "line one\r\nline two"};

void WriteFolder(const TTempDir& dir) {
    ts::WriteFolderList(dir / "Folders.dbx", {
                                                 {0, 0xFFFFFFFF, "Top", ""},
                                                 {1, 0, "Local Folders", ""},
                                                 {2, 1, "Inbox", "Inbox.dbx", 0, 2, 1, 1},
                                                 {3, 2, "Caf\xE9", "Cafe.dbx"},
                                             });
    WriteStore(dir / "Inbox.dbx", {MailWith("one", {kReport}), MailWith("plain", {}),
                                   MailWith("two", {kOtherReport, kUnnamed})});
    WriteStore(dir / "Cafe.dbx", {MailWith("three", {kNotes})});
}

int64_t ModifiedTime(const fs::path& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return -1;
    return info.st_mtime;
}

TEST(CliAttachments, AllSavesEveryAttachmentInAFolderPerStoreFolder) {
    TTempDir dir;
    WriteFolder(dir);
    const fs::path out = fs::path(dir.Path()) / "out";
    const auto run = RunTool({"attachments", dir.Path(), out.string(), "--all"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::map<std::string, std::string> expectedInbox = {
        {"report.pdf", kReport.Bytes}, {"report (2).pdf", kOtherReport.Bytes}, {"attachment-2.png", kUnnamed.Bytes}};
    EXPECT_EQ(test::FilesIn((out / "Inbox").string()), expectedInbox);
    const std::map<std::string, std::string> expectedCafe = {{"notes.txt", kNotes.Bytes}};
    EXPECT_EQ(test::FilesIn((out / "Inbox" / "Caf\xC3\xA9").string()), expectedCafe);
    EXPECT_EQ(ModifiedTime(out / "Inbox" / "report.pdf"), ReceivedUnix());
    EXPECT_NE(run.out.find("Saved 4 attachments"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("of 3 messages in 2 folders (4 messages read), 0 errors"), std::string::npos) << run.out;
}

TEST(CliAttachments, AllOverOneStoreAndWhatCannotBeSaved) {
    struct TCase {
        std::string What;
        bool Damaged;  // a listed store that holds no readable message
        int Status;
        std::string Summary;
    };
    const size_t inboxBytes = kReport.Bytes.size() + kOtherReport.Bytes.size() + kUnnamed.Bytes.size();
    const std::vector<TCase> cases = {
        {"whole", false, 0,
         "Saved 4 attachments (" + std::to_string(inboxBytes + kNotes.Bytes.size()) +
             " bytes) of 3 messages in 2 folders (4 messages read), 0 errors."},
        {"one store unreadable", true, 1,
         "Saved 3 attachments (" + std::to_string(inboxBytes) +
             " bytes) of 2 messages in 2 folders (3 messages read), 1 error."},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        WriteFolder(dir);
        if (c.Damaged) test::WriteFile(dir / "Cafe.dbx", std::string(4096, '\x5A'));
        const auto run = RunTool({"attachments", dir.Path(), dir / "out", "--all"});
        EXPECT_EQ(run.status, c.Status) << c.What << run.err;
        EXPECT_NE(run.out.find(c.Summary), std::string::npos) << c.What << ": " << run.out;
        if (c.Damaged) {
            EXPECT_NE(run.err.find("Caf"), std::string::npos) << run.err;
        }
    }
    TTempDir one;
    WriteStore(one / "Mail.dbx", {MailWith("one", {kReport, kNotes})});
    const auto run = RunTool({"attachments", one / "Mail.dbx", one / "out", "--all"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::map<std::string, std::string> expected = {{"report.pdf", kReport.Bytes}, {"notes.txt", kNotes.Bytes}};
    EXPECT_EQ(test::FilesIn((fs::path(one.Path()) / "out" / "Mail").string()), expected);
}

TEST(CliAttachments, UsageOfAll) {
    TTempDir dir;
    WriteFolder(dir);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"attachments", dir / "Inbox.dbx", "0", dir / "out", "--all"},
             {"attachments", dir / "Inbox.dbx", "", "--all"},
             {"attachments", dir / "Inbox.dbx", "0", dir.Path(), "--codepage", "1251"},
         })
        EXPECT_EQ(RunTool(args).status, 2) << args[2];
}

std::string TnefMail(const std::string& tnef) {
    return ts::MessageText({"From: a@example.org", "Subject: t", "MIME-Version: 1.0",
                            "Content-Type: multipart/mixed; boundary=\"b\""},
                           "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n--b\r\n"
                           "Content-Type: application/ms-tnef; name=\"winmail.dat\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" +
                               ts::Base64Lines(tnef, "\r\n") + "--b--\r\n");
}

// show lists what a TNEF attachment carries after it, attachments and --all save it beside it;
// a damaged one is saved as it is, with a warning.
TEST(CliAttachments, TnefContentIsShownAndSaved) {
    TTempDir dir;
    const ts::TTnefDate date{2010, 2, 3, 4, 5, 6};
    const std::string tnef = ts::BuildTnef({{"plan.txt", "the plan", date, std::nullopt}});
    test::WriteFile(dir / "good.eml", TnefMail(tnef));
    test::WriteFile(dir / "bad.eml", TnefMail(tnef.substr(0, tnef.size() - 3)));
    const auto shown = RunTool({"show", dir / "good.eml"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("  plan.txt\ttext/plain\t8 bytes\tfrom winmail.dat\n"), std::string::npos) << shown.out;
    const auto json = RunTool({"show", dir / "good.eml", "--json"});
    EXPECT_NE(json.out.find("\"Container\": \"winmail.dat\""), std::string::npos) << json.out;
    fs::create_directory(dir / "saved");
    const auto saved = RunTool({"attachments", dir / "good.eml", dir / "saved"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::map<std::string, std::string> expected = {{"winmail.dat", tnef}, {"plan.txt", "the plan"}};
    EXPECT_EQ(test::FilesIn(dir / "saved"), expected);
    struct tm parts {};
    parts.tm_year = 110;
    parts.tm_mon = 1;
    parts.tm_mday = 3;
    parts.tm_hour = 4;
    parts.tm_min = 5;
    parts.tm_sec = 6;
    fs::create_directory(dir / "bad");
    const auto bad = RunTool({"attachments", dir / "bad.eml", dir / "bad"});
    EXPECT_EQ(bad.status, 0) << bad.err;
    EXPECT_NE(bad.err.find("warning: winmail.dat"), std::string::npos) << bad.err;
    EXPECT_EQ(test::FilesIn(dir / "bad").size(), 1u);

    TTempDir store;
    ts::TStoreMessage m;
    m.Received = kReceived;
    m.Text = TnefMail(tnef);
    WriteStore(store / "Mail.dbx", {m});
    const auto all = RunTool({"attachments", store / "Mail.dbx", store / "out", "--all"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(ModifiedTime(fs::path(store.Path()) / "out" / "Mail" / "plan.txt"), timegm(&parts));
    EXPECT_EQ(ModifiedTime(fs::path(store.Path()) / "out" / "Mail" / "winmail.dat"), ReceivedUnix());
}

std::string SplitPart(uint32_t number, std::optional<uint32_t> total, const std::string& body) {
    std::string type = "Content-Type: message/partial; id=\"big@x\"; number=" + std::to_string(number);
    if (total) type += "; total=" + std::to_string(*total);
    return ts::MessageText({"From: a@example.org", "Subject: part " + std::to_string(number), type}, body);
}

// show gives the whole of a split message when every part is in the store or beside it, and
// names the missing parts otherwise.
TEST(CliShow, SplitMessageIsShownWholeOrItsMissingPartsNamed) {
    const std::string first = SplitPart(1, std::nullopt, "Subject: whole\r\nContent-Type: text/plain\r\n\r\nalpha\r\n");
    const std::string second = SplitPart(2, std::nullopt, "beta\r\n");
    const std::string last = SplitPart(3, 3, "gamma\r\n");
    auto store = [](std::vector<std::string> texts) {
        std::vector<ts::TStoreMessage> messages;
        for (std::string& text : texts) {
            messages.emplace_back();
            messages.back().Text = std::move(text);
        }
        return messages;
    };
    TTempDir dir;
    WriteStore(dir / "Inbox.dbx", store({first, last}));
    const auto lone = RunTool({"show", dir / "Inbox.dbx", "1"});
    ASSERT_EQ(lone.status, 0) << lone.err;
    EXPECT_NE(lone.out.find("part 3 of 3; missing: parts 2.\n"), std::string::npos) << lone.out;
    EXPECT_NE(lone.out.find("Subject: part 3"), std::string::npos) << lone.out;
    test::WriteFile(dir / "second.eml", second);
    const auto whole = RunTool({"show", dir / "Inbox.dbx", "0"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_NE(whole.out.find("all parts found, shown reassembled"), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("Subject: whole\n"), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("alpha\nbeta\ngamma\n"), std::string::npos) << whole.out;
    const auto json = RunTool({"show", dir / "second.eml", "--json"});
    EXPECT_NE(json.out.find("\"Reassembled\": true"), std::string::npos) << json.out;
}

TEST(CliFolders, Version4TreeFileNestsTheFolders) {
    TTempDir dir;
    ts::WriteNchTree(dir / "FOLDERS.NCH", {{1, 0, "Inbox", "Inbox", 0, {}, {}}, {2, 1, "Work", "Work.mbx", 0, {}, {}}});
    for (const char* name : {"Inbox.mbx", "Work.mbx"}) {
        ts::TMbxWriter writer(dir / name);
        writer.Add(MailWith("x", {kNotes}));
        writer.Finish();
    }
    const auto run = RunTool({"folders", dir.Path()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Inbox (1 message)\n  Work (1 message)\n");
    const auto saved = RunTool({"attachments", dir.Path(), dir / "out", "--all"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(test::FilesIn((fs::path(dir.Path()) / "out" / "Inbox" / "Work").string()).count("notes.txt"), 1u);
}

}  // namespace
}  // namespace brindle
