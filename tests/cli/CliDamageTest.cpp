// brindle-cli over crafted damage: every message the file still holds comes out of every
// command, and what cannot be read is named on standard error with exit status 1.
#include "Base64Encode.h"
#include "CliTestSupport.h"
#include "StoreWriter.h"
#include "store/DBXLayout.h"
#include "store/MBXLayout.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

void Put32(std::string& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

size_t LinesOf(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

std::vector<ts::TStoreMessage> Messages(int count) {
    std::vector<ts::TStoreMessage> messages;
    for (int i = 0; i < count; ++i) {
        ts::TStoreMessage m;
        const std::string n = std::to_string(i);
        m.Subject = "Message " + n;
        m.SenderName = "Ann";
        m.SenderAddress = "ann@example.org";
        std::string body;
        for (int k = 0; k < 40; ++k) body += "Line " + std::to_string(k) + " of message " + n + " keyword\r\n";
        m.Text = ts::MessageText({"From: Ann <ann@example.org>", "Subject: Message " + n}, body);
        messages.push_back(m);
    }
    return messages;
}

// ---- a NUL in an .eml text part ----------------------------------------------------------------

TEST(CliDamage, ANulInATextPartHidesNoAttachment) {
    TTempDir dir;
    const std::string pdf = "%PDF-1.4 binary\x01\xFF";
    using namespace std::string_literals;
    const std::string eml = "From: a@example.org\r\nSubject: report\r\n"
                            "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                            "--b\r\nContent-Type: text/plain\r\n\r\nbefore\0after\r\n"s +
                            "--b\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\n" +
                            ts::Base64Encode(pdf) + "\r\n--b--\r\n";
    test::WriteFile(dir / "m.eml", eml);
    const test::TCliRun show = RunTool({"show", dir / "m.eml"});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("report.pdf"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("beforeafter"), std::string::npos) << show.out;
    std::filesystem::create_directory(dir / "out");
    const test::TCliRun saved = RunTool({"attachments", dir / "m.eml", dir / "out"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(test::ReadFile(dir / "out/report.pdf"), pdf);
    const test::TCliRun found = RunTool({"search", dir / "m.eml", "report.pdf"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(LinesOf(found.out), 1u) << found.out;
}

// ---- a header count of 0 -----------------------------------------------------------------------

TEST(CliDamage, ACountOfZeroOverAnIntactIndexHidesNothing) {
    TTempDir dir;
    const auto messages = Messages(5);
    ts::TDbxOptions options;
    options.HeaderCount = 0;
    std::filesystem::create_directory(dir / "store");
    const std::string store = dir / "store/Inbox.dbx";
    test::WriteFile(store, ts::BuildDbx(messages, options));
    const test::TCliRun list = RunTool({"list", store});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(LinesOf(list.out), 5u);
    const test::TCliRun search = RunTool({"search", store, "keyword"});
    EXPECT_EQ(LinesOf(search.out), 5u) << search.err;
    std::filesystem::create_directory(dir / "out");
    const test::TCliRun exported = RunTool({"export", store, dir / "out", "--format", "mbox"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("5 messages, 0 errors"), std::string::npos) << exported.out;
    const test::TCliRun folders = RunTool({"folders", dir / "store"});
    EXPECT_NE(folders.out.find("Inbox (5 messages)"), std::string::npos) << folders.out;
}

// ---- a looping chain ---------------------------------------------------------------------------

TEST(CliDamage, ALoopingChainHurtsOnlyItsMessage) {
    TTempDir dir;
    const auto messages = Messages(4);
    ts::TDbxOptions options;
    options.Damage.push_back({ts::TDbxDamageKind::ChainCycle, 1});
    const std::string store = dir / "Inbox.dbx";
    test::WriteFile(store, ts::BuildDbx(messages, options));
    const test::TCliRun list = RunTool({"list", store});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(LinesOf(list.out), 4u);
    for (const char* index : {"0", "2", "3"}) {
        const test::TCliRun text = RunTool({"text", store, index});
        EXPECT_EQ(text.status, 0) << index << text.err;
        EXPECT_EQ(text.out, messages[std::stoi(index)].Text) << index;
        EXPECT_EQ(RunTool({"show", store, index}).status, 0) << index;
    }
    EXPECT_EQ(RunTool({"addresses", store}).status, 0);
    std::filesystem::create_directory(dir / "out");
    const test::TCliRun exported = RunTool({"export", store, dir / "out"});
    // The looping message is named; the others are written.
    EXPECT_EQ(exported.status, 1);
    EXPECT_EQ(test::FilesIn(dir / "out").size(), 3u);
}

// ---- record lengths of a version 4 folder ------------------------------------------------------

TEST(CliDamage, ARecordLengthIntoALaterRecordHidesNoMessage) {
    TTempDir dir;
    const auto messages = Messages(8);
    ts::TMbxWriter writer(dir / "Inbox.mbx");
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    std::string mbx = test::ReadFile(dir / "Inbox.mbx");
    const auto& records = writer.Layout().Records;
    Put32(mbx, records[1] + mbx::kRecordLength, static_cast<uint32_t>(records[6] + 40 - records[1]));
    test::WriteFile(dir / "Inbox.mbx", mbx);
    std::filesystem::create_directory(dir / "rec");
    const test::TCliRun recover = RunTool({"recover", dir / "Inbox.mbx", dir / "rec"});
    EXPECT_EQ(recover.status, 0) << recover.err;
    EXPECT_EQ(test::FilesIn(dir / "rec").size(), 8u) << recover.out;
    std::filesystem::create_directory(dir / "out");
    const test::TCliRun exported = RunTool({"export", dir / "Inbox.mbx", dir / "out", "--format", "mbox"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("8 messages, 0 errors"), std::string::npos) << exported.out;
}

// ---- search over what cannot be read -----------------------------------------------------------

TEST(CliDamage, SearchFallsBackToTheScanAndNamesWhatItSkips) {
    TTempDir dir;
    std::filesystem::create_directory(dir / "store");
    ts::TDbxOptions broken;
    broken.Damage.push_back({ts::TDbxDamageKind::NodeMarker, 0});  // the index cannot be read
    test::WriteFile(dir / "store/Broken.dbx", ts::BuildDbx(Messages(3), broken));
    test::WriteFile(dir / "store/Junk.dbx", std::string("\xCF\xAD\x12\xFE", 4) + std::string(40, 'x'));
    const test::TCliRun run = RunTool({"search", dir / "store", "keyword"});
    EXPECT_EQ(LinesOf(run.out), 3u) << run.out << run.err;
    EXPECT_NE(run.err.find("Junk.dbx"), std::string::npos) << run.err;
    EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// ---- output that reaches a terminal ------------------------------------------------------------

test::TCliRun RunOnTerminal(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err, {true, true});
    return {status, out.str(), err.str()};
}

const std::string kEscape = "\x1b[2J";
const std::string kRightToLeft = "\xE2\x80\xAE";  // U+202E

// A store whose subjects, senders and bodies hold an escape sequence and a bidi control.
std::string WriteHostileStore(const TTempDir& dir) {
    ts::TStoreMessage m;
    m.Subject = "evil" + kEscape + "gpj." + kRightToLeft + "exe";
    m.SenderName = "Mal" + kRightToLeft + "lory";
    m.SenderAddress = "m@example.org";
    m.Text = ts::MessageText({"From: Mal" + kRightToLeft + "lory <m@example.org>",
                              "Subject: evil" + kEscape + "gpj." + kRightToLeft + "exe"},
                             "body " + kEscape + " and " + kRightToLeft + " keyword\r\n");
    std::filesystem::create_directory(dir / "store");
    const std::string path = dir / "store/Inbox.dbx";
    test::WriteFile(path, ts::BuildDbx({m}));
    return path;
}

TEST(CliTerminal, MessageTextReachesATerminalOnlyEscaped) {
    TTempDir dir;
    const std::string store = WriteHostileStore(dir);
    const std::vector<std::vector<std::string>> commands = {
        {"list", store}, {"scan", store}, {"search", store, "keyword"}, {"show", store, "0"}, {"folders", dir / "store"}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        const test::TCliRun run = RunOnTerminal(command);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(kRightToLeft), std::string::npos) << run.out;
        if (command[0] != "folders") EXPECT_NE(run.out.find("\\u202e"), std::string::npos) << run.out;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
    }
    const test::TCliRun show = RunOnTerminal({"show", store, "0"});
    EXPECT_NE(show.out.find("\\x1b[2J"), std::string::npos) << show.out;
}

TEST(CliTerminal, TextAndHeaderStayByteExactAndJsonEscapesAlways) {
    TTempDir dir;
    const std::string store = WriteHostileStore(dir);
    const test::TCliRun text = RunOnTerminal({"text", store, "0"});
    EXPECT_NE(text.out.find(kEscape), std::string::npos);
    const test::TCliRun header = RunOnTerminal({"header", store, "0"});
    EXPECT_NE(header.out.find(kRightToLeft), std::string::npos);
    for (auto run : {RunTool({"list", store, "--json"}), RunOnTerminal({"show", store, "0", "--json"})}) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(kRightToLeft), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\\u202e"), std::string::npos) << run.out;
    }
    // Not a terminal: the row carries the subject as it is.
    EXPECT_NE(RunTool({"list", store}).out.find(kRightToLeft), std::string::npos);
}

}  // namespace
}  // namespace brindle
