// Store commands on folder files made with the test-only writer: text conversion, list rows,
// export names and bytes, address gathering, errors.
#include "CliTestSupport.h"
#include "StoreWriter.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

ts::TStoreMessage Message(std::string subject, std::string body = "Body.\r\n") {
    ts::TStoreMessage m;
    m.Subject = subject;
    m.Text = ts::MessageText({"From: someone@example.org", "Subject: " + subject}, body);
    return m;
}

std::string WriteDbx(const TTempDir& dir, const std::vector<ts::TStoreMessage>& messages,
                     const std::string& name = "Store.dbx", ts::TDbxOptions options = {}) {
    std::string path = dir / name;
    test::WriteFile(path, ts::BuildDbx(messages, options));
    return path;
}

std::string WriteMbx(const TTempDir& dir, const std::vector<ts::TStoreMessage>& messages, ts::TMbxOptions options = {},
                     const std::string& base = "Old") {
    ts::TMbxImages images = ts::BuildMbx(messages, options);
    test::WriteFile(dir / (base + ".mbx"), images.Mbx);
    if (options.WriteIndex) test::WriteFile(dir / (base + ".idx"), images.Idx);
    return dir / (base + ".mbx");
}

std::vector<std::string> Cells(const std::string& row) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (size_t tab; (tab = row.find('\t', start)) != std::string::npos; start = tab + 1)
        cells.push_back(row.substr(start, tab - start));
    cells.push_back(row.substr(start));
    return cells;
}

std::vector<std::string> Rows(const std::string& out) {
    std::vector<std::string> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    return rows;
}

TEST(CliStore, ListConvertsWindows1252SummariesToUtf8) {
    TTempDir dir;
    ts::TStoreMessage cp1252 = Message("Caf\xE9 \x80 5");
    cp1252.SenderName = "J\xFCrgen";
    cp1252.Received = ts::FileTimeOf(2003, 5, 17, 8, 30, 15);
    ts::TStoreMessage utf8 = Message(
        "Gr\xC3\xBC\xC3\x9F"
        "e");
    utf8.SenderAddress = "only@address.example";
    ts::TStoreMessage tabbed = Message("one\ttwo\x01three");
    tabbed.Flags = 0x4020;
    tabbed.Priority = 5;
    std::string store = WriteDbx(dir, {cp1252, utf8, tabbed});

    auto run = RunTool({"list", store});
    ASSERT_EQ(run.status, 0) << run.err;
    auto rows = Rows(run.out);
    ASSERT_EQ(rows.size(), 3u);
    auto first = Cells(rows[0]);
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first[0], "0");
    EXPECT_EQ(first[1], "00000080");
    EXPECT_EQ(first[2], "2003-05-17T08:30:15Z");
    EXPECT_EQ(first[4], "J\xC3\xBCrgen");
    EXPECT_EQ(first[5], "Caf\xC3\xA9 \xE2\x82\xAC 5");
    auto second = Cells(rows[1]);
    EXPECT_EQ(second[4], "only@address.example");  // no sender name: the address
    EXPECT_EQ(second[5],
              "Gr\xC3\xBC\xC3\x9F"
              "e");  // valid UTF-8 stays
    auto third = Cells(rows[2]);
    ASSERT_EQ(third.size(), 6u);
    EXPECT_EQ(third[1], "00004020");
    EXPECT_EQ(third[5], "one two three");

    auto json = RunTool({"list", store, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(IsValidUtf8(json.out));
    EXPECT_NE(json.out.find("\"Subject\": \"Caf\xC3\xA9 \xE2\x82\xAC 5\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"SenderName\": \"J\xC3\xBCrgen\""), std::string::npos);
    EXPECT_NE(json.out.find("\"Subject\": \"one\\ttwo\\u0001three\""), std::string::npos);
    EXPECT_NE(json.out.find("\"Priority\": 5"), std::string::npos);
    EXPECT_NE(json.out.find("\"Flags\": 16416"), std::string::npos);
}

TEST(CliStore, VersionFourFolderWithAndWithoutIndex) {
    TTempDir dir;
    ts::TStoreMessage m = Message("Hello");
    m.Text = ts::MessageText({"From: Ann Lee <ann@example.org>", "Subject: Hello", "Date: Mon, 1 Jan 2001 10:00:00"},
                             "Hi.\r\n");
    m.SenderAddress = "ann@example.org";
    m.Received = ts::FileTimeOf(2001, 1, 1, 9, 0, 0);
    std::string withIndex = WriteMbx(dir, {m, m}, {}, "My.Old.Inbox");
    auto info = RunTool({"info", withIndex});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "Kind: 1\nFolder: My.Old.Inbox\nCount: 2\n");
    auto list = RunTool({"list", withIndex});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(Cells(Rows(list.out)[1])[2], "2001-01-01T09:00:00Z");
    EXPECT_EQ(Cells(Rows(list.out)[1])[4], "ann@example.org");

    ts::TMbxOptions noIndex;
    noIndex.WriteIndex = false;
    std::string bare = WriteMbx(dir, {m}, noIndex, "Bare");
    list = RunTool({"list", bare});
    ASSERT_EQ(list.status, 0) << list.err;
    auto cells = Cells(Rows(list.out)[0]);
    EXPECT_EQ(cells[1], "00000080");
    EXPECT_EQ(cells[2], " Mon, 1 Jan 2001 10:00:00");  // the Date line as stored, blank included
    EXPECT_EQ(cells[4], " Ann Lee <ann@example.org>");
    EXPECT_EQ(cells[5], " Hello");

    auto text = RunTool({"text", bare, "0"});
    EXPECT_EQ(text.out, m.Text);
    auto header = RunTool({"header", bare, "0"});
    EXPECT_EQ(header.out, m.Text.substr(0, m.Text.find("\r\n\r\n") + 1));
    auto outside = RunTool({"header", bare, "1"});
    EXPECT_EQ(outside.status, 1);
    EXPECT_EQ(outside.err, "brindle-cli: Message index 1 is out of range (the store holds 1 message).\n");
}

