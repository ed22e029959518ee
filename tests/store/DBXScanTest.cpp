// The whole-file scan of .dbx files: what it finds, how it names it, and the texts it gives.
#include "StoreTestSupport.h"
#include "store/DBXLayout.h"
#include "store/DBXScan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <tuple>

namespace brindle {
namespace {

namespace ts = testsupport;

struct TWritten {
    std::string Image;
    ts::TDbxLayout Layout;
};

TWritten Write(const std::vector<ts::TStoreMessage>& messages, ts::TDbxOptions options = {}) {
    ts::TDbxWriter writer(options);
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    return {writer.Bytes(), writer.Layout()};
}

// Six messages: 0, 2 and 5 indexed, 1 deleted, 3 orphaned, 4 deleted without its info object.
std::vector<ts::TStoreMessage> MixedMessages() {
    auto messages = test::SampleMessages(6, 60);
    messages[1].DbxPresence = ts::TDbxPresence::Deleted;
    messages[3].DbxPresence = ts::TDbxPresence::Orphaned;
    messages[4].DbxPresence = ts::TDbxPresence::Deleted;
    messages[4].DbxKeepInfo = false;
    return messages;
}

std::vector<TFoundMessage> Scan(const std::string& image, dbx::TDbxScan*& scanOut,
                                std::unique_ptr<TByteSource>& source) {
    source = TByteSource::FromView(image);
    static std::unique_ptr<dbx::TDbxScan> scan;
    scan = std::make_unique<dbx::TDbxScan>(*source);
    EXPECT_TRUE(scan->Run());
    scanOut = scan.get();
    return scan->Messages().ToVector();
}

// The text as written, with the bytes that a freed chain loses (each block's first four)
// replaced the way the scan fills them outside base64: spaces.
std::string ExpectedText(const ts::TStoreMessage& m, uint32_t& lost) {
    std::string text = m.Text;
    lost = 0;
    if (m.DbxPresence != ts::TDbxPresence::Deleted) return text;
    for (size_t block = 0; block < text.size(); block += 0x200)
        for (size_t k = block; k < block + 4 && k < text.size(); ++k, ++lost) text[k] = ' ';
    return text;
}

TEST(DbxScan, FindsIndexedOrphanedAndDeletedMessagesWithTheirTexts) {
    const auto messages = MixedMessages();
    const TWritten written = Write(messages);
    std::unique_ptr<TByteSource> source;
    dbx::TDbxScan* scan = nullptr;
    const auto found = Scan(written.Image, scan, source);
    ASSERT_EQ(found.size(), messages.size());

    const TFoundKind kinds[] = {TFoundKind::Indexed,  TFoundKind::Deleted, TFoundKind::Indexed,
                                TFoundKind::Orphaned, TFoundKind::Deleted, TFoundKind::Indexed};
    const std::optional<uint32_t> indexes[] = {0, std::nullopt, 1, std::nullopt, std::nullopt, 2};
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(found[i].Offset, written.Layout.FirstBlocks[i]);
        EXPECT_EQ(found[i].Kind, kinds[i]);
        EXPECT_EQ(found[i].Index, indexes[i]);
        uint32_t lost = 0;
        const std::string expected = ExpectedText(messages[i], lost);
        EXPECT_EQ(found[i].LostBytes, lost);
        EXPECT_EQ(found[i].Size, expected.size());
        EXPECT_EQ(scan->Text(found[i]), expected);
        // A deleted message keeps its info object unless it was dropped.
        if (written.Layout.InfoObjects[i] != 0) {
            EXPECT_EQ(found[i].InfoOffset, written.Layout.InfoObjects[i]);
        } else {
            EXPECT_FALSE(found[i].InfoOffset);
        }
    }
}

TEST(DbxScan, StoresThatCannotBeOpenedStillGiveTheirMessages) {
    const auto messages = test::SampleMessages(5, 30);
    struct Case {
        const char* name;
        std::function<void(std::string&, const ts::TDbxLayout&)> damage;
    };
    const Case cases[] = {
        {"zeroed root and count",
         [](std::string& image, const ts::TDbxLayout&) {
             image.replace(dbx::kHeaderRootNode, 4, 4, '\0');
             image.replace(dbx::kHeaderMessageCount, 4, 4, '\0');
         }},
        {"root marker wrong", [](std::string& image, const ts::TDbxLayout& layout) { image[layout.Root] ^= 1; }},
        {"header overwritten",
         [](std::string& image, const ts::TDbxLayout&) {
             image.replace(0, dbx::kHeaderSize, dbx::kHeaderSize, '\xEE');
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TWritten written = Write(messages);
        c.damage(written.Image, written.Layout);
        std::unique_ptr<TByteSource> source;
        dbx::TDbxScan* scan = nullptr;
        const auto found = Scan(written.Image, scan, source);
        ASSERT_EQ(found.size(), messages.size());
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].Kind, TFoundKind::Orphaned);
            EXPECT_EQ(scan->Text(found[i]), messages[i].Text);
        }
    }
}

TEST(DbxScan, ChainsCutByTheEndOfTheFileArePartial) {
    const auto messages = test::SampleMessages(3, 80);
    TWritten written = Write(messages);
    // Cut inside the last message's second block.
    written.Image.resize(written.Layout.FirstBlocks[2] + 0x210 + 100);
    std::unique_ptr<TByteSource> source;
    dbx::TDbxScan* scan = nullptr;
    const auto found = Scan(written.Image, scan, source);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].Kind, TFoundKind::Orphaned);  // the index lies after the messages
    EXPECT_EQ(found[2].Kind, TFoundKind::Partial);
    const std::string text = scan->Text(found[2]);
    EXPECT_EQ(text.size(), found[2].Size);
    EXPECT_EQ(text, messages[2].Text.substr(0, text.size()));
    EXPECT_GT(text.size(), 0x200u);
}

