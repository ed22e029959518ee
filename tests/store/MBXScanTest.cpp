// The whole-file scan of version 4 folders: records past damage, and what the index lists.
#include "StoreTestSupport.h"
#include "store/MBXLayout.h"
#include "store/MBXScan.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

namespace ts = testsupport;

struct TScanned {
    std::vector<TFoundMessage> Found;
    std::vector<std::string> Texts;
};

TScanned ScanImages(const std::string& mbx, const std::string& idx) {
    auto file = TByteSource::FromView(mbx);
    auto index = TByteSource::FromView(idx);
    mbx::TMbxScan scan(*file, idx.empty() ? nullptr : index.get());
    EXPECT_TRUE(scan.Run());
    TScanned result{scan.Messages().ToVector(), {}};
    for (const auto& found : result.Found) result.Texts.push_back(scan.Text(found));
    return result;
}

TEST(MbxScan, RecordsTheIndexNoLongerListsAreDeleted) {
    auto messages = test::SampleMessages(5, 20);
    messages[1].MbxListed = false;
    messages[3].MbxListed = false;
    ts::TMbxWriter writer;
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    const TScanned scanned = ScanImages(writer.Bytes(), writer.IndexBytes());
    ASSERT_EQ(scanned.Found.size(), 5u);
    const TFoundKind kinds[] = {TFoundKind::Indexed, TFoundKind::Deleted, TFoundKind::Indexed, TFoundKind::Deleted,
                                TFoundKind::Indexed};
    const std::optional<uint32_t> indexes[] = {0, std::nullopt, 1, std::nullopt, 2};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(scanned.Found[i].Kind, kinds[i]) << i;
        EXPECT_EQ(scanned.Found[i].Index, indexes[i]) << i;
        EXPECT_EQ(scanned.Found[i].Offset, writer.Layout().Records[i]) << i;
        EXPECT_EQ(scanned.Texts[i], messages[i].Text) << i;
    }
}

TEST(MbxScan, GoesOnAtTheNextMarkerAfterADamagedRecord) {
    const auto messages = test::SampleMessages(4, 20);
    ts::TMbxWriter writer;
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    std::string mbx = writer.Bytes();
    // Record 1 claims a length that leads into the middle of record 2.
    const uint64_t damaged = writer.Layout().Records[1];
    mbx.replace(damaged + mbx::kRecordLength, 4, std::string("\x07\x00\x00\x00", 4));
    mbx.replace(damaged + mbx::kRecordTag, 4, 4, 'x');
    mbx.resize(mbx.size() - 10);  // and the last record is cut short
    const TScanned scanned = ScanImages(mbx, {});
    ASSERT_EQ(scanned.Found.size(), 3u);
    EXPECT_EQ(scanned.Found[0].Kind, TFoundKind::Indexed);
    EXPECT_EQ(scanned.Found[1].Offset, writer.Layout().Records[2]);
    EXPECT_EQ(scanned.Found[1].Kind, TFoundKind::Orphaned);
    EXPECT_EQ(scanned.Texts[1], messages[2].Text);
    EXPECT_EQ(scanned.Found[2].Kind, TFoundKind::Partial);
    EXPECT_EQ(scanned.Texts[2], messages[3].Text.substr(0, messages[3].Text.size() - 10));
}

}  // namespace
}  // namespace brindle
