// The .mbx/.idx reader over images made by the test writer: the .idx way and the header-line
// way, header blocks from 1024-byte pieces, every error and the state after it, and the guards
// against looping, overlapping and out-of-range input.
#include "StoreTestSupport.h"
#include "store/MBXLayout.h"
#include "store/MBXReader.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::ErrorOf;
using test::SampleMessage;
using test::SampleMessages;
using testsupport::TMbxImages;
using testsupport::TMbxOptions;
using testsupport::TStoreMessage;

constexpr const char* kMbx = "/mail/Inbox.mbx";
constexpr const char* kIdx = "/mail/Inbox.idx";

std::unique_ptr<TMBXReader> ReaderOf(const TMbxImages& images, bool withIndex = true) {
    test::TMemoryFiles files;
    files.Set(kMbx, images.Mbx);
    if (withIndex) files.Set(kIdx, images.Idx);
    return test::ReaderOver<TMBXReader>(files);
}

std::unique_ptr<TMBXReader> Load(const TMbxImages& images, bool withIndex = true) {
    auto reader = ReaderOf(images, withIndex);
    EXPECT_EQ(ErrorOf([&] {
                  reader->Open(kMbx);
                  reader->ReadMessageInfos();
              }),
              "");
    return reader;
}

void Put32(std::string& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

TStoreMessage WithText(std::string text, uint32_t number = 1) {
    TStoreMessage m;
    m.Text = std::move(text);
    m.Index = number;
    return m;
}

// ---- the two ways to summaries ---------------------------------------------------------------

TEST(MbxReaderTest, IndexFileGivesTheSummaries) {
    std::vector<TStoreMessage> messages = SampleMessages(4);
    testsupport::TMbxWriter writer;
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();
    auto reader = Load({writer.Bytes(), writer.IndexBytes()});
    ASSERT_EQ(reader->GetMessageCount(), 4);
    EXPECT_TRUE(reader->Loaded());
    EXPECT_EQ(reader->FileKind(), kFileKindOE4);
    EXPECT_EQ(reader->GetFolderName(), "Inbox");
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const TStoreMessage& m = messages[i];
        TMessageInfo info = reader->GetMessageInfo(i);
        EXPECT_EQ(info.Index, 0u);
        EXPECT_EQ(info.Flags, m.Flags);
        EXPECT_EQ(info.DataOffset, writer.Layout().Records[i] + 16);
        EXPECT_EQ(info.MessageID, std::to_string(m.Index));
        EXPECT_EQ(info.Subject, m.Subject);
        EXPECT_EQ(info.Server, m.Server);
        EXPECT_EQ(info.SenderName, "");
        EXPECT_EQ(info.SenderAddress, m.SenderAddress);
        EXPECT_DOUBLE_EQ(info.Received, FileTimeToDateTime(m.Received));
        EXPECT_EQ(info.DateText, "");
        EXPECT_EQ(info.ReceiverName, "");
        EXPECT_EQ(info.ReceiverAddress, m.ReceiverAddress);
        EXPECT_EQ(info.AccountName, m.AccountName);
        EXPECT_EQ(info.Size, m.Text.size());
        EXPECT_EQ(info.Priority, m.Priority);
        EXPECT_EQ(reader->GetMessageText(i), m.Text);
        EXPECT_EQ(reader->GetMessageHeader(i), test::HeaderBlockOf(m.Text));
    }
}

