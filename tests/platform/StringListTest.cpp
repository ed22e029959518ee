#include "platform/StringList.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <stdexcept>

namespace brindle {
namespace {

using namespace std::string_literals;

struct SplitCase {
    std::string text;
    TStringList lines;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.lines.size() << " lines"; }

class SplitLinesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitLinesTest, SplitsAtEveryKindOfLineEnd) { EXPECT_EQ(SplitLines(GetParam().text), GetParam().lines); }

TEST_P(SplitLinesTest, NormalizeLineEndsEqualsJoiningTheSplitLines) {
    EXPECT_EQ(NormalizeLineEnds(GetParam().text), JoinLines(SplitLines(GetParam().text)));
}

INSTANTIATE_TEST_SUITE_P(Table, SplitLinesTest,
                         ::testing::Values(SplitCase{"", {}}, SplitCase{"a", {"a"}}, SplitCase{"a\r\n", {"a"}},
                                           SplitCase{"a\r\nb", {"a", "b"}},
                                           SplitCase{"a\rb\nc\r\nd", {"a", "b", "c", "d"}}, SplitCase{"\r\n", {""}},
                                           SplitCase{"a\r\n\r\n", {"a", ""}}, SplitCase{"a\n\r", {"a", ""}},
                                           SplitCase{"a\r\r\n", {"a", ""}}, SplitCase{"\n\n", {"", ""}},
                                           SplitCase{"a\0b\r\nc"s, {"a"}}, SplitCase{"\0abc"s, {}}));

TEST(StringListTest, JoinLinesEndsEveryLineWithCrLf) {
    EXPECT_EQ(JoinLines({}), "");
    EXPECT_EQ(JoinLines({""}), "\r\n");
    EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(StringListTest, AppendLinesKeepsTheExistingLines) {
    TStringList list{"x"};
    AppendLines(list, "a\nb");
    AppendLines(list, "");
    EXPECT_EQ(list, (TStringList{"x", "a", "b"}));
}

TEST(StringListTest, NormalizeLineEndsAddsTheMissingFinalLineEnd) {
    EXPECT_EQ(NormalizeLineEnds("a\nb"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\rb\r"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\0b"s), "a\r\n");
}

TEST(StringListTest, NormalizeLineEndsKeepingNulKeepsEveryByte) {
    EXPECT_EQ(NormalizeLineEndsKeepingNul("a\0b\nc\rd\r\n\0"s), "a\0b\r\nc\r\nd\r\n\0\r\n"s);
    EXPECT_EQ(NormalizeLineEndsKeepingNul(""), "");
    EXPECT_EQ(NormalizeLineEndsKeepingNul("a\r\r\n"), "a\r\n\r\n");
}

// The view-returning variant gives the same bytes whichever way its check goes.
TEST(NormalizedLineEndsTest, SameBytesAsNormalizeLineEndsKeepingNul) {
    const std::string cases[] = {
        "",
        "\r\n",
        "a",
        "a\r\n",
        "a\n",
        "a\r",
        "\r",
        "\n",
        "\r\r\n\n",
        "a\r\nb\nc\rd",
        "x\r\n\r\n",
        "a\r\nb\0c\r\n"s,
        "\0abc"s,
        "ends with CR LF CR\r\n\r",
        // CR LF across the sixteen-byte steps of the check.
        "fifteen bytes!\r\nnext\r\n",
        "sixteen  bytes!\r\nnext\r\n",
        std::string(31, 'x') + "\r\n",
        std::string(15, 'x') + "\r" + std::string(15, 'y') + "\r\n",
        std::string(16, 'x') + "\n\r\n",
    };
    std::string scratch;
    for (const auto& text : cases)
        EXPECT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEndsKeepingNul(text)) << ::testing::PrintToString(text);
}

TEST(NormalizedLineEndsTest, RandomTextsGiveTheSameBytes) {
    std::mt19937 random(12345);
    std::string scratch;
    const char noise[] = {'\r', '\n', '\0', 'z'};
    for (int round = 0; round < 5000; ++round) {
        // Mostly well-formed lines of random lengths, with now and then a stray byte.
        std::string text;
        int lines = static_cast<int>(random() % 6);
        for (int l = 0; l < lines; ++l) text += std::string(random() % 40, 'a') + "\r\n";
        if (round % 3 == 0 && !text.empty()) text[random() % text.size()] = noise[random() % 4];
        if (round % 7 == 0) text += "tail";
        ASSERT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEndsKeepingNul(text)) << ::testing::PrintToString(text);
    }
}

TEST(NormalizedLineEndsTest, TextInShapeIsNotCopied) {
    std::string text = "A: 1\r\n\r\n" + std::string(100, 'b') + "\r\n";
    std::string scratch;
    EXPECT_EQ(NormalizedLineEnds(text, scratch).data(), text.data());
}

