#include "platform/StringList.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brindle
