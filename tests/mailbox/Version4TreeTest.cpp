// The folder tree of a version 4 store folder (FOLDERS.NCH), and the flat list that a missing
// or damaged tree leaves.
#include "MailboxTestSupport.h"
#include "mailbox/StoreFolder.h"
#include "platform/ByteSource.h"
#include "store/NchFolderTree.h"
#include "store/NchLayout.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::Message;
using test::TTempDir;
using testsupport::BuildNchTree;
using testsupport::TNchFolder;
using testsupport::TNchOptions;
using testsupport::WriteNchTree;

void WriteMbx(const std::string& path, size_t messages) {
    testsupport::TMbxWriter writer(path);
    for (size_t k = 0; k < messages; ++k) writer.Add(Message("m" + std::to_string(k)));
    writer.Finish();
}

struct TShape {
    std::string Name;
    std::optional<std::string> File;
    uint32_t Depth;
    std::optional<uint32_t> Count;
};

std::vector<TShape> ShapeOf(const TStoreFolder& folder) {
    std::vector<TShape> shape;
    for (const TFolderNode& node : folder.Nodes) shape.push_back({node.Name, node.File, node.Depth, node.Count});
    return shape;
}

void ExpectShape(const TStoreFolder& folder, const std::vector<TShape>& expected) {
    const std::vector<TShape> got = ShapeOf(folder);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].Name, expected[k].Name) << k;
        EXPECT_EQ(got[k].File, expected[k].File) << k;
        EXPECT_EQ(got[k].Depth, expected[k].Depth) << k;
        EXPECT_EQ(got[k].Count, expected[k].Count) << k;
    }
}

TStoreFolder ReadWithWarnings(const std::string& dir, std::vector<std::string>& warnings) {
    return ReadStoreFolder(dir, [&](const TWarning& warning) { warnings.push_back(warning.Describe()); });
}

// Inbox with two subfolders (one nested again), then Sent; written out of tree order, with
// and without the ".mbx" ending and in another case than the files on disk.
const std::vector<TNchFolder> kTree = {
    {1, 0, "Inbox", "Inbox", 0, {}, {}},
    {4, 1, "Projects", "PROJECTS.MBX", 0, {}, {}},
    {2, 0, "Sent Items", "Sent Items.mbx", 0, {}, {}},
    {5, 4, "Caf\xE9", "Cafe", 0, {}, {}},
    {3, 1, "Lists", "", 0, {}, {}},
};

void WriteTreeFolder(const std::string& dir) {
    WriteNchTree(dir + "/FOLDERS.NCH", kTree);
    WriteMbx(dir + "/Inbox.mbx", 2);
    WriteMbx(dir + "/Projects.mbx", 1);
    WriteMbx(dir + "/Sent Items.mbx", 3);
    WriteMbx(dir + "/cafe.mbx", 1);
    WriteMbx(dir + "/Stray.mbx", 1);
}

