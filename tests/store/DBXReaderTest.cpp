// The .dbx reader over images made by the test writer: summaries, texts, header blocks, every
// error of the index walk and of the summaries with the state that it leaves, and the guards
// against looping, oversized and out-of-range input.
#include "StoreTestSupport.h"
#include "store/DBXLayout.h"
#include "store/DBXReader.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::ErrorOf;
using test::SampleMessage;
using test::SampleMessages;
using testsupport::TDbxDamage;
using testsupport::TDbxDamageKind;
using testsupport::TDbxInfoEntry;
using testsupport::TDbxNodeSpec;
using testsupport::TDbxOptions;
using testsupport::TStoreMessage;

constexpr const char* kPath = "/mail/Inbox.dbx";

std::unique_ptr<TDBXReader> ReaderOf(const std::string& image) {
    test::TMemoryFiles files;
    files.Set(kPath, image);
    return test::ReaderOver<TDBXReader>(files);
}

// Opens and reads the summaries; the first error, if any, in *error.
std::unique_ptr<TDBXReader> Load(const std::string& image, std::string* error = nullptr) {
    auto reader = ReaderOf(image);
    std::string message = ErrorOf([&] {
        reader->Open(kPath);
        reader->ReadMessageInfos();
    });
    if (error)
        *error = message;
    else
        EXPECT_EQ(message, "");
    return reader;
}

