#include "mime/Decoders.h"

#include "MimeTestSupport.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using namespace std::string_literals;
using test::Base64Lines;

struct DecodeCase {
    std::string input;
    std::string output;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.input); }

std::string DecodeBase64(std::string_view text) {
    std::string out;
    TBase64DecodingStream(out).Write(text);
    return out;
}

class Base64Test : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Base64Test, DecodesGroupsOfFour) { EXPECT_EQ(DecodeBase64(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Table, Base64Test,
    ::testing::Values(DecodeCase{"", ""}, DecodeCase{"QUJD", "ABC"}, DecodeCase{"QUI=", "AB"}, DecodeCase{"QQ==", "A"},
                      DecodeCase{"=AAA", ""}, DecodeCase{"=AAAQUJD", "ABC"},  // a pad does not end the stream
                      DecodeCase{"QQ==QUJD", "AABC"},
                      DecodeCase{"Q===QUJD", "ABC"},  // a pad in the second place gives nothing
                      DecodeCase{"QUJDRA", "ABC"},    // an incomplete final group gives nothing
                      DecodeCase{"QU\r\nJD\r\n", "ABC"},
                      DecodeCase{"Q U\tJ-D", "ABC"},  // characters outside the alphabet are skipped
                      DecodeCase{"AAA=", "\0\0"s}, DecodeCase{"+/+/", "\xFB\xFF\xBF"},
                      DecodeCase{"////", "\xFF\xFF\xFF"}));

TEST(Base64StreamTest, PiecesOfAnyLengthGiveTheSameBytes) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes += static_cast<char>((i * 37 + i / 7) & 0xFF);
    std::string text = Base64Lines(bytes);
    for (size_t piece : {1u, 2u, 3u, 75u, 76u, 77u, 4096u}) {
        std::string out;
        TBase64DecodingStream stream(out);
        for (size_t i = 0; i < text.size(); i += piece) stream.Write(std::string_view(text).substr(i, piece));
        EXPECT_EQ(out, bytes) << "pieces of " << piece;
    }
}

TEST(Base64StreamTest, WriteReturnsTheBytesItProduced) {
    std::string out = "keep";
    TBase64DecodingStream stream(out);
    EXPECT_EQ(stream.Write("QU"), 0u);
    EXPECT_EQ(stream.Write("JDQQ"), 3u);
    EXPECT_EQ(stream.Write("=="), 1u);
    EXPECT_EQ(out, "keepABCA");
}

TEST(Base64StreamTest, ReadingOrSeekingFails) {
    std::string out;
    TBase64DecodingStream stream(out);
    char buffer[4];
    try {
        stream.Read(buffer, 4);
        FAIL() << "no exception";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Invalid stream operation");
    }
    EXPECT_THROW(stream.Seek(0, 0), EStreamError);
    EXPECT_THROW(stream.Size(), EStreamError);
    EXPECT_THROW(stream.Position(), EStreamError);
}

class QuotedPrintableTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(QuotedPrintableTest, DecodesBodies) { EXPECT_EQ(DecodeQuotedPrintable(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Table, QuotedPrintableTest,
    ::testing::Values(
        DecodeCase{"a=3Db", "a=b"}, DecodeCase{"a=3db", "a=b"}, DecodeCase{"caf=E9", "caf\xE9"},
        DecodeCase{"a=\r\nb", "ab"}, DecodeCase{"a=\nb", "ab"}, DecodeCase{"a=\rb", "ab"},
        DecodeCase{"a= \t\r\nb", "ab"},  // blanks a mail relay added before the soft break
        DecodeCase{"a_b", "a_b"},        // an underscore is itself in a body
        DecodeCase{"=4", ""},            // an escape cut short ends the decoding
        DecodeCase{"x=4", "x"}, DecodeCase{"x=", "x"}, DecodeCase{"x=00y", "x\0y"s},  // zero bytes are kept
        DecodeCase{"=ZZ", "=ZZ"},                                                     // not an escape: stays as it is
        DecodeCase{"=4Zx", "=4Zx"}, DecodeCase{"==41", "==41"},  // "==4" is no escape and stays whole; "1" follows
        DecodeCase{"=A=41", "=A=41"}, DecodeCase{"= x", "= x"}, DecodeCase{"line\r\nnext\r\n", "line\r\nnext\r\n"}));

TEST(QuotedPrintableTest, UnderscoreIsASpaceInEncodedWords) {
    EXPECT_EQ(DecodeQuotedPrintable("a_b=5Fc", true), "a b_c");
    EXPECT_EQ(DecodeQuotedPrintable("=_A_", true), "=_A ");  // the three characters of a non-escape stay
}

TEST(UUCharValueTest, MapsTheAlphabetAndRejectsTheRest) {
    EXPECT_EQ(UUCharValue('`'), 0);
    EXPECT_EQ(UUCharValue(' '), 0);
    EXPECT_EQ(UUCharValue('!'), 1);
    EXPECT_EQ(UUCharValue('M'), 45);
    EXPECT_EQ(UUCharValue('_'), 63);
    for (char bad : {'a', '~', '\x7F', '\0', '\n', '\xFF'}) {
        try {
            UUCharValue(bad);
            FAIL() << "accepted " << static_cast<int>(bad);
        } catch (const EUUDecodeError& e) {
            EXPECT_EQ(e.Message(), "Oops...");
        }
    }
}

TEST(UUDecodeLineTest, DecodesCountBytes) {
    std::string out;
    UUDecodeLine("#86)C", out);
    EXPECT_EQ(out, "abc");
    out.clear();
    UUDecodeLine("", out);
    EXPECT_EQ(out, "");
    UUDecodeLine("#", out);  // the missing bits are zero
    EXPECT_EQ(out, "\0\0\0"s);
    out.clear();
    UUDecodeLine("M" + std::string(60, '`') + "ignored", out);
    EXPECT_EQ(out, std::string(45, '\0'));
}

TEST(UUDecodeLineTest, AShortFullLineFails) {
    std::string out;
    EXPECT_THROW(UUDecodeLine("M" + std::string(59, '`'), out), EUUDecodeError);
    EXPECT_THROW(UUDecodeLine("#8a)C", out), EUUDecodeError);
    EXPECT_THROW(UUDecodeLine("end", out), EUUDecodeError);
}

TLineRuns Runs(const TStringList& lines) { return {lines.Lines()}; }

TEST(DecodeUUAttachmentTest, StopsAtEndOrAGraveAccentLine) {
    TStringList block{"begin 644 x", "#86)C", "`", "#86)C"};
    std::string data = "old";
    DecodeUUAttachment(Runs(block), data);
    EXPECT_EQ(data, "abc");
    block = {"begin 644 x", "#86)C", "", "#86)C", "end", "#86)C"};
    DecodeUUAttachment(Runs(block), data);
    EXPECT_EQ(data, "abcabc");
    block = {"begin 644 x"};
    DecodeUUAttachment(Runs(block), data);
    EXPECT_EQ(data, "");
}

TEST(DecodeUUAttachmentTest, TheFirstDataLineIsAlwaysDecoded) {
    TStringList block{"begin 644 x", "`", "#86)C"};
    std::string data;
    DecodeUUAttachment(Runs(block), data);
    EXPECT_EQ(data, "abc");
    block = {"begin 644 x", "end"};
    EXPECT_THROW(DecodeUUAttachment(Runs(block), data), EUUDecodeError);
}

TEST(DecodeUUAttachmentTest, AFailureKeepsTheBytesBeforeTheBadLine) {
    TStringList block{"begin 644 x", "#86)C", "#86)C", "#8a)C", "#86)C"};
    std::string data;
    EXPECT_THROW(DecodeUUAttachment(Runs(block), data), EUUDecodeError);
    EXPECT_EQ(data, "abcabc");
}

TEST(DecodeBase64AttachmentTest, DecodesLinesAndReplacesTheData) {
    TStringList lines{"QUJD", "RA", "==", ""};
    std::string data = "old";
    DecodeBase64Attachment(Runs(lines), data);
    EXPECT_EQ(data, "ABCD");
}

// The last group of a body may lack its pads: two or three characters still give their one or
// two bytes (as Python's email package and other mainstream decoders read them); one alone
// gives nothing.
class Base64TailTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Base64TailTest, AttachmentKeepsAnUnpaddedLastGroup) {
    TStringList lines = SplitLines(GetParam().input);
    std::string data;
    DecodeBase64Attachment(Runs(lines), data);
    EXPECT_EQ(data, GetParam().output);
}

TEST_P(Base64TailTest, StreamGivesTheLastGroupWhenFinished) {
    std::string out;
    TBase64DecodingStream stream(out);
    for (char c : GetParam().input) stream.Write(&c, 1);
    stream.Finish();
    EXPECT_EQ(out, GetParam().output);
    EXPECT_EQ(stream.Finish(), 0u);  // a second Finish has nothing left
}

INSTANTIATE_TEST_SUITE_P(
    Table, Base64TailTest,
    ::testing::Values(DecodeCase{"QUJDRA", "ABCD"}, DecodeCase{"QUJDREU", "ABCDE"},
                      DecodeCase{"QUJDR", "ABC"},     // a stray single character
                      DecodeCase{"QUJDRA=", "ABCD"},  // one pad of two
                      DecodeCase{"QUJDRA==", "ABCD"},
                      DecodeCase{"QUJD\r\nRE\r\nU\r\n\r\n", "ABCDE"},  // the group split over lines
                      DecodeCase{"QUJDREU \t\r\n", "ABCDE"}, DecodeCase{"QQ", "A"}, DecodeCase{"Q=", ""},
                      DecodeCase{"", ""}, DecodeCase{"/w", "\xFF"}, DecodeCase{"//8", "\xFF\xFF"}));

TLineRuns LinesOf(const TStringList& list) { return Runs(list); }

TEST(DecoderCorpusTest, PhotoInBase64AndUuencoding) {
    std::string jpg = test::CorpusPath("codec/mimekit-encoders/photo.jpg");
    if (jpg.empty()) GTEST_SKIP() << "corpus not present";
    std::string photo = test::ReadFile(jpg);
    ASSERT_EQ(photo.size(), 130292u);

    TStringList b64 = SplitLines(test::ReadFile(test::CorpusPath("codec/mimekit-encoders/photo.b64")));
    std::string data;
    DecodeBase64Attachment(LinesOf(b64), data);
    EXPECT_EQ(data, photo);

    // The same text without its pad (the last group has three characters) and cut at every
    // place of its last line still gives the photo, or as much of it as the characters hold.
    std::string text = test::ReadFile(test::CorpusPath("codec/mimekit-encoders/photo.b64"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '=')) text.pop_back();
    for (size_t cut = 0; cut < 8; ++cut) {
        std::string shorter = text.substr(0, text.size() - cut);
        size_t characters = 0;
        for (char c : shorter) characters += c != '\n' && c != '\r';
        size_t expected = characters / 4 * 3 + (characters % 4 > 1 ? characters % 4 - 1 : 0);
        TStringList unpadded = SplitLines(shorter);
        DecodeBase64Attachment(LinesOf(unpadded), data);
        EXPECT_EQ(data, photo.substr(0, expected)) << "cut " << cut;
    }

    TStringList uu = SplitLines(test::ReadFile(test::CorpusPath("codec/mimekit-encoders/photo.uu")));
    ASSERT_FALSE(uu.empty());
    EXPECT_EQ(uu.front(), "begin 644 photo.jpg");
    DecodeUUAttachment(LinesOf(uu), data);
    EXPECT_EQ(data, photo);
}

TEST(DecoderCorpusTest, QuotedPrintableText) {
    std::string qp = test::CorpusPath("codec/mimekit-encoders/wikipedia.qp");
    if (qp.empty()) GTEST_SKIP() << "corpus not present";
    std::string decoded = DecodeQuotedPrintable(NormalizeLineEnds(test::ReadFile(qp)));
    std::string expected = NormalizeLineEnds(test::ReadFile(test::CorpusPath("codec/mimekit-encoders/wikipedia.txt")));
    EXPECT_EQ(decoded, expected);
}

}  // namespace
}  // namespace brindle
