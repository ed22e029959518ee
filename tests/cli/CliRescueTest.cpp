// scan and recover on stores written with deleted, orphaned and damaged parts.
#include "CliTestSupport.h"
#include "StoreWriter.h"
#include "store/DBXLayout.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::RunTool;
using test::TTempDir;

ts::TStoreMessage Message(const std::string& subject, ts::TDbxPresence presence, size_t bodyLines = 30) {
    ts::TStoreMessage m;
    m.Subject = subject;
    std::string body;
    for (size_t k = 0; k < bodyLines; ++k) body += "Body line " + std::to_string(k) + ".\r\n";
    m.Text = ts::MessageText({"From: Ann <ann@example.org>", "Subject: " + subject, "Message-ID: <" + subject + "@x>"},
                             body);
    m.DbxPresence = presence;
    return m;
}

std::string Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

struct TStore {
    std::string Path;
    ts::TDbxLayout Layout;
    std::vector<ts::TStoreMessage> Messages;
};

TStore WriteStore(const TTempDir& dir) {
    TStore store;
    store.Messages = {Message("kept", ts::TDbxPresence::Indexed), Message("gone", ts::TDbxPresence::Deleted),
                      Message("left", ts::TDbxPresence::Orphaned)};
    ts::TDbxWriter writer;
    for (const auto& m : store.Messages) writer.Add(m);
    writer.Finish();
    store.Path = dir / "Inbox.dbx";
    store.Layout = writer.Layout();
    std::string image = writer.Bytes();
    // The header no longer leads to the index: the store cannot be opened.
    image.replace(dbx::kHeaderRootNode, 4, 4, '\0');
    test::WriteFile(store.Path, image);
    return store;
}

TEST(CliRescue, ScanListsEveryMessageWithItsKind) {
    TTempDir dir;
    const TStore store = WriteStore(dir);
    EXPECT_EQ(RunTool({"list", store.Path}).status, 1);

    auto json = RunTool({"scan", store.Path, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const std::string kinds[] = {"orphaned", "deleted", "orphaned"};
    size_t at = 0;
    for (size_t i = 0; i < 3; ++i) {
        at = json.out.find("\"Offset\": " + std::to_string(store.Layout.FirstBlocks[i]), at);
        ASSERT_NE(at, std::string::npos) << i;
        const std::string object = json.out.substr(at, json.out.find('}', at) - at);
        EXPECT_NE(object.find("\"Kind\": \"" + kinds[i] + "\""), std::string::npos) << object;
        EXPECT_NE(object.find("\"Index\": null"), std::string::npos) << object;
        EXPECT_NE(object.find("\"Subject\": \"" + store.Messages[i].Subject + "\""), std::string::npos) << object;
        EXPECT_NE(object.find("\"LostBytes\": " + std::string(i == 1 ? "4" : "0")), std::string::npos) << object;
    }

    auto rows = RunTool({"scan", store.Path});
    EXPECT_EQ(std::count(rows.out.begin(), rows.out.end(), '\n'), 3);
    EXPECT_TRUE(rows.out.starts_with(Hex8(store.Layout.FirstBlocks[0]) + "\torphaned\t-\t")) << rows.out;
}

TEST(CliRescue, RecoverWritesEveryMessageAndReplacesNothing) {
    TTempDir dir;
    const TStore store = WriteStore(dir);
    const std::string out = dir / "out";
    std::filesystem::create_directory(out);
    const std::string taken = "deleted_" + Hex8(store.Layout.FirstBlocks[1]) + "_gone.eml";
    test::WriteFile(out + "/" + taken, "mine");

    auto run = RunTool({"recover", store.Path, out});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto files = test::FilesIn(out);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files.at(taken), "mine");
    EXPECT_EQ(files.at("orphaned_" + Hex8(store.Layout.FirstBlocks[0]) + "_kept.eml"), store.Messages[0].Text);
    EXPECT_EQ(files.at("orphaned_" + Hex8(store.Layout.FirstBlocks[2]) + "_left.eml"), store.Messages[2].Text);
    // The deleted message lost the first four bytes of its one block; a space stands for each.
    std::string deleted = store.Messages[1].Text;
    deleted.replace(0, 4, "    ");
    EXPECT_EQ(files.at("deleted_" + Hex8(store.Layout.FirstBlocks[1]) + "_gone (2).eml"), deleted);

    EXPECT_EQ(RunTool({"recover", store.Path, ""}).status, 2);
}

}  // namespace
}  // namespace brindle