void Put32(std::string& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

void ExpectSummaryOf(const TMessageInfo& info, const TStoreMessage& m, uint32_t dataOffset) {
    EXPECT_EQ(info.Index, m.Index);
    EXPECT_EQ(info.Flags, m.Flags);
    EXPECT_EQ(info.DataOffset, dataOffset);
    EXPECT_EQ(info.MessageID, m.MessageID);
    EXPECT_EQ(info.Subject, m.Subject);
    EXPECT_EQ(info.Server, m.Server);
    EXPECT_EQ(info.SenderName, m.SenderName);
    EXPECT_EQ(info.SenderAddress, m.SenderAddress);
    EXPECT_DOUBLE_EQ(info.Received, FileTimeToDateTime(m.Received));
    EXPECT_EQ(info.DateText, "");
    EXPECT_EQ(info.ReceiverName, m.ReceiverName);
    EXPECT_EQ(info.ReceiverAddress, m.ReceiverAddress);
    EXPECT_EQ(info.AccountName, m.AccountName);
    EXPECT_EQ(info.Size, m.Text.size());
    EXPECT_EQ(info.Priority, m.Priority);
}

// ---- whole stores ----------------------------------------------------------------------------

struct ShapeCase {
    const char* name;
    int messages;
    uint32_t fanOut;
    bool chain;
    uint32_t blockSize;
};

class DbxShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(DbxShapeTest, EveryMessageComesBackInOrder) {
    const ShapeCase& c = GetParam();
    std::vector<TStoreMessage> messages = SampleMessages(c.messages, 40);
    TDbxOptions options;
    options.FanOut = c.fanOut;
    options.ChainTree = c.chain;
    options.BlockSize = c.blockSize;
    options.FolderName = "Inbox";
    testsupport::TDbxWriter writer(options);
    for (const auto& m : messages) writer.Add(m);
    writer.Finish();

    auto reader = Load(writer.Bytes());
    ASSERT_EQ(reader->GetMessageCount(), c.messages);
    EXPECT_TRUE(reader->Loaded());
    EXPECT_EQ(reader->FileKind(), kFileKindOE5);
    EXPECT_EQ(reader->GetFolderName(), "Inbox");
    EXPECT_EQ(reader->InfoOffsets(), writer.Layout().InfoObjects);
    for (int i = 0; i < c.messages; ++i) {
        SCOPED_TRACE(i);
        ExpectSummaryOf(reader->GetMessageInfo(i), messages[i], writer.Layout().FirstBlocks[i]);
        EXPECT_EQ(reader->GetMessageText(i), messages[i].Text);
        EXPECT_EQ(reader->GetMessageHeader(i), test::HeaderBlockOf(messages[i].Text));
    }
    EXPECT_EQ(reader->GetMessageInfo(-1), TMessageInfo{});
    EXPECT_EQ(reader->GetMessageInfo(c.messages), TMessageInfo{});

    // Without sizes the chains are not walked at opening; the texts read the same.
    auto sizeless = ReaderOf(writer.Bytes());
    sizeless->SetSummarySizes(false);
    sizeless->Open(kPath);
    sizeless->ReadMessageInfos();
    for (int i = 0; i < c.messages; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sizeless->GetMessageInfo(i).Size, 0u);
        EXPECT_EQ(sizeless->GetMessageText(i), messages[i].Text);
        EXPECT_EQ(sizeless->GetMessageHeader(i), test::HeaderBlockOf(messages[i].Text));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Trees, DbxShapeTest,
    ::testing::Values(ShapeCase{"OneMessage", 1, 51, false, 512}, ShapeCase{"FullRoot", 51, 51, false, 512},
                      ShapeCase{"TwoLevels", 52, 51, false, 512}, ShapeCase{"ThreeLevels", 3000, 51, false, 512},
                      ShapeCase{"BinaryTree", 200, 1, false, 512}, ShapeCase{"FanOutThree", 100, 3, false, 64},
                      ShapeCase{"Chain64Deep", 64, 51, true, 512}, ShapeCase{"TinyBlocks", 5, 51, false, 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DbxReaderTest, IndirectNumbersAndLargeOffsetsAreRead) {
    TStoreMessage m = SampleMessage(0);
    m.Flags = 0x01000080;  // too large for a direct entry: written indirectly
    m.Priority = 0x01000005;
    auto reader = Load(testsupport::BuildDbx({m}));
    EXPECT_EQ(reader->GetMessageInfo(0).Flags, 0x01000080u);
    EXPECT_EQ(reader->GetMessageInfo(0).Priority, 0x01000005u);
}

TEST(DbxReaderTest, ReadMessageInfosDoesNothingBeforeALoad) {
    TDBXReader reader;
    reader.ReadMessageInfos();
    EXPECT_EQ(reader.GetMessageCount(), 0);
    EXPECT_EQ(reader.GetMessageInfo(0), TMessageInfo{});
}

TEST(DbxReaderTest, OpeningAgainForgetsThePreviousStore) {
    test::TMemoryFiles files;
    files.Set("/a.dbx", testsupport::BuildDbx(SampleMessages(3)));
    TDbxOptions other;
    other.FolderName = "Other";
    files.Set("/b.dbx", testsupport::BuildDbx({SampleMessage(7)}, other));
    files.Set("/c.dbx", "\xCF\xAD\x12\xFE not a database");
    auto reader = test::ReaderOver<TDBXReader>(files);
    reader->Open("/a.dbx");
    reader->ReadMessageInfos();
    reader->Open("/b.dbx");
    EXPECT_EQ(reader->GetMessageInfo(0), TMessageInfo{});  // summaries need ReadMessageInfos again
    reader->ReadMessageInfos();
    EXPECT_EQ(reader->GetMessageCount(), 1);
    EXPECT_EQ(reader->GetFolderName(), "Other");
    EXPECT_EQ(reader->GetMessageInfo(0).Subject, "Message 7");
    EXPECT_EQ(ErrorOf([&] { reader->Open("/c.dbx"); }), "Stream read error");
    EXPECT_FALSE(reader->Loaded());
    EXPECT_EQ(reader->GetMessageCount(), 0);
    EXPECT_EQ(reader->GetFolderName(), "");
    EXPECT_TRUE(reader->InfoOffsets().empty());
}

// ---- Open: errors and the state after them ------------------------------------------------------

struct OpenErrorCase {
    const char* name;
    std::function<void(TDbxOptions&)> configure;
    const char* error;
    bool loaded;
    int32_t count;        // GetMessageCount afterwards
    bool folderRead;      // the folder name is known
    size_t offsetsSized;  // size of InfoOffsets afterwards
};

class DbxOpenErrorTest : public ::testing::TestWithParam<OpenErrorCase> {};

// Five messages; trees as the cases configure them.
TEST_P(DbxOpenErrorTest, FailsWithItsMessageAndLeavesItsState) {
    const OpenErrorCase& c = GetParam();
    TDbxOptions options;
    options.FolderName = "Box";
    c.configure(options);
    std::string image = testsupport::BuildDbx(SampleMessages(5), options);
    auto reader = ReaderOf(image);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kPath); }), c.error);
    EXPECT_EQ(reader->Loaded(), c.loaded);
    EXPECT_EQ(reader->FileKind(), c.name == std::string("FirstMagic") ? kFileKindUnknown : kFileKindOE5);
    EXPECT_EQ(reader->GetMessageCount(), c.count);
    EXPECT_EQ(reader->GetFolderName(), c.folderRead ? "Box" : "");
    EXPECT_EQ(reader->InfoOffsets().size(), c.offsetsSized);
    EXPECT_EQ(reader->GetMessageInfo(0), TMessageInfo{});
}

void Damage(TDbxOptions& o, TDbxDamageKind kind, uint32_t target = 0) { o.Damage.push_back(TDbxDamage{kind, target}); }

