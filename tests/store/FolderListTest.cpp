// The folder-list reader over images written by the test writer.
#include "StoreWriter.h"
#include "store/FolderList.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using testsupport::BuildFolderList;
using testsupport::TDbxDamageKind;
using testsupport::TDbxOptions;
using testsupport::TFolderListEntry;

std::vector<TFolderRecord> Read(const std::string& image) {
    std::unique_ptr<TByteSource> file = TByteSource::FromView(image);
    return ReadFolderList(*file);
}

TEST(FolderListTest, ReadsEveryFieldInTreeOrderBothForms) {
    std::vector<TFolderListEntry> folders;
    folders.push_back({0, 0xFFFFFFFF, "Top", "", 0, 0, 0, 0, 3});
    // Numbers of 2^24 and more are written in the indirect form.
    folders.push_back({0x01000002, 0, "Inbox", "Inbox.dbx", 0x11, 0x01234567, 7, 1, 3});
    for (uint32_t k = 0; k < 120; ++k) folders.push_back({100 + k, 0, "F" + std::to_string(k), "F.dbx", 0, k, 0, 0, 1});
    TDbxOptions options;
    options.FanOut = 5;  // several levels of index nodes
    const std::vector<TFolderRecord> records = Read(BuildFolderList(folders, options));
    ASSERT_EQ(records.size(), folders.size());
    EXPECT_FALSE(records[0].ParentId.has_value());
    EXPECT_EQ(records[0].Name, "Top");
    EXPECT_EQ(records[0].FileName, "");
    EXPECT_EQ(records[1].Id, 0x01000002u);
    EXPECT_EQ(records[1].ParentId, 0u);
    EXPECT_EQ(records[1].FileName, "Inbox.dbx");
    EXPECT_EQ(records[1].Flags, 0x11u);
    EXPECT_EQ(records[1].MessageCount, 0x01234567u);
    EXPECT_EQ(records[1].UnreadCount, 7u);
    EXPECT_EQ(records[1].Special, kSpecialInbox);
    for (uint32_t k = 0; k < 120; ++k) {
        EXPECT_EQ(records[2 + k].Id, 100 + k);
        EXPECT_EQ(records[2 + k].MessageCount, k);
        EXPECT_EQ(records[2 + k].AccountKind, 1u);
    }
}

TEST(FolderListTest, DamageIsAFolderListError) {
    const std::vector<TFolderListEntry> folders(60, TFolderListEntry{1, 0xFFFFFFFF, "A", "A.dbx"});
    struct TCase {
        const char* name;
        TDbxOptions options;
    };
    auto with = [](auto change) {
        TDbxOptions options;
        options.FanOut = 10;
        change(options);
        return options;
    };
    const TCase cases[] = {
        {"message store magic", with([](TDbxOptions& o) {
             o.Damage.push_back({TDbxDamageKind::SecondMagic, 0});
         })},
        {"node marker", with([](TDbxOptions& o) {
             o.Damage.push_back({TDbxDamageKind::NodeMarker, 1});
         })},
        {"node parent", with([](TDbxOptions& o) {
             o.Damage.push_back({TDbxDamageKind::NodeParent, 2});
         })},
        {"52 entries", with([](TDbxOptions& o) {
             o.Damage.push_back({TDbxDamageKind::NodeEntries52, 0});
         })},
        {"info marker", with([](TDbxOptions& o) {
             o.Damage.push_back({TDbxDamageKind::InfoMarker, 30});
         })},
        {"count too large", with([](TDbxOptions& o) { o.HeaderCount = 0x7FFFFFFF; })},
        {"count off by one", with([](TDbxOptions& o) { o.HeaderCount = 61; })},
        {"cut short", with([](TDbxOptions& o) { o.TruncateTo = 0x24BC + 0x220 + 100; })},
    };
    for (const TCase& c : cases) {
        std::string image = BuildFolderList(folders, c.options);
        if (std::string_view(c.name) == "message store magic") image[4] = '\xC5';
        EXPECT_THROW(Read(image), EFolderListException) << c.name;
    }
}

TEST(FolderListTest, LoopingTreeEndsWithAnError) {
    const std::vector<TFolderListEntry> folders(3, TFolderListEntry{1, 0xFFFFFFFF, "A", "A.dbx"});
    TDbxOptions options;
    testsupport::TDbxNodeSpec root;
    root.Entries.push_back({0, std::nullopt, 1, 2});
    testsupport::TDbxNodeSpec child;
    child.Entries.push_back({1, std::nullopt, 0, 1});
    options.Tree = {root, child};
    EXPECT_THROW(Read(BuildFolderList(folders, options)), EFolderListException);
}

}  // namespace
}  // namespace brindle
