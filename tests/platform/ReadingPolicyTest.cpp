// The reading policy in use: files read whole in one piece or in two halves come out the same,
// a read buffer never hands out a block that a source still shows, and a mapped file cut
// short faults harmlessly also on a second thread of a split pass.
#include "platform/ByteSource.h"
#include "platform/Exceptions.h"
#include "platform/ParallelWork.h"
#include "platform/ReadingPolicy.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace brindle {
namespace {

class ReadingPolicyTest : public ::testing::Test {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::string path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Bytes that differ at every offset, so that halves put together in the wrong place or
    // a short half show.
    static std::string Pattern(size_t size, unsigned seed) {
        std::string bytes(size, '\0');
        uint32_t state = seed * 2654435761u + 1;
        for (char& c : bytes) {
            state = state * 1103515245u + 12345u;
            c = static_cast<char>(state >> 24);
        }
        return bytes;
    }

    test::TTempDir dir_;
};

TEST_F(ReadingPolicyTest, FiguresDecideAsTheyRead) {
    const TReadingPolicy& policy = ReadingPolicy();
    EXPECT_TRUE(policy.ReadsWhole(policy.ReadWholeUpTo));
    EXPECT_FALSE(policy.ReadsWhole(policy.ReadWholeUpTo + 1));
    EXPECT_FALSE(policy.ReadsInHalves(policy.ReadInHalvesFrom - 1));
    EXPECT_TRUE(policy.ReadsInHalves(policy.ReadInHalvesFrom));
    EXPECT_TRUE(policy.KeepsPages(policy.KeepPagesUpTo));
    EXPECT_FALSE(policy.KeepsPages(policy.KeepPagesUpTo + 1));
    EXPECT_TRUE(policy.KeepsPagesAfterPass(policy.KeepPagesUpTo, TFollowingPass::OverSameRange));
    EXPECT_FALSE(policy.KeepsPagesAfterPass(policy.KeepPagesUpTo + 1, TFollowingPass::OverSameRange));
    EXPECT_FALSE(policy.KeepsPagesAfterPass(1, TFollowingPass::None));
    {
        TReadingPolicy small;
        small.ScanInHalvesFrom = 1;
        const TScopedReadingPolicy scoped(small);
        EXPECT_EQ(ReadingPolicy().ScanInHalvesFrom, 1u);
    }
    EXPECT_EQ(ReadingPolicy().ScanInHalvesFrom, TReadingPolicy().ScanInHalvesFrom);
}

// Sizes around the split and odd ones, whose halves are of unequal length.
TEST_F(ReadingPolicyTest, HalvesReadSideBySideGiveTheFileAsWritten) {
    TReadingPolicy policy;
    policy.ReadInHalvesFrom = 4096;
    const TScopedReadingPolicy scoped(policy);
    TReadBuffer buffer;
    unsigned seed = 0;
    for (size_t size : {size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{65537}, size_t{3} << 20}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size, ++seed);
        const auto source = TByteSource::OpenFile(WriteFile("f" + std::to_string(size), bytes), buffer, 8 << 20);
        ASSERT_EQ(source->Size(), size);
        EXPECT_TRUE(source->All() == bytes);
    }
}

TEST_F(ReadingPolicyTest, BufferBlockInUseByASourceIsNeitherFreedNorReused) {
    TReadBuffer buffer;
    const std::string first = Pattern(10000, 1);
    const std::string second = Pattern(10000, 2);
    const std::string larger = Pattern(6 << 20, 3);
    auto a = TByteSource::OpenFile(WriteFile("a", first), buffer, 8 << 20);
    // The same size would fit the block; a larger one would free it.
    auto b = TByteSource::OpenFile(WriteFile("b", second), buffer, 8 << 20);
    auto c = TByteSource::OpenFile(WriteFile("c", larger), buffer, 8 << 20);
    EXPECT_TRUE(a->All() == first);
    EXPECT_TRUE(b->All() == second);
    EXPECT_TRUE(c->All() == larger);
    EXPECT_NE(a->All().data(), b->All().data());

    // Without a lease out, the block is kept from file to file.
    a.reset();
    b.reset();
    c.reset();
    char* room = buffer.Room(100);
    EXPECT_EQ(buffer.Room(50), room);
    const std::shared_ptr<const char> lease = buffer.Lease();
    EXPECT_NE(buffer.Room(50), room);
}

// A split pass reads the second half on a thread of its own; a fault there must be caught the
// same way as on the caller's thread.
TEST_F(ReadingPolicyTest, FaultOnTheSecondThreadOfASplitPassIsCaught) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const std::string bytes = Pattern(16 * page, 7);
    const std::string path = WriteFile("cut", bytes);
    const auto source = TByteSource::OpenFile(path);
    ASSERT_TRUE(source->Intact());
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(4 * page)), 0);

    std::thread::id readers[2];
    char firstByte[2] = {1, 1};
    char pastEnd[2] = {1, 1};
    TParallelRun run;
    RunShares(2, run, [&](size_t share) {
        readers[share] = std::this_thread::get_id();
        const size_t half = share * 8 * page;
        firstByte[share] = source->All()[half];
        // Share 0 stays within the four pages left; share 1 reads past the cut.
        pastEnd[share] = source->All()[half + (share == 0 ? 2 : 6) * page];
    });
    EXPECT_NE(readers[0], readers[1]);
    EXPECT_EQ(firstByte[0], bytes[0]);
    EXPECT_EQ(pastEnd[0], bytes[2 * page]);
    EXPECT_EQ(firstByte[1], 0);
    EXPECT_EQ(pastEnd[1], 0);
    EXPECT_FALSE(source->Intact());
    EXPECT_THROW(source->CheckIntact(), EReadError);
}

}  // namespace
}  // namespace brindle