INSTANTIATE_TEST_SUITE_P(
    Cases, DbxOpenErrorTest,
    ::testing::Values(
        OpenErrorCase{"FirstMagic", [](auto& o) { Damage(o, TDbxDamageKind::FirstMagic); },
                      "File is not an Outlook Express 5 Message Database.", false, 0, false, 0},
        OpenErrorCase{"SecondMagic", [](auto& o) { Damage(o, TDbxDamageKind::SecondMagic); },
                      "File is not an Outlook Express 5 Message Database.", false, 0, false, 0},
        OpenErrorCase{"ShortHeader", [](auto& o) { o.TruncateTo = 0x24BB; }, "Stream read error", false, 0, false, 0},
        OpenErrorCase{"NoMessage",
                      [](auto& o) {
                          o.HeaderCount = 0;
                          o.Tree.resize(1);  // a root without values
                      },
                      "File does not contain any message.", true, 0, false, 0},
        OpenErrorCase{"ShortFolderArea", [](auto& o) { o.TruncateTo = 0x26DB; }, "Stream read error", true, 5, false,
                      0},
        OpenErrorCase{"CountBeyondTheFile", [](auto& o) { o.HeaderCount = 100000; },
                      "Message count exceeds what the file can hold.", true, 0, false, 0},
        OpenErrorCase{"CountOfTwoToThe31", [](auto& o) { o.HeaderCount = 0x80000000u; },
                      "Message count exceeds what the file can hold.", true, 0, false, 0},
        OpenErrorCase{"CountOneMore", [](auto& o) { o.HeaderCount = 6; }, "Wrong number of values found", true, 6, true,
                      6},
        OpenErrorCase{"CountOneLess", [](auto& o) { o.HeaderCount = 4; }, "Too many values.", true, 4, true, 4},
        OpenErrorCase{"ChildCountBeyondCount",
                      [](auto& o) {
                          o.FanOut = 1;  // root: first child with 2 values, one value, a child with 2
                          o.HeaderCount = 1;
                      },
                      "Too many values to read.", true, 1, true, 1},
        OpenErrorCase{"RootMarker", [](auto& o) { Damage(o, TDbxDamageKind::NodeMarker, 0); }, "Wrong object marker.",
                      true, 5, true, 5},
        OpenErrorCase{"ChildMarker",
                      [](auto& o) {
                          o.FanOut = 1;
                          Damage(o, TDbxDamageKind::NodeMarker, 1);
                      },
                      "Wrong object marker.", true, 5, true, 5},
        OpenErrorCase{"RootParent", [](auto& o) { Damage(o, TDbxDamageKind::NodeParent, 0); }, "Wrong parent.", true, 5,
                      true, 5},
        OpenErrorCase{"ChildParent",
                      [](auto& o) {
                          o.FanOut = 2;
                          Damage(o, TDbxDamageKind::NodeParent, 1);
                      },
                      "Wrong parent.", true, 5, true, 5},
        OpenErrorCase{"FiftyTwoEntries", [](auto& o) { Damage(o, TDbxDamageKind::NodeEntries52, 0); },
                      "Wrong value for entries.", true, 5, true, 5},
        OpenErrorCase{"TreeDeeperThan64",
                      [](auto& o) {
                          // 5 values in a chain of 65 nodes.
                          o.Tree.resize(65);
                          for (int k = 0; k < 65; ++k) {
                              TDbxNodeSpec::TEntry entry;
                              entry.Message = k < 5 ? k : -1;
                              entry.Child = k + 1 < 65 ? k + 1 : -1;
                              o.Tree[k].Entries.push_back(entry);
                          }
                      },
                      "Index tree is nested too deeply.", true, 5, true, 5},
        OpenErrorCase{"RepeatedChild",
                      [](auto& o) {
                          // The root leads to node 1 twice: values 0, 1, (node 1: 2, 3), 4, (node 1 again).
                          o.Tree.resize(2);
                          o.Tree[0].Entries = {{0, {}, -1, {}}, {1, {}, 1, {}}, {4, {}, 1, {}}};
                          o.Tree[1].Entries = {{2, {}, -1, {}}, {3, {}, -1, {}}};
                          o.HeaderCount = 7;
                      },
                      "Index tree leads back to a node already visited.", true, 7, true, 7},
        OpenErrorCase{"ChildIsAnAncestor",
                      [](auto& o) {
                          // Node 1 leads back to the root, whose parent field is 0: the parent check ends it.
                          o.Tree.resize(2);
                          o.Tree[0].Entries = {{0, {}, 1, {}}};
                          o.Tree[1].Entries = {{1, {}, 0, 3}};
                      },
                      "Wrong parent.", true, 5, true, 5},
        OpenErrorCase{"RootIsItsOwnChild",
                      [](auto& o) {
                          o.Tree.resize(1);
                          o.Tree[0].FirstChild = 0;
                          o.Tree[0].FirstChildCount = 0;
                      },
                      "Wrong parent.", true, 5, true, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DbxOpenTest, WalkErrorKeepsTheOffsetsWrittenSoFar) {
    TDbxOptions options;
    options.HeaderCount = 6;
    testsupport::TDbxWriter writer(options);
    for (const auto& m : SampleMessages(5)) writer.Add(m);
    writer.Finish();
    auto reader = ReaderOf(writer.Bytes());
    EXPECT_EQ(ErrorOf([&] { reader->Open(kPath); }), "Wrong number of values found");
    std::vector<uint32_t> expected = writer.Layout().InfoObjects;
    expected.push_back(0);
    EXPECT_EQ(reader->InfoOffsets(), expected);
}

TEST(DbxOpenTest, IndexCutShortIsAReadError) {
    TDbxOptions options;
    options.FanOut = 2;
    testsupport::TDbxWriter writer(options);
    for (const auto& m : SampleMessages(5)) writer.Add(m);
    writer.Finish();
    std::string image = writer.Bytes();
    image.resize(writer.Layout().Nodes[2] + 100);
    auto reader = ReaderOf(image);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kPath); }), "Stream read error");
    EXPECT_TRUE(reader->Loaded());
}

