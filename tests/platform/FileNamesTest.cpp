#include "platform/FileNames.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

struct TNameCase {
    std::string given;
    std::string saved;
};

TEST(FileNamesTest, SafeSaveNameDisarmsHostileNames) {
    const TNameCase cases[] = {
        {"report.pdf", "report.pdf"},
        {".bashrc", "_.bashrc"},  // hidden
        {"..hidden", "_..hidden"},
        {".", ""},
        {"..", ""},
        {"a/b\\c", "a_b_c"},
        {"tab\there\x7F", "tab_here_"},  // C0 and DEL
        {"c1\xC2\x85"
         "x",
         "c1_x"},                                           // U+0085, a C1 control
        {"invoice\xE2\x80\xAEgpj.exe", "invoice_gpj.exe"},  // U+202E right-to-left override
        {"a\xE2\x80\xAA"
         "b\xE2\x81\xA6"
         "c\xE2\x81\xA9",
         "a_b_c_"},  // U+202A, U+2066, U+2069
        {"\xE2\x80\x8F"
         "rlm",
         "\xE2\x80\x8F"
         "rlm"},  // U+200F is no embedding control
        {"CON", "_CON"},
        {"con.txt", "_con.txt"},
        {"Aux.tar.gz", "_Aux.tar.gz"},
        {"NUL .txt", "_NUL .txt"},
        {"com1.log", "_com1.log"},
        {"LPT9", "_LPT9"},
        {"COM0", "COM0"},
        {"LPT10.txt", "LPT10.txt"},
        {"CONSOLE.txt", "CONSOLE.txt"},
        {"my con.txt", "my con.txt"},
        {"caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
        {"bad\xFF.txt", "bad\xFF.txt"},  // not UTF-8: kept byte for byte
    };
    for (const TNameCase& c : cases) EXPECT_EQ(SafeSaveName(c.given), c.saved) << c.given;
}

TEST(FileNamesTest, NumberedNamesKeepTheExtensionAndFit) {
    EXPECT_EQ(NumberedFileName("a.txt", 1), "a.txt");
    EXPECT_EQ(NumberedFileName("a.txt", 12), "a (12).txt");
    EXPECT_EQ(NumberedFileName("_.profile", 2), "_ (2).profile");
    EXPECT_EQ(NumberedFileName("noext", 3), "noext (3)");
    const std::string longName = std::string(300, 'x') + ".pdf";
    EXPECT_EQ(NumberedFileName(longName, 1), std::string(251, 'x') + ".pdf");
    EXPECT_EQ(NumberedFileName(longName, 20000), std::string(243, 'x') + " (20000).pdf");
}

TEST(FileNamesTest, TwentyThousandLongNamesThatMeetAfterTheCutAreNumberedLinearly) {
    constexpr size_t kNames = 20000;
    TUniqueNames unique;
    std::string last;
    for (size_t i = 0; i < kNames; ++i) last = unique.Take(std::string(260, 'q') + std::to_string(i) + ".dat");
    EXPECT_EQ(last, std::string(255 - 12, 'q') + " (20000).dat");
    EXPECT_LE(unique.Tries(), 2 * kNames);
}

TEST(FileNamesTest, GivenNumberedNamesAreSkippedNotRepeated) {
    TUniqueNames unique;
    const std::string given[] = {"a.txt", "a (2).txt", "a.txt", "a (2).txt", "a.txt"};
    std::vector<std::string> taken;
    for (const std::string& name : given) taken.push_back(unique.Take(name));
    EXPECT_EQ(taken, (std::vector<std::string>{"a.txt", "a (2).txt", "a (3).txt", "a (2) (2).txt", "a (4).txt"}));
}

TEST(FileNamesTest, ReplaceUnsafeCodePointsKeepsEverythingElse) {
    EXPECT_EQ(ReplaceUnsafeCodePoints("Re: \x01hi\xC2\x9F\xE2\x80\xAD!", ' '), "Re:  hi  !");
    EXPECT_EQ(ReplaceUnsafeCodePoints("\xC2\xA0\xE2\x80\xA9", ' '), "\xC2\xA0\xE2\x80\xA9");  // NBSP, U+2029
}

// Summary texts are stored cut to 255 bytes, sometimes inside a character.
TEST(FileNamesTest, TextCutInsideACharacterStaysUtf8) {
    std::string cut = std::string(253, 'a') + "\xE2\x82";  // "€" cut after two of its three bytes
    EXPECT_EQ(Utf8OrCp1252Cut(cut, 255), std::string(253, 'a'));
    std::string twoByte = std::string(254, 'a') + "\xC3";
    EXPECT_EQ(Utf8OrCp1252Cut(twoByte, 255), std::string(254, 'a'));
    // Shorter texts were not cut: a last byte that cannot finish is Windows-1252.
    EXPECT_EQ(Utf8OrCp1252Cut("caf\xE9", 255), "caf\xC3\xA9");
    // Windows-1252 elsewhere in the text: the whole text is read as Windows-1252.
    std::string mixed = "\xE9" + std::string(252, 'a') + "\xE2\x82";
    EXPECT_EQ(Utf8OrCp1252Cut(mixed, 255), Cp1252ToUtf8(mixed));
    // A last byte that no UTF-8 character starts with is not an unfinished character.
    std::string stray = std::string(254, 'a') + "\xFF";
    EXPECT_EQ(Utf8OrCp1252Cut(stray, 255), Cp1252ToUtf8(stray));
}

}  // namespace
}  // namespace brindle
