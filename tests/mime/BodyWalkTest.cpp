#include "mime/BodyWalk.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

// Parts are ranges of text held elsewhere: the tests hold their lines in a list.
TStringList Lines(std::initializer_list<std::string_view> lines) { return TStringList(lines); }

TStringList Copy(TLineSpan lines) { return CopyLines(lines); }

TEST(StripPartHeaderTest, RemovesTheHeaderBlockAndTheBlankLinesAfterIt) {
    TStringList part = Lines({"A: 1", "B: 2", "", " ", "body", "", "x"});
    EXPECT_EQ(Copy(StripPartHeader(part.Lines())), (TStringList{"body", "", "x"}));
    part = Lines({"", " ", "body"});
    EXPECT_EQ(Copy(StripPartHeader(part.Lines())), (TStringList{"body"}));
    part = Lines({"A: 1", "B: 2"});
    EXPECT_TRUE(StripPartHeader(part.Lines()).empty());
    part = Lines({});
    EXPECT_TRUE(StripPartHeader(part.Lines()).empty());
}

struct BeginCase {
    std::string line;
    bool found;
    std::string fileName;
};

void PrintTo(const BeginCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.line); }

class FindUUBeginTest : public ::testing::TestWithParam<BeginCase> {};

TEST_P(FindUUBeginTest, RecognisesBeginLines) {
    TStringList lines = Lines({"text", GetParam().line});
    auto begin = FindUUBegin(lines.Lines());
    ASSERT_EQ(begin.has_value(), GetParam().found);
    if (begin) {
        EXPECT_EQ(*begin->Line, GetParam().line);
        EXPECT_EQ(begin->FileName, GetParam().fileName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindUUBeginTest,
    ::testing::Values(BeginCase{"begin 644 pic.gif", true, "pic.gif"}, BeginCase{"BEGIN 755 x.bin", true, "x.bin"},
                      BeginCase{"begin 644 a", true, "a"}, BeginCase{"begin  64 name ", true, "name "},
                      BeginCase{"begin +12 name", true, "name"}, BeginCase{"begin 776 name", true, "name"},
                      BeginCase{"begin 644 " + std::string(70, 'n'), true, std::string(64, 'n')},
                      BeginCase{"begin 644 caf\xE9.txt", true, "caf\xC3\xA9.txt"},  // 8-bit names become UTF-8
                      BeginCase{"begin 644 " + std::string(63, 'n') + "\xC3\xA9", true, std::string(63, 'n')},
                      BeginCase{"begin 777 name", false, ""}, BeginCase{"begin 000 name", false, ""},
                      BeginCase{"begin -12 name", false, ""}, BeginCase{"begin 64  name", false, ""},
                      BeginCase{"begin 6x4 name", false, ""}, BeginCase{"begin 644 ", false, ""},
                      BeginCase{" begin 644 name", false, ""}, BeginCase{"beginning of the text", false, ""}));

TEST(FindUUBeginTest, SearchesFromTheGivenLine) {
    TStringList lines = Lines({"begin 644 a.txt", "x", "begin 644 b.txt"});
    const TLineRange range = lines.Lines();
    EXPECT_EQ(FindUUBegin(range)->FileName, "a.txt");
    EXPECT_EQ(FindUUBegin(range, std::next(range.begin()))->FileName, "b.txt");
    EXPECT_FALSE(FindUUBegin(range, range.end()));
}

TEST(IsDelimiterLineTest, AllowsTrailingBlanksOnly) {
    EXPECT_TRUE(IsDelimiterLine("--b", "--b"));
    EXPECT_TRUE(IsDelimiterLine("--b \t ", "--b"));
    EXPECT_FALSE(IsDelimiterLine("--bx", "--b"));
    EXPECT_FALSE(IsDelimiterLine("--b--", "--b"));
    EXPECT_FALSE(IsDelimiterLine("--B", "--b"));
    EXPECT_FALSE(IsDelimiterLine(" --b", "--b"));
    EXPECT_FALSE(IsDelimiterLine("--b", ""));
    EXPECT_FALSE(IsDelimiterLine("", "--b"));
}

std::vector<TStringList> Leaves(const TStringList& lines) {
    std::vector<TLeafPart> parts;
    SplitMultipart(parts, lines.Lines(), 0);
    std::vector<TStringList> leaves;
    for (const auto& part : parts) leaves.push_back(Copy(part.Lines));
    return leaves;
}

TEST(SplitMultipartTest, ALeafStaysWhole) {
    TStringList lines = Lines({"Content-Type: text/plain", "", "body"});
    EXPECT_EQ(Leaves(lines), (std::vector<TStringList>{{"Content-Type: text/plain", "", "body"}}));
    lines = Lines({"Subject: no type", "", "body"});
    EXPECT_EQ(Leaves(lines).size(), 1u);
}

TEST(SplitMultipartTest, DropsPreambleAndEpilogueAndFlattensNestedParts) {
    TStringList lines = Lines({"Content-Type: multipart/mixed; boundary=out",
                               "",
                               "preamble",
                               "--out",
                               "Content-Type: text/plain",
                               "",
                               "one",
                               "--out",
                               "Content-Type: multipart/alternative; boundary=in",
                               "",
                               "--in",
                               "Content-Type: text/plain",
                               "",
                               "two",
                               "--in",
                               "Content-Type: text/html",
                               "",
                               "three",
                               "--in--",
                               "inner epilogue",
                               "--out",
                               "",
                               "four",
                               "--out--",
                               "epilogue"});
    EXPECT_EQ(Leaves(lines), (std::vector<TStringList>{{"Content-Type: text/plain", "", "one"},
                                                       {"Content-Type: text/plain", "", "two"},
                                                       {"Content-Type: text/html", "", "three"},
                                                       {"", "four"}}));
}

TEST(SplitMultipartTest, DelimitersMayCarryTrailingBlanks) {
    TStringList lines = Lines({"Content-Type: multipart/mixed; boundary=b", "", "--b  ", "", "one", "--b--\t"});
    EXPECT_EQ(Leaves(lines), (std::vector<TStringList>{{"", "one"}}));
}

TEST(SplitMultipartTest, WithoutDelimiterOrBoundaryNothingIsLeft) {
    TStringList lines = Lines({"Content-Type: multipart/mixed; boundary=b", "", "text", "--c"});
    EXPECT_TRUE(Leaves(lines).empty());
    lines = Lines({"Content-Type: multipart/mixed", "", "--", "text"});
    EXPECT_TRUE(Leaves(lines).empty());
}

TEST(SplitMultipartTest, ALineAfterADelimiterIsNotCompared) {
    TStringList lines =
        Lines({"Content-Type: multipart/mixed; boundary=b", "", "--b", "A: 1", "--b", "--b", "x", "--b--"});
    EXPECT_EQ(Leaves(lines), (std::vector<TStringList>{{"A: 1"}, {"--b", "x"}}));
}

TEST(SplitMultipartTest, OnlyTheMediaTypeMakesAMultipart) {
    TStringList lines = Lines({"Content-Type: application/pdf; name=\"MULTIPART.pdf\"", "", "data"});
    EXPECT_EQ(Leaves(lines).size(), 1u);
}

TEST(SplitMultipartTest, NestingStopsAtTheCap) {
    TStringList lines;
    const int levels = kMaxNesting + 10;
    for (int i = 0; i < levels; ++i) {
        lines.push_back("Content-Type: multipart/mixed; boundary=b" + std::to_string(i));
        lines.push_back("");
        lines.push_back("--b" + std::to_string(i));
    }
    lines.push_back("Content-Type: text/plain");
    lines.push_back("");
    lines.push_back("deep");
    std::vector<TLeafPart> parts;
    SplitMultipart(parts, lines.Lines(), 0);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].Depth, kMaxNesting);
    EXPECT_EQ(parts[0].Lines.Front(), "Content-Type: multipart/mixed; boundary=b" + std::to_string(kMaxNesting));
}

TEST(GetPartHeadersTest, ReadsTheContentFields) {
    TStringList lines = Lines({"Content-Type: Text/HTML;", "\tcharset=\"UTF-8\"", "Content-Transfer-Encoding: Base64",
                               "Content-ID: <img1@x>", "", "body"});
    TPartHeaders headers = GetPartHeaders(lines.Lines());
    EXPECT_EQ(headers.ContentType, "TEXT/HTML");
    EXPECT_EQ(headers.MediaType, "text/html");
    EXPECT_EQ(headers.Charset, "UTF-8");
    EXPECT_EQ(headers.TransferEncoding, "BASE64");
    EXPECT_EQ(headers.ContentID, "img1@x");
    EXPECT_EQ(headers.Name, "");
    lines = Lines({"X: y", "", "body"});
    headers = GetPartHeaders(lines.Lines());
    EXPECT_EQ(headers.ContentType, "TEXT/PLAIN");
    EXPECT_EQ(headers.TransferEncoding, "7BIT");
    EXPECT_EQ(headers.ContentID, "");
}

}  // namespace
}  // namespace brindle