TEST(DbxOpenTest, RootBeyondTheFileIsAReadError) {
    std::string image = testsupport::BuildDbx(SampleMessages(2));
    Put32(image, dbx::kHeaderRootNode, static_cast<uint32_t>(image.size() - 100));
    auto reader = ReaderOf(image);
    EXPECT_EQ(ErrorOf([&] { reader->Open(kPath); }), "Stream read error");
}

TEST(DbxOpenTest, ValueZeroWithAChildGivesOnlyTheChildsValues) {
    TDbxOptions options;
    options.Tree.resize(3);
    options.Tree[0].Entries = {{-1, {}, 1, {}}, {2, {}, 2, {}}};
    options.Tree[1].Entries = {{0, {}, -1, {}}, {1, {}, -1, {}}};
    // Node 2 holds nothing: an empty node with Expected 0 passes.
    auto reader = Load(testsupport::BuildDbx(SampleMessages(3), options));
    ASSERT_EQ(reader->GetMessageCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reader->GetMessageInfo(i).Subject, "Message " + std::to_string(i));
}

// ---- ReadMessageInfos: errors and the state after them -------------------------------------------

struct InfoErrorCase {
    const char* name;
    int message;  // the damaged message
    std::function<void(TDbxOptions&, std::vector<TStoreMessage>&)> configure;
    const char* error;
};

class DbxInfoErrorTest : public ::testing::TestWithParam<InfoErrorCase> {};

TEST_P(DbxInfoErrorTest, StopsAtTheDamagedMessage) {
    const InfoErrorCase& c = GetParam();
    std::vector<TStoreMessage> messages = SampleMessages(4, 60);
    TDbxOptions options;
    c.configure(options, messages);
    auto reader = ReaderOf(testsupport::BuildDbx(messages, options));
    ASSERT_EQ(ErrorOf([&] { reader->Open(kPath); }), "");
    EXPECT_EQ(ErrorOf([&] { reader->ReadMessageInfos(); }), c.error);
    EXPECT_EQ(reader->GetMessageCount(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reader->GetMessageInfo(i).Subject, i < c.message ? messages[i].Subject : "");
        EXPECT_EQ(reader->GetMessageInfo(i).Size, i < c.message ? messages[i].Text.size() : 0u);
    }
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(c.message); }), "No text found.");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DbxInfoErrorTest,
    ::testing::Values(
        InfoErrorCase{"InfoMarker", 1,
                      [](auto& o, auto&) {
                          o.Damage.push_back({TDbxDamageKind::InfoMarker, 1});
                      },
                      "Wrong object marker."},
        InfoErrorCase{"BlockMarker", 2,
                      [](auto& o, auto&) {
                          o.Damage.push_back({TDbxDamageKind::BlockMarker, 2});
                      },
                      "Wrong object marker."},
        InfoErrorCase{"ValueIsNoObject", 3,
                      [](auto& o, auto&) {
                          o.Tree.resize(1);
                          o.Tree[0].Entries = {{0, {}, -1, {}}, {1, {}, -1, {}}, {2, {}, -1, {}}, {-1, 0x2600, -1, {}}};
                      },
                      "Wrong object marker."},
        InfoErrorCase{
            "ValueBeyondTheFile", 1,
            [](auto& o, auto&) {
                o.Tree.resize(1);
                o.Tree[0].Entries = {{0, {}, -1, {}}, {-1, 0xFFFFFFF0u, -1, {}}, {2, {}, -1, {}}, {3, {}, -1, {}}};
            },
            "Stream read error"},
        InfoErrorCase{"BodyBeyondTheFile", 3, [](auto&, auto& m) { m[3].DbxBodyLength = 0xFFFF; }, "Stream read error"},
        InfoErrorCase{
            "BlockBeyondTheFile", 1,
            [](auto&, auto& m) {
                m[1].DbxExtraEntries.push_back({dbx::kFieldDataOffset, 0, std::string("\xF0\xFF\xFF\xFF", 4)});
            },
            "Stream read error"}),
    [](const auto& info) { return std::string(info.param.name); });