TEST(MbxReaderTest, WithoutIndexFileTheHeaderLinesGiveTheSummaries) {
    std::vector<TStoreMessage> messages = SampleMessages(3);
    TMbxImages images = testsupport::BuildMbx(messages);
    auto reader = Load(images, false);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TMessageInfo info = reader->GetMessageInfo(i);
        TMessageInfo expected;
        expected.Index = static_cast<uint32_t>(i);
        expected.Flags = 0x80;
        expected.DataOffset = info.DataOffset;
        expected.MessageID = std::to_string(messages[i].Index);
        expected.Subject = " Message " + std::to_string(i);
        expected.SenderName = " Ann Lee <ann@example.org>";
        expected.DateText = " Mon, 6 Jan 2020 12:30:00 +0000";
        expected.Size = static_cast<uint32_t>(messages[i].Text.size());
        EXPECT_EQ(info, expected);
        EXPECT_EQ(reader->GetMessageText(i), messages[i].Text);
    }
    EXPECT_EQ(reader->GetMessageInfo(0).DataOffset, 100u);
}

struct HeaderLineCase {
    const char* name;
    std::vector<std::string> lines;
    std::string senderName, subject, dateText;
};

class MbxHeaderLineTest : public ::testing::TestWithParam<HeaderLineCase> {};

TEST_P(MbxHeaderLineTest, ValuesAreTheRestOfTheLine) {
    const HeaderLineCase& c = GetParam();
    TMbxOptions options;
    options.WriteIndex = false;
    // A first message with every field, so that nothing carries over to the second.
    auto reader = Load(
        testsupport::BuildMbx({SampleMessage(0), WithText(testsupport::MessageText(c.lines, "body\r\n"))}, options),
        false);
    TMessageInfo info = reader->GetMessageInfo(1);
    EXPECT_EQ(info.SenderName, c.senderName);
    EXPECT_EQ(info.Subject, c.subject);
    EXPECT_EQ(info.DateText, c.dateText);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MbxHeaderLineTest,
    ::testing::Values(HeaderLineCase{"LeadingBlankKept", {"Subject: Hello", "From: Ann Lee"}, " Ann Lee", " Hello", ""},
                      HeaderLineCase{"LowerCaseWithoutBlank", {"subject:Hello", "date:today"}, "", "Hello", "today"},
                      HeaderLineCase{"UpperCase", {"FROM:x", "SUBJECT:y", "DATE:z"}, "x", "y", "z"},
                      HeaderLineCase{"NoSuchLines", {"To: Bob", "X-Subject: no"}, "", "", ""},
                      HeaderLineCase{"LaterLineWins", {"Subject: one", "Subject: two"}, "", " two", ""},
                      HeaderLineCase{"FoldedLinesAreNotJoined", {"Subject: first", " second"}, "", " first", ""},
                      HeaderLineCase{"EmptyValue", {"From:", "Subject:"}, "", "", ""},
                      HeaderLineCase{"NameWithoutColon", {"Subject Hello", "Fromage: cheese"}, "", "", ""},
                      HeaderLineCase{
                          "LongValueCut", {"Subject:" + std::string(300, 's')}, "", std::string(255, 's'), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MbxReaderTest, HeaderLinesSplitAtLoneCrAndLoneLf) {
    TMbxOptions options;
    options.WriteIndex = false;
    auto reader = Load(testsupport::BuildMbx({WithText("X: 1\rSubject: a\nFrom: b\r\n\r\nbody")}, options), false);
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, " a");
    EXPECT_EQ(reader->GetMessageInfo(0).SenderName, " b");
}

TEST(MbxReaderTest, IndexFileNameReplacesTheLastExtension) {
    EXPECT_EQ(TMBXReader::IndexFileName("/mail/Inbox.mbx"), "/mail/Inbox.idx");
    EXPECT_EQ(TMBXReader::IndexFileName("/mail/My.Old.Inbox.mbx"), "/mail/My.Old.Inbox.idx");
    EXPECT_EQ(TMBXReader::IndexFileName("/mail.d/Inbox"), "/mail.d/Inbox.idx");
    EXPECT_EQ(TMBXReader::IndexFileName("Inbox"), "Inbox.idx");
    // Every spelling shares the stem; the first is IndexFileName's.
    for (const std::string path : {"/mail/Inbox.mbx", "/mail.d/Inbox", "My.Old.MBX"}) {
        const std::vector<std::string> spellings = TMBXReader::IndexFileSpellings(path);
        ASSERT_EQ(spellings.size(), 3u);
        EXPECT_EQ(spellings[0], TMBXReader::IndexFileName(path));
        const std::string stem = spellings[0].substr(0, spellings[0].size() - 4);
        EXPECT_EQ(spellings[1], stem + ".IDX");
        EXPECT_EQ(spellings[2], stem + ".Idx");
    }
}

TEST(MbxReaderTest, IndexWithUpperCaseExtensionIsFound) {
    std::vector<TStoreMessage> messages = SampleMessages(2);
    TMbxImages images = testsupport::BuildMbx(messages);
    test::TMemoryFiles files;
    files.Set("/mail/INBOX.MBX", images.Mbx);
    files.Set("/mail/INBOX.IDX", images.Idx);
    auto reader = test::ReaderOver<TMBXReader>(files);
    reader->Open("/mail/INBOX.MBX");
    reader->ReadMessageInfos();
    EXPECT_EQ(reader->GetMessageInfo(1).Subject, messages[1].Subject);
    EXPECT_EQ(reader->GetMessageInfo(1).Flags, messages[1].Flags);
}

TEST(MbxReaderTest, FolderNameIsTheFileNameWithoutItsLastExtension) {
    struct Case {
        const char* path;
        const char* folder;
    };
    for (const Case& c : {Case{"/mail/Inbox.mbx", "Inbox"}, Case{"/mail/My.Old.Inbox.mbx", "My.Old.Inbox"},
                          Case{"/mail.d/Inbox", "Inbox"}, Case{"Sent.mbx", "Sent"}}) {
        test::TMemoryFiles files;
        files.Set(c.path, testsupport::BuildMbx({SampleMessage(0)}).Mbx);
        auto reader = test::ReaderOver<TMBXReader>(files);
        reader->Open(c.path);
        EXPECT_EQ(reader->GetFolderName(), c.folder) << c.path;
    }
}

// ---- the .idx way: silent failures -------------------------------------------------------------

TEST(MbxIndexTest, WrongIndexMagicGivesEmptyRowsButTexts) {
    TMbxOptions options;
    options.BadIndexMagic = true;
    std::vector<TStoreMessage> messages = SampleMessages(2);
    auto reader = Load(testsupport::BuildMbx(messages, options));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(reader->GetMessageInfo(i), TMessageInfo{});
        EXPECT_EQ(reader->GetMessageText(i), messages[i].Text);
    }
}

