#include "platform/Charset.h"

#include "platform/CharsetLabels.h"

#include <gtest/gtest.h>
#include <iconv.h>

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

INSTANTIATE_TEST_SUITE_P(
    Table, ToUtf8Test,
    ::testing::Values(
        // Built in: UTF-8, ASCII labels, Windows-1252 and its subset ISO-8859-1.
        ConversionCase{"caf\xC3\xA9", "utf-8", "caf\xC3\xA9"},
        ConversionCase{"a\xFF"
                       "b",
                       "UTF-8", "a" + kReplacement + "b"},
        ConversionCase{"caf\xE9", "", "caf\xC3\xA9"}, ConversionCase{"caf\xC3\xA9", "", "caf\xC3\xA9"},
        ConversionCase{"caf\xE9", "us-ascii", "caf\xC3\xA9"},
        ConversionCase{"caf\xE9", "\"ISO-8859-1\"", "caf\xC3\xA9"},
        ConversionCase{"\x80", "iso-8859-1", "\xE2\x82\xAC"},
        ConversionCase{"\x81\x8D\x8F\x90\x9D", "windows-1252", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        ConversionCase{"\xE9", "x-user-defined", "\xC3\xA9"},
        // Unknown or implausible names read Windows-1252.
        ConversionCase{"\xE9", "no-such-charset", "\xC3\xA9"}, ConversionCase{"\xE9", "../../etc/passwd", "\xC3\xA9"},
        ConversionCase{"\xE9", std::string(60, 'x'), "\xC3\xA9"},
        // From the system converter.
        ConversionCase{"\xC1", "koi8-r", "\xD0\xB0"},
        ConversionCase{"\x1B$BF|K\\8l\x1B(B", "iso-2022-jp", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        ConversionCase{"a\0b\0"s, "utf-16le", "ab"}, ConversionCase{"\xC3\xA9", "UTF-8*fr", "\xC3\xA9"},
        // Names the system lacks.
        ConversionCase{"\xB0\xA1", "gb2312", "\xE5\x95\x8A"}, ConversionCase{"\x81\x40", "GB2312", "\xE4\xB8\x82"},
        ConversionCase{"\xB0\xA1\x81\x41", "ks_c_5601-1987", "\xEA\xB0\x80\xEA\xB0\x82"},
        ConversionCase{"+AOk-", "unicode-1-1-utf-7", "\xC3\xA9"}, ConversionCase{"\x80", "x-mac-cyrillic", "\xD0\x90"},
        // Invalid sequences become U+FFFD and the rest of the text survives.
        ConversionCase{"\xFF"
                       "abc",
                       "big5", kReplacement + "abc"},
        ConversionCase{"abc\xB0", "gb2312", "abc" + kReplacement},
        // The system's UTF-8 reader takes forms beyond U+10FFFF; they never reach the result.
        ConversionCase{"a\xF5\xB2\xBA\xA0"
                       "b",
                       "+utf-8", "a" + kReplacement + kReplacement + kReplacement + kReplacement + "b"},
        ConversionCase{"", "koi8-r", ""}));

// Labels that the mail of old programs carries, a few per script, with the text each gives.
// The bytes and characters come from the code charts of the encodings.
INSTANTIATE_TEST_SUITE_P(
    MailLabels, ToUtf8Test,
    ::testing::Values(
        // Hebrew: the logical-order label of old Windows clients and its aliases.
        ConversionCase{"\xF9\xEC\xE5\xED", "iso-8859-8-i", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
        ConversionCase{"\xF9\xEC\xE5\xED", "Logical", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
        ConversionCase{"\xF9\xEC\xE5\xED", "csiso88598e", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
        ConversionCase{"\xF9\xEC\xE5\xED", "x-cp1255", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
        // Japanese.
        ConversionCase{"\x93\xFA\x96\x7B", "x-sjis", "\xE6\x97\xA5\xE6\x9C\xAC"},
        ConversionCase{"\x93\xFA\x96\x7B", " MS_Kanji\t", "\xE6\x97\xA5\xE6\x9C\xAC"},
        ConversionCase{"\x87\x40", "shift_jis", "\xE2\x91\xA0"},  // a Windows extension: circled 1
        ConversionCase{"\xC6\xFC\xCB\xDC", "x-euc-jp", "\xE6\x97\xA5\xE6\x9C\xAC"},
        // Cyrillic.
        ConversionCase{"\xCF\xF0\xE8", "x-cp1251", "\xD0\x9F\xD1\x80\xD0\xB8"},
        ConversionCase{"\xCF\xF0\xE8", "cp-1251", "\xD0\x9F\xD1\x80\xD0\xB8"},
        ConversionCase{"\xCF\xF0\xE8", "WIN-1251", "\xD0\x9F\xD1\x80\xD0\xB8"},
        ConversionCase{"\xF0\xD2\xC9", "koi", "\xD0\x9F\xD1\x80\xD0\xB8"},
        ConversionCase{"\xF0\xD2\xC9", "koi8_r", "\xD0\x9F\xD1\x80\xD0\xB8"},
        ConversionCase{"\x8F\xE0\xA8", "cp866", "\xD0\x9F\xD1\x80\xD0\xB8"},
        // Korean.
        ConversionCase{"\xC7\xD1", "korean", "\xED\x95\x9C"},
        ConversionCase{"\xC7\xD1", "csksc56011987", "\xED\x95\x9C"},
        ConversionCase{"\xC7\xD1", "windows-949", "\xED\x95\x9C"},
        // Chinese.
        ConversionCase{"\xD6\xD0", "chinese", "\xE4\xB8\xAD"}, ConversionCase{"\xD6\xD0", "gb_2312-80", "\xE4\xB8\xAD"},
        ConversionCase{"\xA4\xA4", "x-x-big5", "\xE4\xB8\xAD"},
        // Thai, Greek, Arabic, Central European, Western.
        ConversionCase{"\xA1", "dos-874", "\xE0\xB8\x81"}, ConversionCase{"\xE1", "x-cp1253", "\xCE\xB1"},
        ConversionCase{"\xC7", "win-1256", "\xD8\xA7"}, ConversionCase{"\x8A", "x-cp1250", "\xC5\xA0"},
        ConversionCase{"\x80", "x-mac-ce", "\xC3\x84"}, ConversionCase{"\xA4", "l9", "\xE2\x82\xAC"},
        ConversionCase{"\xA4", "csisolatin9", "\xE2\x82\xAC"}, ConversionCase{"\x8E", "x-mac-roman", "\xC3\xA9"},
        ConversionCase{"caf\xC3\xA9", "unicode-1-1-utf-8", "caf\xC3\xA9"},
        // Windows-1252 and its subsets stay as they were.
        ConversionCase{"\x80", "cp819", "\xE2\x82\xAC"}, ConversionCase{"caf\xC3\xA9", "ascii", "caf\xC3\xA9"}));

// The table is generated on one system and used on others: every converter it names must
// open here, and every label of the standard must be in it.
TEST(CharsetLabelTableTest, EveryLabelResolvesToAConverterThisSystemHas) {
    ASSERT_GE(kStandardLabelCount, 200u);
    ASSERT_GT(kCharsetLabelCount, kStandardLabelCount);
    size_t withoutConverter = 0;
    for (size_t i = 0; i < kCharsetLabelCount; ++i) {
        const TCharsetLabel& entry = kCharsetLabels[i];
        EXPECT_EQ(EncodingOfLabel(entry.Label), entry.Encoding) << entry.Label;
        if (i > 0) {
            EXPECT_LT(kCharsetLabels[i - 1].Label, entry.Label) << "the table must stay sorted";
        }
        if (entry.Converter.empty()) {
            withoutConverter +=
                entry.Encoding != "utf-8" && entry.Encoding != "windows-1252" && entry.Encoding != "x-user-defined";
            continue;
        }
        iconv_t cd = iconv_open("UTF-8", std::string(entry.Converter).c_str());
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << entry.Label << " -> " << entry.Converter;
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    EXPECT_LE(withoutConverter, 1u);  // HZ, which the C library lacks
}

// Text of no usable declared charset: each script is read right through the fallback chain.
struct UndeclaredCase {
    std::string bytes;
    std::string messageCharset;
    std::string storeCodePage;
    std::string utf8;
};

void PrintTo(const UndeclaredCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.bytes) << " [" << c.messageCharset << "|" << c.storeCodePage << "]";
}

class UndeclaredTextTest : public ::testing::TestWithParam<UndeclaredCase> {};

TEST_P(UndeclaredTextTest, ReadsTheTextInTheFirstFitCharset) {
    const UndeclaredCase& c = GetParam();
    TCharsetHints hints([&] { return c.messageCharset; }, c.storeCodePage);
    EXPECT_EQ(UndeclaredToUtf8(c.bytes, hints), c.utf8);
    EXPECT_EQ(ToUtf8(c.bytes, "", hints), c.utf8);
    EXPECT_EQ(ToUtf8(c.bytes, "x-no-such-charset", hints), c.utf8);
}

// "Встреча завтра в десять" (a meeting tomorrow at ten), "会議の予定について" (about the
// meeting schedule), "Да" (yes), "Réunion de l'équipe à Genève".
const std::string kRussianUtf8 =
    "\xD0\x92\xD1\x81\xD1\x82\xD1\x80\xD0\xB5\xD1\x87\xD0\xB0 \xD0\xB7\xD0\xB0\xD0\xB2\xD1\x82\xD1\x80\xD0\xB0 "
    "\xD0\xB2 \xD0\xB4\xD0\xB5\xD1\x81\xD1\x8F\xD1\x82\xD1\x8C";
const std::string kRussianKoi8 = "\xF7\xD3\xD4\xD2\xC5\xDE\xC1 \xDA\xC1\xD7\xD4\xD2\xC1 \xD7 \xC4\xC5\xD3\xD1\xD4\xD8";
const std::string kRussianCp1251 =
    "\xC2\xF1\xF2\xF0\xE5\xF7\xE0 \xE7\xE0\xE2\xF2\xF0\xE0 \xE2 \xE4\xE5\xF1\xFF\xF2\xFC";
const std::string kJapaneseUtf8 =
    "\xE4\xBC\x9A\xE8\xAD\xB0\xE3\x81\xAE\xE4\xBA\x88\xE5\xAE\x9A\xE3\x81\xAB\xE3\x81\xA4\xE3\x81\x84\xE3\x81\xA6";
const std::string kJapaneseSjis = "\x89\xEF\x8B\x63\x82\xCC\x97\x5C\x92\xE8\x82\xC9\x82\xC2\x82\xA2\x82\xC4";

INSTANTIATE_TEST_SUITE_P(
    Table, UndeclaredTextTest,
    ::testing::Values(
        // The detector, when nothing is declared.
        UndeclaredCase{kRussianKoi8, "", "", kRussianUtf8}, UndeclaredCase{kRussianCp1251, "", "", kRussianUtf8},
        UndeclaredCase{kJapaneseSjis, "", "", kJapaneseUtf8},
        // Western text stays Windows-1252, and so does text too short to judge.
        UndeclaredCase{"R\xE9union de l'\xE9quipe \xE0 Gen\xE8ve", "", "",
                       "R\xC3\xA9union de l'\xC3\xA9quipe \xC3\xA0 Gen\xC3\xA8ve"},
        UndeclaredCase{"ni\xF1o", "", "", "ni\xC3\xB1o"},
        UndeclaredCase{"\x93quoted\x94", "", "", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
        // The message's own charset comes first, then the store's code page.
        UndeclaredCase{"\xE4\xC1", "koi8-r", "", "\xD0\x94\xD0\xB0"},
        UndeclaredCase{"\xE4\xC1", "koi8-r", "windows-1251", "\xD0\x94\xD0\xB0"},
        UndeclaredCase{"\xC4\xE0", "", "windows-1251", "\xD0\x94\xD0\xB0"},
        UndeclaredCase{"\xC4\xE0", "no-such-charset", "windows-1251", "\xD0\x94\xD0\xB0"},
        // Charsets that do not read 8-bit text are passed over.
        UndeclaredCase{"\xC4\xE0", "us-ascii", "x-cp1251", "\xD0\x94\xD0\xB0"},
        UndeclaredCase{"\xC4\xE0", "utf-8", "", "\xC3\x84\xC3\xA0"},
        UndeclaredCase{"\xC4\xE0", "utf-16le", "", "\xC3\x84\xC3\xA0"},
        UndeclaredCase{kJapaneseSjis, "iso-2022-jp", "", kJapaneseUtf8},
        // A guess in which some bytes are not valid gives way to the next ("\xFF" is not Greek).
        UndeclaredCase{"\xC4\xE0 \xFF", "windows-1253", "windows-1251", "\xD0\x94\xD0\xB0 \xD1\x8F"},
        // Valid UTF-8 stays, whatever the hints say.
        UndeclaredCase{kRussianUtf8, "koi8-r", "windows-1251", kRussianUtf8}));

TEST(UndeclaredTextTest, LooksUpTheMessageCharsetOnceAndOnlyWhenNeeded) {
    int lookups = 0;
    TCharsetHints hints([&] {
        ++lookups;
        return std::string("koi8-r");
    });
    EXPECT_EQ(UndeclaredToUtf8("plain ascii", hints), "plain ascii");
    EXPECT_EQ(ToUtf8("\xC1", "koi8-r", hints), "\xD0\xB0");
    EXPECT_EQ(lookups, 0);
    EXPECT_EQ(UndeclaredToUtf8("\xC1", hints), "\xD0\xB0");
    EXPECT_EQ(UndeclaredToUtf8("\xC2", hints), "\xD0\xB1");
    EXPECT_EQ(lookups, 1);
}

TEST(ReadsUndeclaredTextTest, OnlyKnownEightBitCharsets) {
    for (const char* name : {"koi8-r", "Shift_JIS", "x-cp1251", "iso-8859-1", "windows-1252"})
        EXPECT_TRUE(ReadsUndeclaredText(name)) << name;
    for (const char* name :
         {"", "us-ascii", "utf-8", "utf-16", "x-user-defined", "hz-gb-2312", "iso-2022-jp", "no-such"})
        EXPECT_FALSE(ReadsUndeclaredText(name)) << name;
}

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

INSTANTIATE_TEST_SUITE_P(GmimeCharsets, CharsetCorpusTest,
                         ::testing::Values(CorpusCase{"cyrillic.cp1251.txt", "windows-1251", "cyrillic.utf-8.txt"},
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