// Blocks shared by many messages: each walk is short, but together they pass every block of the
// file many times over; the walk ends instead of taking time in the square of the file size.
TEST(DbxInfoErrorTest, ChainsThatShareBlocksEndTheWalk) {
    TDbxOptions options;
    options.BlockSize = 1;
    testsupport::TDbxWriter writer(options);
    TStoreMessage first = SampleMessage(0);
    first.Text = std::string(1000, 'x');
    writer.Add(first);
    const uint32_t chain = writer.Layout().FirstBlocks[0];
    for (int i = 1; i < 200; ++i) {
        TStoreMessage m;
        m.DbxExtraEntries.push_back(
            {static_cast<uint8_t>(dbx::kFieldDataOffset | dbx::kDirectForm), chain, std::nullopt});
        writer.Add(m);
    }
    writer.Finish();
    auto reader = ReaderOf(writer.Bytes());
    reader->Open(kPath);
    EXPECT_EQ(ErrorOf([&] { reader->ReadMessageInfos(); }), "Data block chain leads back to a block already visited.");
    EXPECT_EQ(reader->GetMessageInfo(1).Size, 1000u);  // a few messages share the chain before the walk ends
}

// ---- message-info objects ---------------------------------------------------------------------

TStoreMessage Handmade(std::vector<TDbxInfoEntry> entries) {
    TStoreMessage m;
    m.Text = "Subject: x\r\n\r\nbody";
    m.DbxFieldEntries = false;
    m.DbxExtraEntries = std::move(entries);
    return m;
}

TMessageInfo DecodedInfo(const TStoreMessage& m) {
    auto reader = Load(testsupport::BuildDbx({m}));
    return reader->GetMessageInfo(0);
}

std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    Put32(bytes, 0, value);
    return bytes;
}

TEST(DbxInfoObjectTest, ObjectWithoutEntriesIsAnEmptyRecordWithoutText) {
    TStoreMessage m;
    m.DbxFieldEntries = false;
    auto reader = Load(testsupport::BuildDbx({m}));
    EXPECT_EQ(reader->GetMessageInfo(0), TMessageInfo{});
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(0); }), "No text found.");
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageHeader(0); }), "No text found.");
}

TEST(DbxInfoObjectTest, LaterOccurrenceOfAnIdWins) {
    // A bogus data offset that won would fail the size walk.
    TStoreMessage direct =
        Handmade({{dbx::kFieldDataOffset, 0, Le32(0x123456)},
                  {static_cast<uint8_t>(dbx::kFieldDataOffset | dbx::kDirectForm), 0, std::nullopt}});
    TStoreMessage indirect =
        Handmade({{static_cast<uint8_t>(dbx::kFieldDataOffset | dbx::kDirectForm), 0x123456, std::nullopt},
                  {dbx::kFieldDataOffset, 0, Le32(0)}});
    TStoreMessage flags = Handmade(
        {{dbx::kFieldFlags, 0, Le32(7)}, {static_cast<uint8_t>(dbx::kFieldFlags | dbx::kDirectForm), 9, std::nullopt}});
    TStoreMessage flagsIndirectLast = Handmade(
        {{static_cast<uint8_t>(dbx::kFieldFlags | dbx::kDirectForm), 9, std::nullopt}, {dbx::kFieldFlags, 0, Le32(7)}});
    TStoreMessage texts = Handmade(
        {{dbx::kFieldSubject, 0, std::string("first\0", 6)}, {dbx::kFieldSubject, 0, std::string("second\0", 7)}});
    EXPECT_EQ(DecodedInfo(direct).DataOffset, 0u);
    EXPECT_EQ(DecodedInfo(direct).Size, 0u);
    EXPECT_EQ(DecodedInfo(indirect).DataOffset, 0u);
    EXPECT_EQ(DecodedInfo(flags).Flags, 9u);
    EXPECT_EQ(DecodedInfo(flagsIndirectLast).Flags, 7u);
    EXPECT_EQ(DecodedInfo(texts).Subject, "second");
}

TEST(DbxInfoObjectTest, EveryFieldFromItsEntry) {
    TStoreMessage m = Handmade({
        {static_cast<uint8_t>(dbx::kFieldIndex | dbx::kDirectForm), 77, std::nullopt},
        {dbx::kFieldFlags, 0, Le32(0x4021)},
        {dbx::kFieldPriority, 0, Le32(5)},
        {dbx::kFieldMessageID, 0, std::string("<id>\0", 5)},
        {dbx::kFieldSubject, 0, std::string("Subject\0", 8)},
        {dbx::kFieldServer, 0, std::string("server\0", 7)},
        {dbx::kFieldSenderName, 0, std::string("Sender\0", 7)},
        {dbx::kFieldSenderAddress, 0, std::string("s@x\0", 4)},
        {dbx::kFieldReceived, 0, std::string("\x00\x00\x00\x00\x00\x00\x00\x00", 8)},
        {dbx::kFieldReceiverName, 0, std::string("Receiver\0", 9)},
        {dbx::kFieldReceiverAddress, 0, std::string("r@x\0", 4)},
        {dbx::kFieldAccountName, 0, std::string("Account\0", 8)},
    });
    TMessageInfo info = DecodedInfo(m);
    EXPECT_EQ(info.Index, 77u);
    EXPECT_EQ(info.Flags, 0x4021u);
    EXPECT_EQ(info.Priority, 5u);
    EXPECT_EQ(info.MessageID, "<id>");
    EXPECT_EQ(info.Subject, "Subject");
    EXPECT_EQ(info.Server, "server");
    EXPECT_EQ(info.SenderName, "Sender");
    EXPECT_EQ(info.SenderAddress, "s@x");
    EXPECT_DOUBLE_EQ(info.Received, -109205.0);
    EXPECT_EQ(info.ReceiverName, "Receiver");
    EXPECT_EQ(info.ReceiverAddress, "r@x");
    EXPECT_EQ(info.AccountName, "Account");
    EXPECT_EQ(info.DateText, "");
}