TEST(DbxScan, LostBytesInBase64PutTheLineEndBack) {
    const std::string line(76, 'Q');
    struct Case {
        std::string text;
        TLostRange gap;
        std::string expected;
    };
    const std::string body = line + "\r\n" + line + "\r\n" + line + "\r\n" + line + "\r\n";
    const size_t third = 2 * 78;
    const Case cases[] = {
        // The gap covers the last two characters of a line and its line end.
        {body, {third + 74, 4}, body.substr(0, third + 74) + "AA\r\n" + body.substr(third + 78)},
        // Inside a line: base64 characters that keep the rest in step.
        {body, {third + 10, 4}, body.substr(0, third + 10) + "AAAA" + body.substr(third + 14)},
        // Header text: spaces.
        {"Subject: hello\r\nFrom: a\r\n", {3, 4}, "Sub    : hello\r\nFrom: a\r\n"},
        // One base64-looking line before the gap is not enough to know the length.
        {line + "\r\nQQQQQQ", {80, 4}, line + "\r\nQQ    "},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        text.replace(c.gap.At, c.gap.Length, c.gap.Length, '\0');
        FillLostBytes(text, {c.gap});
        EXPECT_EQ(text, c.expected);
    }
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// Blocks copied whole to another place of the file keep the markers of where they were; their
// chain is followed with the same displacement (real stores hold such copies).
TEST(DbxScan, FindsChainsCopiedToAnotherPlace) {
    const auto messages = test::SampleMessages(2, 40);
    TWritten written = Write(messages);
    const uint32_t from = written.Layout.FirstBlocks[1];
    const uint32_t to = written.Layout.LastBlocks[1] + 0x210;
    const std::string copy = written.Image.substr(from, to - from);
    written.Image.resize((written.Image.size() + 3) / 4 * 4, '\0');
    const uint32_t copiedAt = static_cast<uint32_t>(written.Image.size());
    written.Image += copy;
    std::unique_ptr<TByteSource> source;
    dbx::TDbxScan* scan = nullptr;
    const auto found = Scan(written.Image, scan, source);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2].Offset, copiedAt);
    EXPECT_EQ(found[2].Kind, TFoundKind::Orphaned);
    EXPECT_EQ(found[2].Displacement, int64_t{copiedAt} - from);
    EXPECT_EQ(scan->Text(found[2]), messages[1].Text);
    EXPECT_EQ(found[1].Kind, TFoundKind::Indexed);
}

// A scan read in two halves must find what one pass finds, wherever the middle falls: inside
// a block's data, between blocks, on blocks smaller than the step the scan skips by.
TEST(DbxScan, HalvesSideBySideFindWhatOnePassFinds) {
    struct TImage {
        std::string Name;
        std::string Bytes;
    };
    std::vector<TImage> images;
    for (const auto& [count, lines, blockSize] :
         {std::tuple{7, 60, 512u}, {20, 33, 512u}, {41, 9, 512u}, {13, 50, 128u}, {9, 70, 300u}}) {
        auto messages = test::SampleMessages(count, lines);
        for (size_t i = 0; i < messages.size(); ++i) {
            if (i % 3 == 1) messages[i].DbxPresence = ts::TDbxPresence::Deleted;
            if (i % 5 == 3) messages[i].DbxPresence = ts::TDbxPresence::Orphaned;
        }
        ts::TDbxOptions options;
        options.BlockSize = blockSize;
        images.push_back({std::to_string(count) + " messages", Write(messages, options).Image});
    }
    for (const char* name : {"mtdbx_test.dbx", "mtdbx_test1.dbx", "dbxconvert_test.dbx", "iped_test_OutlookDBX.dbx"}) {
        std::ifstream in(std::string(BRINDLE_CORPUS) + "/dbx/" + name, std::ios::binary);
        if (in)
            images.push_back({name, std::string(std::istreambuf_iterator<char>(in), {})});
        else
            std::cerr << "corpus store not present, skipped: " << name << "\n";
    }
    for (const TImage& image : images) {
        SCOPED_TRACE(image.Name);
        const auto source = TByteSource::FromView(image.Bytes);
        dbx::TDbxScan whole(*source, UINT64_MAX);
        dbx::TDbxScan halves(*source, 0);
        ASSERT_TRUE(whole.Run());
        ASSERT_TRUE(halves.Run());
        const auto& expected = whole.Messages();
        const auto& found = halves.Messages();
        ASSERT_EQ(found.size(), expected.size());
        EXPECT_FALSE(found.empty());
        for (size_t i = 0; i < found.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(found[i].Offset, expected[i].Offset);
            EXPECT_EQ(found[i].Kind, expected[i].Kind);
            EXPECT_EQ(found[i].Index, expected[i].Index);
            EXPECT_EQ(found[i].InfoOffset, expected[i].InfoOffset);
            EXPECT_EQ(found[i].Blocks, expected[i].Blocks);
            EXPECT_EQ(found[i].Size, expected[i].Size);
            EXPECT_EQ(found[i].LostBytes, expected[i].LostBytes);
            EXPECT_EQ(halves.Text(found[i]), whole.Text(expected[i]));
        }
    }
}

}  // namespace
}  // namespace brindle