TEST(MbxIndexTest, CutIndexKeepsTheRecordsBeforeTheCut) {
    testsupport::TMbxWriter writer;
    for (const auto& m : SampleMessages(4)) writer.Add(m);
    writer.Finish();
    TMbxImages images{writer.Bytes(), writer.IndexBytes()};
    images.Idx.resize(writer.Layout().IndexRecords[2] + 220);  // inside the third record's strings
    auto reader = Load(images);
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, "Message 0");
    EXPECT_EQ(reader->GetMessageInfo(1).Subject, "Message 1");
    EXPECT_EQ(reader->GetMessageInfo(2).Size, SampleMessage(2).Text.size());  // its fixed part was read
    EXPECT_EQ(reader->GetMessageInfo(2).Server, "");
    EXPECT_EQ(reader->GetMessageInfo(3), TMessageInfo{});
}

TEST(MbxIndexTest, IndexThatCannotBeOpenedIsSilent) {
    TMbxImages images = testsupport::BuildMbx(SampleMessages(2));
    auto reader = std::make_unique<TMBXReader>();
    reader->SetFileSystem(
        [&](const std::string& path) -> std::unique_ptr<TByteSource> {
            if (path == kMbx) return TByteSource::FromView(images.Mbx);
            throw EFOpenError(path);
        },
        [](const std::string&) { return true; });
    reader->Open(kMbx);
    EXPECT_EQ(ErrorOf([&] { reader->ReadMessageInfos(); }), "");
    EXPECT_EQ(reader->GetMessageInfo(0), TMessageInfo{});
    EXPECT_EQ(reader->GetMessageText(1), SampleMessage(1).Text);
}

