// brindle-cli folders and export of a whole store folder.
#include "CliTestSupport.h"
#include "StoreWriter.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

ts::TStoreMessage Mail(const std::string& subject, uint32_t flags = 0x80) {
    ts::TStoreMessage m;
    m.Subject = subject;
    m.SenderAddress = "bob@example.org";
    m.Flags = flags;
    m.Received = ts::FileTimeOf(2004, 5, 6, 7, 8, 9);
    m.Text = ts::MessageText({"From: bob@example.org", "Subject: " + subject}, "From here on\r\nbody\r\n");
    return m;
}

void WriteStore(const std::string& path, const std::vector<ts::TStoreMessage>& messages, ts::TDbxOptions options = {}) {
    ts::TDbxWriter writer(path, std::move(options));
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
}

void WriteFolder(const TTempDir& dir) {
    ts::WriteFolderList(dir / "Folders.dbx", {
                                                 {0, 0xFFFFFFFF, "Top", ""},
                                                 {1, 0, "Inbox", "Inbox.dbx", 0, 2, 1, 1},
                                                 {2, 1, "Caf\xE9", "Caf\xE9.dbx"},
                                             });
    WriteStore(dir / "inbox.dbx", {Mail("one"), Mail("two", 0)});
    WriteStore(dir / "Caf\xC3\xA9.dbx", {Mail("three")});
}

TEST(CliFoldersTest, JsonAndTreeOfAStoreFolder) {
    TTempDir dir;
    WriteFolder(dir);
    const test::TCliRun json = RunTool({"folders", dir.Path(), "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const std::string expected[] = {
        "\"Id\": 0,\n    \"ParentId\": null,\n    \"Name\": \"Top\",\n    \"File\": null,\n    \"Count\": null",
        "\"Id\": 1,\n    \"ParentId\": 0,\n    \"Name\": \"Inbox\",\n    \"File\": \"inbox.dbx\",\n    \"Count\": 2,\n"
        "    \"Unread\": 1,\n    \"Special\": \"inbox\",\n    \"Depth\": 1",
        "\"Id\": 2,\n    \"ParentId\": 1,\n    \"Name\": \"Caf\xC3\xA9\",\n    \"File\": \"Caf\xC3\xA9.dbx\",\n"
        "    \"Count\": 1,\n    \"Unread\": 0,\n    \"Special\": null,\n    \"Depth\": 2",
    };
    size_t from = 0;
    for (const std::string& part : expected) {
        const size_t at = json.out.find(part, from);
        ASSERT_NE(at, std::string::npos) << part << "\nin\n" << json.out;
        from = at + part.size();
    }
    const test::TCliRun tree = RunTool({"folders", dir.Path()});
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out, "Top\n  Inbox (2 messages, 1 unread)\n    Caf\xC3\xA9 (1 message)\n");
}

TEST(CliFoldersTest, DamagedListIsWarnedAndTheFilesListed) {
    TTempDir dir;
    WriteFolder(dir);
    ts::WriteFolderList(dir / "FOLDERS.DBX", {{0, 0xFFFFFFFF, "Top", ""}},
                        ts::TDbxOptions{.Damage = {{ts::TDbxDamageKind::NodeMarker, 0}}});
    std::remove((dir / "Folders.dbx").c_str());
    const test::TCliRun tree = RunTool({"folders", dir.Path()});
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_NE(tree.err.find("warning: The folder list cannot be read"), std::string::npos) << tree.err;
    EXPECT_EQ(tree.out, "Caf\xC3\xA9 (1 message)\ninbox (2 messages)\n");
}

