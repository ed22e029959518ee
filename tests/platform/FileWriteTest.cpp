#include "platform/Exceptions.h"
#include "platform/FileWrite.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

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

}  // namespace
}  // namespace brindle