TEST(CliStore, KindComesFromTheFirstBytesNotTheExtension) {
    TTempDir dir;
    std::string dbxAsMbx = WriteDbx(dir, {Message("a")}, "Looks.mbx");
    std::string mbxAsDbx = dir / "Looks.dbx";
    test::WriteFile(mbxAsDbx, ts::BuildMbx({Message("b")}).Mbx);
    EXPECT_TRUE(RunTool({"info", dbxAsMbx}).out.starts_with("Kind: 2\n"));
    EXPECT_TRUE(RunTool({"info", mbxAsDbx}).out.starts_with("Kind: 1\n"));
}

TEST(CliStore, ReaderErrorsEndWithStatusOne) {
    TTempDir dir;
    struct Case {
        ts::TDbxDamageKind damage;
        const char* message;
        bool headerReadable;  // info still tells kind, folder and count
    };
    const Case cases[] = {
        {ts::TDbxDamageKind::SecondMagic, "File is not an Outlook Express 5 Message Database.", false},
        {ts::TDbxDamageKind::NodeParent, "Wrong parent.", true},
        {ts::TDbxDamageKind::InfoMarker, "Wrong object marker.", true},
    };
    for (const auto& c : cases) {
        ts::TDbxOptions options;
        options.Damage = {{c.damage, 0}};
        std::string store = WriteDbx(dir, {Message("x")}, "Damaged.dbx", options);
        for (const char* command : {"info", "list", "addresses"}) {
            auto run = RunTool({command, store});
            if (command == std::string("info") && c.headerReadable) {
                EXPECT_EQ(run.status, 0) << c.message;
                EXPECT_NE(run.out.find("Count: 1\n"), std::string::npos) << run.out;
                EXPECT_EQ(run.err, "");
                auto verbose = RunTool({command, store, "--verbose"});
                EXPECT_TRUE(verbose.err.starts_with("brindle-cli: warning: " + std::string(c.message) + " ("))
                    << verbose.err;
                continue;
            }
            EXPECT_EQ(run.status, 1) << command;
            EXPECT_EQ(run.err, "brindle-cli: " + std::string(c.message) + "\n") << command;
            auto verbose = RunTool({command, store, "--verbose"});
            if (c.headerReadable) {
                EXPECT_NE(verbose.err.find("\nbrindle-cli: ("), std::string::npos) << verbose.err;
            }
        }
    }
    ts::TMbxOptions empty;
    empty.HeaderCount = 0;
    auto run = RunTool({"list", WriteMbx(dir, {Message("x")}, empty)});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "brindle-cli: File does not contain any message.\n");
}

