// The code page of a store: the decision from each kind of evidence, summaries read in it, and
// summaries that lost characters shown from their headers.
#include "MailboxTestSupport.h"
#include "mailbox/CodePage.h"
#include "mailbox/StoreFolder.h"
#include "store/StoreOpener.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::TTempDir;
using test::WriteDbx;
using testsupport::TStoreMessage;

// UTF-8 texts and their bytes in a code page, written out by hand.
const std::string kRussianUtf8 =
    "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80";  // Привет мир
const std::string kRussian1251 = "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0";
const std::string kGreek1253 = "\xCA\xE1\xEB\xE7\xEC\xDD\xF1\xE1";  // Καλημέρα
const std::string kJapaneseSjis = "\x93\xFA\x96\x7B\x8C\xEA";       // 日本語
const std::string kCafe1252 = "Caf\xE9 cr\xE8me";

TStoreMessage MessageWith(const std::string& subject, std::vector<std::string> header) {
    TStoreMessage m;
    m.Subject = subject;
    m.SenderName = "Ann";
    m.SenderAddress = "ann@example.org";
    header.insert(header.begin(), "From: Ann <ann@example.org>");
    m.Text = testsupport::MessageText(header, "Body\r\n");
    return m;
}

struct TDecisionCase {
    const char* Name;
    std::vector<TStoreMessage> Messages;
    bool Mbx;
    std::string Expected;
};

void PrintTo(const TDecisionCase& c, std::ostream* os) { *os << c.Name; }

class CodePageDecisionTest : public ::testing::TestWithParam<TDecisionCase> {};

TEST_P(CodePageDecisionTest, DecidesFromTheStrongestEvidence) {
    TTempDir dir;
    const TDecisionCase& c = GetParam();
    std::string path;
    if (c.Mbx) {
        path = dir / "Store.mbx";
        testsupport::TMbxWriter writer(path);
        for (const TStoreMessage& m : c.Messages) writer.Add(m);
        writer.Finish();
    } else {
        path = dir / "Store.dbx";
        WriteDbx(path, c.Messages);
    }
    std::unique_ptr<TOEReader> reader = OpenStore(path);
    EXPECT_EQ(DecideStoreCodePage(*reader), c.Expected);
}

std::vector<TStoreMessage> Repeated(const TStoreMessage& message, size_t count) {
    return std::vector<TStoreMessage>(count, message);
}

// Russian sentences in Windows-1251 with nothing else to go by.
std::vector<TStoreMessage> RussianWithoutLabels() {
    const char* sentences[] = {
        "\xCF\xF0\xE8\xE2\xE5\xF2, \xEA\xE0\xEA \xE4\xE5\xEB\xE0? \xC2\xF1\xE5 "
        "\xF5\xEE\xF0\xEE\xF8\xEE, \xF1\xEF\xE0\xF1\xE8\xE1\xEE",
        "\xC2\xF1\xF2\xF0\xE5\xF7\xE0 \xE2 \xEF\xFF\xF2\xED\xE8\xF6\xF3 \xEF\xEE\xF1\xEB\xE5 "
        "\xEE\xE1\xE5\xE4\xE0 \xE2 \xEE\xF4\xE8\xF1\xE5",
        "\xCE\xF2\xF7\xE5\xF2 \xE7\xE0 \xEF\xF0\xEE\xF8\xEB\xF3\xFE \xED\xE5\xE4\xE5\xEB\xFE "
        "\xE8 \xEF\xEB\xE0\xED \xED\xE0 \xEC\xE5\xF1\xFF\xF6"};
    std::vector<TStoreMessage> messages;
    for (const char* text : sentences) messages.push_back(MessageWith(text, {std::string("Subject: ") + text}));
    return messages;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodePageDecisionTest,
    ::testing::Values(
        // The header's encoded words say what the summary bytes are; the declared charset of the
        // body (another script) counts for less.
        TDecisionCase{"HeaderBeatsDeclaredCharset",
                      Repeated(MessageWith(kRussian1251, {"Subject: =?utf-8?B?0J/RgNC40LLQtdGCINC80LjRgA==?=",
                                                          "Content-Type: text/plain; charset=iso-8859-2"}),
                               3),
                      false, "windows-1251"},
        TDecisionCase{"HeaderDoubleByte",
                      {MessageWith(kJapaneseSjis, {"Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?="})},
                      false,
                      "shift_jis"},
        // Raw header bytes equal the summary's: only the declared charset tells.
        TDecisionCase{"DeclaredCharsetOfTheScript",
                      Repeated(MessageWith(kGreek1253,
                                           {"Subject: " + kGreek1253, "Content-Type: text/plain; charset=ISO-8859-7"}),
                               2),
                      false, "windows-1253"},
        TDecisionCase{"DeclaredCharsetInAVersion4Folder",
                      Repeated(MessageWith(kGreek1253, {"Subject: " + kGreek1253,
                                                        "Content-Type: text/plain; charset=\"iso-8859-7\""}),
                               2),
                      true, "windows-1253"},
        TDecisionCase{
            "DeclaredKoi8IsCyrillic",
            {MessageWith(kRussian1251, {"Subject: " + kRussian1251, "Content-Type: text/plain; charset=koi8-r"})},
            false,
            "windows-1251"},
        TDecisionCase{"StatisticsOfTheSummaries", RussianWithoutLabels(), false, "windows-1251"},
        // Several Western pages read these bytes alike; the declared Latin-1 picks Windows-1252.
        TDecisionCase{"WesternStaysWindows1252",
                      Repeated(MessageWith(kCafe1252, {"Subject: =?iso-8859-1?Q?Caf=E9_cr=E8me?=",
                                                       "Content-Type: text/plain; charset=iso-8859-1"}),
                               3),
                      false, "windows-1252"},
        TDecisionCase{"WesternWithoutLabels",
                      {MessageWith(kCafe1252, {"Subject: " + kCafe1252}), MessageWith("Hello", {"Subject: Hello"})},
                      false,
                      "windows-1252"},
        TDecisionCase{"AsciiOnly",
                      {MessageWith("Hello", {"Subject: Hello", "Content-Type: text/plain; charset=us-ascii"})},
                      false,
                      "windows-1252"}));

