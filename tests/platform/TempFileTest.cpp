#include "platform/TempFile.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace brindle {
namespace {

std::vector<std::string> EntriesOf(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* entry = readdir(d)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    return names;
}

class TempFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        if (old != nullptr) oldTmpDir_ = old;
        char pattern[] = "/tmp/brindle-tempfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("TMPDIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (oldTmpDir_)
            setenv("TMPDIR", oldTmpDir_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    std::string dir_;
    std::optional<std::string> oldTmpDir_;
};

TEST_F(TempFileTest, CreatesAnOwnerOnlyFileWithThePrefixAndRemovesIt) {
    std::string path;
    {
        TTempFile file;
        path = file.Path();
        EXPECT_EQ(path.rfind(dir_ + "/mox", 0), 0u) << path;
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, 0);
    }
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(EntriesOf(dir_).empty());
}

TEST_F(TempFileTest, WrittenBytesReadBack) {
    TTempFile file;
    std::string bytes("one\0two", 7);
    file.Write(bytes);
    file.Write("three");
    EXPECT_EQ(file.ReadAll(), bytes + "three");
}

TEST_F(TempFileTest, TwoFilesNeverShareAName) {
    TTempFile a, b;
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_EQ(EntriesOf(dir_).size(), 2u);
}

TEST_F(TempFileTest, RemovedAlsoWhenAnErrorLeavesTheScope) {
    try {
        TTempFile file;
        file.Write("partial");
        throw EReadError();
    } catch (const EReadError&) {
    }
    EXPECT_TRUE(EntriesOf(dir_).empty());
}

TEST_F(TempFileTest, MissingDirectoryGivesCreateError) {
    setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
    try {
        TTempFile file;
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file " + dir_ + "/missing/mox", 0), 0u) << e.Message();
    }
}

TEST_F(TempFileTest, DirectoryFallsBackToTmp) {
    EXPECT_EQ(TTempFile::Directory(), dir_);
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(TTempFile::Directory(), "/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(TTempFile::Directory(), "/tmp");
}

}  // namespace
}  // namespace brindle
