#include "platform/StringList.h"

#include <gtest/gtest.h>

#include <random>

namespace brindle {
namespace {

using namespace std::string_literals;

struct SplitCase {
    std::string text;
    TStringList lines;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.lines.size() << " lines"; }

class SplitLinesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitLinesTest, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(SplitLines(GetParam().text), GetParam().lines);
}

TEST_P(SplitLinesTest, NormalizeLineEndsEqualsJoiningTheSplitLines) {
    EXPECT_EQ(NormalizeLineEnds(GetParam().text), JoinLines(SplitLines(GetParam().text)));
}

INSTANTIATE_TEST_SUITE_P(Table, SplitLinesTest, ::testing::Values(
    SplitCase{"", {}},
    SplitCase{"a", {"a"}},
    SplitCase{"a\r\n", {"a"}},
    SplitCase{"a\r\nb", {"a", "b"}},
    SplitCase{"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
    SplitCase{"\r\n", {""}},
    SplitCase{"a\r\n\r\n", {"a", ""}},
    SplitCase{"a\n\r", {"a", ""}},
    SplitCase{"a\r\r\n", {"a", ""}},
    SplitCase{"\n\n", {"", ""}},
    SplitCase{"a\0b\r\nc"s, {"a"}},
    SplitCase{"\0abc"s, {}}));

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
TEST(NormalizedLineEndsTest, SameBytesAsNormalizeLineEnds) {
    const std::string cases[] = {
        "", "\r\n", "a", "a\r\n", "a\n", "a\r", "\r", "\n", "\r\r\n\n", "a\r\nb\nc\rd", "x\r\n\r\n",
        "a\r\nb\0c\r\n"s, "\0abc"s, "ends with CR LF CR\r\n\r",
        // CR LF across the sixteen-byte steps of the check.
        "fifteen bytes!\r\nnext\r\n", "sixteen  bytes!\r\nnext\r\n", std::string(31, 'x') + "\r\n",
        std::string(15, 'x') + "\r" + std::string(15, 'y') + "\r\n", std::string(16, 'x') + "\n\r\n",
    };
    std::string scratch;
    for (const auto& text : cases)
        EXPECT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEnds(text)) << ::testing::PrintToString(text);
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
        ASSERT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEnds(text)) << ::testing::PrintToString(text);
    }
}

TEST(NormalizedLineEndsTest, TextInShapeIsNotCopied) {
    std::string text = "A: 1\r\n\r\n" + std::string(100, 'b') + "\r\n";
    std::string scratch;
    EXPECT_EQ(NormalizedLineEnds(text, scratch).data(), text.data());
}

}  // namespace
}  // namespace brindle
