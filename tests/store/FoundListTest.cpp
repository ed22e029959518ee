// The packed list of found messages and the packed records under the summaries: what goes in
// comes back, whatever its shape, in order and across pieces.
#include "store/FoundMessage.h"
#include "store/PackedRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace brindle {
namespace {

void ExpectSame(const TFoundMessage& got, const TFoundMessage& want) {
    EXPECT_EQ(got.Offset, want.Offset);
    EXPECT_EQ(got.Kind, want.Kind);
    EXPECT_EQ(got.Freed, want.Freed);
    EXPECT_EQ(got.Displacement, want.Displacement);
    EXPECT_EQ(got.Index, want.Index);
    EXPECT_EQ(got.InfoOffset, want.InfoOffset);
    EXPECT_EQ(got.Blocks, want.Blocks);
    EXPECT_EQ(got.Size, want.Size);
    EXPECT_EQ(got.LostBytes, want.LostBytes);
}

TEST(FoundList, MessagesOfEveryShapeComeBackAsPutAndSortedByOffset) {
    auto message = [](uint32_t offset, TFoundKind kind, std::optional<uint32_t> index, uint64_t size) {
        TFoundMessage m;
        m.Offset = offset;
        m.Kind = kind;
        m.Index = index;
        m.Blocks = 1;
        m.Size = size;
        return m;
    };
    std::vector<TFoundMessage> shapes = {
        message(900, TFoundKind::Indexed, 0, 17),
        message(100, TFoundKind::Deleted, std::nullopt, 1),
        message(500, TFoundKind::Partial, 0xFFFFFFFF, 0xFFFFFFFF),
        message(300, TFoundKind::Orphaned, std::nullopt, uint64_t{1} << 33),  // size past 32 bits
    };
    TFoundMessage freed = message(700, TFoundKind::Deleted, std::nullopt, 600);
    freed.Freed = true;
    freed.Displacement = -4096;
    freed.Blocks = 3;
    freed.LostBytes = 12;
    shapes.push_back(freed);
    TFoundMessage withInfo = message(200, TFoundKind::Indexed, 4, 80);
    withInfo.InfoOffset = 0x1234;
    withInfo.Blocks = 0;
    shapes.push_back(withInfo);

    TFoundList list;
    for (const TFoundMessage& m : shapes) list.push_back(m);
    ASSERT_EQ(list.size(), shapes.size());
    for (size_t i = 0; i < shapes.size(); ++i) ExpectSame(list[i], shapes[i]);
    list.SortByOffset();
    std::sort(shapes.begin(), shapes.end(), [](const auto& a, const auto& b) { return a.Offset < b.Offset; });
    const std::vector<TFoundMessage> unpacked = list.ToVector();
    ASSERT_EQ(unpacked.size(), shapes.size());
    for (size_t i = 0; i < shapes.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSame(list.at(i), shapes[i]);
        ExpectSame(unpacked[i], shapes[i]);
        EXPECT_EQ(list.OffsetAt(i), shapes[i].Offset);
    }
    EXPECT_EQ(list.LowerBound(300, list.size()), 2u);
    EXPECT_EQ(list.LowerBound(301, list.size()), 3u);
    EXPECT_EQ(list.LowerBound(901, list.size()), list.size());
    EXPECT_EQ(list.LowerBound(900, 3), 3u);  // only the first three are searched
    EXPECT_THROW(list.at(list.size()), std::out_of_range);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
}

// Records of many sizes fill several pieces; the ones not put stay none.
TEST(PackedRecords, RecordsComeBackAcrossPiecesAndNumbersReadBack) {
    constexpr size_t kCount = 2000;
    TPackedRecords records;
    records.Reset(kCount);
    auto bytesOf = [](size_t i) { return std::string((i * 7919) % 5000, static_cast<char>('a' + i % 26)); };
    for (size_t i = 0; i < kCount; ++i)
        if (i % 9 != 4) records.Put(i, bytesOf(i));
    records.Seal();
    EXPECT_GT(records.MemoryUsage(), TPackedRecords::kMaxRecordBytes);  // more than one piece
    for (size_t i = 0; i < kCount; ++i) {
        SCOPED_TRACE(i);
        const std::optional<std::string_view> got = records.Get(i);
        if (i % 9 == 4) {
            EXPECT_FALSE(got);
            continue;
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(got->substr(0, bytesOf(i).size()), bytesOf(i));
    }
    EXPECT_FALSE(records.Get(kCount));
    EXPECT_THROW(records.Put(0, std::string(TPackedRecords::kMaxRecordBytes + 1, 'x')), std::length_error);

    std::string packed;
    const uint64_t numbers[] = {0, 1, 127, 128, 300, 0xFFFFFFFF, UINT64_MAX};
    for (uint64_t n : numbers) AppendPackedNumber(packed, n);
    size_t at = 0;
    for (uint64_t n : numbers) EXPECT_EQ(ReadPackedNumber(packed, at), n);
    EXPECT_EQ(at, packed.size());
}

}  // namespace
}  // namespace brindle
