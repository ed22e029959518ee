// Rescue of whole store files: the header pass (two threads for many messages) and the single
// pass that hands each whole text on must agree with each other and with what was written,
// whether the file is mapped or read whole.
#include "MailboxTestSupport.h"
#include "mailbox/Rescue.h"

#include <gtest/gtest.h>

#include <iostream>

namespace brindle {
namespace {

namespace ts = testsupport;
using test::TTempDir;

// Subjects behind header fields long enough that the first looks for the header block miss it.
std::vector<ts::TStoreMessage> ManyMessages(size_t count) {
    std::vector<ts::TStoreMessage> messages;
    for (size_t i = 0; i < count; ++i) {
        const std::string subject = "Message " + std::to_string(i);
        const size_t padding = i % 97 == 5 ? 3000 : i % 97 == 6 ? 12000 : 0;
        std::vector<std::string> fields = {"From: ann@example.org"};
        if (padding) fields.push_back("X-Padding: " + std::string(padding, 'p'));
        fields.push_back("Subject: " + subject);
        ts::TStoreMessage m;
        m.Subject = subject;
        m.Text = ts::MessageText(fields, "Body of " + subject + "\r\n");
        if (i % 7 == 3) m.DbxPresence = ts::TDbxPresence::Deleted;
        if (i % 11 == 4) m.DbxPresence = ts::TDbxPresence::Orphaned;
        messages.push_back(std::move(m));
    }
    return messages;
}

TEST(StoreRescue, WholeTextPassAgreesWithTheHeaderPassOnTwoThreads) {
    TTempDir dir;
    struct TCase {
        std::string Path;
        std::vector<ts::TStoreMessage> Written;  // empty for a corpus store
    };
    std::vector<TCase> cases;
    for (size_t count : {5u, 1500u}) {
        TCase c{dir / ("Store" + std::to_string(count) + ".dbx"), ManyMessages(count)};
        test::WriteDbx(c.Path, c.Written);
        cases.push_back(std::move(c));
    }
    for (const char* name : {"mtdbx_test.dbx", "dbxconvert_test.dbx", "iped_test_OutlookDBX.dbx"}) {
        const std::string path = std::string(BRINDLE_CORPUS) + "/dbx/" + name;
        if (std::filesystem::exists(path))
            cases.push_back({path, {}});
        else
            std::cerr << "corpus store not present, skipped: " << path << "\n";
    }
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        TStoreRescue headers(c.Path);
        ASSERT_TRUE(headers.Run());
        TStoreRescue texts(c.Path, true);  // read whole, where the header pass maps the file
        std::vector<std::pair<uint32_t, std::string>> handed;
        ASSERT_TRUE(texts.Run({}, [&](const TRescuedMessage& message, std::string text) {
            handed.emplace_back(message.Found.Offset, std::move(text));
        }));
        const auto& expected = headers.Messages();
        ASSERT_EQ(texts.Messages().size(), expected.size());
        ASSERT_EQ(handed.size(), expected.size());
        if (!c.Written.empty()) {
            ASSERT_EQ(expected.size(), c.Written.size());
        }
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            const TRescuedMessage& got = texts.Messages()[i];
            EXPECT_EQ(got.Found.Offset, expected[i].Found.Offset);
            EXPECT_EQ(handed[i].first, expected[i].Found.Offset);
            EXPECT_EQ(got.Found.Size, expected[i].Found.Size);
            EXPECT_EQ(got.Found.Kind, expected[i].Found.Kind);
            EXPECT_EQ(got.Header.Subject, expected[i].Header.Subject);
            EXPECT_EQ(got.Header.MessageID, expected[i].Header.MessageID);
            EXPECT_EQ(handed[i].second, headers.Text(i));
            if (!c.Written.empty()) {
                EXPECT_EQ(expected[i].Header.Subject, c.Written[i].Subject);
            }
        }
    }
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// A version 4 folder of many tiny records (the header pass then runs on two threads, each
// packing its own part) and some with header lines: every record comes back with its kind,
// size and summary in both passes, and an unpacked copy says the same.
TEST(StoreRescue, TinyRecordsOfAVersion4FolderComeBackWithTheirSummariesInBothPasses) {
    constexpr size_t kCount = 3000;
    TTempDir dir;
    const std::string path = dir / "Tiny.mbx";
    {
        ts::TMbxWriter writer(path, ts::TMbxOptions{.WriteIndex = false});
        for (size_t i = 0; i < kCount; ++i) {
            ts::TStoreMessage m;
            m.Index = static_cast<uint32_t>(i);
            m.Text = i % 10 == 7 ? ts::MessageText({"From: ann@example.org", "Subject: S" + std::to_string(i)}, "b\r\n")
                                 : std::string(1 + i % 3, 'x');
            writer.Add(m);
        }
        writer.Finish();
    }
    TStoreRescue headers(path);
    ASSERT_TRUE(headers.Run());
    TStoreRescue texts(path, true);
    std::vector<std::string> handed;
    ASSERT_TRUE(texts.Run({}, [&](const TRescuedMessage& message, std::string text) {
        EXPECT_EQ(message.Found.Size, text.size());
        handed.push_back(std::move(text));
    }));
    ASSERT_EQ(headers.Messages().size(), kCount);
    ASSERT_EQ(texts.Messages().size(), kCount);
    ASSERT_EQ(handed.size(), kCount);
    const std::vector<TRescuedMessage> unpacked = headers.Messages().ToVector();
    ASSERT_EQ(unpacked.size(), kCount);
    for (size_t i = 0; i < kCount; ++i) {
        SCOPED_TRACE(i);
        const bool withHeader = i % 10 == 7;
        for (const TRescuedMessage& got : {headers.Messages()[i], texts.Messages()[i], unpacked[i]}) {
            EXPECT_EQ(got.Found.Kind, TFoundKind::Indexed);
            EXPECT_EQ(got.Found.Index, std::optional<uint32_t>(static_cast<uint32_t>(i)));
            EXPECT_EQ(got.Found.Size, handed[i].size());
            EXPECT_EQ(got.Header.Subject, withHeader ? "S" + std::to_string(i) : "");
            EXPECT_EQ(got.Header.From, withHeader ? "ann@example.org" : "");
        }
        EXPECT_EQ(headers.Text(i), handed[i]);
    }
    EXPECT_THROW(headers.Messages().at(kCount), std::out_of_range);
    size_t iterated = 0;
    for (const TRescuedMessage& message : headers.Messages()) {
        EXPECT_EQ(message.Found.Offset, unpacked[iterated].Found.Offset);
        EXPECT_EQ(message.Header.Subject, unpacked[iterated++].Header.Subject);
    }
    EXPECT_EQ(iterated, kCount);
}

// A size read whole replaces the scan's for that message only, whatever order the sizes come
// in, and setting the scan's own size again takes the replacement back.
TEST(RescuedList, SizesReadWholeReplaceTheScansOneByOne) {
    TFoundList found;
    for (uint32_t k = 0; k < 6; ++k) found.push_back(TFoundMessage{.Offset = 100 * k, .Size = 10 + k});
    TRescuedList list;
    list.Reset(found, {0, 3});
    const std::vector<std::pair<size_t, uint64_t>> steps = {
        {4, 400}, {1, 100}, {5, 11}, {1, 11}, {0, 10}, {3, 5000000000}, {5, 15}, {2, 200}};
    std::vector<uint64_t> expected = {10, 11, 12, 13, 14, 15};
    for (const auto& [message, size] : steps) {
        list.SetSize(message, size);
        expected[message] = size;
        for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(list[k].Found.Size, expected[k]) << message << " " << k;
    }
}

}  // namespace
}  // namespace brindle
