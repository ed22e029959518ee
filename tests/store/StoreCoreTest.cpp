// The store core: opening through the one opener, files cut short while open, error context
// and the warnings of tolerated damage.
#include "StoreTestSupport.h"
#include "store/DBXReader.h"
#include "store/MBXReader.h"
#include "store/StoreOpener.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::SampleMessages;

ts::TMbxOptions MbxOptions(const std::function<void(ts::TMbxOptions&)>& set) {
    ts::TMbxOptions options;
    set(options);
    return options;
}

const ts::TMbxOptions kWithoutIndex = MbxOptions([](auto& o) { o.WriteIndex = false; });

class StoreCoreFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/brindle-storecore-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Write(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string dir_;
};

TEST_F(StoreCoreFiles, KindComesFromTheContentNotTheName) {
    const std::string dbx = Write("looks-like.mbx", ts::BuildDbx(SampleMessages(3)));
    const std::string mbx = Write("looks-like.dbx", ts::BuildMbx(SampleMessages(2), kWithoutIndex).Mbx);
    EXPECT_EQ(OpenStore(dbx)->FileKind(), kFileKindOE5);
    EXPECT_EQ(OpenStore(dbx)->GetMessageCount(), 3);
    EXPECT_EQ(OpenStore(mbx)->FileKind(), kFileKindOE4);
    EXPECT_EQ(test::ErrorOf([&] { OpenStore(Write("x.dbx", std::string(64, 'x'))); }),
              "File is not in supported format.");
}

// A file that another program cuts short while it is open: reading its lost pages gives the
// reader's "Stream read error", never SIGBUS.
TEST_F(StoreCoreFiles, StoreCutShortWhileOpenGivesAReadError) {
    const auto messages = SampleMessages(40, 400);
    const std::string dbx = Write("Inbox.dbx", ts::BuildDbx(messages));
    auto dbxReader = OpenStore(dbx);
    const std::string mbx = Write("Old.mbx", ts::BuildMbx(messages, kWithoutIndex).Mbx);
    auto mbxReader = OpenStore(mbx);
    ASSERT_EQ(truncate(dbx.c_str(), 0x2600), 0);
    ASSERT_EQ(truncate(mbx.c_str(), 4096), 0);
    for (TOEReader* reader : {dbxReader.get(), mbxReader.get()}) {
        EXPECT_EQ(test::ErrorOf([&] { reader->GetMessageText(39); }), "Stream read error") << reader->FileName();
        EXPECT_EQ(test::ErrorOf([&] { reader->GetMessageText(0); }), "Stream read error") << reader->FileName();
    }
}

TEST(StoreCore, ReaderErrorsTellWhereTheyWereMet) {
    ts::TDbxOptions options;
    options.Damage = {{ts::TDbxDamageKind::InfoMarker, 2}};
    ts::TDbxWriter writer(options);
    for (const auto& m : SampleMessages(4)) writer.Add(m);
    writer.Finish();
    test::TMemoryFiles files;
    files.Set("Inbox.dbx", writer.Bytes());
    auto reader = test::ReaderOver<TDBXReader>(files);
    reader->Open("Inbox.dbx");
    try {
        reader->ReadMessageInfos();
        FAIL() << "damage not found";
    } catch (const EDBXReaderException& error) {
        EXPECT_EQ(error.Message(), "Wrong object marker.");
        EXPECT_EQ(error.Context().Structure, "message info");
        EXPECT_EQ(error.Context().Offset, writer.Layout().InfoObjects[2]);
        EXPECT_EQ(error.Context().MessageIndex, 2);
    }

    ts::TDbxOptions parent;
    parent.Damage = {{ts::TDbxDamageKind::NodeParent, 1}};
    parent.FanOut = 2;
    ts::TDbxWriter tree(parent);
    for (const auto& m : SampleMessages(9)) tree.Add(m);
    tree.Finish();
    files.Set("Tree.dbx", tree.Bytes());
    auto treeReader = test::ReaderOver<TDBXReader>(files);
    try {
        treeReader->Open("Tree.dbx");
        FAIL() << "damage not found";
    } catch (const EDBXReaderException& error) {
        EXPECT_EQ(error.Message(), "Wrong parent.");
        EXPECT_EQ(
            error.Context().Describe(), "index node at 0x" + [&] {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08X", tree.Layout().Nodes[1]);
                return std::string(hex);
            }());
    }
}

TEST(StoreCore, ToleratedDamageIsToldToTheWarningSink) {
    struct Case {
        const char* name;
        ts::TMbxOptions options;
        const char* expectedStart;
    };
    const Case cases[] = {
        {"index cut short", MbxOptions([](auto& o) { o.IndexTruncateTo = 80 + 300; }),
         "The index file Old.idx is damaged: Stream read error"},
        {"index of another kind", MbxOptions([](auto& o) { o.BadIndexMagic = true; }),
         "The index file Old.idx is not a version 4 index file"},
        {"fewer records than counted", MbxOptions([](auto& o) {
             o.WriteIndex = false;
             o.HeaderCount = 9;
         }),
         "Found 5 of 9 message records."},
    };
    for (const Case& c : cases) {
        ts::TMbxImages images = ts::BuildMbx(SampleMessages(5), c.options);
        test::TMemoryFiles files;
        files.Set("Old.mbx", images.Mbx);
        if (!images.Idx.empty()) files.Set("Old.idx", images.Idx);
        auto reader = test::ReaderOver<TMBXReader>(files);
        std::vector<TWarning> warnings;
        reader->SetWarningSink([&](const TWarning& w) { warnings.push_back(w); });
        reader->Open("Old.mbx");
        reader->ReadMessageInfos();
        ASSERT_EQ(warnings.size(), 1u) << c.name;
        EXPECT_TRUE(warnings[0].Text.starts_with(c.expectedStart)) << c.name << ": " << warnings[0].Text;
        EXPECT_FALSE(warnings[0].Context.Empty()) << c.name;
    }
    // A sound folder tells nothing.
    ts::TMbxImages images = ts::BuildMbx(SampleMessages(5));
    test::TMemoryFiles files;
    files.Set("Old.mbx", images.Mbx);
    files.Set("Old.idx", images.Idx);
    auto reader = test::ReaderOver<TMBXReader>(files);
    int told = 0;
    reader->SetWarningSink([&](const TWarning&) { ++told; });
    reader->Open("Old.mbx");
    reader->ReadMessageInfos();
    EXPECT_EQ(told, 0);
}

}  // namespace
}  // namespace brindle
