// The health report: what each store's header, index and a scan of its file tell, and what a
// store folder's list and its files disagree on, for stores written sound and damaged.
#include "MailboxTestSupport.h"
#include "mailbox/Health.h"
#include "store/OEReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::TTempDir;

std::vector<ts::TStoreMessage> Messages(size_t count, const std::string& prefix = "Message ") {
    std::vector<ts::TStoreMessage> messages;
    for (size_t i = 0; i < count; ++i) messages.push_back(test::Message(prefix + std::to_string(i)));
    return messages;
}

struct TStoreCase {
    const char* Name;
    std::vector<ts::TStoreMessage> Written;
    ts::TDbxOptions Options;
    bool Healthy;
    std::string VerdictPart;  // a part the verdict holds
    size_t Reachable, ReadWhole, Broken, Deleted, Unindexed;
};

std::vector<TStoreCase> DbxCases() {
    std::vector<TStoreCase> cases;
    cases.push_back({"sound", Messages(30), {}, true, "healthy", 30, 30, 0, 0, 0});
    {
        std::vector<ts::TStoreMessage> m = Messages(30);
        for (size_t i : {3u, 9u}) m[i].DbxPresence = ts::TDbxPresence::Deleted;
        cases.push_back({"deleted kept", m, {}, true, "2 deleted messages recoverable", 28, 28, 0, 2, 0});
    }
    {
        std::vector<ts::TStoreMessage> m = Messages(30);
        for (size_t i : {1u, 5u, 7u}) m[i].DbxPresence = ts::TDbxPresence::Orphaned;
        ts::TDbxOptions header;
        header.HeaderCount = 30;
        cases.push_back({"unindexed", m, header, false, "damaged index: 27 of 30 messages reachable, 3 more by a scan",
                         27, 27, 0, 0, 3});
    }
    {
        ts::TDbxOptions header;
        header.HeaderCount = 12;
        cases.push_back({"header promises more", Messages(10), header, false, "10 of 12 messages reachable", 10, 10, 0,
                         0, 0});
    }
    {
        ts::TDbxOptions cycle;
        std::vector<ts::TStoreMessage> m = Messages(4);
        m[2].Text += std::string(1500, 'x');  // three blocks
        cycle.Damage = {{ts::TDbxDamageKind::ChainCycle, 2}};
        cases.push_back({"chain cycle", m, cycle, false, "1 text breaks off", 4, 3, 1, 0, 0});
    }
    {
        ts::TDbxOptions root;
        root.Damage = {{ts::TDbxDamageKind::NodeMarker, 0}};
        cases.push_back({"root node damaged", Messages(20), root, false, "index cannot be read", 0, 0, 0, 0, 20});
    }
    return cases;
}

TEST(StoreHealth, CountsAndVerdictOfDbxStores) {
    TTempDir dir;
    for (const TStoreCase& c : DbxCases()) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir / (std::string(c.Name) + ".dbx");
        test::WriteDbx(path, c.Written, c.Options);
        const TStoreHealth health = CheckStore(path);
        EXPECT_FALSE(health.Unreadable) << health.Unreadable.value_or("");
        EXPECT_EQ(health.Kind, kFileKindOE5);
        EXPECT_EQ(health.Healthy(), c.Healthy) << health.Verdict();
        EXPECT_NE(health.Verdict().find(c.VerdictPart), std::string::npos) << health.Verdict();
        if (!c.Healthy) {
            EXPECT_EQ(health.Verdict().find("healthy"), std::string::npos);
        }
        EXPECT_EQ(health.Reachable, c.Reachable);
        EXPECT_EQ(health.ReadWhole, c.ReadWhole);
        EXPECT_EQ(health.BrokenChains, c.Broken);
        EXPECT_EQ(health.Deleted, c.Deleted);
        EXPECT_EQ(health.Unindexed, c.Unindexed);
        EXPECT_EQ(health.FileSize, std::filesystem::file_size(path));
        const auto indexed = static_cast<uint32_t>(std::count_if(c.Written.begin(), c.Written.end(), [](const auto& m) {
            return m.DbxPresence == ts::TDbxPresence::Indexed;
        }));
        EXPECT_EQ(health.HeaderCount, c.Options.HeaderCount.value_or(indexed));
        if (c.Reachable == 0) EXPECT_TRUE(health.IndexError);
        if (c.Healthy) EXPECT_FALSE(health.IndexError);
        EXPECT_FALSE(health.CodePage.empty() && !health.IndexError);
    }
}