TEST(DbxInfoObjectTest, ReceivedAtHalfPastTwelve) {
    std::string filetime(8, '\0');
    const uint64_t value = testsupport::FileTimeOf(2002, 4, 14, 12, 30);
    for (int i = 0; i < 8; ++i) filetime[i] = static_cast<char>(value >> (8 * i));
    EXPECT_NEAR(DecodedInfo(Handmade({{dbx::kFieldReceived, 0, filetime}})).Received, 37360 + 12.5 / 24, 1e-9);
}

TEST(DbxInfoObjectTest, TextsAreCutAt255AtNulAndAtTheBodyEnd) {
    EXPECT_EQ(DecodedInfo(Handmade({{dbx::kFieldSubject, 0, std::string(300, 'a') + '\0'}})).Subject,
              std::string(255, 'a'));
    EXPECT_EQ(DecodedInfo(Handmade({{dbx::kFieldSubject, 0, std::string("ab\0cd\0", 6)}})).Subject, "ab");
    // The last data without a NUL: the text ends with the body.
    EXPECT_EQ(DecodedInfo(Handmade({{dbx::kFieldSubject, 0, std::string("to the end")}})).Subject, "to the end");
}

TEST(DbxInfoObjectTest, DataOutsideTheBodyIsSkipped) {
    // The data area holds 8 bytes: "abcdefg\0".
    auto withData = [](std::vector<TDbxInfoEntry> entries) {
        entries.insert(entries.begin(), {dbx::kFieldServer, 0, std::string("abcdefg\0", 8)});
        return Handmade(std::move(entries));
    };
    TMessageInfo partly =
        DecodedInfo(withData({{static_cast<uint8_t>(dbx::kFieldFlags | dbx::kDirectForm), 9, std::nullopt},
                              {dbx::kFieldFlags, 6, std::nullopt}}));
    EXPECT_EQ(partly.Flags, 9u);  // 4 bytes from offset 6 reach past the body: the earlier value stays
    EXPECT_EQ(DecodedInfo(withData({{dbx::kFieldFlags, 4, std::nullopt}})).Flags, 0x00676665u);  // "efg\0"
    EXPECT_EQ(DecodedInfo(withData({{dbx::kFieldReceived, 1, std::nullopt}})).Received, 0.0);
    EXPECT_EQ(DecodedInfo(withData({{dbx::kFieldSubject, 7, std::nullopt}})).Subject, "");
    EXPECT_EQ(DecodedInfo(withData({{dbx::kFieldSubject, 5, std::nullopt}})).Subject, "fg");
    TMessageInfo outside = DecodedInfo(withData({{dbx::kFieldSubject, 0, std::nullopt},
                                                 {dbx::kFieldSubject, 8, std::nullopt},
                                                 {dbx::kFieldSubject, 0xFFFFFF, std::nullopt}}));
    EXPECT_EQ(outside.Subject, "abcdefg");
}

TEST(DbxInfoObjectTest, EntriesBeyondTheBodyLengthAreSkipped) {
    // Four entries, body length 14: the fourth entry is only half inside the body.
    TStoreMessage m = Handmade({{static_cast<uint8_t>(dbx::kFieldIndex | dbx::kDirectForm), 1, std::nullopt},
                                {static_cast<uint8_t>(dbx::kFieldFlags | dbx::kDirectForm), 2, std::nullopt},
                                {static_cast<uint8_t>(dbx::kFieldPriority | dbx::kDirectForm), 3, std::nullopt},
                                {static_cast<uint8_t>(dbx::kFieldIndex | dbx::kDirectForm), 4, std::nullopt}});
    m.Text.clear();
    m.DbxBodyLength = 14;
    TMessageInfo info = DecodedInfo(m);
    EXPECT_EQ(info.Index, 1u);
    EXPECT_EQ(info.Flags, 2u);
    EXPECT_EQ(info.Priority, 3u);
}