TEST(CodePageDecisionTest, AFolderDecidesOverItsListAndStores) {
    TTempDir dir;
    testsupport::WriteFolderList(dir / "Folders.dbx",
                                 {{1, 0xFFFFFFFF, "\xC2\xF5\xEE\xE4\xFF\xF9\xE8\xE5", "Inbox.dbx"}});
    WriteDbx(dir / "Inbox.dbx",
             Repeated(MessageWith(kRussian1251, {"Subject: =?utf-8?B?0J/RgNC40LLQtdGCINC80LjRgA==?="}), 2));
    const TStoreFolder folder = ReadStoreFolder(dir.Path());
    EXPECT_EQ(folder.CodePage, "windows-1251");
    ASSERT_EQ(folder.Nodes.size(), 1u);
    EXPECT_EQ(folder.Nodes[0].Name, "\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5");  // Входящие
    EXPECT_EQ(ReadStoreFolder(dir.Path(), {}, "windows-1252").Nodes[0].Name,
              "\xC3\x82\xC3\xB5\xC3\xAE\xC3\xA4\xC3\xBF\xC3\xB9\xC3\xA8\xC3\xA5");
}

TEST(CodePageNamesTest, LabelsNumbersAndScripts) {
    struct TName {
        std::string Name;
        std::string Page;  // empty: none
    };
    const TName names[] = {{"windows-1251", "windows-1251"},
                           {"CP1250", "windows-1250"},
                           {"1257", "windows-1257"},
                           {"874", "windows-874"},
                           {"932", "shift_jis"},
                           {"CP936", "gbk"},
                           {"windows-874", "windows-874"},
                           {"x-sjis", "shift_jis"},
                           {"gb2312", "gbk"},
                           {"950", "big5"},
                           {"iso-8859-1", "windows-1252"},
                           {"utf-8", ""},
                           {"us-ascii", ""},
                           {"65001", ""},
                           {"12510", ""},
                           {"koi8-r", ""},
                           {"", ""}};
    for (const TName& name : names) {
        const TCodePage* page = FindCodePage(name.Name);
        EXPECT_EQ(page ? std::string(page->Label) : std::string(), name.Page) << name.Name;
    }
    const TName scripts[] = {{"KOI8-R", "windows-1251"},
                             {"ISO-8859-5", "windows-1251"},
                             {"cp866", "windows-1251"},
                             {"ISO-2022-JP", "shift_jis"},
                             {"EUC-JP", "shift_jis"},
                             {"GB2312", "gbk"},
                             {"Big5", "big5"},
                             {"EUC-KR", "euc-kr"},
                             {"ISO-8859-2", "windows-1250"},
                             {"ISO-8859-7", "windows-1253"},
                             {"ISO-8859-9", "windows-1254"},
                             {"ISO-8859-8", "windows-1255"},
                             {"ISO-8859-6", "windows-1256"},
                             {"ISO-8859-13", "windows-1257"},
                             {"TIS-620", "windows-874"},
                             {"windows-1258", "windows-1258"},
                             {"utf-8", ""},
                             {"us-ascii", ""}};
    for (const TName& script : scripts) {
        const TCodePage* page = CodePageOfCharset(script.Name);
        EXPECT_EQ(page ? std::string(page->Label) : std::string(), script.Page) << script.Name;
    }
    EXPECT_EQ(CodePageTitle(*FindCodePage("1251")), "Cyrillic (Windows-1251)");
}

