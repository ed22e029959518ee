#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

struct ValidityCase {
    std::string bytes;
    bool valid;
};

void PrintTo(const ValidityCase& c, std::ostream* os) { *os << (c.valid ? "valid" : "invalid"); }

class IsValidUtf8Test : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(IsValidUtf8Test, AcceptsOnlyWellFormedSequences) {
    EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid) << ::testing::PrintToString(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, IsValidUtf8Test,
                         ::testing::Values(ValidityCase{"", true}, ValidityCase{"plain ascii", true},
                                           ValidityCase{"caf\xC3\xA9", true}, ValidityCase{"\xE2\x82\xAC", true},
                                           ValidityCase{"\xF0\x9F\x98\x80", true},
                                           ValidityCase{"\xF4\x8F\xBF\xBF", true}, ValidityCase{"caf\xE9", false},
                                           ValidityCase{"\xC3", false}, ValidityCase{"\xC0\x80", false},
                                           ValidityCase{"\xC1\xBF", false}, ValidityCase{"\xE0\x80\x80", false},
                                           ValidityCase{"\xED\xA0\x80", false}, ValidityCase{"\xF4\x90\x80\x80", false},
                                           ValidityCase{"\xF5\x80\x80\x80", false}, ValidityCase{"\x80", false},
                                           ValidityCase{"\xE2\x82", false}));

TEST(Utf8Test, Cp1252ToUtf8MapsTheHighBytes) {
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\xC5\xB8");
    EXPECT_EQ(Cp1252ToUtf8("\xFF"), "\xC3\xBF");
    EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(Utf8Test, Utf8OrCp1252KeepsValidTextAndReadsTheRestAsCp1252) {
    EXPECT_EQ(Utf8OrCp1252("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(Utf8OrCp1252("caf\xE9"), "caf\xC3\xA9");
    // One invalid byte makes the whole text Windows-1252.
    EXPECT_EQ(Utf8OrCp1252("\xC3\xA9\xE9"), "\xC3\x83\xC2\xA9\xC3\xA9");
}

TEST(Utf8Test, Utf8PrefixNeverCutsACharacter) {
    std::string text = "a\xC3\xA9\xE2\x82\xAC";  // a, e acute, euro sign: 1 + 2 + 3 bytes
    EXPECT_EQ(Utf8Prefix(text, 0), "");
    EXPECT_EQ(Utf8Prefix(text, 1), "a");
    EXPECT_EQ(Utf8Prefix(text, 2), "a");
    EXPECT_EQ(Utf8Prefix(text, 3), "a\xC3\xA9");
    EXPECT_EQ(Utf8Prefix(text, 5), "a\xC3\xA9");
    EXPECT_EQ(Utf8Prefix(text, 6), text);
    EXPECT_EQ(Utf8Prefix(text, 100), text);
}

TEST(Utf8Test, Utf8OrCp1252PrefixCutsBeforeConverting) {
    EXPECT_EQ(Utf8OrCp1252Prefix("a\xC3\xA9", 2), "a");  // UTF-8 is not cut inside a character
    EXPECT_EQ(Utf8OrCp1252Prefix("a\xC3\xA9", 3), "a\xC3\xA9");
    EXPECT_EQ(Utf8OrCp1252Prefix("\xE9t\xE9", 2), "\xC3\xA9t");  // Windows-1252: two bytes, then converted
    EXPECT_EQ(Utf8OrCp1252Prefix("\xE9t\xE9", 10), "\xC3\xA9t\xC3\xA9");
}

TEST(Utf8Test, RepairUtf8ReplacesEachIllFormedPartOnce) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(RepairUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(RepairUtf8("a\xC3"), "a" + r);
    EXPECT_EQ(RepairUtf8("\xE2\x82x"), r + "x");
    EXPECT_EQ(RepairUtf8("\xC0\x80"), r + r);
    EXPECT_EQ(RepairUtf8("\xF0\x9F\x98"), r);
    EXPECT_EQ(RepairUtf8("\xED\xA0\x80"), r + r + r);
    EXPECT_EQ(RepairUtf8("a\xFF"
                         "b"),
              "a" + r + "b");
}

}  // namespace
}  // namespace brindle