TEST(MbxIndexTest, IndexCountsAgainstTheMbxCount) {
    TMbxOptions more;
    more.IndexHeaderCount = 9;  // beyond its records and the .mbx count: the surplus is ignored
    auto reader = Load(testsupport::BuildMbx(SampleMessages(3), more));
    EXPECT_EQ(reader->GetMessageInfo(2).Subject, "Message 2");
    EXPECT_EQ(reader->GetMessageInfo(3), TMessageInfo{});

    TMbxOptions fewer;
    fewer.IndexHeaderCount = 1;
    reader = Load(testsupport::BuildMbx(SampleMessages(3), fewer));
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, "Message 0");
    EXPECT_EQ(reader->GetMessageInfo(1), TMessageInfo{});
}

TEST(MbxIndexTest, CountedStringsWithoutNulAreTakenWholeAndCut) {
    TMbxOptions options;
    options.IndexStringsWithNul = false;
    TStoreMessage m = SampleMessage(0);
    m.Subject = std::string(300, 'q');
    m.Server = "";
    auto reader = Load(testsupport::BuildMbx({m}, options));
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, std::string(255, 'q'));
    EXPECT_EQ(reader->GetMessageInfo(0).Server, "");
    EXPECT_EQ(reader->GetMessageInfo(0).AccountName, "Example");
}

TEST(MbxIndexTest, StringLengthBeyondTheIndexEndsTheWay) {
    testsupport::TMbxWriter writer;
    for (const auto& m : SampleMessages(2)) writer.Add(m);
    writer.Finish();
    TMbxImages images{writer.Bytes(), writer.IndexBytes()};
    Put32(images.Idx, writer.Layout().IndexRecords[1] + mbx::kIdxFixedSize, 0xFFFFFFF0u);
    auto reader = Load(images);
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, "Message 0");
    EXPECT_EQ(reader->GetMessageInfo(1).Subject, "");
}

TEST(MbxIndexTest, IndexRecordsThatRepeatThemselvesStopAtTheCount) {
    testsupport::TMbxWriter writer;
    for (const auto& m : SampleMessages(3)) writer.Add(m);
    writer.Finish();
    TMbxImages images{writer.Bytes(), writer.IndexBytes()};
    Put32(images.Idx, writer.Layout().IndexRecords[0] + mbx::kIdxRecordLength, 0);  // leads to itself
    auto reader = Load(images);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reader->GetMessageInfo(i).Subject, "Message 0");
}

// Only the first 255 bytes of a counted string are looked at, so records that lead back to
// themselves cost little also when their strings are long.
TEST(MbxIndexTest, LongStringsOfRepeatedRecordsAreReadOnlyAsFarAsTheyAreKept) {
    const uint32_t count = 20000;
    TStoreMessage m = SampleMessage(0);
    m.Subject = std::string(4 << 20, 'q');
    TMbxOptions options;
    options.IndexStringsWithNul = false;
    options.HeaderCount = count;
    options.IndexHeaderCount = count;
    options.RecordPadding = count * mbx::kMinRecordSize;  // room for the count
    testsupport::TMbxWriter writer(options);
    writer.Add(m);
    writer.Finish();
    TMbxImages images{writer.Bytes(), writer.IndexBytes()};
    Put32(images.Idx, writer.Layout().IndexRecords[0] + mbx::kIdxRecordLength, 0);  // leads to itself
    auto reader = Load(images);
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, std::string(255, 'q'));
    EXPECT_EQ(reader->GetMessageInfo(count - 1).Subject, std::string(255, 'q'));
    EXPECT_EQ(reader->GetMessageInfo(count - 1).AccountName, "Example");
}

// ---- Open: errors and the state after them -----------------------------------------------------