TEST(DbxInfoObjectTest, BodyOfOnlyTheTableServesDirectIds) {
    TStoreMessage m = Handmade({{static_cast<uint8_t>(dbx::kFieldIndex | dbx::kDirectForm), 5, std::nullopt},
                                {dbx::kFieldSubject, 0, std::nullopt}});
    m.Text.clear();
    TMessageInfo info = DecodedInfo(m);
    EXPECT_EQ(info.Index, 5u);
    EXPECT_EQ(info.Subject, "");
}

TEST(DbxInfoObjectTest, DirectFormsOfTextIdsAndUnknownIdsAreSkipped) {
    TStoreMessage m = Handmade({{dbx::kFieldServer, 0, std::string("data\0", 5)},
                                {0x88, 0, std::nullopt},
                                {0x92, 0, std::nullopt},
                                {0x8D, 0, std::nullopt},
                                {0x02, 0, std::nullopt},
                                {0x91, 0x123, std::nullopt}});
    m.Text.clear();
    TMessageInfo info = DecodedInfo(m);
    TMessageInfo expected;
    expected.Server = "data";
    EXPECT_EQ(info, expected);
}

// ---- texts and header blocks -------------------------------------------------------------------

TStoreMessage WithText(std::string text) {
    TStoreMessage m = SampleMessage(0);
    m.Text = std::move(text);
    return m;
}

struct TextCase {
    const char* name;
    std::string text;
    uint32_t blockSize;
    std::string header;
};

class DbxTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(DbxTextTest, HeaderIsCutAtTheFirstBlankLine) {
    const TextCase& c = GetParam();
    TDbxOptions options;
    options.BlockSize = c.blockSize;
    auto reader = Load(testsupport::BuildDbx({WithText(c.text)}, options));
    EXPECT_EQ(reader->GetMessageHeader(0), c.header);
    EXPECT_EQ(reader->GetMessageText(0), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, DbxTextTest,
                         ::testing::Values(TextCase{"OneBlock", "A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore", 512,
                                                    "A: 1\r\nB: 2\r"},
                                           // Block 1 ends with CR LF, block 2 begins with CR LF.
                                           TextCase{"BlankLineAcrossBlocks", "A: 1\r\n\r\nbody", 6, "A: 1\r"},
                                           TextCase{"BlankLineSplitInFour", "A\r\n\r\nb", 1, "A\r"},
                                           TextCase{"NoBlankLine", "A: 1\r\nB: 2\r\nno body", 4, ""},
                                           TextCase{"LoneLineFeeds", "A: 1\n\nbody", 512, ""},
                                           TextCase{"TextStartsWithBlankLine", "\r\n\r\nbody", 3, "\r"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DbxTextTest, ANulInABlockIsKeptWithTheBytesAfterIt) {
    TDbxOptions options;
    options.BlockSize = 8;
    const std::string text("A: 1\r\n\0x\r\n\r\nbody", 16);
    auto reader = Load(testsupport::BuildDbx({WithText(text)}, options));
    // Block 1 "A: 1\r\n\0x" keeps its NUL and the byte after it; block 2 follows.
    EXPECT_EQ(reader->GetMessageText(0), text);
    EXPECT_EQ(reader->GetMessageHeader(0), std::string("A: 1\r\n\0x\r", 9));
    EXPECT_EQ(reader->GetMessageInfo(0).Size, 16u);  // the size counts every byte of the blocks
}

TEST(DbxTextTest, EmptyBlockKeepsTheChainGoing) {
    TDbxOptions options;
    options.BlockSize = 4;
    testsupport::TDbxWriter writer(options);
    writer.Add(WithText("AAAABBBBCCCC"));
    writer.Finish();
    std::string image = writer.Bytes();
    Put32(image, writer.Layout().FirstBlocks[0] + 20 + dbx::kBlockTextCount, 0);  // the second block
    auto reader = Load(image);
    EXPECT_EQ(reader->GetMessageInfo(0).Size, 8u);
    EXPECT_EQ(reader->GetMessageText(0), "AAAACCCC");
}

TEST(DbxTextTest, HeaderReadsOnlyTheBlocksItNeeds) {
    TDbxOptions options;
    options.BlockSize = 16;
    testsupport::TDbxWriter writer(options);
    writer.Add(WithText("Subject: hi\r\n\r\n" + std::string(100, 'b')));
    writer.Finish();
    std::string image = writer.Bytes();
    // The third block claims more bytes than the file holds; the size walk does not read text.
    Put32(image, writer.Layout().FirstBlocks[0] + 2 * 32 + dbx::kBlockTextCount, 0xFFFFFFF0u);
    auto reader = Load(image);
    EXPECT_EQ(reader->GetMessageHeader(0), "Subject: hi\r");
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(0); }), "Stream read error");
}