// Every line-end shape at sizes where a search that looks past the line end would cost the
// square of the text: the lines come out right and the search looks at each byte about once.
struct ShapeCase {
    const char* name;
    std::string lineEnd;
    std::string line;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class LinearSplitTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(LinearSplitTest, SplitsTwoMegabytesLookingAtEachByteAboutOnce) {
    const ShapeCase& c = GetParam();
    const size_t count = (2u << 20) / (c.line.size() + c.lineEnd.size());
    std::string text;
    text.reserve(count * (c.line.size() + c.lineEnd.size()));
    for (size_t i = 0; i < count; ++i) text += c.line + c.lineEnd;
    TLineReader reader(text);
    std::string_view line;
    size_t lines = 0, wrong = 0;
    while (reader.Next(line)) {
        ++lines;
        if (line != c.line) ++wrong;
    }
    EXPECT_EQ(lines, count);
    EXPECT_EQ(wrong, 0u);
    // A search may read the rest of the sixteen-byte block in which it finds the line end.
    EXPECT_LE(reader.BytesExamined(), text.size() + 16 * count);
    TStringList list = SplitLines(text);
    ASSERT_EQ(list.size(), count);
    EXPECT_EQ(list[count - 1], c.line);
    EXPECT_EQ(list[count / 2], c.line);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LinearSplitTest,
                         ::testing::Values(ShapeCase{"LoneCr", "\r", "a"}, ShapeCase{"EmptyLoneCr", "\r", ""},
                                           ShapeCase{"LoneLf", "\n", "a"}, ShapeCase{"EmptyLoneLf", "\n", ""},
                                           ShapeCase{"CrLf", "\r\n", "line of text"},
                                           ShapeCase{"LongLoneCr", "\r", std::string(100, 'x')}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LinearSplitTest, MixedLineEndsGiveTheSameLines) {
    std::string text;
    std::vector<std::string> expected;
    const char* ends[] = {"\r\n", "\n", "\r"};
    for (size_t i = 0; i < 3000; ++i) {
        expected.push_back(std::string(i % 37, static_cast<char>('a' + i % 26)));
        text += expected.back() + ends[i % 3];
    }
    TStringList list = SplitLines(text);
    ASSERT_EQ(list.size(), expected.size());
    size_t i = 0;
    for (std::string_view line : list) EXPECT_EQ(line, expected[i++]) << i;
    for (size_t k : {size_t{0}, size_t{63}, size_t{64}, size_t{65}, size_t{2047}, size_t{2999}})
        EXPECT_EQ(list[k], expected[k]) << k;
    EXPECT_THROW(list[3000], std::out_of_range);
}

TEST(StringListClassTest, PushBackSplitsLinesThatHoldLineEnds) {
    TStringList list;
    list.push_back("");
    list.push_back("a\r\nb\rc\nd");
    list.push_back("");
    EXPECT_EQ(list, (TStringList{"", "a", "b", "c", "d", ""}));
    EXPECT_EQ(list.size(), 6u);
    EXPECT_EQ(list.back(), "");
    EXPECT_EQ(JoinLines(list), "\r\na\r\nb\r\nc\r\nd\r\n\r\n");
}

// A text that ends in a lone CR must not take a LF appended after it as its CR LF.
TEST(StringListClassTest, AppendingAfterALoneCrKeepsTheEmptyLine) {
    TStringList list = SplitLines("x\r");
    AppendLines(list, "\nafter");
    EXPECT_EQ(list, (TStringList{"x", "", "after"}));
    list = SplitLines("open line");
    list.push_back("");
    AppendLines(list, "\r\r\n");
    EXPECT_EQ(list, (TStringList{"open line", "", "", ""}));
}

TEST(StringListClassTest, EqualityComparesLinesNotLineEnds) {
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), SplitLines("a\nb"));
    EXPECT_EQ(SplitLines("a\rb\r"), (TStringList{"a", "b"}));
    EXPECT_NE(SplitLines("a\nb\n\n"), SplitLines("a\nb\n"));
    EXPECT_NE(SplitLines("a\nb"), SplitLines("a\nc"));
}

TEST(StringListClassTest, CopiesAndMovesKeepShortAndLongTextsIntact) {
    for (const std::string& text : {std::string("a\nb"), std::string(500, 'x') + "\n" + std::string(70, 'y')}) {
        TStringList list;
        list.Assign(text);
        TStringList copy = list;
        TStringList moved = std::move(copy);
        TStringList assigned;
        assigned = moved;
        assigned.push_back("z");
        EXPECT_EQ(moved, list);
        EXPECT_EQ(moved.size(), 2u);
        EXPECT_EQ(assigned.size(), 3u);
        EXPECT_EQ(assigned[1], list[1]);
        EXPECT_TRUE(copy.empty());
    }
}

TEST(StringListClassTest, AssignCutsAtNulAndKeepsTheBuffer) {
    std::string text = "a\r\nb\0c"s + std::string(100, 'd');
    const char* buffer = text.data();
    TStringList list;
    list.Assign(std::move(text));
    EXPECT_EQ(list, (TStringList{"a", "b"}));
    EXPECT_EQ(list.Bytes().data(), buffer);
}

// A borrowed text stays readable after its pages are given back, and the list's first change
// copies it instead of writing into it.
TEST(StringListClassTest, ABorrowedTextIsGivenBackOnRequestAndCopiedOnChange) {
    std::string text;
    for (int i = 0; i < 300000; ++i) text += "line " + std::to_string(i) + (i % 2 ? "\r" : "\n");
    const std::string original = text;
    auto keeper = std::make_shared<std::string>(std::move(text));
    std::vector<std::pair<size_t, size_t>> released;
    TStringList list;
    list.AssignView(*keeper, keeper, [&](size_t offset, size_t size) { released.emplace_back(offset, size); });
    keeper.reset();  // the list keeps the text alive
    list.ReleaseBytes(list.Bytes().substr(10, 20));
    list.ReleaseBytes("not within the text");
    ASSERT_EQ(released, (std::vector<std::pair<size_t, size_t>>{{10, 20}}));
    ASSERT_EQ(list.size(), 300000u);
    EXPECT_EQ(list[123457], "line 123457");
    list.push_back("new");
    EXPECT_EQ(list.size(), 300001u);
    EXPECT_EQ(list.back(), "new");
    EXPECT_EQ(list[299999], "line 299999");
    EXPECT_EQ(list.Bytes().substr(0, original.size()), original);
    list.ReleaseBytes(list.Bytes().substr(0, 10));  // its own text now: nothing to give back
    EXPECT_EQ(released.size(), 1u);
}

}  // namespace
}  // namespace brindle
