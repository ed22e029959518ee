// The real messages of the corpus: none may fail, leave a temporary file or give text that is
// not UTF-8; a few carry values checked against their sources.
#include "mime/MoxMsg.h"

#include "MimeTestSupport.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

std::unique_ptr<TMoxMsg> ParseCorpusFile(const std::string& relative) {
    std::string path = test::CorpusPath(relative);
    if (path.empty()) return nullptr;
    return test::ParseRaw(test::ReadFile(path));
}

void ExpectUtf8(const TMoxMsg& msg, const std::string& file) {
    for (const std::string* field :
         {&msg.From, &msg.Subject, &msg.SendTo, &msg.CC, &msg.ReplyTo, &msg.Sender, &msg.Date, &msg.MessageID,
          &msg.InReplyTo, &msg.ReturnPath, &msg.ContentType, &msg.ContentTransferEncoding})
        EXPECT_TRUE(IsValidUtf8(*field)) << file << ": " << *field;
    for (std::string_view line : msg.Text) EXPECT_TRUE(IsValidUtf8(line)) << file << ": " << line;
    for (const std::string& type : msg.TextTypes) EXPECT_TRUE(IsValidUtf8(type)) << file << ": " << type;
    for (size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        const TAttachedFile& item = msg.AttachedFiles.Items(i);
        EXPECT_TRUE(IsValidUtf8(item.FileName) && IsValidUtf8(item.MediaType) && IsValidUtf8(item.ContentID))
            << file << ": item " << i;
    }
}

TEST(CorpusTest, EveryMessageParsesToUtf8WithoutTemporaryFiles) {
    std::string dir = test::CorpusPath("eml");
    if (dir.empty()) GTEST_SKIP() << "corpus not present";
    std::vector<std::string> files = test::FilesBelow(dir);
    ASSERT_GT(files.size(), 100u);
    for (const std::string& file : files) {
        auto msg = std::make_unique<TMoxMsg>();
        msg->RawMail = SplitLines(test::ReadFile(file));
        EXPECT_NO_THROW(msg->Parse()) << file;
        ExpectUtf8(*msg, file);
        EXPECT_EQ(msg->TextTypes.empty(), msg->Text.empty()) << file;
        EXPECT_TRUE(test::TempDirEntries().empty()) << file;
    }
}

TEST(CorpusTest, GifAttachment) {
    auto msg = ParseCorpusFile("eml/cpython-test_email/msg_07.txt");
    if (!msg) GTEST_SKIP() << "corpus not present";
    EXPECT_EQ(msg->Subject, "Here is your dingus fish");
    EXPECT_EQ(msg->From, "Barry <barry@digicool.com>");
    EXPECT_EQ(msg->SendTo, "\"Dingus Lovers\" <cravindogs@cravindogs.com>");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    const TAttachedFile& gif = msg->AttachedFiles.Items(0);
    EXPECT_EQ(gif.FileName, "dingusfish.gif");
    EXPECT_EQ(gif.MediaType, "image/gif");
    EXPECT_EQ(gif.Data.size(), 3512u);
    EXPECT_EQ(gif.Data.substr(0, 6), "GIF87a");
    ASSERT_FALSE(msg->Text.empty());
    EXPECT_EQ(msg->Text.front(), "Hi there,");
}

TEST(CorpusTest, JapaneseSubjectAndBody) {
    auto msg = ParseCorpusFile("eml/mimekit-testdata/messages/japanese.txt");
    if (!msg) GTEST_SKIP() << "corpus not present";
    EXPECT_EQ(msg->Subject,
              "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB\xE3\x83\x86\xE3\x82\xB9"
              "\xE3\x83\x88 (testing Japanese emails)");
    ASSERT_FALSE(msg->Text.empty());
    EXPECT_EQ(msg->Text.front().rfind("Let's see if", 0), 0u);
}

TEST(CorpusTest, SimpleMultipartDropsPreambleAndEpilogue) {
    auto msg = ParseCorpusFile("eml/mimekit-testdata/messages/simple-multipart.eml");
    if (!msg) GTEST_SKIP() << "corpus not present";
    EXPECT_EQ(msg->Text, (TStringList{"This is the message body.", ""}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "attachment.txt");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "This is the base64 encoded attachment.");
    EXPECT_EQ(msg->AttachedFiles.Items(0).MediaType, "application/octet-stream");
}

TEST(CorpusTest, RelatedHtmlWithAnInlineImage) {
    auto msg = ParseCorpusFile("eml/mimekit-testdata/messages/multipart-related-mhtml.txt");
    if (!msg) GTEST_SKIP() << "corpus not present";
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"text/html"}));
    ASSERT_FALSE(msg->Text.empty());
    EXPECT_EQ(msg->Text.front().rfind("<!DOCTYPE html PUBLIC", 0), 0u);
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).MediaType, "image/png");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data.size(), 889u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data.substr(0, 4), "\x89PNG");
}

// Real attachments whose base64 ends in a group without its pads: sizes and last bytes as
// Python's email package decodes them (tools/compare_attachments.py checks the whole corpus).
struct UnpaddedAttachmentCase {
    std::string file;
    std::string name;
    size_t size;
    std::string head;
    std::string tail;
};

void PrintTo(const UnpaddedAttachmentCase& c, std::ostream* os) { *os << c.file; }

class UnpaddedAttachmentTest : public ::testing::TestWithParam<UnpaddedAttachmentCase> {};

TEST_P(UnpaddedAttachmentTest, KeepsTheLastBytes) {
    auto msg = ParseCorpusFile(GetParam().file);
    if (!msg) GTEST_SKIP() << "corpus not present";
    const TAttachedFile* found = nullptr;
    for (size_t i = 0; i < msg->AttachedFiles.Count(); ++i)
        if (msg->AttachedFiles.Items(i).FileName == GetParam().name) found = &msg->AttachedFiles.Items(i);
    ASSERT_NE(found, nullptr) << GetParam().name;
    EXPECT_EQ(found->Data.size(), GetParam().size);
    EXPECT_TRUE(found->Data.starts_with(GetParam().head));
    EXPECT_TRUE(found->Data.ends_with(GetParam().tail));
}

INSTANTIATE_TEST_SUITE_P(Corpus, UnpaddedAttachmentTest,
                         ::testing::Values(UnpaddedAttachmentCase{"eml/enmime-testdata/mail/inlinemultipart.raw",
                                                                  "test.pdf", 524, "%PDF-1.2", "JXFx"},
                                           UnpaddedAttachmentCase{"eml/mime-explode-testmsgs/frag.msg",
                                                                  "aprilfools.jpg", 60896, "\xFF\xD8\xFF\xE0",
                                                                  "\xD7"
                                                                  "b5\xB1"},
                                           UnpaddedAttachmentCase{"eml/mime-explode-testmsgs/multi-frag.msg",
                                                                  "3d-eye.gif", 401, "GIF87a", "\xEB,j\x07"}));

TEST(CorpusTest, ThousandsOfFoldedEncodedWordsInOneField) {
    auto msg = ParseCorpusFile("eml/mimekit-testdata/messages/stack-overflow.txt");
    if (!msg) GTEST_SKIP() << "corpus not present";
    EXPECT_EQ(msg->Subject, "Message Subject");
    EXPECT_GT(msg->SendTo.size(), 10000u);
}

}  // namespace
}  // namespace brindle