TEST(DbxTextTest, IndexOutsideTheMessagesIsAReaderError) {
    auto reader = ReaderOf(testsupport::BuildDbx(SampleMessages(2)));
    reader->Open(kPath);
    // Before ReadMessageInfos there is no summary to read a text by.
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(0); }), "Message index out of range.");
    reader->ReadMessageInfos();
    for (int32_t index : {-1, 2, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(index); }), "Message index out of range.");
        EXPECT_EQ(ErrorOf([&] { reader->GetMessageHeader(index); }), "Message index out of range.");
        EXPECT_THROW(reader->GetMessageText(index), EDBXReaderException);
    }
}

// Blocks whose texts overlap can claim more text than the file holds; they are read only up to
// the file's size. Block offsets need four non-zero bytes for their heads to be read as text, so
// this image is 33 MB: three heads in a row, each taking the next 16 MB as its text, and a
// last small block behind them.
TEST(DbxTextTest, TextLongerThanTheFileEnds) {
    const uint32_t firstHead = 0x01010110;
    const uint32_t count = 0x01010101;
    const uint32_t lastHead = firstHead + 3 * 16 + count;
    TStoreMessage m;
    m.DbxFieldEntries = false;
    m.DbxExtraEntries.push_back({dbx::kFieldDataOffset, 0, Le32(firstHead)});
    std::string image = testsupport::BuildDbx({m});
    image.resize(lastHead + 17, 'A');
    for (uint32_t k = 0; k < 3; ++k) {
        const uint32_t head = firstHead + 16 * k;
        Put32(image, head + dbx::kBlockMarker, head);
        Put32(image, head + dbx::kBlockCapacity, 0x41414141);
        Put32(image, head + dbx::kBlockTextCount, count);
        Put32(image, head + dbx::kBlockNext, k < 2 ? head + 16 : lastHead);
    }
    Put32(image, lastHead + dbx::kBlockMarker, lastHead);
    Put32(image, lastHead + dbx::kBlockTextCount, 1);
    Put32(image, lastHead + dbx::kBlockNext, 0);
    auto reader = Load(image);
    EXPECT_EQ(reader->GetMessageInfo(0).Size, 3 * count + 1);
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(0); }), "Message text is longer than the file.");
}

// ---- folder name ----------------------------------------------------------------------------------

TEST(DbxFolderNameTest, NameRunsToItsNulOrToTheAreaEnd) {
    TDbxOptions options;
    options.FolderName = std::string("Sent\0junk", 9);
    EXPECT_EQ(Load(testsupport::BuildDbx(SampleMessages(1), options))->GetFolderName(), "Sent");
    options.FolderName = std::string(400, 'n');  // the writer keeps the 283 bytes that fit
    EXPECT_EQ(Load(testsupport::BuildDbx(SampleMessages(1), options))->GetFolderName(), std::string(283, 'n'));
    options.FolderName = "";
    EXPECT_EQ(Load(testsupport::BuildDbx(SampleMessages(1), options))->GetFolderName(), "");
    options.FolderName = "\xC8\xF1\xF5";  // 8-bit bytes as they are
    EXPECT_EQ(Load(testsupport::BuildDbx(SampleMessages(1), options))->GetFolderName(), "\xC8\xF1\xF5");
}

// ---- memory --------------------------------------------------------------------------------------

TEST(DbxMemoryTest, TypicalSummariesTakeLessThan512BytesEach) {
    auto reader = Load(testsupport::BuildDbx(SampleMessages(2000, 2)));
    ASSERT_EQ(reader->GetMessageCount(), 2000);
    const size_t perMessage = (reader->SummaryMemoryUsage() + reader->InfoOffsets().capacity() * 4) / 2000;
    EXPECT_LT(perMessage, 512u);
    EXPECT_GT(reader->SummaryMemoryUsage(), 0u);
}

TEST(DbxMemoryTest, SummariesThatShareOneObjectDoNotMultiplyItsTexts) {
    // 2550 index values all lead to one object with eight 255-byte texts.
    TStoreMessage rich = SampleMessage(0);
    for (std::string* text : {&rich.MessageID, &rich.Subject, &rich.Server, &rich.SenderName, &rich.SenderAddress,
                              &rich.ReceiverName, &rich.ReceiverAddress, &rich.AccountName})
        *text = std::string(255, 't');
    TDbxOptions options;
    options.Tree.resize(52);
    for (int k = 1; k <= 51; ++k) {
        options.Tree[0].Entries.push_back({-1, {}, k, {}});
        options.Tree[k].Entries.assign(50, {0, {}, -1, {}});
    }
    options.HeaderCount = 51 * 50;
    auto reader = Load(testsupport::BuildDbx({rich}, options));
    ASSERT_EQ(reader->GetMessageCount(), 51 * 50);
    EXPECT_EQ(reader->GetMessageInfo(2549).Subject, std::string(255, 't'));
    EXPECT_EQ(reader->GetMessageInfo(2549).AccountName, std::string(255, 't'));
    EXPECT_LT(reader->SummaryMemoryUsage() / 2550, 512u);
}

}  // namespace
}  // namespace brindle
