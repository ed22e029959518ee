// Finding mail: where in a message a query matches (decoded headers, text parts, HTML reduced
// to text, attachment names, never attachment content), case folding, and the operation over
// stores with several threads.
#include "MailboxTestSupport.h"
#include "mailbox/CaseFold.h"
#include "mailbox/HtmlText.h"
#include "mailbox/Search.h"
#include "mime/MoxMsg.h"
#include "platform/Utf8.h"
#include "store/EmlFile.h"
#include "store/StoreOpener.h"

#include "Base64Encode.h"
#include "TnefWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>

namespace brindle {
namespace {

using test::TTempDir;

std::string Mail(const std::string& headers, const std::string& body) { return headers + "\r\n" + body; }

const std::string kMixed =
    "From: ann@example.org\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n";

std::string WithAttachment(const std::string& partHeaders, const std::string& partBody) {
    return Mail(kMixed, "--b1\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n--b1\r\n" + partHeaders + "\r\n" +
                            partBody + "\r\n--b1--\r\n");
}

struct TMatchCase {
    const char* name;
    std::string raw;
    const char* query;
    bool expected;
};

TEST(Search, MatchesWhereAReaderSeesTheText) {
    const std::string plain = "From: ann@example.org\r\n";
    const TMatchCase cases[] = {
        {"subject", Mail(plain + "Subject: Quarterly Report\r\n", "x\r\n"), "quarterly REPORT", true},
        {"encoded subject", Mail(plain + "Subject: =?utf-8?B?w4l0w6kgMjAyNA==?=\r\n", "x\r\n"), "été 2024", true},
        {"encoded word not matched raw", Mail(plain + "Subject: =?utf-8?B?w4l0w6kgMjAyNA==?=\r\n", "x\r\n"), "w4l0",
         false},
        {"sender name", Mail("From: \"M=?iso-8859-1?Q?=FC?=ller\" <m@x.de>\r\n", "x\r\n"), "MÜLLER", true},
        {"recipient", Mail(plain + "To: Zoe <zoe@corp.example>\r\n", "x\r\n"), "zoe@corp", true},
        {"cc", Mail(plain + "Cc: boss@corp.example\r\n", "x\r\n"), "BOSS@", true},
        {"other header does not count", Mail(plain + "X-Mailer: Frobnicator\r\n", "x\r\n"), "frobnicator", false},
        {"plain text", Mail(plain, "Meet at the harbour.\r\n"), "HARBOUR", true},
        {"folded subject", Mail(plain + "Subject: one\r\n two\r\n", "x\r\n"), "one two", true},
        {"quoted-printable body",
         Mail(plain + "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n",
              "Gro=DFe Stra=DFe\r\n"),
         "STRASSE", true},
        {"base64 body",
         Mail(plain + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n",
              "w4lUw4kgaW4gUGFyaXM=\r\n"),
         "été in paris", true},
        {"8-bit windows-1252 body", Mail(plain + "Content-Type: text/plain; charset=windows-1252\r\n", "caf\xE9\r\n"),
         "CAFÉ", true},
        {"html reduced", Mail(plain + "Content-Type: text/html\r\n", "<p>fish &amp; <b>chips</b></p>\r\n"),
         "fish & chips", true},
        {"html tag names do not count", Mail(plain + "Content-Type: text/html\r\n", "<table><tr><td>x</td></tr>\r\n"),
         "table", false},
        {"html script dropped",
         Mail(plain + "Content-Type: text/html\r\n", "<script>var secret=1;</script><p>hi</p>\r\n"), "secret", false},
        {"attachment name",
         WithAttachment("Content-Type: application/pdf; name=\"Invoice-42.pdf\"\r\n"
                        "Content-Transfer-Encoding: base64\r\n",
                        "JVBERi0xLjQK\r\n"),
         "invoice-42", true},
        {"encoded attachment name",
         WithAttachment("Content-Type: application/octet-stream\r\n"
                        "Content-Disposition: attachment; filename*=utf-8''%C3%89T%C3%89.bin\r\n"
                        "Content-Transfer-Encoding: base64\r\n",
                        "AAAA\r\n"),
         "été.bin", true},
        // "c2VjcmV0d29yZA==" is "secretword".
        {"attachment content does not count",
         WithAttachment(
             "Content-Type: application/octet-stream; name=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n",
             "c2VjcmV0d29yZA==\r\n"),
         "secretword", false},
        {"attachment raw base64 does not count",
         WithAttachment(
             "Content-Type: application/octet-stream; name=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n",
             "c2VjcmV0d29yZA==\r\n"),
         "c2VjcmV0", false},
        {"uuencoded block name counts, its lines do not",
         Mail(plain, "Here it is.\r\nbegin 644 holiday.jpg\r\n#86)C\r\n`\r\nend\r\n"), "HOLIDAY.JPG", true},
        {"uuencoded lines", Mail(plain, "Here it is.\r\nbegin 644 holiday.jpg\r\n#86)C\r\n`\r\nend\r\n"), "#86)c",
         false},
        {"absent", Mail(plain + "Subject: hello\r\n", "world\r\n"), "goodbye", false},
        {"plain body, query with spaces", Mail(plain, "Meet at the old\r\nharbour.\r\n"), "THE OLD", true},
        {"plain body, query across a line end", Mail(plain, "Meet at the old\r\nharbour.\r\n"), "old harbour", false},
        {"part header of a 7-bit multipart",
         WithAttachment("Content-Type: application/x-thing; name=\"a.dat\"\r\n", "payload\r\n"), "x-thing", false},
        {"7-bit attachment content",
         WithAttachment("Content-Type: application/x-thing; name=\"a.dat\"\r\n", "payload\r\n"), "payload", false},
        {"unnamed 7-bit part of another type is text",
         Mail(plain + "Content-Type: application/x-thing\r\n", "payload\r\n"), "PAYLOAD", true},
    };
    for (const TMatchCase& c : cases) EXPECT_EQ(MessageMatches(c.raw, TSearchQuery(c.query)), c.expected) << c.name;
}

// The files a TNEF attachment carries are found by name, whether the part names itself or only
// declares its type; their content and a damaged stream's names are not.
TEST(Search, NamesInsideATnefAttachment) {
    const std::string tnef = testsupport::BuildTnef({{"budget.xls", "secret numbers", std::nullopt, std::nullopt}});
    const std::string encoded = testsupport::Base64Lines(tnef, "\r\n");
    const std::string named = "Content-Type: application/ms-tnef; name=\"winmail.dat\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n";
    const std::string typed = "Content-Type: application/ms-tnef\r\nContent-Transfer-Encoding: base64\r\n";
    const std::string damaged = testsupport::Base64Lines(tnef.substr(0, tnef.size() - 3), "\r\n");
    const TMatchCase cases[] = {
        {"named container", WithAttachment(named, encoded), "BUDGET.XLS", true},
        {"typed container", WithAttachment(typed, encoded), "budget", true},
        {"carried content", WithAttachment(named, encoded), "secret numbers", false},
        {"damaged stream", WithAttachment(named, damaged), "budget", false},
        {"container name", WithAttachment(named, damaged), "winmail", true},
    };
    for (const TMatchCase& c : cases) EXPECT_EQ(MessageMatches(c.raw, TSearchQuery(c.query)), c.expected) << c.name;
}

TEST(Search, FullCaseFolding) {
    const struct {
        const char* a;
        const char* b;
    } same[] = {{"STRASSE", "straße"}, {"ÉTÉ", "été"}, {"ΣΊΣΥΦΟΣ", "σίσυφος"}, {"ǅ", "ǆ"}, {"𐐀", "𐐨"}};
    for (const auto& pair : same) EXPECT_EQ(FoldCase(pair.a), FoldCase(pair.b)) << pair.a;
    EXPECT_NE(FoldCase("été"), FoldCase("ete"));
    EXPECT_EQ(FoldCase("a\xFF"
                       "B"),
              "a\xFF"
              "b");  // invalid bytes stay
}

// Against a plain search in a lowered copy, at every offset of texts longer than the
// sixteen bytes compared at once, with bytes that differ from a needle's only in bit 0x20.
TEST(Search, AsciiNoCaseFinderAgreesWithASearchInALoweredCopy) {
    const std::string text = "@`[{ Needle at start... and ^~ in the middle; the END nEEDLE" + std::string(40, 'x') +
                             "needl" + "\xC3\x89t\xC3\xA9 NEEDLE";
    std::string lowered = text;
    for (char& c : lowered) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    for (const char* needle : {"needle", "NEEDLE", "@`", "[{", "`@", "^~", "~^", "end", "x", "xneedl", "\xC3\x89t",
                               "zzz", "needle at start... and ^~ in the middle; the end needle"}) {
        const TAsciiNoCaseFinder finder(needle);
        std::string loweredNeedle = needle;
        for (char& c : loweredNeedle) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        for (size_t from = 0; from <= text.size(); ++from)
            ASSERT_EQ(finder.Find(text, from), lowered.find(loweredNeedle, from)) << needle << " from " << from;
    }
}

TEST(Search, HtmlTextKeepsBlocksApartAndDecodesReferences) {
    const struct {
        const char* html;
        const char* text;
    } cases[] = {
        {"a<br>b", "a\nb"},
        {"x&lt;y &#233;&#xE9; &eacute;", "x<y éé é"},
        {"1 < 2 &unknown; &", "1 < 2 &unknown; &"},
        {"<style>p{}</style>keep<!-- gone -->", "keep"},
        {"<SCRIPT>x</ScRiPt>y", "y"},
    };
    for (const auto& c : cases) EXPECT_EQ(HtmlToText(c.html), c.text) << c.html;
}

TEST(Search, StoreHitsComeInStoreOrderWithSeveralThreads) {
    TTempDir dir;
    std::vector<testsupport::TStoreMessage> messages;
    std::vector<int32_t> expected;
    for (int i = 0; i < 300; ++i) {
        const bool hit = i % 7 == 3;
        messages.push_back(test::Message("Message " + std::to_string(i), hit ? "the Needle is here\r\n" : "hay\r\n"));
        if (hit) expected.push_back(i);
    }
    const std::string path = dir / "Inbox.dbx";
    test::WriteDbx(path, messages);
    for (unsigned threads : {1u, 2u, 5u}) {
        TSearchControl control;
        control.Threads = threads;
        uint64_t lastDone = 0, total = 0;
        control.Progress = [&](uint64_t done, uint64_t all) {
            lastDone = done;
            total = all;
        };
        const std::vector<TSearchHit> hits = SearchStoreFile(path, TSearchQuery("NEEDLE"), control);
        std::vector<int32_t> indexes;
        for (const TSearchHit& hit : hits) {
            indexes.push_back(hit.Index);
            EXPECT_EQ(hit.Info.Subject, "Message " + std::to_string(hit.Index));
            EXPECT_EQ(hit.File, path);
        }
        EXPECT_EQ(indexes, expected) << threads << " threads";
        EXPECT_EQ(lastDone, 300u);
        EXPECT_EQ(total, 300u);
    }
}

// The reader's warnings come from the worker threads: the caller's sink gets them one at a
// time, never while progress is being told.
TEST(Search, WarningsAndProgressOfSeveralThreadsComeOneAtATime) {
    TTempDir dir;
    std::vector<testsupport::TStoreMessage> messages(400, test::Message("same", "hay\r\n"));
    // A message without a text cannot be read: each is one warning.
    size_t damaged = 0;
    for (size_t i = 0; i < messages.size(); i += 3, ++damaged) messages[i].Text.clear();
    const std::string path = dir / "Inbox.dbx";
    test::WriteDbx(path, messages);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    auto enter = [&] {
        const int now = ++inside;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::microseconds(30));
        --inside;
    };
    size_t warnings = 0;
    TSearchControl control;
    control.Threads = 4;
    control.Progress = [&](uint64_t, uint64_t) { enter(); };
    control.Warnings = [&](const TWarning&) {
        enter();
        ++warnings;
    };
    EXPECT_TRUE(SearchStoreFile(path, TSearchQuery("needle"), control).empty());
    EXPECT_EQ(warnings, damaged);
    EXPECT_EQ(most.load(), 1);
}

TEST(Search, CancelStopsEarly) {
    TTempDir dir;
    std::vector<testsupport::TStoreMessage> messages(100, test::Message("same", "needle\r\n"));
    test::WriteDbx(dir / "Inbox.dbx", messages);
    std::atomic<bool> cancel{true};
    TSearchControl control;
    control.Cancel = &cancel;
    EXPECT_TRUE(SearchStoreFile(dir / "Inbox.dbx", TSearchQuery("needle"), control).empty());
}

TEST(Search, EmlFileAndStoreFolder) {
    TTempDir dir;
    test::WriteDbx(dir / "Inbox.dbx", {test::Message("alpha", "x\r\n"), test::Message("beta", "x\r\n")});
    test::WriteDbx(dir / "Sent Items.dbx", {test::Message("BETA too", "x\r\n")});
    const std::vector<TSearchHit> hits = SearchPath(dir.Path(), TSearchQuery("beta"));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].Folder, "Inbox");
    EXPECT_EQ(hits[0].Index, 1);
    EXPECT_EQ(hits[1].Folder, "Sent Items");
    EXPECT_EQ(hits[1].Info.Subject, "BETA too");

    const std::string eml = dir / "note.EML";
    std::ofstream(eml, std::ios::binary)
        << "From: \"Bo Ek\" <bo@ek.se>\r\nSubject: =?utf-8?Q?Gr=C3=BC=C3=9Fe?=\r\n\r\nhi\r\n";
    const std::vector<TSearchHit> emlHits = SearchPath(eml, TSearchQuery("GRÜSSE"));
    ASSERT_EQ(emlHits.size(), 1u);
    EXPECT_EQ(emlHits[0].Info.Subject, "Grüße");
    EXPECT_EQ(emlHits[0].Info.SenderName, "Bo Ek");
    EXPECT_EQ(emlHits[0].Info.SenderAddress, "bo@ek.se");
    EXPECT_TRUE(SearchPath(eml, TSearchQuery("absent")).empty());
}

