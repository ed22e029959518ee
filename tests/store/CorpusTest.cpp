// The four real .dbx stores of the corpus, with the values that their sources' own tests expect.
#include "StoreTestSupport.h"
#include "store/DBXReader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace brindle {
namespace {

using test::ErrorOf;

constexpr double kUnixEpochDay = 25569;

std::string CorpusStore(const std::string& name) { return std::string(BRINDLE_CORPUS) + "/dbx/" + name; }

// The store opened from disk with its summaries read; null (and the test skipped) when absent.
std::unique_ptr<TDBXReader> OpenCorpusStore(const std::string& name) {
    if (!std::ifstream(CorpusStore(name))) return nullptr;
    auto reader = std::make_unique<TDBXReader>();
    reader->Open(CorpusStore(name));
    reader->ReadMessageInfos();
    return reader;
}

#define OPEN_OR_SKIP(reader, name)       \
    auto reader = OpenCorpusStore(name); \
    if (!reader) GTEST_SKIP() << "corpus store " << name << " absent"

double DayOf(int year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second) {
    return FileTimeToDateTime(testsupport::FileTimeOf(year, month, day, hour, minute, second));
}

// Every message: the text has the summary's size and begins with its header block.
void ExpectTextsMatchSummaries(TDBXReader& reader) {
    for (int32_t i = 0; i < reader.GetMessageCount(); ++i) {
        SCOPED_TRACE(i);
        const std::string text = reader.GetMessageText(i);
        const std::string header = reader.GetMessageHeader(i);
        EXPECT_EQ(text.size(), reader.GetMessageInfo(i).Size);
        EXPECT_EQ(header, test::HeaderBlockOf(text));
        EXPECT_FALSE(header.empty());
    }
}

TEST(CorpusTest, MailTransportDbxTest) {
    OPEN_OR_SKIP(reader, "mtdbx_test.dbx");
    ASSERT_EQ(reader->GetMessageCount(), 1);
    EXPECT_EQ(reader->GetFolderName(), "test");
    TMessageInfo info = reader->GetMessageInfo(0);
    EXPECT_EQ(info.Subject, "Please read you won't be sorry........");
    EXPECT_EQ(info.MessageID, "<200204140027.g3E0RlgZ025299@ue250-1.rz.RWTH-Aachen.DE>");
    EXPECT_EQ(info.SenderName, "Wealth_Enterprises_2002");
    EXPECT_EQ(info.SenderAddress, "off_1@webstation.com");
    EXPECT_EQ(info.ReceiverName, "tassilo.parseval@post.rwth-aachen.de");
    EXPECT_EQ(info.AccountName, "pbox.dialup.rwth-aachen.de");
    EXPECT_EQ(info.Server, "pbox.dialup.rwth-aachen.de");
    EXPECT_NEAR(info.Received, DayOf(2002, 4, 14, 0, 27, 57), 1.0 / 86400);
    EXPECT_EQ(info.Size, 16993u);
    EXPECT_TRUE(info.Flags & 0x80);  // seen
    EXPECT_EQ(reader->GetMessageInfo(1), TMessageInfo{});
    EXPECT_EQ(ErrorOf([&] { reader->GetMessageText(1); }), "Message index out of range.");
    ExpectTextsMatchSummaries(*reader);
}

TEST(CorpusTest, MailTransportDbxTest1) {
    OPEN_OR_SKIP(reader, "mtdbx_test1.dbx");
    ASSERT_EQ(reader->GetMessageCount(), 1);
    TMessageInfo info = reader->GetMessageInfo(0);
    EXPECT_EQ(info.Subject, "[fmII] centericq 4.7.5 released (Default branch)");
    EXPECT_EQ(info.MessageID, "<20020617194207.DF10883011@mail.freshmeat.net>");
    EXPECT_EQ(info.SenderName, "noreply@freshmeat.net");
    EXPECT_EQ(info.SenderAddress, "noreply@freshmeat.net");
    EXPECT_EQ(info.ReceiverAddress, "<noreply@freshmeat.net>");
    EXPECT_NEAR(info.Received, DayOf(2002, 6, 17, 20, 2, 30), 1.0 / 86400);
    EXPECT_EQ(info.Size, 2710u);
    const std::string text = reader->GetMessageText(0);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    ExpectTextsMatchSummaries(*reader);
}

TEST(CorpusTest, DbxconvertTest) {
    OPEN_OR_SKIP(reader, "dbxconvert_test.dbx");
    ASSERT_EQ(reader->GetMessageCount(), 2);
    EXPECT_EQ(reader->InfoOffsets(), (std::vector<uint32_t>{11044, 13016}));
    const uint32_t sizes[] = {1195, 18490};
    const char* subjects[] = {"Subject #1", "Subject #2"};
    const char* receivers[] = {"test@domain.com", "test-2@domain.com"};
    const int64_t received[] = {1473634712, 1473634973};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        TMessageInfo info = reader->GetMessageInfo(i);
        EXPECT_EQ(info.Size, sizes[i]);
        EXPECT_EQ(info.Subject, subjects[i]);
        EXPECT_EQ(info.ReceiverName, receivers[i]);
        EXPECT_EQ(info.ReceiverAddress, "<" + std::string(receivers[i]) + ">");
        EXPECT_EQ(info.SenderName.substr(0, 2), "Ro");
        EXPECT_NE(info.SenderAddress.find("@mail"), std::string::npos);
        EXPECT_NEAR(info.Received, kUnixEpochDay + received[i] / 86400.0, 1.0 / 86400);
    }
    ExpectTextsMatchSummaries(*reader);
}

TEST(CorpusTest, IpedOutlookDbx) {
    OPEN_OR_SKIP(reader, "iped_test_OutlookDBX.dbx");
    ASSERT_EQ(reader->GetMessageCount(), 28);
    EXPECT_EQ(reader->GetFolderName(), "Outbox");
    int emptySubjects = 0;
    for (int i = 0; i < 28; ++i) emptySubjects += reader->GetMessageInfo(i).Subject.empty();
    EXPECT_EQ(emptySubjects, 2);
    ExpectTextsMatchSummaries(*reader);
}

}  // namespace
}  // namespace brindle
