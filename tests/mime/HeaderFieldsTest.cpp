#include "mime/HeaderFields.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using namespace std::string_literals;

std::optional<std::string> Find(std::string_view name, TStringList lines) { return FindHeader(name, lines); }

TEST(FindHeaderTest, UnfoldsContinuationLinesWithOneSpace) {
    EXPECT_EQ(Find("TO:", {"To: a", "\tb"}), "To: a b");
    EXPECT_EQ(Find("SUBJECT:", {"Subject: Quarterly", "\treport", "  for  May  ", "X: y"}),
              "Subject: Quarterly report for  May");
    EXPECT_EQ(Find("SUBJECT:", {"Subject: a", " ", "\t", " b"}), "Subject: a b");
}

TEST(FindHeaderTest, MatchesNamesAtTheStartOfALineInAnyCase) {
    EXPECT_EQ(Find("SUBJECT:", {"subject: Hello"}), "subject: Hello");
    EXPECT_EQ(Find("SUBJECT:", {" Subject: Hello"}), std::nullopt);
    EXPECT_EQ(Find("SUBJECT:", {"Subject : Hello"}), std::nullopt);
    EXPECT_EQ(Find("CC:", {"Bcc: x", "Cc: y"}), "Cc: y");
    EXPECT_EQ(Find("SUBJECT:", {"Subject: first", "Subject: second"}), "Subject: first");
}

TEST(FindHeaderTest, SearchesOnlyTheHeaderBlock) {
    EXPECT_EQ(Find("SUBJECT:", {"", "", "Subject: late start", "", "body"}), "Subject: late start");
    EXPECT_EQ(Find("SUBJECT:", {"From: a", "", "Subject: in the body"}), std::nullopt);
    EXPECT_EQ(Find("SUBJECT:", {}), std::nullopt);
}

struct ParamCase {
    std::string key;
    std::string text;
    std::string value;
};

void PrintTo(const ParamCase& c, std::ostream* os) { *os << c.key; }

class GetHeaderParamTest : public ::testing::TestWithParam<ParamCase> {};

