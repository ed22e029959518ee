// Files written on the queued writer's own thread: the names and bytes a plain loop gives,
// errors handed back to the caller, nothing queued lost.
#include "platform/Exceptions.h"
#include "platform/QueuedWriter.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace brindle {
namespace {

namespace fs = std::filesystem;

class QueuedWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("brindle-queued-" + std::to_string(::getpid()));
        fs::remove_all(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // A new folder holding one planted file, "taken.eml".
    std::string NewFolder(const std::string& name) const {
        const fs::path path = root_ / name;
        fs::create_directories(path);
        std::ofstream(path / "taken.eml") << "planted";
        return path.string();
    }

    static std::map<std::string, std::string> Files(const std::string& dir) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            files[entry.path().filename().string()] = bytes.str();
        }
        return files;
    }

    fs::path root_;
};

const char* const kNames[] = {"a.eml", "taken.eml", "a.eml", "b.eml", "a.eml", "taken.eml"};

TEST_F(QueuedWriterTest, NamesAndBytesAreThoseOfAPlainLoop) {
    TTargetFolder plainFolder(NewFolder("plain"));
    for (size_t i = 0; i < std::size(kNames); ++i)
        plainFolder.Write(kNames[i], std::string(i + 1, char('0' + i)), TIfExists::NextFreeName);
    const auto expected = Files(plainFolder.Path());
    EXPECT_EQ(expected.at("a (3).eml"), "44444");
    EXPECT_EQ(expected.at("taken (3).eml"), "555555");

    // A queue of one byte makes every file wait for the one before it to be written.
    for (size_t limit : {size_t{1}, size_t{1} << 16}) {
        SCOPED_TRACE(limit);
        TTargetFolder folder(NewFolder("queued" + std::to_string(limit)));
        TQueuedWriter writer(folder, TIfExists::NextFreeName, limit);
        for (size_t i = 0; i < std::size(kNames); ++i) writer.Write(kNames[i], std::string(i + 1, char('0' + i)));
        writer.Finish();
        EXPECT_EQ(Files(folder.Path()), expected);
    }
}

TEST_F(QueuedWriterTest, AnErrorReachesTheCallerAndStopsLaterFiles) {
    TTargetFolder folder(NewFolder("failing"));
    bool thrown = false;
    try {
        TQueuedWriter writer(folder, TIfExists::Fail);
        writer.Write("first.eml", "1");
        writer.Write("taken.eml", "2");
        writer.Write("later.eml", "3");
        writer.Finish();
    } catch (const EFCreateError&) {
        thrown = true;
    }
    EXPECT_TRUE(thrown);
    const auto files = Files(folder.Path());
    EXPECT_EQ(files.at("first.eml"), "1");
    EXPECT_EQ(files.at("taken.eml"), "planted");
    EXPECT_EQ(files.count("later.eml"), 0u);
}

TEST_F(QueuedWriterTest, FilesStillQueuedAreWrittenWithoutFinish) {
    TTargetFolder folder(NewFolder("unfinished"));
    {
        TQueuedWriter writer(folder, TIfExists::NextFreeName);
        for (int i = 0; i < 50; ++i) writer.Write("m" + std::to_string(i) + ".eml", std::string(1000, 'x'));
    }
    EXPECT_EQ(Files(folder.Path()).size(), 51u);
}

}  // namespace
}  // namespace brindle
