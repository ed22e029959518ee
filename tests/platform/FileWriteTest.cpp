#include "platform/Exceptions.h"
#include "platform/FileWrite.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace brindle {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class FileWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("brindle-filewrite-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(FileWriteTest, ReplacesAnExistingFileWhole) {
    const fs::path file = dir_ / "a.eml";
    { std::ofstream(file, std::ios::binary) << std::string(1000, 'x'); }
    WriteWholeFile(file, "new\r\n");
    EXPECT_EQ(Read(file), "new\r\n");
    WriteWholeFile(file, "");
    EXPECT_EQ(fs::file_size(file), 0u);
}

TEST_F(FileWriteTest, FileThatCannotBeCreatedNamesItsPath) {
    const std::string path = (dir_ / "none" / "b.eml").string();
    try {
        WriteWholeFile(path, "x");
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(), "Cannot create file " + path);
    }
}

// A write that fails midway (a full device) keeps the message and names the file.
TEST_F(FileWriteTest, WriteThatFailsNamesItsPathAndKeepsItsMessage) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    try {
        WriteWholeFile("/dev/full", std::string(1 << 16, 'x'));
        ADD_FAILURE() << "no error";
    } catch (const EWriteError& error) {
        EXPECT_EQ(error.Message(), "Stream write error");
        EXPECT_EQ(error.Path(), "/dev/full");
        EXPECT_EQ(DescribeWithPath(error), "Stream write error: /dev/full");
    }
}

TEST(ErrorPath, DescribedOnlyWhenKnown) {
    struct TCase {
        std::exception_ptr Error;
        std::string Described;
    };
    const TCase cases[] = {
        {std::make_exception_ptr(EReadError("/s/Inbox.dbx")), "Stream read error: /s/Inbox.dbx"},
        {std::make_exception_ptr(EReadError()), "Stream read error"},
        {std::make_exception_ptr(EWriteError()), "Stream write error"},
        {std::make_exception_ptr(EFOpenError("/s/x")), "Cannot open file /s/x"},
        {std::make_exception_ptr(std::runtime_error("other")), "other"},
    };
    for (const TCase& c : cases) {
        try {
            std::rethrow_exception(c.Error);
        } catch (const std::exception& error) {
            EXPECT_EQ(DescribeWithPath(error), c.Described);
        }
    }
}

}  // namespace
}  // namespace brindle
