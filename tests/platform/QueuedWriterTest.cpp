// Files written on the queued writer's own thread: the names and bytes a plain loop gives,
// errors handed back to the caller.
#include "../support/TempDir.h"
#include "platform/Exceptions.h"
#include "platform/QueuedWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Each file of the folder with its bytes; "taken.eml" is planted first.
std::map<std::string, std::string> FilesAfter(const std::function<void(TTargetFolder&)>& write) {
    test::TTempDir dir;
    std::ofstream(dir / "taken.eml") << "planted";
    TTargetFolder folder(dir.Path());
    write(folder);
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        std::ostringstream bytes;
        bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        files[entry.path().filename().string()] = bytes.str();
    }
    return files;
}

const char* const kNames[] = {"a.eml", "taken.eml", "a.eml", "b.eml", "a.eml", "taken.eml"};
// The fourth file is larger than a queue of 4 KiB: the writer must be woken for less than its
// usual batch.
std::string BytesOf(size_t i) { return std::string(i == 3 ? 5000 : i + 1, char('0' + i)); }

TEST(QueuedWriterTest, NamesAndBytesAreThoseOfAPlainLoop) {
    const auto expected = FilesAfter([](TTargetFolder& folder) {
        for (size_t i = 0; i < std::size(kNames); ++i) folder.Write(kNames[i], BytesOf(i), TIfExists::NextFreeName);
    });
    EXPECT_EQ(expected.at("a (3).eml"), "44444");
    EXPECT_EQ(expected.at("taken (3).eml"), "555555");
    // A queue of one byte makes every file wait for the one before it; without Finish the
    // writer still writes what is queued before it goes.
    for (const auto& [limit, finish] :
         {std::pair{size_t{1}, true}, {size_t{4096}, true}, {size_t{1} << 16, true}, {size_t{1} << 16, false}}) {
        SCOPED_TRACE(limit);
        EXPECT_EQ(FilesAfter([&](TTargetFolder& folder) {
                      TQueuedWriter writer(folder, TIfExists::NextFreeName, limit);
                      for (size_t i = 0; i < std::size(kNames); ++i) writer.Write(kNames[i], BytesOf(i));
                      if (finish) writer.Finish();
                  }),
                  expected);
    }
}

// Several threads write distinct names in any order: every file arrives whole, none replaced.
TEST(QueuedWriterTest, SeveralThreadsWriteEveryFileOnce) {
    std::map<std::string, std::string> expected{{"taken.eml", "planted"}, {"taken (2).eml", "again"}};
    for (size_t i = 0; i < 300; ++i)
        expected["m" + std::to_string(i) + ".eml"] = std::string(i * 37 % 5000, 'a' + i % 26);
    for (size_t limit : {size_t{1}, size_t{8192}, size_t{1} << 20}) {
        SCOPED_TRACE(limit);
        EXPECT_EQ(FilesAfter([&](TTargetFolder& folder) {
                      TQueuedWriter writer(folder, TIfExists::NextFreeName, limit, 3);
                      writer.Write("taken.eml", "again");
                      for (size_t i = 0; i < 300; ++i)
                          writer.Write("m" + std::to_string(i) + ".eml", expected["m" + std::to_string(i) + ".eml"]);
                      writer.Finish();
                  }),
                  expected);
    }
}

TEST(QueuedWriterTest, AnErrorReachesTheCallerAndStopsLaterFiles) {
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        bool thrown = false;
        const auto files = FilesAfter([&](TTargetFolder& folder) {
            try {
                TQueuedWriter writer(folder, TIfExists::Fail, size_t{16} << 20, threads);
                for (const char* name : {"first.eml", "taken.eml", "later.eml"}) writer.Write(name, name);
                writer.Finish();
            } catch (const EFCreateError&) {
                thrown = true;
            }
        });
        EXPECT_TRUE(thrown);
        EXPECT_EQ(files.at("taken.eml"), "planted");
        // One thread stops at the error; with two, a file taken by the other may still come.
        if (threads == 1) {
            EXPECT_EQ(files,
                      (std::map<std::string, std::string>{{"first.eml", "first.eml"}, {"taken.eml", "planted"}}));
        }
    }
}

}  // namespace
}  // namespace brindle
