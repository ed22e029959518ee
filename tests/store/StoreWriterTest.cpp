// The test writer itself: files streamed to disk equal the images built in memory, and the peer
// extractor undbx reads every message of a written store.
#include "StoreTestSupport.h"
#include "store/DBXReader.h"
#include "store/MBXReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace brindle {
namespace {

using test::SampleMessages;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-store-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<testsupport::TStoreMessage> MixedMessages() {
    std::vector<testsupport::TStoreMessage> messages = SampleMessages(120, 3);
    for (size_t i = 0; i < messages.size(); i += 7) messages[i] = test::SampleMessage(static_cast<int>(i), 600);
    return messages;
}

TEST(StoreWriterTest, DbxFileEqualsTheImageInMemory) {
    TempDir dir;
    testsupport::TDbxOptions options;
    options.FanOut = 4;
    testsupport::TDbxWriter onDisk(dir / "Inbox.dbx", options);
    testsupport::TDbxWriter inMemory(options);
    for (const auto& m : MixedMessages()) {
        onDisk.Add(m);
        inMemory.Add(m);
    }
    onDisk.Finish();
    inMemory.Finish();
    EXPECT_EQ(ReadWhole(dir / "Inbox.dbx"), inMemory.Bytes());
    EXPECT_EQ(onDisk.Layout().FileSize, inMemory.Bytes().size());
    EXPECT_THROW(onDisk.Bytes(), std::logic_error);
}

TEST(StoreWriterTest, MbxFilesEqualTheImagesInMemory) {
    TempDir dir;
    testsupport::TMbxWriter onDisk(dir / "Inbox.mbx");
    testsupport::TMbxWriter inMemory;
    for (const auto& m : MixedMessages()) {
        onDisk.Add(m);
        inMemory.Add(m);
    }
    onDisk.Finish();
    inMemory.Finish();
    EXPECT_EQ(ReadWhole(dir / "Inbox.mbx"), inMemory.Bytes());
    EXPECT_EQ(ReadWhole(dir / "Inbox.idx"), inMemory.IndexBytes());

    TMBXReader reader;
    reader.Open(dir / "Inbox.mbx");
    reader.ReadMessageInfos();
    EXPECT_EQ(reader.GetMessageInfo(119).Subject, "Message 119");  // from the .idx beside it
}

bool UndbxInstalled() { return std::system("command -v undbx >/dev/null 2>&1") == 0; }

// The texts that undbx extracts from a store, whatever it names its files.
std::multiset<std::string> UndbxTexts(const std::string& store, const std::string& outDir) {
    const std::string command = "undbx -v 0 '" + store + "' '" + outDir + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::multiset<std::string> texts;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(outDir))
        if (entry.is_regular_file()) texts.insert(ReadWhole(entry.path().string()));
    return texts;
}

TEST(StoreWriterTest, UndbxExtractsEveryMessageOfAWrittenStore) {
    if (!UndbxInstalled()) GTEST_SKIP() << "undbx is not installed";
    TempDir dir;
    std::vector<testsupport::TStoreMessage> messages = MixedMessages();
    for (uint32_t fanOut : {2u, 51u}) {
        SCOPED_TRACE(fanOut);
        testsupport::TDbxOptions options;
        options.FanOut = fanOut;
        const std::string store = dir / ("Store" + std::to_string(fanOut) + ".dbx");
        testsupport::TDbxWriter writer(store, options);
        for (const auto& m : messages) writer.Add(m);
        writer.Finish();

        std::multiset<std::string> expected;
        for (const auto& m : messages) expected.insert(m.Text);
        const std::string out = dir / ("out" + std::to_string(fanOut));
        std::filesystem::create_directory(out);
        EXPECT_EQ(UndbxTexts(store, out), expected);

        TDBXReader reader;
        reader.Open(store);
        reader.ReadMessageInfos();
        std::multiset<std::string> ours;
        for (int32_t i = 0; i < reader.GetMessageCount(); ++i) ours.insert(reader.GetMessageText(i));
        EXPECT_EQ(ours, expected);
    }
}

}  // namespace
}  // namespace brindle
