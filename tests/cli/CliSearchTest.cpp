// brindle-cli search: rows, JSON keys and values, store folders, usage.
#include "CliTestSupport.h"
#include "StoreWriter.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

ts::TStoreMessage Message(const std::string& subject, const std::string& senderName, const std::string& body) {
    ts::TStoreMessage m;
    m.Subject = subject;
    m.SenderName = senderName;
    m.SenderAddress = "someone@example.org";
    m.Text = ts::MessageText({"From: someone@example.org", "Subject: " + subject}, body);
    return m;
}

std::string WriteStore(const TTempDir& dir, const std::string& name, const std::vector<ts::TStoreMessage>& messages) {
    const std::string path = dir / name;
    test::WriteFile(path, ts::BuildDbx(messages));
    return path;
}

TEST(CliSearch, RowsNameFileIndexSenderAndSubject) {
    TTempDir dir;
    const std::string path =
        WriteStore(dir, "Inbox.dbx",
                   {Message("first", "Ann", "nothing here\r\n"), Message("second", "Bob", "Große Straße 5\r\n"),
                    Message("third", "", "x\r\n")});
    const test::TCliRun run = RunTool({"search", path, "STRASSE"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, path + "\t1\tBob\tsecond\t\n");
    const test::TCliRun none = RunTool({"search", path, "absent"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
}

// The member "key": value of the first object that has it, as written.
std::string Member(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return "(missing)";
    const size_t end = json.find_first_of(",\n", at);
    return json.substr(at, end - at);
}

TEST(CliSearch, JsonHoldsTheKeysOfListJson) {
    TTempDir dir;
    ts::TStoreMessage hit = Message("Été", "Zoé", "body\r\n");
    hit.Received = 132539328000000000ull;  // 2021-01-01T00:00:00Z
    hit.Index = 7;                         // the stored number; hits give the position
    const std::string path = WriteStore(dir, "Inbox.dbx", {Message("other", "A", "x\r\n"), hit});
    const test::TCliRun search = RunTool({"search", path, "ÉTÉ", "--json"});
    ASSERT_EQ(search.status, 0) << search.err;
    const test::TCliRun list = RunTool({"list", path, "--json"});
    const std::string listed = list.out.substr(list.out.find("\"Index\": 7"));
    for (const std::string key : {"Subject", "SenderName", "SenderAddress", "Received"})
        EXPECT_EQ(Member(search.out, key), Member(listed, key)) << key;
    EXPECT_EQ(Member(search.out, "Index"), "\"Index\": 1");
    EXPECT_EQ(Member(search.out, "File"), "\"File\": \"" + path + "\"");
    EXPECT_EQ(search.out.find('['), 0u);
    const std::string empty = RunTool({"search", path, "absent", "--json"}).out;
    EXPECT_EQ(empty.substr(0, 1), "[");
    EXPECT_EQ(empty.find('{'), std::string::npos);
}

TEST(CliSearch, StoreFolderAndUsage) {
    TTempDir dir;
    WriteStore(dir, "Inbox.dbx", {Message("needle one", "A", "x\r\n")});
    WriteStore(dir, "Sent Items.dbx", {Message("hay", "B", "x\r\n"), Message("two", "C", "a NEEDLE\r\n")});
    const test::TCliRun run = RunTool({"search", dir.Path(), "needle"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Inbox.dbx\t0\tA\tneedle one"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Sent Items.dbx\t1\tC\ttwo"), std::string::npos) << run.out;
    EXPECT_EQ(RunTool({"search", dir.Path()}).status, 2);
    EXPECT_EQ(RunTool({"search", dir.Path(), ""}).status, 2);
    EXPECT_EQ(RunTool({"search", dir / "missing.dbx", "x"}).status, 1);
}

}  // namespace
}  // namespace brindle