TEST_P(GetHeaderParamTest, TakesTheTextAfterTheKeyUpToTheFirstSemicolon) {
    EXPECT_EQ(GetHeaderParam(GetParam().key, GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GetHeaderParamTest,
    ::testing::Values(ParamCase{"CONTENT-TYPE:", "Content-Type: text/plain; charset=us-ascii", "text/plain"},
                      ParamCase{"CONTENT-TYPE:", "Content-Type:   text/html  ", "text/html"},
                      ParamCase{"NAME", "Content-Type: application/pdf; name=\"a.pdf\"", "=\"a.pdf\""},
                      ParamCase{"NAME", "Content-Type: application/pdf; name=\"a.pdf\"; x=1", "=\"a.pdf\""},
                      ParamCase{"NAME", "Content-Disposition: attachment; filename=x.txt", "=x.txt"},
                      ParamCase{"NAME", "Content-Type: application/pdf", ""},
                      ParamCase{"CONTENT-TYPE:", "Content-Type:", ""}));

TEST(GetHeaderValueTest, KeepsSemicolons) {
    EXPECT_EQ(GetHeaderValue("SUBJECT:", "Subject: Re: plans; dates "), "Re: plans; dates");
    EXPECT_EQ(GetHeaderValue("DATE:", "date:Mon, 1 Jan 2001"), "Mon, 1 Jan 2001");
    EXPECT_EQ(GetHeaderValue("DATE:", "Subject: x"), "");
}

TEST(UnquoteTest, DropsOneQuoteAtEachEnd) {
    EXPECT_EQ(Unquote("'x\""), "x");
    EXPECT_EQ(Unquote("\"x\""), "x");
    EXPECT_EQ(Unquote("\"\"x\"\""), "\"x\"");
    EXPECT_EQ(Unquote("x\""), "x");
    EXPECT_EQ(Unquote("\"x"), "x");
    EXPECT_EQ(Unquote("\""), "");
    EXPECT_EQ(Unquote(""), "");
    EXPECT_EQ(Unquote(" \"x\""), " \"x");
}

TEST(RemoveCharTest, RemovesEveryOccurrence) {
    EXPECT_EQ(RemoveChar("a::b:", ':'), "ab");
    EXPECT_EQ(RemoveChar("abc", 'x'), "abc");
    EXPECT_EQ(RemoveChar("", 'x'), "");
}

struct WordsCase {
    std::string input;
    std::string output;
};

void PrintTo(const WordsCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.input); }

class DecodeEncodedWordsTest : public ::testing::TestWithParam<WordsCase> {};

TEST_P(DecodeEncodedWordsTest, DecodesToUtf8) { EXPECT_EQ(DecodeEncodedWords(GetParam().input), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeEncodedWordsTest,
    ::testing::Values(
        WordsCase{"plain text", "plain text"}, WordsCase{"", ""},
        WordsCase{"=?iso-8859-1?Q?caf=E9_au_lait?=", "caf\xC3\xA9 au lait"}, WordsCase{"=?utf-8?B?SGVsbG8=?=", "Hello"},
        WordsCase{"=?UTF-8?b?w6k=?=", "\xC3\xA9"}, WordsCase{"Re: =?utf-8?q?caf=C3=A9?= now", "Re: caf\xC3\xA9 now"},
        // Whitespace between adjacent encoded words goes; other text between them stays.
        WordsCase{"=?x?Q?a?= =?x?Q?b?=", "ab"}, WordsCase{"=?x?Q?a?=\t  =?x?Q?b?=", "ab"},
        WordsCase{"=?x?Q?a?= - =?x?Q?b?=", "a - b"}, WordsCase{"a =?x?Q?b?= c", "a b c"},
        // A character split over two words of one charset is joined before conversion.
        WordsCase{"=?utf-8?Q?=C3?= =?utf-8?Q?=A9?=", "\xC3\xA9"},
        WordsCase{"=?iso-2022-jp?B?GyRCRnxLXDhsGyhC?=", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        WordsCase{"=?windows-1252?Q?=80?=", "\xE2\x82\xAC"}, WordsCase{"=?no-such-charset?Q?=E9?=", "\xC3\xA9"},
        WordsCase{"=?utf-8*en?Q?hi?=", "hi"},
        // Malformed words.
        WordsCase{"=?x?Z?abc?= tail", " tail"}, WordsCase{"=?x?Q?=ZZ?=", "=ZZ"},
        WordsCase{"a =?broken and =?x?Q?b?=", "a "}, WordsCase{"price =?", "price =?"},
        WordsCase{"price =?x?", "price =?x?"}, WordsCase{"=?x?Q", "=?x?Q"}, WordsCase{"=?x?Q?a", "=?x?Q?a"},
        WordsCase{"=?x?Q?=", "=?x?Q?="}, WordsCase{"=?x?Q?a?= =?open", "a =?open"},
        // Base64 whose last group lacks its padding decodes as if padded; a lone
        // character of a group gives nothing.
        WordsCase{"=?utf-8?B?QQ?=", "A"}, WordsCase{"=?utf-8?B?w6k?=", "\xC3\xA9"},
        WordsCase{"=?utf-8?B?8J+OiSBwYXJ0eQ?=", "\xF0\x9F\x8E\x89 party"},
        WordsCase{"=?utf-8?B?w6k?= =?utf-8?B?w6k?=", "\xC3\xA9\xC3\xA9"}, WordsCase{"=?utf-8?B?SGVsbG8hQ?=", "Hello!"},
        // Decoded text is not searched again.
        WordsCase{"=?x?Q?=3D=3Fx=3FQ=3Fb=3F=3D?=", "=?x?Q?b?="},
        // Zero bytes are dropped; raw 8-bit text is UTF-8 or else Windows-1252.
        WordsCase{"=?utf-8?Q?a=00b?=", "ab"}, WordsCase{"caf\xE9", "caf\xC3\xA9"},
        WordsCase{"caf\xC3\xA9 =?utf-8?Q?=C3=A9?=", "caf\xC3\xA9 \xC3\xA9"}));

TEST(DecodeEncodedWordsTest, ManyAdjacentWordsJoin) {
    std::string text, expected;
    for (int i = 0; i < 20000; ++i) {
        text += "=?utf-8?Q?ab?= ";
        expected += "ab";
    }
    EXPECT_EQ(DecodeEncodedWords(text), expected + " ");
}

TEST(ExtractAddressTest, TakesTheAngleBracketPart) {
    EXPECT_EQ(ExtractAddress("Ann Lee <ann@x>", false), "ann@x");
    EXPECT_EQ(ExtractAddress("Ann Lee <ann@x>", true), "<ann@x>");
    EXPECT_EQ(ExtractAddress("ann@x (Ann (Lee))", true), "<ann@x )>");
    EXPECT_EQ(ExtractAddress("ann@x (Ann) (Lee)", true), "<ann@x>");
    EXPECT_EQ(ExtractAddress("a(1)b(2)c)(d", false), "abc)(d");
    EXPECT_EQ(ExtractAddress("  ann@x  ", false), "ann@x");
    EXPECT_EQ(ExtractAddress("x) y (z", true), "<x) y (z>");
    EXPECT_EQ(ExtractAddress("a > b < c", false), "");
    EXPECT_EQ(ExtractAddress("", true), "<>");
}

TEST(ExtractAddressTest, ThousandsOfComments) {
    std::string mailbox;
    for (int i = 0; i < 50000; ++i) mailbox += "x(comment)";
    EXPECT_EQ(ExtractAddress(mailbox, false), std::string(50000, 'x'));
}

TEST(ExtractDisplayNameTest, TakesTheNameOrTheComment) {
    EXPECT_EQ(ExtractDisplayName("Ann Lee <ann@x>", true), "\"Ann Lee\"");
    EXPECT_EQ(ExtractDisplayName("ann@x (Ann Lee)", true), "\"Ann Lee\"");
    EXPECT_EQ(ExtractDisplayName("ann@x", false), "ann@x");
    EXPECT_EQ(ExtractDisplayName("\"O'Brien\" <o@x>", false), "OBrien");
    EXPECT_EQ(ExtractDisplayName("a ) b ( c", false), "");
    EXPECT_EQ(ExtractDisplayName("Ann > x < y", false), "Ann > x < y");
    EXPECT_EQ(ExtractDisplayName("", true), "\"\"");
}

struct AddressCase {
    std::string value;
    std::string normalized;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.value); }

class NormalizeAddressListTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(NormalizeAddressListTest, RewritesEveryMailbox) {
    EXPECT_EQ(NormalizeAddressList(GetParam().value), GetParam().normalized);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizeAddressListTest,
    ::testing::Values(AddressCase{"Ann Lee <ann@x>", "\"Ann Lee\" <ann@x>"},
                      AddressCase{"ann@x (Ann Lee)", "\"Ann Lee\" <ann@x>"}, AddressCase{"ann@x", "\"ann@x\" <ann@x>"},
                      AddressCase{"\"Lee, Ann\" <ann@x>, Bob <bob@y>", "\"\" <ann@x>, \"Bob\" <bob@y>"},
                      AddressCase{"", "\"\" <>"}, AddressCase{"a \" b <c@d>", "\"a  b\" <c@d>"},
                      AddressCase{"=?utf-8?Q?J=C3=BCrgen?= <j@x>", "\"J\xC3\xBCrgen\" <j@x>"},
                      AddressCase{"J\xFCrgen <j\xFC@x>", "\"J\xC3\xBCrgen\" <j\xC3\xBC@x>"}));

struct BoundaryCase {
    std::string field;
    std::string delimiter;
};

void PrintTo(const BoundaryCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.field); }

class ExtractBoundaryTest : public ::testing::TestWithParam<BoundaryCase> {};

TEST_P(ExtractBoundaryTest, GivesTheDelimiterLine) {
    EXPECT_EQ(ExtractBoundary(GetParam().field), GetParam().delimiter);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractBoundaryTest,
    ::testing::Values(BoundaryCase{"Content-Type: multipart/mixed; boundary=\"b1;x\"", "--b1"},
                      BoundaryCase{"Content-Type: multipart/mixed;boundary=abc", "--abc"},
                      BoundaryCase{"Content-Type: multipart/mixed; BOUNDARY=abc; charset=x", "--abc"},
                      BoundaryCase{"Content-Type: multipart/mixed; boundary = \"x y\"", "--x y"},
                      BoundaryCase{"Content-Type: multipart/mixed; boundary=", "--"},
                      BoundaryCase{"Content-Type: multipart/mixed", ""},
                      BoundaryCase{"Content-Type: multipart/mixed; boundary=\"" + std::string(70, 'b') + "\"",
                                   "--" + std::string(70, 'b')},
                      BoundaryCase{"Content-Type: multipart/mixed; boundary=" + std::string(80, 'b'),
                                   "--" + std::string(71, 'b')}));

TEST(GetParameterTest, ReadsPlainAndQuotedValues) {
    EXPECT_EQ(GetParameter("Content-Type: text/plain; charset=us-ascii", "charset"), "us-ascii");
    EXPECT_EQ(GetParameter("Content-Type: text/plain; CHARSET = \"UTF-8\" ; x=1", "charset"), "UTF-8");
    EXPECT_EQ(GetParameter("Content-Type: text/plain; name=\"a\\\"b;c\"; charset=x", "charset"), "x");
    EXPECT_EQ(GetParameter("Content-Type: text/plain; name=\"a\\\"b;c\"", "name"), "a\"b;c");
    EXPECT_EQ(GetParameter("Content-Type: text/plain", "charset"), std::nullopt);
    EXPECT_EQ(GetParameter("Content-Type: text/plain; ;;; charset=", "charset"), "");
}

TEST(GetExtendedParameterTest, DecodesRfc2231Values) {
    EXPECT_EQ(
        GetExtendedParameter("Content-Disposition: attachment; filename*=utf-8''%E2%82%AC%20rates.txt", "filename"),
        "\xE2\x82\xAC rates.txt");
    EXPECT_EQ(GetExtendedParameter("Content-Type: a/b; name*0*=iso-8859-1'fr'caf%E9; name*1=\".doc\"", "name"),
              "caf\xC3\xA9.doc");
    EXPECT_EQ(GetExtendedParameter("Content-Type: a/b; name*1=b; name*0=a; name*2=c", "name"), "abc");
    EXPECT_EQ(GetExtendedParameter("Content-Type: a/b; name*0=a; name*2=c", "name"), "a");
    EXPECT_EQ(GetExtendedParameter("Content-Type: a/b; name*=%41%4", "name"), "A%4");
    EXPECT_EQ(GetExtendedParameter("Content-Type: a/b; name=plain", "name"), std::nullopt);
    EXPECT_EQ(GetExtendedParameter("Content-Type: a/b; filename*=x", "name"), std::nullopt);
}

struct FileNameCase {
    std::optional<std::string> contentType;
    std::optional<std::string> disposition;
    std::string name;
};

void PrintTo(const FileNameCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.name); }

class PartFileNameTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(PartFileNameTest, FollowsTheNameRule) {
    EXPECT_EQ(PartFileName(GetParam().contentType, GetParam().disposition), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PartFileNameTest,
    ::testing::Values(
        FileNameCase{"Content-Type: application/pdf; name=\"report.pdf\"", std::nullopt, "report.pdf"},
        FileNameCase{std::nullopt, "Content-Disposition: attachment; filename=report.pdf", "report.pdf"},
        FileNameCase{"Content-Type: application/pdf", "Content-Disposition: attachment; filename=r.pdf", "r.pdf"},
        FileNameCase{"Content-Type: application/pdf; name=\"a.pdf\"; x=1", std::nullopt, "a.pdf"},
        FileNameCase{"Content-Type: application/msword; name = \"x.doc\"", std::nullopt, " \"x.doc"},
        FileNameCase{"Content-Type: application/msword; name=\"=?iso-8859-1?Q?R=E9sum=E9.doc?=\"", std::nullopt,
                     "R\xC3\xA9sum\xC3\xA9.doc"},
        FileNameCase{"Content-Type: a/b; name=\"ct.txt\"", "Content-Disposition: attachment; filename=cd.txt",
                     "ct.txt"},
        FileNameCase{"Content-Type: application/pdf; name*=utf-8''%E2%82%AC.pdf", std::nullopt, "\xE2\x82\xAC.pdf"},
        FileNameCase{"Content-Type: application/pdf", "Content-Disposition: attachment; filename*=utf-8''a%20b.txt",
                     "a b.txt"},
        // NULs are dropped; an extended name of NULs alone names nothing, and its field's plain
        // parameter is not read in its place.
        FileNameCase{std::nullopt, "Content-Disposition: attachment; filename*=UTF-8''%00", ""},
        FileNameCase{std::nullopt, "Content-Disposition: attachment; filename*=UTF-8''a%00b.txt", "ab.txt"},
        FileNameCase{"Content-Type: a/b; name*=UTF-8''%00", "Content-Disposition: attachment; filename=d.txt", "d.txt"},
        FileNameCase{"Content-Type: application/pdf", std::nullopt, ""}, FileNameCase{std::nullopt, std::nullopt, ""}));

TEST(MediaTypeTest, TypeAndTopLevelType) {
    EXPECT_EQ(MediaTypeOf("Content-Type: Text/HTML; charset=utf-8"), "text/html");
    EXPECT_EQ(TopLevelType("text/html"), "TEXT");
    EXPECT_EQ(TopLevelType(" Multipart / mixed"), "MULTIPART");
    EXPECT_EQ(TopLevelType("text"), "TEXT");
    EXPECT_EQ(TopLevelType("application/vnd.oasis.opendocument.text"), "APPLICATION");
    EXPECT_EQ(TopLevelType(""), "");
}

}  // namespace
}  // namespace brindle
