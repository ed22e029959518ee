#include "platform/ByteSource.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <limits>

namespace brindle {
namespace {

class ByteSourceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/brindle-bytesource-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string dir_;
};

TEST_F(ByteSourceFileTest, OpenFileMapsTheWholeFile) {
    std::string bytes("head\0tail\xFF", 10);
    auto source = TByteSource::OpenFile(WriteFile("a.bin", bytes));
    EXPECT_EQ(source->Size(), 10u);
    EXPECT_EQ(source->All(), bytes);
}

TEST_F(ByteSourceFileTest, OpenFileOfAnEmptyFileGivesNoBytes) {
    auto source = TByteSource::OpenFile(WriteFile("empty", ""));
    EXPECT_EQ(source->Size(), 0u);
    EXPECT_TRUE(source->ReadUpTo(0, 5).empty());
}

TEST_F(ByteSourceFileTest, OpenFileFailsWithTheFileLayerMessage) {
    std::string missing = dir_ + "/missing.dbx";
    try {
        TByteSource::OpenFile(missing);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + missing);
    }
    EXPECT_THROW(TByteSource::OpenFile(dir_), EFOpenError);
}

// One buffer serves file after file, growing and shrinking; a file past the limit is mapped.
TEST_F(ByteSourceFileTest, OpenFileIntoABufferReadsEachFileWhole) {
    TReadBuffer buffer;
    const std::string small("small\0one", 9);
    const std::string large(3 << 20, 'x');
    for (const std::string& bytes : {small, large, small}) {
        auto source = TByteSource::OpenFile(WriteFile("f.bin", bytes), buffer, 4 << 20);
        EXPECT_EQ(source->All(), bytes);
    }
    auto mapped = TByteSource::OpenFile(WriteFile("big.bin", large), buffer, 1 << 20);
    EXPECT_EQ(mapped->All(), large);
    EXPECT_TRUE(TByteSource::OpenFile(WriteFile("empty", ""), buffer, 1 << 20)->All().empty());
    EXPECT_THROW(TByteSource::OpenFile(dir_ + "/missing", buffer, 1 << 20), EFOpenError);
    EXPECT_THROW(TByteSource::OpenFile("/dev/zero", buffer, 1 << 20), EFOpenError);
}

// A pipe without a writer would keep the open waiting, a device may never end.
TEST_F(ByteSourceFileTest, OnlyRegularFilesAreOpened) {
    std::string fifo = dir_ + "/pipe.dbx";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(TByteSource::OpenFile(fifo), EFOpenError);
    EXPECT_THROW(TByteSource::OpenFile("/dev/zero"), EFOpenError);
}

TEST(ByteSourceTest, HasChecksRangesWithoutOverflow) {
    auto source = TByteSource::FromMemory("0123456789");
    EXPECT_TRUE(source->Has(0, 10));
    EXPECT_TRUE(source->Has(10, 0));
    EXPECT_TRUE(source->Has(9, 1));
    EXPECT_FALSE(source->Has(9, 2));
    EXPECT_FALSE(source->Has(11, 0));
    EXPECT_FALSE(source->Has(1, std::numeric_limits<uint64_t>::max()));
    EXPECT_FALSE(source->Has(std::numeric_limits<uint64_t>::max(), 1));
}

TEST(ByteSourceTest, ReadGivesExactBytesOrStreamReadError) {
    auto source = TByteSource::FromMemory("0123456789");
    EXPECT_EQ(source->Read(2, 3), "234");
    EXPECT_EQ(source->Read(10, 0), "");
    try {
        source->Read(8, 3);
        FAIL() << "no exception";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    EXPECT_THROW(source->Read(std::numeric_limits<uint64_t>::max(), 2), EReadError);
}

TEST(ByteSourceTest, ReadUpToClampsAtTheEnd) {
    auto source = TByteSource::FromMemory("0123456789");
    EXPECT_EQ(source->ReadUpTo(7, 100), "789");
    EXPECT_EQ(source->ReadUpTo(10, 1), "");
    EXPECT_EQ(source->ReadUpTo(50, 1), "");
    EXPECT_EQ(source->ReadUpTo(0, std::numeric_limits<uint64_t>::max()), "0123456789");
}

TEST(ByteSourceTest, FromMemoryOwnsACopyAndFromViewBorrows) {
    std::string bytes = "abc";
    auto owned = TByteSource::FromMemory(bytes);
    auto borrowed = TByteSource::FromView(bytes);
    bytes[0] = 'X';
    EXPECT_EQ(owned->All(), "abc");
    EXPECT_EQ(borrowed->All(), "Xbc");
}

}  // namespace
}  // namespace brindle