TEST(CliFoldersTest, ExportOfAFolderSummarizesAndFailsOnErrors) {
    TTempDir dir, out, again;
    WriteFolder(dir);
    const test::TCliRun run = RunTool({"export", dir.Path(), out.Path(), "--format", "mbox"});
    ASSERT_EQ(run.status, 0) << run.err;
    // The list's root (Id 0, no store file) holds no mail and is left out.
    EXPECT_EQ(run.out, "Exported 2 folders, 3 messages, 0 errors.\n");
    const std::string inbox = test::ReadFile(out / "Inbox");
    EXPECT_NE(inbox.find("X-Mozilla-Status: 0000\nX-Mozilla-Status2: 00000000\nStatus: O\nX-Status: \n"),
              std::string::npos);
    EXPECT_NE(inbox.find("\n>From here on\n"), std::string::npos);

    // A store whose index cannot be read is exported from a scan of the whole file; one that
    // holds no message at all is an error.
    WriteStore(dir / "Broken.dbx", {Mail("x")}, ts::TDbxOptions{.Damage = {{ts::TDbxDamageKind::NodeParent, 0}}});
    const test::TCliRun damaged = RunTool({"export", dir.Path(), again.Path(), "--format=maildir"});
    EXPECT_EQ(damaged.status, 0) << damaged.err;
    EXPECT_EQ(damaged.out, "Exported 3 folders, 4 messages, 0 errors, 1 recovered by scan.\n");
    EXPECT_NE(damaged.err.find("brindle-cli: Broken: recovered by scan, 1 message (Wrong parent.)"), std::string::npos)
        << damaged.err;
    test::WriteFile(dir / "Garbage.dbx", std::string(4096, 'G'));
    TTempDir third;
    const test::TCliRun garbage = RunTool({"export", dir.Path(), third.Path(), "--format=maildir"});
    EXPECT_EQ(garbage.status, 1);
    EXPECT_EQ(garbage.out, "Exported 4 folders, 4 messages, 1 error, 1 recovered by scan.\n");

    // OUT is made when it is not there; its parent must be.
    const test::TCliRun missing = RunTool({"export", dir.Path(), out / "missing", "--format", "mbox"});
    EXPECT_EQ(missing.status, 1);  // Garbage.dbx is still an error
    EXPECT_EQ(missing.out, "Exported 4 folders, 4 messages, 1 error, 1 recovered by scan.\n");
    EXPECT_TRUE(std::filesystem::exists(out / "missing/Inbox"));
    const test::TCliRun deeper = RunTool({"export", dir.Path(), out / "absent/deeper", "--format", "mbox"});
    EXPECT_EQ(deeper.status, 1);
    EXPECT_EQ(deeper.err, "brindle-cli: Cannot create file " + (out / "absent/deeper") + "\n");
    EXPECT_EQ(RunTool({"export", dir.Path(), out.Path(), "--index", "0"}).status, 2);
    EXPECT_EQ(RunTool({"export", dir.Path(), out.Path(), "--format", "pst"}).status, 2);
}

// Python's mailbox module reads the mbox output as an mbox of the same messages.
TEST(CliFoldersTest, PythonMailboxReadsTheMboxFiles) {
    if (std::system("python3 -c 'import mailbox' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 missing";
    TTempDir dir, out;
    WriteFolder(dir);
    ASSERT_EQ(RunTool({"export", dir.Path(), out.Path(), "--format", "mbox"}).status, 0);
    const std::string script = out / "read.py";
    test::WriteFile(script,
                    "import mailbox, sys\n"
                    "box = mailbox.mbox(sys.argv[1], create=False)\n"
                    "for m in box:\n"
                    "    print(m['Subject'], m['X-Mozilla-Status'], m.get_from())\n");
    const std::string listing = out / "listing.txt";
    const std::string command = "python3 '" + script + "' '" + (out / "Inbox") + "' > '" + listing + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(test::ReadFile(listing),
              "one 0001 bob@example.org Thu May  6 07:08:09 2004 +0000\n"
              "two 0000 bob@example.org Thu May  6 07:08:09 2004 +0000\n");
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// Python's mailbox module reads the Maildir output: the inbox at the top with its flags and
// dates, its sub-folder under INBOX in modified UTF-7, every byte of each message.
TEST(CliFoldersTest, PythonMailboxReadsTheMaildir) {
    if (std::system("python3 -c 'import mailbox' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 missing";
    TTempDir dir, out;
    WriteFolder(dir);
    ASSERT_EQ(RunTool({"export", dir.Path(), out.Path(), "--format", "maildir"}).status, 0);
    const std::string script = dir / "read.py";
    test::WriteFile(script,
                    "import mailbox, sys\n"
                    "box = mailbox.Maildir(sys.argv[1], factory=None, create=False)\n"
                    "print(sorted(box.list_folders()))\n"
                    "def show(b):\n"
                    "    for key in sorted(b.keys(), key=lambda k: b.get_message(k)['Subject']):\n"
                    "        m = b.get_message(key)\n"
                    "        print(m['Subject'], m.get_subdir(), repr(m.get_flags()), int(m.get_date()),\n"
                    "              b.get_bytes(key).endswith(b'From here on\\nbody\\n'))\n"
                    "show(box)\n"
                    "show(box.get_folder(sorted(box.list_folders())[0]))\n");
    const std::string listing = dir / "listing.txt";
    const std::string command = "python3 '" + script + "' '" + out.Path() + "' > '" + listing + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // 2004-05-06 07:08:09 UTC
    EXPECT_EQ(test::ReadFile(listing),
              "['INBOX.Caf&AOk-']\n"
              "one cur 'S' 1083827289 True\n"
              "two cur '' 1083827289 True\n"
              "three cur 'S' 1083827289 True\n");
}

}  // namespace
}  // namespace brindle