TEST(CliStore, ExportNamesFollowTheSavedMessageRule) {
    TTempDir dir;
    std::vector<ts::TStoreMessage> messages;
    for (int i = 0; i < 13; ++i) messages.push_back(Message("m" + std::to_string(i)));
    messages[7] = Message("");
    messages[12] = Message("Re: Hello?");
    messages[3] = Message("a<b>|c\td");
    std::string twoByte;
    for (int i = 0; i < 200; ++i) twoByte += "\xC3\xA9";  // 400 bytes of UTF-8
    messages[4] = Message(twoByte);
    std::string threeByte;
    for (int i = 0; i < 134; ++i) threeByte += "\xE2\x82\xAC";  // 402 bytes
    messages[5] = Message(threeByte);
    std::string store = WriteDbx(dir, messages);
    std::string out = dir / "out";
    std::filesystem::create_directory(out);

    auto run = RunTool({"export", store, out, "--index", "12,7,3,4,5"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto files = test::FilesIn(out);
    ASSERT_EQ(files.size(), 5u);
    // Indexes are padded to four digits at least, so that the names sort.
    EXPECT_TRUE(files.count("0012_Re  Hello .eml"));
    EXPECT_TRUE(files.count("0007_.eml"));
    EXPECT_TRUE(files.count("0003_a<b>|c d.eml"));  // a control character becomes a space
    for (const auto& [name, content] : files) {
        EXPECT_LE(name.size(), 255u) << name;
        EXPECT_TRUE(IsValidUtf8(name)) << name;
        EXPECT_TRUE(name.ends_with(".eml"));
    }
    auto longName = std::find_if(files.begin(), files.end(), [](auto& f) { return f.first.starts_with("0004_"); });
    ASSERT_NE(longName, files.end());
    std::string e123;
    for (int i = 0; i < 123; ++i) e123 += "\xC3\xA9";
    // The stored subject is cut at 255 bytes inside an "é", the name at 255 bytes after the
    // "é" that does not fit; it still reads as UTF-8.
    EXPECT_EQ(longName->first, "0004_" + e123 + ".eml");
    auto euroName = std::find_if(files.begin(), files.end(), [](auto& f) { return f.first.starts_with("0005_"); });
    ASSERT_NE(euroName, files.end());
    EXPECT_EQ(euroName->first.size(), 5u + 82 * 3 + 4);
}

TEST(CliStore, ExportEndsEveryLineWithCrLf) {
    TTempDir dir;
    ts::TStoreMessage m;
    m.Subject = "ends";
    m.Text = "Subject: ends\r\nX: lone LF\nY: lone CR\r\r\nbody without line end";
    std::string store = WriteDbx(dir, {m, Message("second")});
    std::string stale = dir / "0000_ends.eml";
    test::WriteFile(stale, std::string(5000, 'x'));

    auto run = RunTool({"export", store, dir.Path() + "/"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::ReadFile(stale), std::string(5000, 'x'));  // never replaced: the next free name instead
    EXPECT_EQ(test::ReadFile(dir / "0000_ends (2).eml"),
              "Subject: ends\r\nX: lone LF\r\nY: lone CR\r\n\r\nbody without line end\r\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "0001_second.eml"));
    EXPECT_EQ(run.out, "Exported 2 messages, 0 errors.\n");

    // A folder that is not there is made, one level only.
    auto made = RunTool({"export", store, dir / "absent"});
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "absent/0001_second.eml"));
    auto failed = RunTool({"export", store, dir / "missing/deeper"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "brindle-cli: Cannot create file " + (dir / "missing/deeper") + "\n");
}

TEST(CliStore, AddressesAreUpperCasedSortedAndUnique) {
    TTempDir dir;
    auto withPeople = [](std::string sender, std::string senderAddress, std::string receiver,
                         std::string receiverAddress) {
        ts::TStoreMessage m = Message("x");
        m.SenderName = sender;
        m.SenderAddress = senderAddress;
        m.ReceiverName = receiver;
        m.ReceiverAddress = receiverAddress;
        return m;
    };
    std::string store = WriteDbx(dir, {
                                          withPeople("Zoe", "zoe@x.example", "Me", "me@x.example"),
                                          withPeople("zoe", "ZOE@X.EXAMPLE", "me", "Me@x.example"),
                                          withPeople("", "", "Andr\xE9", "andre@x.example"),
                                          withPeople("Bob", "bob@x.example", "Me", "me@x.example"),
                                      });
    auto run = RunTool({"addresses", store});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              " = \n"
              "ANDR\xC3\xA9 = ANDRE@X.EXAMPLE\n"
              "BOB = BOB@X.EXAMPLE\n"
              "ME = ME@X.EXAMPLE\n"
              "ZOE = ZOE@X.EXAMPLE\n");
}

}  // namespace
}  // namespace brindle
