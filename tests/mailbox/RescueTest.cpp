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