TEST(Version4TreeTest, TreeNestsFoldersInLinkOrderAndMatchesFiles) {
    TTempDir dir;
    WriteTreeFolder(dir.Path());
    std::vector<std::string> warnings;
    const TStoreFolder folder = ReadWithWarnings(dir.Path(), warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_TRUE(folder.HasVersion4Tree);
    EXPECT_FALSE(folder.HasList);
    ExpectShape(folder, {
                            {"Inbox", "Inbox.mbx", 0, 2},
                            {"Projects", "Projects.mbx", 1, 1},
                            {"Caf\xC3\xA9", "cafe.mbx", 2, 1},
                            {"Lists", std::nullopt, 1, std::nullopt},
                            {"Sent Items", "Sent Items.mbx", 0, 3},
                            {"Stray", "Stray.mbx", 0, 1},
                        });
    ASSERT_EQ(folder.Nodes.size(), 6u);
    EXPECT_EQ(folder.Nodes[2].ParentId, std::optional<uint32_t>(4));
    EXPECT_EQ(folder.Nodes[1].ParentId, std::optional<uint32_t>(1));
    EXPECT_EQ(folder.Nodes[0].ParentId, std::nullopt);
}

// Each damage leaves every .mbx at the top, sorted by file name, and says why.
TEST(Version4TreeTest, DamagedTreeFallsBackToTheFlatListWithAWarning) {
    std::vector<uint32_t> offsets;
    const std::string whole = BuildNchTree(kTree, {}, &offsets);
    struct TCase {
        std::string What;
        std::vector<TNchFolder> Folders;
        TNchOptions Options;
        std::string Expected;  // part of the warning
    };
    std::vector<TNchFolder> siblingLoop = kTree;
    siblingLoop[2].Sibling = 1;  // Sent Items leads back to Inbox
    std::vector<TNchFolder> childLoop = kTree;
    childLoop[3].Child = 1;  // Café's child is Inbox, an ancestor
    std::vector<TNchFolder> dangling = kTree;
    dangling[4].Sibling = 77;
    std::vector<TNchFolder> twice = kTree;
    twice[3].Index = 2;
    const std::vector<TCase> cases = {
        {"list loop", kTree, {.NextLinksTo = std::pair<size_t, size_t>{4, 1}}, "loop"},
        {"first record beyond the file", kTree, {.FirstRecord = 0x7FFFFFF0}, "past the end"},
        {"next beyond the file", kTree, {.NextRawOffset = std::pair<size_t, uint32_t>{2, 0xFFFFFF00}}, "past the end"},
        {"next not at a record", kTree, {.NextRawOffset = std::pair<size_t, uint32_t>{1, offsets[2] + 4}}, "offset"},
        {"truncated inside a record", kTree, {.TruncateTo = whole.size() - 100}, "past the end"},
        {"truncated header", kTree, {.TruncateTo = 10}, "too short"},
        {"sibling loop", siblingLoop, {}, "twice"},
        {"child loop", childLoop, {}, "twice"},
        {"link to a missing index", dangling, {}, "77"},
        {"index given twice", twice, {}, "given twice"},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        WriteTreeFolder(dir.Path());
        WriteNchTree(dir / "FOLDERS.NCH", c.Folders, c.Options);
        std::vector<std::string> warnings;
        const TStoreFolder folder = ReadWithWarnings(dir.Path(), warnings);
        EXPECT_FALSE(folder.HasVersion4Tree) << c.What;
        ASSERT_EQ(warnings.size(), 1u) << c.What;
        EXPECT_NE(warnings[0].find("FOLDERS.NCH"), std::string::npos) << c.What << ": " << warnings[0];
        EXPECT_NE(warnings[0].find(c.Expected), std::string::npos) << c.What << ": " << warnings[0];
        ExpectShape(folder, {
                                {"cafe", "cafe.mbx", 0, 1},
                                {"Inbox", "Inbox.mbx", 0, 2},
                                {"Projects", "Projects.mbx", 0, 1},
                                {"Sent Items", "Sent Items.mbx", 0, 3},
                                {"Stray", "Stray.mbx", 0, 1},
                            });
    }
}

// A folder that no link reaches comes last at the top; a tree with only its root is empty.
TEST(Version4TreeTest, ReaderPutsUnlinkedFoldersLastAtTheTop) {
    struct TCase {
        std::vector<TNchFolder> Folders;
        std::vector<std::pair<std::string, std::optional<uint32_t>>> Expected;  // name, parent
    };
    std::vector<TNchFolder> cut = kTree;
    cut[0].Sibling = nch::kNoSibling;  // Sent Items is no longer reached
    const std::vector<TCase> cases = {
        {cut, {{"Inbox", {}}, {"Projects", 1}, {"Caf\xE9", 4}, {"Lists", 1}, {"Sent Items", {}}}},
        {{}, {}},
        {{{9, 0, "Only", "only.mbx", 0, {}, {}}}, {{"Only", {}}}},
    };
    for (const TCase& c : cases) {
        const std::string image = BuildNchTree(c.Folders);
        const std::vector<TFolderRecord> records = ReadNchFolderTree(*TByteSource::FromView(image));
        ASSERT_EQ(records.size(), c.Expected.size());
        for (size_t k = 0; k < records.size(); ++k) {
            EXPECT_EQ(records[k].Name, c.Expected[k].first) << k;
            EXPECT_EQ(records[k].ParentId, c.Expected[k].second) << k;
        }
    }
}

TEST(Version4TreeTest, FileNamesGainTheirEndingAndTheTreeNameMatchesInAnyCase) {
    const std::string image = BuildNchTree({{1, 0, "A", "a", 0, {}, {}}, {2, 0, "B", "b.MBX", 0, {}, {}}});
    const std::vector<TFolderRecord> records = ReadNchFolderTree(*TByteSource::FromView(image));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].FileName, "a.mbx");
    EXPECT_EQ(records[1].FileName, "b.MBX");
    for (const char* name : {"FOLDERS.NCH", "folders.nch", "Folders.Nch"}) EXPECT_TRUE(IsNchTreeName(name)) << name;
    for (const char* name : {"FOLDERS.NC", "folders.nchx", "Folders.dbx"}) EXPECT_FALSE(IsNchTreeName(name)) << name;
}

}  // namespace
}  // namespace brindle