TEST(SummaryToUtf8Test, ReadsInTheCodePage) {
    struct TCase {
        std::string Bytes;
        std::string CodePage;
        std::string Expected;
    };
    const std::string cutSjis = std::string(254, 'a') + "\x93";  // a double-byte character cut in two
    const std::string cutUtf8 = std::string(253, 'a') + "\xD0\x9F\xD1";
    const TCase cases[] = {
        {kRussian1251, "windows-1251", kRussianUtf8},
        {kRussian1251, "", "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 \xC3\xAC\xC3\xA8\xC3\xB0"},
        {kRussianUtf8, "windows-1251", kRussianUtf8},  // valid UTF-8 stays
        {kJapaneseSjis, "shift_jis", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {cutSjis, "shift_jis", std::string(254, 'a')},
        {cutUtf8, "windows-1251", std::string(253, 'a') + "\xD0\x9F"},
        {"ascii", "gbk", "ascii"},
    };
    for (const TCase& c : cases) EXPECT_EQ(SummaryToUtf8(c.Bytes, c.CodePage), c.Expected) << c.Bytes;
}

TEST(SummaryStandsForTest, QuestionMarksStandForLostCharacters) {
    struct TCase {
        std::string Summary;
        std::string Header;
        bool Cut;
        bool Expected;
    };
    const std::string party = "\xF0\x9F\x8E\x89";  // 🎉
    const std::string balloon = "\xF0\x9F\x8E\x88";
    const TCase cases[] = {
        {"Hi ?", "Hi " + party, false, true},
        {"?? party ??", party + " party " + balloon + party, false, true},
        {"A ? B", "A  " + party + "\tB", false, true},  // blanks and line ends count as one space
        {"Why?", "Why?", false, true},
        {"Why?", "Why!", false, false},
        {"a?b", "a b", false, false},  // "?" never stands for ASCII
        {"ab?", "abc" + party, false, false},
        {"?\xC3\xA9", party + "\xC3\xA9", false, true},
        {"Hello ?", "Hello " + party + " and more", true, true},
        {"Hello ?", "Hello " + party + " and more", false, false},
        {"", party, false, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SummaryStandsFor(c.Summary, c.Header, c.Cut), c.Expected) << c.Summary << " / " << c.Header;
}

TEST(ShownSummaryTest, TakesTheHeaderWhereTheSummaryLostCharacters) {
    struct TCase {
        std::string Subject;
        std::string SenderName;
        std::string Header;
        std::string ShownSubject;
        std::string ShownSender;
    };
    const std::string party = "\xF0\x9F\x8E\x89";
    const TCase cases[] = {
        // Unpadded base64 in the header's words.
        {"?? party", "Ann ??",
         "Subject: =?utf-8?B?8J+OiSBwYXJ0eQ?=\r\nFrom: =?utf-8?Q?Ann_=F0=9F=8E=89?= <a@x.org>\r\n", party + " party",
         "Ann " + party},
        {"Why?", "Ann", "Subject: Why?\r\nFrom: Ann <a@x.org>\r\n", "Why?", "Ann"},
        {"Where ??", "Ann", "Subject: Other\r\n", "Where ??", "Ann"},
        {"Hi ?", "Ann", "", "Hi ?", "Ann"},
        // Raw 8-bit header text is read in the store's code page.
        {"\xCF\xF0\xE8\xE2\xE5\xF2 ?", "Ann", "Subject: \xCF\xF0\xE8\xE2\xE5\xF2 =?utf-8?B?8J+OiQ==?=\r\n",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 " + party, "Ann"},
        // Taken from the header lines without an index: the rest of the line, words encoded.
        {" =?ISO-8859-1?B?Q2Fm6Q==?= au lait", " =?utf-8?Q?Ann_L=C3=A9e?=", "", "Caf\xC3\xA9 au lait",
         "Ann L\xC3\xA9" "e"},
        {" =?ISO-8859-1?Q?=E9t=E9?=", "Ann", "Subject: =?ISO-8859-1?Q?=E9t=E9?=\r\n", "\xC3\xA9t\xC3\xA9", "Ann"},
    };
    for (const TCase& c : cases) {
        TMessageInfo info;
        info.Subject = c.Subject;
        info.SenderName = c.SenderName;
        const TShownSummary shown = ShownSummary(info, c.Header, "windows-1251");
        EXPECT_EQ(shown.Subject, c.ShownSubject) << c.Subject;
        EXPECT_EQ(shown.Sender, c.ShownSender) << c.Subject;
    }
}

}  // namespace
}  // namespace brindle
