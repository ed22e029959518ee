#include "platform/Charset.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace brindle {
namespace {

using namespace std::string_literals;

const std::string kReplacement = "\xEF\xBF\xBD";

struct ConversionCase {
    std::string bytes;
    std::string charset;
    std::string utf8;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.charset; }

class ToUtf8Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ToUtf8Test, ConvertsFromTheDeclaredCharset) {
    EXPECT_EQ(ToUtf8(GetParam().bytes, GetParam().charset), GetParam().utf8)
        << GetParam().charset << ": " << ::testing::PrintToString(GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, ToUtf8Test, ::testing::Values(
    // Built in: UTF-8, ASCII labels, Windows-1252 and its subset ISO-8859-1.
    ConversionCase{"caf\xC3\xA9", "utf-8", "caf\xC3\xA9"},
    ConversionCase{"a\xFF" "b", "UTF-8", "a" + kReplacement + "b"},
    ConversionCase{"caf\xE9", "", "caf\xC3\xA9"},
    ConversionCase{"caf\xC3\xA9", "", "caf\xC3\xA9"},
    ConversionCase{"caf\xE9", "us-ascii", "caf\xC3\xA9"},
    ConversionCase{"caf\xE9", "\"ISO-8859-1\"", "caf\xC3\xA9"},
    ConversionCase{"\x80", "iso-8859-1", "\xE2\x82\xAC"},
    ConversionCase{"\x81\x8D\x8F\x90\x9D", "windows-1252", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
    ConversionCase{"\xE9", "x-user-defined", "\xC3\xA9"},
    // Unknown or implausible names read Windows-1252.
    ConversionCase{"\xE9", "no-such-charset", "\xC3\xA9"},
    ConversionCase{"\xE9", "../../etc/passwd", "\xC3\xA9"},
    ConversionCase{"\xE9", std::string(60, 'x'), "\xC3\xA9"},
    // From the system converter.
    ConversionCase{"\xC1", "koi8-r", "\xD0\xB0"},
    ConversionCase{"\x1B$BF|K\\8l\x1B(B", "iso-2022-jp", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    ConversionCase{"a\0b\0"s, "utf-16le", "ab"},
    ConversionCase{"\xC3\xA9", "UTF-8*fr", "\xC3\xA9"},
    // Names the system lacks.
    ConversionCase{"\xB0\xA1", "gb2312", "\xE5\x95\x8A"},
    ConversionCase{"\x81\x40", "GB2312", "\xE4\xB8\x82"},
    ConversionCase{"\xB0\xA1\x81\x41", "ks_c_5601-1987", "\xEA\xB0\x80\xEA\xB0\x82"},
    ConversionCase{"+AOk-", "unicode-1-1-utf-7", "\xC3\xA9"},
    ConversionCase{"\x80", "x-mac-cyrillic", "\xD0\x90"},
    // Invalid sequences become U+FFFD and the rest of the text survives.
    ConversionCase{"\xFF" "abc", "big5", kReplacement + "abc"},
    ConversionCase{"abc\xB0", "gb2312", "abc" + kReplacement},
    // The system's UTF-8 reader takes forms beyond U+10FFFF; they never reach the result.
    ConversionCase{"a\xF5\xB2\xBA\xA0" "b", "+utf-8", "a" + kReplacement + kReplacement + kReplacement + kReplacement + "b"},
    ConversionCase{"", "koi8-r", ""}));

// The charsets whose valid UTF-8 the body walk may take over without converting.
TEST(KeepsValidUtf8Test, OnlyUtf8AndAsciiLabels) {
    for (const char* name : {"", "utf-8", "UTF8", "\"utf-8\"", "us-ascii", "ANSI_X3.4-1968", "utf-8*en"})
        EXPECT_TRUE(KeepsValidUtf8(name)) << name;
    for (const char* name : {"iso-8859-1", "windows-1252", "koi8-r", "utf-16le", "no-such-charset"})
        EXPECT_FALSE(KeepsValidUtf8(name)) << name;
}

std::string ReadCorpusFile(const std::string& name) {
    std::ifstream file(std::string(BRINDLE_CORPUS) + "/codec/gmime-charsets/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

struct CorpusCase {
    std::string file;
    std::string charset;
    std::string reference;
};

void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.file; }

class CharsetCorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CharsetCorpusTest, SameTextAsTheUtf8Reference) {
    std::string bytes = ReadCorpusFile(GetParam().file);
    std::string reference = ReadCorpusFile(GetParam().reference);
    if (bytes.empty() || reference.empty()) GTEST_SKIP() << "corpus not present";
    EXPECT_EQ(ToUtf8(bytes, GetParam().charset), reference);
}

INSTANTIATE_TEST_SUITE_P(GmimeCharsets, CharsetCorpusTest, ::testing::Values(
    CorpusCase{"cyrillic.cp1251.txt", "windows-1251", "cyrillic.utf-8.txt"},
    CorpusCase{"cyrillic.iso-8859-5.txt", "iso-8859-5", "cyrillic.utf-8.txt"},
    CorpusCase{"cyrillic.koi8-r.txt", "koi8-r", "cyrillic.utf-8.txt"},
    CorpusCase{"japanese.iso-2022-jp.txt", "ISO-2022-JP", "japanese.utf-8.txt"},
    CorpusCase{"japanese.shift-jis.txt", "shift_jis", "japanese.utf-8.txt"}));

// The Big5 file lacks the characters that Big5 cannot hold, so its text is the reference
// with those characters left out.
TEST(CharsetCorpusTest, Big5TextIsTheReferenceLessTheMissingCharacters) {
    std::string bytes = ReadCorpusFile("chinese.big5.txt");
    std::string reference = ReadCorpusFile("chinese.utf-8.txt");
    if (bytes.empty() || reference.empty()) GTEST_SKIP() << "corpus not present";
    std::string text = ToUtf8(bytes, "Big5");
    EXPECT_EQ(text.find(kReplacement), std::string::npos);
    EXPECT_GT(text.size(), reference.size() * 3 / 4);
    // Each UTF-8 character of text appears in the reference, in order.
    size_t at = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) ++length;
        at = reference.find(text.substr(i, length), at);
        ASSERT_NE(at, std::string::npos) << "character at byte " << i;
        at += length;
        i += length;
    }
}

TEST(CharsetCorpusTest, FrenchFableInCp1252) {
    std::string bytes = ReadCorpusFile("french-fable.cp1252.txt");
    if (bytes.empty()) GTEST_SKIP() << "corpus not present";
    std::string text = ToUtf8(bytes, "windows-1252");
    EXPECT_NE(text.find("Ma\xC3\xAEtre Corbeau"), std::string::npos);
    EXPECT_EQ(text.find(kReplacement), std::string::npos);
}

}  // namespace
}  // namespace brindle