// Queries that a message may hold: words of its decoded subject and sender, and slices of its
// raw lines (which the decoded text may or may not hold).
std::vector<std::string> QueriesFor(const std::string& raw) {
    std::vector<std::string> queries = {"the", "hello", "=?", "attach", "\xC3\xA9t\xC3\xA9"};
    TMoxMsg message;
    message.SetRawText(raw);
    message.Parse();
    for (const std::string& field : {message.Subject, message.From}) {
        if (!IsValidUtf8(field)) continue;
        size_t at = 0;
        while (at < field.size() && queries.size() < 24) {
            const size_t end = std::min(field.find(' ', at), field.size());
            if (end > at + 2) queries.push_back(field.substr(at, end - at));
            at = end + 1;
        }
    }
    for (size_t at = 97; at + 12 < raw.size() && queries.size() < 40; at += raw.size() / 9 + 1) {
        std::string slice = raw.substr(at, 4 + at % 9);
        if (IsValidUtf8(slice) && slice.find_first_of("\r\n") == std::string::npos) queries.push_back(slice);
    }
    return queries;
}

// The raw prefilter only skips work: with it off, every message answers every query the same.
TEST(Search, PrefilterNeverDropsAHit) {
    std::vector<std::pair<std::string, std::string>> messages = {
        {"plain", Mail("From: ann@example.org\r\nSubject: hello there\r\n", "Just the text.\r\n")},
        {"encoded subject", Mail("Subject: =?utf-8?Q?=C3=A9t=C3=A9_attach?=\r\n", "Body\r\n")},
        {"quoted-printable", Mail("Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                                  "hel=\r\nlo the=3D=C3=A9t=C3=A9\r\n")},
        {"base64", Mail("Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n",
                        "aGVsbG8gdGhlcmUgw6l0w6kK\r\n")},
        {"html", Mail("Content-Type: text/html\r\n", "<p>hel<b>lo</b> &eacute;t&eacute; the</p>\r\n")},
        {"attachment name", WithAttachment("Content-Type: application/octet-stream; name=\"attach hello.bin\"\r\n",
                                           "AAAA")},
        {"LF only", "Subject: hello\n\nthe text\n"},
        {"8-bit", Mail("Subject: \xE9t\xE9\r\n", "caf\xE9 hello\r\n")},
    };
    size_t fromCorpus = 0;
    const std::filesystem::path root = std::string(BRINDLE_CORPUS) + "/eml";
    if (std::filesystem::exists(root)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file() || entry.file_size() > (1u << 19) || fromCorpus >= 150) continue;
            messages.emplace_back(entry.path().string(), ReadEmlFile(entry.path().string()));
            ++fromCorpus;
        }
    }
    for (const char* name : {"mtdbx_test.dbx", "dbxconvert_test.dbx"}) {
        const std::string path = std::string(BRINDLE_CORPUS) + "/dbx/" + name;
        if (!std::filesystem::exists(path)) continue;
        auto reader = OpenStore(path);
        for (int32_t i = 0; i < reader->GetMessageCount() && i < 100; ++i, ++fromCorpus)
            messages.emplace_back(path + " #" + std::to_string(i), reader->GetMessageText(i));
    }
    if (fromCorpus == 0) std::cerr << "corpus not present: the prefilter is compared on generated messages only\n";
    size_t hits = 0;
    size_t compared = 0;
    for (const auto& [name, raw] : messages) {
        for (const std::string& text : QueriesFor(raw)) {
            const TSearchQuery query(text);
            const bool filtered = MessageMatches(raw, query);
            EXPECT_EQ(filtered, MessageMatches(raw, query, false)) << name << ": " << text;
            hits += filtered;
            ++compared;
        }
    }
    // Both answers occur, so the comparison has weight either way.
    EXPECT_GT(hits, 0u);
    EXPECT_LT(hits, compared);
}

// Real messages: the subject and sender that the message object decodes are found in them.
TEST(Search, CorpusMessagesHoldTheirDecodedSubjectAndSender) {
    const std::filesystem::path root = std::string(BRINDLE_CORPUS) + "/eml";
    if (!std::filesystem::exists(root)) GTEST_SKIP() << "corpus not present";
    size_t checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.file_size() > (1u << 20) || checked >= 400) continue;
        const std::string raw = ReadEmlFile(entry.path().string());
        TMoxMsg message;
        message.SetRawText(raw);
        message.Parse();
        for (const std::string& field : {message.Subject, message.From}) {
            if (field.empty() || !IsValidUtf8(field) || field.find('\xEF') != std::string::npos) continue;
            EXPECT_TRUE(MessageMatches(raw, TSearchQuery(field))) << entry.path() << ": " << field;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0u);
}

TEST(Search, CorpusStore) {
    const std::string path = std::string(BRINDLE_CORPUS) + "/dbx/mtdbx_test.dbx";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus not present";
    const std::vector<TSearchHit> hits = SearchStoreFile(path, TSearchQuery("PLEASE READ YOU WON'T BE SORRY"));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Info.SenderAddress, "off_1@webstation.com");
}

}  // namespace
}  // namespace brindle