TEST(StoreHealth, DeletedTextsLoseTheirLinkBytes) {
    TTempDir dir;
    std::vector<ts::TStoreMessage> m = Messages(5);
    m[1].DbxPresence = ts::TDbxPresence::Deleted;
    test::WriteDbx(dir / "Store.dbx", m);
    const TStoreHealth health = CheckStore(dir / "Store.dbx");
    EXPECT_GT(health.LostBytes, 0u);  // the first 4 bytes of each freed block hold a link
    EXPECT_TRUE(health.Healthy());
}

TEST(StoreHealth, IndexFileProblemsOfVersion4Folders) {
    TTempDir dir;
    struct TCase {
        const char* Name;
        ts::TMbxOptions Options;
        bool Unlisted;           // one message left out of the .idx
        const char* Problem;     // in IndexFileProblems; empty: none
    };
    ts::TMbxOptions noIndex;
    noIndex.WriteIndex = false;
    ts::TMbxOptions badMagic;
    badMagic.BadIndexMagic = true;
    // Deleting a message leaves its record in the .mbx and takes it out of the .idx.
    ts::TMbxOptions deleted;
    deleted.IndexHeaderCount = 5;
    ts::TMbxOptions moreCounted;
    moreCounted.IndexHeaderCount = 9;
    const TCase cases[] = {
        {"sound", {}, false, ""},
        {"no index", noIndex, false, "no index file"},
        {"bad magic", badMagic, false, "does not begin as one"},
        {"count", moreCounted, false, "holds 6 of the 9 entries"},
        {"unlisted", deleted, true, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir / (std::string(c.Name) + ".mbx");
        {
            ts::TMbxWriter writer(path, c.Options);
            std::vector<ts::TStoreMessage> m = Messages(6);
            if (c.Unlisted) m[2].MbxListed = false;
            for (const auto& message : m) writer.Add(message);
            writer.Finish();
        }
        const TStoreHealth health = CheckStore(path);
        EXPECT_EQ(health.Kind, kFileKindOE4);
        if (std::string_view(c.Problem).empty()) {
            EXPECT_TRUE(health.IndexFileProblems.empty()) << health.Verdict() << " reached " << health.Reachable;
        } else {
            ASSERT_FALSE(health.IndexFileProblems.empty());
            EXPECT_NE(health.IndexFileProblems.front().find(c.Problem), std::string::npos)
                << health.IndexFileProblems.front();
            EXPECT_FALSE(health.Healthy());
            EXPECT_NE(health.Verdict().find("index file:"), std::string::npos);
        }
        EXPECT_EQ(health.Deleted, c.Unlisted ? 1u : 0u);
    }
}

TEST(StoreHealth, FilesOfNoKnownKindOrNoneAtAll) {
    TTempDir dir;
    std::ofstream(dir / "Note.dbx", std::ios::binary) << "this is no store at all, only some text";
    const TStoreHealth text = CheckStore(dir / "Note.dbx");
    EXPECT_FALSE(text.Healthy());
    const TStoreHealth none = CheckStore(dir / "Missing.dbx");
    ASSERT_TRUE(none.Unreadable);
    EXPECT_NE(none.Verdict().find("unreadable"), std::string::npos);
}

TEST(StoreHealth, SizeAgainstTheFormatLimit) {
    TStoreHealth health;
    health.Kind = kFileKindOE5;
    health.FileSize = kStoreSizeWarning - 1;
    EXPECT_EQ(health.Verdict(), "healthy");
    health.FileSize = kStoreSizeWarning;
    EXPECT_TRUE(health.Healthy());
    EXPECT_NE(health.Verdict().find("near the 2 GB limit"), std::string::npos);
    health.FileSize = kStoreSizeLimit;
    EXPECT_FALSE(health.Healthy());
    EXPECT_NE(health.Verdict().find("over the 2 GB limit"), std::string::npos);
}

TEST(FolderHealth, MissingStrayAndCopiedStores) {
    TTempDir dir;
    const std::vector<ts::TStoreMessage> inbox = Messages(8, "Inbox ");
    test::WriteDbx(dir / "Inbox.dbx", inbox);
    test::WriteDbx(dir / "Inbox(1).dbx", {inbox[0], inbox[1], inbox[2]});
    test::WriteDbx(dir / "Other.dbx", Messages(2, "Other "));
    ts::WriteFolderList(dir / "Folders.dbx", {{0, 0xFFFFFFFF, "Root", ""},
                                              {1, 0, "Inbox", "Inbox.dbx", 0, 8, 0, 1},
                                              {2, 0, "Sent", "Sent Items.dbx", 0, 4, 0, 3}});
    const TFolderHealth health = CheckStoreFolder(dir.Path());
    EXPECT_TRUE(health.HasList);
    EXPECT_TRUE(health.ListDamage.empty());
    ASSERT_EQ(health.MissingStores.size(), 1u);
    EXPECT_NE(health.MissingStores[0].find("Sent Items.dbx"), std::string::npos);
    ASSERT_EQ(health.StrayFiles.size(), 2u);
    const bool copyNamed = health.StrayFiles[0].find("a copy of Inbox.dbx") != std::string::npos ||
                           health.StrayFiles[1].find("a copy of Inbox.dbx") != std::string::npos;
    EXPECT_TRUE(copyNamed);
    EXPECT_EQ(health.DuplicateGroups, 3u);
    EXPECT_EQ(health.DuplicateCopies, 3u);
    EXPECT_EQ(health.Stores.size(), 3u);
    for (const TStoreHealth& store : health.Stores) EXPECT_TRUE(store.Healthy()) << store.Path;
    EXPECT_FALSE(health.Healthy());
}

TEST(FolderHealth, SoundFolderIsHealthyAndADamagedStoreIsNot) {
    TTempDir dir;
    test::WriteDbx(dir / "Inbox.dbx", Messages(5, "Inbox "));
    test::WriteDbx(dir / "Sent.dbx", Messages(3, "Sent "));
    ts::WriteFolderList(dir / "Folders.dbx", {{0, 0xFFFFFFFF, "Root", ""},
                                              {1, 0, "Inbox", "Inbox.dbx", 0, 5, 0, 1},
                                              {2, 0, "Sent", "Sent.dbx", 0, 3, 0, 3}});
    const TFolderHealth sound = CheckStoreFolder(dir.Path());
    EXPECT_TRUE(sound.Healthy());
    ASSERT_EQ(sound.Stores.size(), 2u);
    EXPECT_EQ(sound.Stores[0].Folder, "Root/Inbox");
    ts::TDbxOptions damaged;
    damaged.Damage = {{ts::TDbxDamageKind::NodeMarker, 0}};
    test::WriteDbx(dir / "Sent.dbx", Messages(3, "Sent "), damaged);
    const TFolderHealth hurt = CheckStoreFolder(dir.Path());
    EXPECT_FALSE(hurt.Healthy());
    EXPECT_TRUE(hurt.Stores[0].Healthy());
    EXPECT_FALSE(hurt.Stores[1].Healthy());
}

TEST(CopyMark, NamesOfCopiesLeadToTheOriginal) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"Inbox(1).dbx", "Inbox.dbx"},      {"Inbox (2).dbx", "Inbox.dbx"},  {"Inbox - Copy.dbx", "Inbox.dbx"},
        {"Copy of Inbox.dbx", "Inbox.dbx"}, {"Inbox.dbx.bak", "Inbox.dbx"},  {"Inbox.dbx", std::nullopt},
        {"(1).dbx", std::nullopt},          {"Inbox(x).dbx", std::nullopt}, {"Sent Items.dbx", std::nullopt},
    };
    for (const auto& [name, original] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(NameWithoutCopyMark(name), original);
    }
}

}  // namespace
}  // namespace brindle
