// The folder tree of a store folder: the list matched to the files on disk.
#include "MailboxTestSupport.h"
#include "mailbox/StoreFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace brindle {
namespace {

using test::Message;
using test::TTempDir;
using test::WriteDbx;
using testsupport::TDbxDamageKind;
using testsupport::TDbxOptions;
using testsupport::TFolderListEntry;
using testsupport::WriteFolderList;

struct TExpected {
    std::optional<uint32_t> Id;
    std::optional<uint32_t> ParentId;
    std::string Name;
    std::optional<std::string> File;
    std::optional<uint32_t> Count;
    uint32_t Depth;
};

void ExpectTree(const TStoreFolder& folder, const std::vector<TExpected>& expected) {
    ASSERT_EQ(folder.Nodes.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        const TFolderNode& node = folder.Nodes[k];
        EXPECT_EQ(node.Id, expected[k].Id) << k;
        EXPECT_EQ(node.ParentId, expected[k].ParentId) << k;
        EXPECT_EQ(node.Name, expected[k].Name) << k;
        EXPECT_EQ(node.File, expected[k].File) << k;
        EXPECT_EQ(node.Count, expected[k].Count) << k;
        EXPECT_EQ(node.Depth, expected[k].Depth) << k;
    }
}

std::vector<std::string> Warnings(const std::string& dir, TStoreFolder& folder) {
    std::vector<std::string> warnings;
    folder = ReadStoreFolder(dir, [&](const TWarning& warning) { warnings.push_back(warning.Text); });
    return warnings;
}

// A children-before-parents list: the tree still comes parents first, siblings in list order.
TEST(StoreFolderTest, NestsFoldersAndMatchesFilesWithoutRegardToCase) {
    TTempDir dir;
    WriteFolderList(dir / "Folders.dbx", {
                                             {7, 2, "Sub", "Sub.dbx"},
                                             {0, 0xFFFFFFFF, "Mail Client", ""},
                                             {1, 0, "Local Folders", ""},
                                             {2, 1, "Inbox", "Inbox.dbx", 0, 2, 1, kSpecialInbox},
                                             {3, 1, "Sent Items", "Sent Items.dbx", 0, 1, 0, kSpecialSent},
                                             {8, 7, "Gone", "Gone.dbx"},
                                         });
    WriteDbx(dir / "Inbox.dbx", {Message("a"), Message("b")});
    WriteDbx(dir / "SUB.DBX", {Message("c"), Message("d"), Message("e")});
    WriteDbx(dir / "sent items.dbx", {Message("f")});
    WriteDbx(dir / "Extra.dbx", {Message("g")});
    WriteDbx(dir / "Pop3uidl.dbx", {Message("h")});
    WriteDbx(dir / "offline.DBX", {Message("i")});
    std::ofstream(dir / "notes.txt") << "not a store";

    TStoreFolder folder;
    EXPECT_TRUE(Warnings(dir.Path(), folder).empty());
    EXPECT_TRUE(folder.HasList);
    ExpectTree(folder, {
                           {0, std::nullopt, "Mail Client", std::nullopt, std::nullopt, 0},
                           {1, 0, "Local Folders", std::nullopt, std::nullopt, 1},
                           {2, 1, "Inbox", "Inbox.dbx", 2, 2},
                           {7, 2, "Sub", "SUB.DBX", 3, 3},
                           {8, 7, "Gone", std::nullopt, std::nullopt, 4},
                           {3, 1, "Sent Items", "sent items.dbx", 1, 2},
                           {std::nullopt, std::nullopt, "Extra", "Extra.dbx", 1, 0},
                       });
    EXPECT_EQ(folder.Nodes[2].Special, kSpecialInbox);
    EXPECT_EQ(folder.Nodes[2].Unread, 1u);
    EXPECT_EQ(SpecialFolderName(folder.Nodes[5].Special), "sent");
}

TEST(StoreFolderTest, ListNamesInTheCodePageMatchUtf8FileNames) {
    TTempDir dir;
    // "Entwürfe" and "Черновики" as the list holds them: Windows-1252, then UTF-8.
    WriteFolderList(dir / "folders.DBX",
                    {
                        {1, 0xFFFFFFFF,
                         "Entw\xFC"
                         "rfe",
                         "Entw\xFC"
                         "rfe.dbx"},
                        {2, 0xFFFFFFFF, "\xD0\xA7\xD0\xB5\xD1\x80", "\xD0\xA7\xD0\xB5\xD1\x80.dbx"},
                    });
    WriteDbx(dir /
                 "ENTW\xC3\x9C"
                 "RFE.DBX",
             {Message("a")});
    WriteDbx(dir / "\xD1\x87\xD0\x95\xD0\xA0.dbx", {Message("b")});
    TStoreFolder folder;
    EXPECT_TRUE(Warnings(dir.Path(), folder).empty());
    ExpectTree(folder, {
                           {1, std::nullopt,
                            "Entw\xC3\xBC"
                            "rfe",
                            "ENTW\xC3\x9C"
                            "RFE.DBX",
                            1, 0},
                           {2, std::nullopt, "\xD0\xA7\xD0\xB5\xD1\x80", "\xD1\x87\xD0\x95\xD0\xA0.dbx", 1, 0},
                       });
}

TEST(StoreFolderTest, WithoutAListEveryStoreFileStandsAtTheTop) {
    TTempDir dir;
    WriteDbx(dir / "Inbox.dbx", {Message("a"), Message("b")});
    testsupport::TMbxWriter old(dir / "Old.mbx");
    old.Add(Message("c"));
    old.Finish();
    WriteDbx(dir / "Broken.dbx", {Message("d")}, TDbxOptions{.Damage = {{TDbxDamageKind::FirstMagic, 0}}});
    TStoreFolder folder;
    EXPECT_TRUE(Warnings(dir.Path(), folder).empty());
    EXPECT_FALSE(folder.HasList);
    ExpectTree(folder, {
                           {std::nullopt, std::nullopt, "Broken", "Broken.dbx", std::nullopt, 0},
                           {std::nullopt, std::nullopt, "Inbox", "Inbox.dbx", 2, 0},
                           {std::nullopt, std::nullopt, "Old", "Old.mbx", 1, 0},
                       });
}

// Stores that no list counted get their unread mail from their own summaries; the ones the
// list counted and the ones that cannot be read get none.
TEST(StoreFolderTest, UncountedStoresAreCountedByTheirSummaries) {
    TTempDir dir;
    auto unread = [](const std::string& subject) {
        testsupport::TStoreMessage message = Message(subject);
        message.Flags = 0;
        return message;
    };
    WriteDbx(dir / "Inbox.dbx", {unread("a"), Message("b"), unread("c")});
    testsupport::TMbxWriter old(dir / "Old.mbx");
    old.Add(Message("d"));
    old.Finish();
    WriteDbx(dir / "Broken.dbx", {unread("e")}, TDbxOptions{.Damage = {{TDbxDamageKind::FirstMagic, 0}}});
    TStoreFolder folder = ReadStoreFolder(dir.Path());
    ASSERT_EQ(folder.Nodes.size(), 3u);
    std::vector<std::pair<size_t, uint32_t>> counts;
    for (const TNodeUnread& count : UnreadOfUncountedStores(folder)) counts.emplace_back(count.Node, count.Unread);
    EXPECT_EQ(counts, (std::vector<std::pair<size_t, uint32_t>>{{1, 2}, {2, 0}}));

    folder.Nodes[1].Unread = 7;  // as a list would tell it
    counts.clear();
    for (const TNodeUnread& count : UnreadOfUncountedStores(folder)) counts.emplace_back(count.Node, count.Unread);
    EXPECT_EQ(counts, (std::vector<std::pair<size_t, uint32_t>>{{2, 0}}));

    const std::atomic<bool> cancelled{true};
    EXPECT_TRUE(UnreadOfUncountedStores(folder, &cancelled).empty());
}

TEST(StoreFolderTest, DamagedListIsWarnedAndLeftOut) {
    const std::vector<TFolderListEntry> folders = {{1, 0xFFFFFFFF, "Top", ""}, {2, 1, "Inbox", "Inbox.dbx"}};
    const std::vector<TDbxOptions> damages = {
        {.Damage = {{TDbxDamageKind::NodeMarker, 0}}},
        {.Damage = {{TDbxDamageKind::InfoMarker, 1}}},
        {.HeaderCount = 3},
        {.TruncateTo = 0x24BC + 8},
    };
    for (size_t k = 0; k < damages.size(); ++k) {
        TTempDir dir;
        WriteFolderList(dir / "Folders.dbx", folders, damages[k]);
        WriteDbx(dir / "Inbox.dbx", {Message("a")});
        TStoreFolder folder;
        const std::vector<std::string> warnings = Warnings(dir.Path(), folder);
        ASSERT_EQ(warnings.size(), 1u) << k;
        EXPECT_NE(warnings[0].find("folder list"), std::string::npos) << warnings[0];
        EXPECT_FALSE(folder.HasList);
        ExpectTree(folder, {{std::nullopt, std::nullopt, "Inbox", "Inbox.dbx", 1, 0}});
    }
}

TEST(StoreFolderTest, ParentLoopsAndUnknownParentsEndAtTheTop) {
    TTempDir dir;
    WriteFolderList(dir / "Folders.dbx", {
                                             {1, 2, "A", "A.dbx"},
                                             {2, 1, "B", ""},
                                             {3, 99, "C", ""},
                                             {4, 4, "D", ""},
                                         });
    WriteDbx(dir / "a.dbx", {Message("a")});
    TStoreFolder folder;
    EXPECT_EQ(Warnings(dir.Path(), folder).size(), 3u);
    ExpectTree(folder, {
                           {3, std::nullopt, "C", std::nullopt, std::nullopt, 0},
                           {4, std::nullopt, "D", std::nullopt, std::nullopt, 0},
                           {1, std::nullopt, "A", "a.dbx", 1, 0},
                           {2, 1, "B", std::nullopt, std::nullopt, 1},
                       });
}

// Damage of many folders is told once per kind, with the count and the first folder.
TEST(StoreFolderTest, EachKindOfListDamageIsOneWarningWithItsCount) {
    const uint32_t ring = 3000;
    std::vector<testsupport::TFolderListEntry> list = {{1, 0xFFFFFFFF, "Good", ""}};
    for (uint32_t k = 0; k < ring; ++k) list.push_back({k + 10, (k + 1) % ring + 10, "Ring", ""});
    for (uint32_t id : {5u, 6u}) list.push_back({id, id, "Own", ""});
    for (uint32_t id : {7u, 8u, 9u}) list.push_back({id, 99999, "Lost parent", ""});
    list.push_back({1, 0xFFFFFFFF, "Again", ""});
    TTempDir dir;
    WriteFolderList(dir / "Folders.dbx", list);
    TStoreFolder folder;
    const std::vector<std::string> warnings = Warnings(dir.Path(), folder);
    EXPECT_EQ(folder.Nodes.size(), list.size());
    struct TKind {
        const char* Words;
        std::string Count;
        const char* First;
    };
    const TKind kinds[] = {
        {"listed twice", "1 ", "folder 1)"},
        {"their own parents", "2 ", "folder 5)"},
        {"parents are not listed", "3 ", "folder 7)"},
        {"not reached from the top", std::to_string(ring) + " ", "folder 10)"},
    };
    ASSERT_EQ(warnings.size(), std::size(kinds));
    for (const TKind& kind : kinds) {
        SCOPED_TRACE(kind.Words);
        const auto told = std::find_if(warnings.begin(), warnings.end(),
                                       [&](const std::string& w) { return w.find(kind.Words) != std::string::npos; });
        ASSERT_NE(told, warnings.end());
        EXPECT_TRUE(told->starts_with(kind.Count)) << *told;
        EXPECT_NE(told->find(kind.First), std::string::npos) << *told;
    }
    // A folder that is its own parent, alone, is named as such.
    TTempDir own;
    WriteFolderList(own / "Folders.dbx", {{4, 4, "D", ""}});
    const std::vector<std::string> alone = Warnings(own.Path(), folder);
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_EQ(alone[0], "1 folder is its own parent (folder 4).");
}

TEST(StoreFolderTest, FoldsLettersOfSeveralScripts) {
    const std::pair<std::string, std::string> cases[] = {
        {"INBOX.DBX", "inbox.dbx"},
        {"\xC3\x84\xC3\x96\xC3\x9C\xC3\x97", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x97"},  // ÄÖÜ×
        {"\xC5\x81\xC5\xBB\xC5\xB9\xC4\x98", "\xC5\x82\xC5\xBC\xC5\xBA\xC4\x99"},  // ŁŻŹĘ
        {"\xCE\xA3\xCE\xA9", "\xCF\x83\xCF\x89"},                                  // ΣΩ
        {"\xD0\x81\xD0\xAF", "\xD1\x91\xD1\x8F"},                                  // ЁЯ
        {"\xF0\x9F\x93\xA7 \xFF", "\xF0\x9F\x93\xA7 \xFF"},
    };
    for (const auto& [text, folded] : cases) EXPECT_EQ(FoldFileName(text), folded) << text;
}

}  // namespace
}  // namespace brindle
