// Crafted damage that once lost messages without an error: NUL bytes inside texts, a header
// count of zero over an intact index, a looping chain, record lengths that lead into later
// records and block heads that only look valid. Every message the file still holds must come
// out, and the damage must be told.
#include "StoreTestSupport.h"
#include "platform/LittleEndian.h"
#include "store/DBXLayout.h"
#include "store/DBXReader.h"
#include "store/DBXScan.h"
#include "store/MBXLayout.h"
#include "store/MBXReader.h"
#include "store/MBXScan.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::ErrorOf;

constexpr const char* kDbxPath = "/mail/Inbox.dbx";
constexpr const char* kMbxPath = "/mail/Inbox.mbx";
constexpr const char* kIdxPath = "/mail/Inbox.idx";

void Put32(std::string& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

struct TDbxOpened {
    std::unique_ptr<TDBXReader> Reader;
    std::vector<TWarning> Warnings;
    std::string Error;
};

TDbxOpened OpenDbx(const std::string& image) {
    TDbxOpened opened;
    test::TMemoryFiles files;
    files.Set(kDbxPath, image);
    opened.Reader = test::ReaderOver<TDBXReader>(files);
    opened.Reader->SetWarningSink([&opened](const TWarning& w) { opened.Warnings.push_back(w); });
    opened.Error = ErrorOf([&] {
        opened.Reader->Open(kDbxPath);
        opened.Reader->ReadMessageInfos();
    });
    return opened;
}

std::vector<TFoundMessage> ScanDbx(const std::string& image, std::vector<std::string>* texts = nullptr) {
    auto source = TByteSource::FromView(image);
    dbx::TDbxScan scan(*source);
    EXPECT_TRUE(scan.Run());
    if (texts)
        for (const TFoundMessage& found : scan.Messages()) texts->push_back(scan.Text(found));
    return scan.Messages().ToVector();
}

// A text of 677 bytes with a NUL at byte 200: the first block holds a NUL in its middle.
ts::TStoreMessage MessageWithNul() {
    ts::TStoreMessage m = test::SampleMessage(1, 40);
    m.Text.resize(677, 'x');
    m.Text[200] = '\0';
    return m;
}

// ---- NUL bytes ---------------------------------------------------------------------------------

TEST(NulInText, DbxReaderKeepsEveryByteTheBlockCountsHold) {
    auto messages = test::SampleMessages(3, 10);
    messages[1] = MessageWithNul();
    const TDbxOpened opened = OpenDbx(ts::BuildDbx(messages));
    ASSERT_EQ(opened.Error, "");
    EXPECT_EQ(opened.Reader->GetMessageInfo(1).Size, 677u);
    const std::string text = opened.Reader->GetMessageText(1);
    EXPECT_EQ(text.size(), 677u);
    EXPECT_EQ(text, messages[1].Text);
    EXPECT_EQ(opened.Reader->GetMessageText(2), messages[2].Text);
}

TEST(NulInText, DbxScanKeepsEveryByteOfALiveChain) {
    auto messages = test::SampleMessages(3, 10);
    messages[1] = MessageWithNul();
    messages[2] = MessageWithNul();
    messages[2].DbxPresence = ts::TDbxPresence::Orphaned;
    std::vector<std::string> texts;
    const auto found = ScanDbx(ts::BuildDbx(messages), &texts);
    ASSERT_EQ(found.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(found[i].Size, 677u);
        EXPECT_EQ(texts[i], messages[i].Text);
    }
}

TEST(NulInText, MbxReaderAndScanKeepTheWholeRecordText) {
    auto messages = test::SampleMessages(3, 10);
    messages[1] = MessageWithNul();
    const ts::TMbxImages images = ts::BuildMbx(messages);
    test::TMemoryFiles files;
    files.Set(kMbxPath, images.Mbx);
    files.Set(kIdxPath, images.Idx);
    auto reader = test::ReaderOver<TMBXReader>(files);
    ASSERT_EQ(ErrorOf([&] {
                  reader->Open(kMbxPath);
                  reader->ReadMessageInfos();
              }),
              "");
    EXPECT_EQ(reader->GetMessageText(1), messages[1].Text);
    EXPECT_EQ(reader->GetMessageText(2), messages[2].Text);

    auto mbx = TByteSource::FromView(images.Mbx);
    auto idx = TByteSource::FromView(images.Idx);
    mbx::TMbxScan scan(*mbx, idx.get());
    ASSERT_TRUE(scan.Run());
    ASSERT_EQ(scan.Messages().size(), 3u);
    EXPECT_EQ(scan.Messages()[1].Size, 677u);
    EXPECT_EQ(scan.Text(scan.Messages()[1]), messages[1].Text);
}

// ---- a header count of zero --------------------------------------------------------------------

TEST(DbxCountZero, AnIntactIndexIsReadWithAWarning) {
    const auto messages = test::SampleMessages(60, 3);  // more than one index node
    ts::TDbxOptions options;
    options.HeaderCount = 0;
    const TDbxOpened opened = OpenDbx(ts::BuildDbx(messages, options));
    ASSERT_EQ(opened.Error, "");
    ASSERT_EQ(opened.Reader->GetMessageCount(), 60);
    for (int i : {0, 33, 59}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(opened.Reader->GetMessageInfo(i).Subject, messages[i].Subject);
        EXPECT_EQ(opened.Reader->GetMessageText(i), messages[i].Text);
    }
    ASSERT_EQ(opened.Warnings.size(), 1u);
    EXPECT_NE(opened.Warnings[0].Text.find("count"), std::string::npos) << opened.Warnings[0].Text;
}

TEST(DbxCountZero, AStoreWithoutAnIndexRootIsEmpty) {
    ts::TDbxOptions options;
    options.HeaderCount = 0;
    std::string image = ts::BuildDbx({}, options);
    Put32(image, dbx::kHeaderRootNode, 0);
    EXPECT_EQ(OpenDbx(image).Error, "File does not contain any message.");
}

// ---- a looping chain ---------------------------------------------------------------------------

TEST(DbxLoopingChain, OnlyTheDamagedMessageIsHurt) {
    const auto messages = test::SampleMessages(5, 60);  // three blocks each
    ts::TDbxOptions options;
    options.Damage.push_back({ts::TDbxDamageKind::ChainCycle, 2});
    const TDbxOpened opened = OpenDbx(ts::BuildDbx(messages, options));
    ASSERT_EQ(opened.Error, "");
    ASSERT_EQ(opened.Reader->GetMessageCount(), 5);
    for (int i : {0, 1, 3, 4}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(opened.Reader->GetMessageInfo(i).Subject, messages[i].Subject);
        EXPECT_EQ(opened.Reader->GetMessageInfo(i).Size, messages[i].Text.size());
        EXPECT_EQ(opened.Reader->GetMessageText(i), messages[i].Text);
    }
    // The looping message keeps its summary and the size of the blocks read once each.
    EXPECT_EQ(opened.Reader->GetMessageInfo(2).Subject, messages[2].Subject);
    EXPECT_EQ(opened.Reader->GetMessageInfo(2).Size, messages[2].Text.size());
    ASSERT_EQ(opened.Warnings.size(), 1u);
    EXPECT_EQ(opened.Warnings[0].Context.MessageIndex, 2);
    EXPECT_EQ(ErrorOf([&] { opened.Reader->GetMessageText(2); }),
              "Data block chain leads back to a block already visited.");
}

// A single block that names itself as its next one.
TEST(DbxLoopingChain, AOneBlockLoopKeepsItsSummary) {
    auto messages = test::SampleMessages(2, 3);
    messages[0].Text = "Subject: x\r\n\r\nshort";
    ts::TDbxOptions options;
    options.Damage.push_back({ts::TDbxDamageKind::ChainCycle, 0});
    const TDbxOpened opened = OpenDbx(ts::BuildDbx(messages, options));
    ASSERT_EQ(opened.Error, "");
    EXPECT_EQ(opened.Reader->GetMessageInfo(0).Size, messages[0].Text.size());
    EXPECT_EQ(opened.Reader->GetMessageText(1), messages[1].Text);
    EXPECT_EQ(opened.Warnings.size(), 1u);
}

// ---- record lengths of a version 4 folder ------------------------------------------------------

struct TMbxLengthCase {
    const char* Name;
    uint32_t Damaged;                          // the record whose length is changed
    std::function<uint32_t(const ts::TMbxLayout&)> Length;  // the length written instead
    bool WithIndex;
};

class MbxLengthTest : public ::testing::TestWithParam<TMbxLengthCase> {};

TEST_P(MbxLengthTest, EveryRecordIsFound) {
    const TMbxLengthCase& c = GetParam();
    const auto messages = test::SampleMessages(8, 10);
    ts::TMbxOptions options;
    options.WriteIndex = c.WithIndex;
    ts::TMbxWriter writer(options);
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    std::string mbx = writer.Bytes();
    Put32(mbx, writer.Layout().Records[c.Damaged] + mbx::kRecordLength, c.Length(writer.Layout()));
    auto file = TByteSource::FromView(mbx);
    auto index = TByteSource::FromView(writer.IndexBytes());
    mbx::TMbxScan scan(*file, c.WithIndex ? index.get() : nullptr);
    ASSERT_TRUE(scan.Run());
    ASSERT_EQ(scan.Messages().size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(scan.Messages()[i].Offset, writer.Layout().Records[i]);
        EXPECT_EQ(scan.Text(scan.Messages()[i]), messages[i].Text);
        if (c.WithIndex) EXPECT_EQ(scan.Messages()[i].Kind, TFoundKind::Indexed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MbxLengthTest,
    ::testing::Values(
        TMbxLengthCase{"IntoALaterRecord", 1,
                       [](const ts::TMbxLayout& l) { return static_cast<uint32_t>(l.Records[6] + 40 - l.Records[1]); },
                       true},
        TMbxLengthCase{"IntoALaterRecordWithoutIndex", 1,
                       [](const ts::TMbxLayout& l) { return static_cast<uint32_t>(l.Records[6] + 40 - l.Records[1]); },
                       false},
        TMbxLengthCase{"Huge", 2, [](const ts::TMbxLayout&) { return 0x7FFFFFF0u; }, true},
        TMbxLengthCase{"HugeWithoutIndex", 2, [](const ts::TMbxLayout&) { return 0x7FFFFFF0u; }, false}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- block heads that only look valid ----------------------------------------------------------

// A valid-looking head 64 bytes before an info object (here inside the info object of a
// message without text): the scan may not skip the bytes after it, so the info object and the
// next message's first block are still found.
TEST(DbxScanHeads, AnUnprovenHeadHidesNothing) {
    auto messages = test::SampleMessages(3, 10);
    messages[1].Text.clear();
    ts::TDbxWriter writer;
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    std::string image = writer.Bytes();
    const uint32_t fake = writer.Layout().InfoObjects[2] - 64;
    ASSERT_GT(fake, writer.Layout().InfoObjects[1]);
    Put32(image, fake + dbx::kBlockMarker, fake);
    Put32(image, fake + dbx::kBlockCapacity, 0x200);
    Put32(image, fake + dbx::kBlockTextCount, 0x200);
    Put32(image, fake + dbx::kBlockNext, 0);
    std::vector<std::string> texts;
    const auto found = ScanDbx(image, &texts);
    std::vector<size_t> indexed;
    for (size_t k = 0; k < found.size(); ++k)
        if (found[k].Kind == TFoundKind::Indexed) indexed.push_back(k);
    ASSERT_EQ(indexed.size(), 2u);
    const size_t written[] = {0, 2};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const TFoundMessage& m = found[indexed[i]];
        EXPECT_EQ(m.Offset, writer.Layout().FirstBlocks[written[i]]);
        EXPECT_EQ(m.InfoOffset, writer.Layout().InfoObjects[written[i]]);
        EXPECT_EQ(m.Size, messages[written[i]].Text.size());
        EXPECT_EQ(texts[indexed[i]], messages[written[i]].Text);
    }
}

}  // namespace
}  // namespace brindle