TEST(MbxOpenTest, WrongMagic) {
    TMbxOptions options;
    options.BadMagic = true;
    auto reader = ReaderOf(testsupport::BuildMbx(SampleMessages(1), options));
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "File is not an Outlook Express 4 Message Database.");
    EXPECT_FALSE(reader->Loaded());
    EXPECT_EQ(reader->FileKind(), kFileKindUnknown);
    EXPECT_EQ(reader->RecordCount(), 0u);
    reader->ReadMessageInfos();
    EXPECT_EQ(reader->GetMessageInfo(0), TMessageInfo{});
}

TEST(MbxOpenTest, ShortHeader) {
    TMbxOptions options;
    options.TruncateTo = 83;
    auto reader = ReaderOf(testsupport::BuildMbx(SampleMessages(1), options));
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "Stream read error");
    EXPECT_FALSE(reader->Loaded());
}

TEST(MbxOpenTest, NoMessage) {
    auto reader = ReaderOf(testsupport::BuildMbx({}));
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "File does not contain any message.");
    EXPECT_TRUE(reader->Loaded());
    EXPECT_EQ(reader->GetMessageCount(), 0);
    EXPECT_EQ(reader->RecordCount(), 0u);
}

TEST(MbxOpenTest, CountThatTheFileCannotHoldIsRejected) {
    for (uint32_t count : {1000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        TMbxOptions options;
        options.HeaderCount = count;
        auto reader = ReaderOf(testsupport::BuildMbx(SampleMessages(2), options));
        EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "Message count exceeds what the file can hold.") << count;
        EXPECT_THROW(reader->Open(kMbx), EMBXReaderException);
        EXPECT_TRUE(reader->Loaded());
        EXPECT_EQ(reader->GetMessageCount(), 0);
        EXPECT_EQ(reader->RecordCount(), 0u);
    }
}

TEST(MbxOpenTest, CountLargerThanTheRecordsStillOpens) {
    TMbxOptions options;
    options.HeaderCount = 5;
    std::vector<TStoreMessage> messages = SampleMessages(3);
    auto reader = Load(testsupport::BuildMbx(messages, options), false);
    EXPECT_EQ(reader->GetMessageCount(), 5);
    EXPECT_EQ(reader->RecordCount(), 3u);
    EXPECT_EQ(reader->GetMessageInfo(2).Subject, " Message 2");
    EXPECT_EQ(reader->GetMessageInfo(3), TMessageInfo{});
    EXPECT_EQ(reader->GetMessageInfo(4), TMessageInfo{});
    EXPECT_EQ(reader->GetMessageHeader(3), "");
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(3); }), "Message index out of range.");
}

TEST(MbxOpenTest, TextLengthZeroEndsOpen) {
    std::vector<TStoreMessage> messages = SampleMessages(3);
    messages[1].MbxTextLength = 0;
    auto reader = ReaderOf(testsupport::BuildMbx(messages));
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "No text found.");
    EXPECT_TRUE(reader->Loaded());
    ASSERT_EQ(reader->RecordCount(), 2u);  // up to and including the failing record
    EXPECT_EQ(reader->GetMessageHeader(0), test::HeaderBlockOf(messages[0].Text));
    EXPECT_EQ(reader->GetMessageHeader(1), "");
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(1); }), "No text found.");
}

TEST(MbxOpenTest, RecordShorterThanItsHeadEndsTheScan) {
    for (uint32_t length : {0u, 1u, 15u}) {
        std::vector<TStoreMessage> messages = SampleMessages(4);
        messages[1].MbxRecordLength = length;
        auto reader = Load(testsupport::BuildMbx(messages), false);
        ASSERT_EQ(reader->RecordCount(), 2u) << length;
        EXPECT_EQ(reader->GetMessageCount(), 4);
        EXPECT_EQ(reader->GetMessageText(1), messages[1].Text);
        EXPECT_EQ(reader->GetMessageInfo(2), TMessageInfo{});
    }
}

TEST(MbxOpenTest, LastTextEndingShortlyBeforeTheFileEndOpens) {
    TStoreMessage m = WithText("Subject: s\r\n\r\n" + std::string(100, 'b'));
    auto reader = Load(testsupport::BuildMbx({m}), false);
    EXPECT_EQ(reader->GetMessageText(0), m.Text);
}

TEST(MbxOpenTest, TextBeyondTheFileEnd) {
    // The header block lies in the first piece: Open only reads that piece.
    TStoreMessage m = WithText("Subject: s\r\n\r\n" + std::string(1500, 'b'));
    TMbxOptions options;
    options.TruncateTo = 84 + 16 + 1100;
    auto reader = Load(testsupport::BuildMbx({m}, options), false);
    EXPECT_EQ(reader->GetMessageHeader(0), "Subject: s\r");
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(0); }), "Stream read error");

    // Without a blank line, every piece is read and the second runs past the end.
    m.Text = "Subject: s\r\n" + std::string(1500, 'b');
    reader = ReaderOf(testsupport::BuildMbx({m}, options), false);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "Stream read error");
    ASSERT_EQ(reader->RecordCount(), 1u);
    EXPECT_EQ(reader->GetMessageHeader(0), "");
}

TEST(MbxOpenTest, TextLengthBeyondTheFileIsAReadError) {
    std::vector<TStoreMessage> messages = SampleMessages(2);
    messages[1].Text = "Subject: s\r\nno blank line";
    messages[1].MbxTextLength = 0xFFFFFFF0u;
    auto reader = ReaderOf(testsupport::BuildMbx(messages), false);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "Stream read error");
}

// Records whose texts overlap each other make the header search read the same bytes again and
// again; it ends once it has read twice the file.
TEST(MbxOpenTest, OverlappingRecordsEndTheScan) {
    std::string image(84, '\0');
    Put32(image, 0, mbx::kMagic);
    const uint32_t records = 2000;
    Put32(image, 8, records);
    const size_t size = 200000;
    for (uint32_t k = 0; k < records; ++k) {
        std::string head(16, '\0');
        Put32(head, 8, 16);  // the next record follows this head
        Put32(head, 12, static_cast<uint32_t>(size - image.size() - 16));
        image += head;
    }
    image.resize(size, 'x');
    auto reader = ReaderOf({image, ""}, false);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "Message records overlap.");
    EXPECT_TRUE(reader->Loaded());
    EXPECT_LT(reader->RecordCount(), 20u);
}

// The same when the pieces cut at NUL bytes put a blank line together at once: the search of
// each record's text for its blank line counts although the pieces then take its place.
TEST(MbxOpenTest, OverlappingRecordsCutAtNulEndTheScan) {
    std::string image(84, '\0');
    Put32(image, 0, mbx::kMagic);
    const uint32_t records = 2000;
    Put32(image, 8, records);
    const size_t size = 200000;
    for (uint32_t k = 0; k < records; ++k) {
        std::string head("\r\n\0\0", 4);  // every 1024-byte piece begins with a line end
        head.resize(16, '\0');
        Put32(head, 8, 16);
        Put32(head, 12, static_cast<uint32_t>(size - image.size() - 16));
        image += head;
    }
    image.resize(size, 'x');
    auto reader = ReaderOf({image, ""}, false);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kMbx); }), "Message records overlap.");
    EXPECT_LT(reader->RecordCount(), 20u);
}

TEST(MbxOpenTest, OpeningAgainForgetsThePreviousFolder) {
    test::TMemoryFiles files;
    files.Set("/a.mbx", testsupport::BuildMbx(SampleMessages(3)).Mbx);
    files.Set("/b.mbx", "JMF6 too short");
    auto reader = test::ReaderOver<TMBXReader>(files);
    reader->Open("/a.mbx");
    reader->ReadMessageInfos();
    EXPECT_EQ(ErrorOf([&] { reader->Open("/b.mbx"); }), "Stream read error");
    EXPECT_EQ(reader->RecordCount(), 0u);
    EXPECT_EQ(reader->GetMessageCount(), 0);
    EXPECT_EQ(reader->GetMessageInfo(0), TMessageInfo{});
    EXPECT_EQ(reader->GetMessageHeader(0), "");
}

// ---- header blocks from pieces ---------------------------------------------------------------

struct PieceCase {
    const char* name;
    std::string text;
    std::string header;
};

class MbxPieceTest : public ::testing::TestWithParam<PieceCase> {};

TEST_P(MbxPieceTest, HeaderBlockFromConsecutivePieces) {
    const PieceCase& c = GetParam();
    // The same text as the first and as a later message.
    auto reader = Load(testsupport::BuildMbx({WithText(c.text), WithText(c.text)}), false);
    EXPECT_EQ(reader->GetMessageHeader(0), c.header);
    EXPECT_EQ(reader->GetMessageHeader(1), c.header);
}

std::string Lines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "X-Line-" + std::to_string(i) + ": some header text here\r\n";
    return lines;
}

std::string Padded(std::string piece, size_t size) {
    piece.resize(size, '\0');
    return piece;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MbxPieceTest,
    ::testing::Values(
        PieceCase{"FirstPiece", "A: 1\r\n\r\nbody", "A: 1\r"},
        PieceCase{"HeaderOfThreePieces", Lines(100) + "\r\nbody", Lines(100).substr(0, Lines(100).size() - 1)},
        PieceCase{"BlankLineAcrossPieces", std::string(1022, 'h') + "\r\n\r\nbody", std::string(1022, 'h') + "\r"},
        PieceCase{"NoBlankLine", Lines(60), ""},
        // A NUL ends its piece's text; the next piece follows directly.
        PieceCase{"NulCutsItsPiece", Padded("A: 1\r\n", 1024) + "B: 2\r\n\r\nbody", "A: 1\r\nB: 2\r"},
        PieceCase{"BlankLineMadeAcrossACut", Padded("A: 1\r\n", 1024) + "\r\nbody", "A: 1\r"},
        PieceCase{"NulAfterTheBlankLine", std::string("A: 1\r\n\r\nbo\0dy", 13), "A: 1\r"},
        PieceCase{"NulThenNoBlankLine", std::string("A: 1\r\n\0\r\n", 9), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MbxTextTest, ANulInTheTextIsKeptWithTheBytesAfterIt) {
    const std::string text("A: 1\r\n\r\nbo\0dy", 13);
    auto reader = Load(testsupport::BuildMbx({WithText(text)}), false);
    EXPECT_EQ(reader->GetMessageText(0), text);
    EXPECT_EQ(reader->GetMessageInfo(0).Size, 13u);
}

TEST(MbxTextTest, IndexOutsideTheRecords) {
    auto reader = Load(testsupport::BuildMbx(SampleMessages(2)));
    for (int32_t index : {-1, 2, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(reader->GetMessageHeader(index), "") << index;
        EXPECT_THROW(reader->GetMessageText(index), EMBXReaderException) << index;
        EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(index); }), "Message index out of range.");
    }
}

// ---- memory ----------------------------------------------------------------------------------

TEST(MbxMemoryTest, TypicalSummariesTakeLessThan512BytesEach) {
    for (bool withIndex : {true, false}) {
        auto reader = Load(testsupport::BuildMbx(SampleMessages(2000, 2)), withIndex);
        ASSERT_EQ(reader->GetMessageCount(), 2000);
        EXPECT_EQ(reader->GetMessageInfo(1999).Subject, withIndex ? "Message 1999" : " Message 1999");
        EXPECT_LT(reader->SummaryMemoryUsage() / 2000, 512u) << withIndex;
    }
}

}  // namespace
}  // namespace brindle
