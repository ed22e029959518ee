#include "mime/MoxMsg.h"

#include "MimeTestSupport.h"
#include "mime/BodyWalk.h"
#include "platform/ContentTypes.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <fstream>

namespace brindle {
namespace {

using namespace std::string_literals;
using test::Base64Lines;
using test::ParseMessage;

TEST(MoxMsgTest, DefaultsAtCreation) {
    TMoxMsg msg;
    EXPECT_EQ(msg.Priority, TPriority::prNormal);
    EXPECT_EQ(msg.CharSet, "ISO-8859-1");
    EXPECT_FALSE(msg.ClearRawMailAfterParse);
    EXPECT_EQ(msg.TextEncoding, TTextEncoding::te8Bit);
    EXPECT_EQ(msg.ContentType, "TEXT/PLAIN");
    EXPECT_EQ(msg.ContentTransferEncoding, "7BIT");
    EXPECT_TRUE(msg.From.empty());
    EXPECT_TRUE(msg.Text.empty());
    EXPECT_EQ(msg.AttachedFiles.Count(), 0u);
}

TEST(ParseTest, WithoutRawLinesNothingChanges) {
    TMoxMsg msg;
    msg.From = "kept";
    msg.Parse();
    EXPECT_EQ(msg.From, "kept");
    EXPECT_TRUE(msg.Headers.empty());
    EXPECT_TRUE(msg.Text.empty());
}

TEST(ParseTest, ReadsTheMainFields) {
    auto msg = ParseMessage(
        "From: =?iso-8859-1?Q?Ren=E9?= <rene@x>\n"
        "Sender: list@x\n"
        "To: Ann Lee <ann@x>, bob@y\n"
        "Cc: carl@z (Carl)\n"
        "Reply-To: \"Help\" <help@x>\n"
        "Message-ID: <id1@x>\n"
        "In-Reply-To: <id0@x>\n"
        "Return-Path: <bounce@x>\n"
        "Date: Mon, 1 Jan 2001 10:00:00 +0100\n"
        "Subject: =?utf-8?B?SGVsbG8=?= world\n"
        "Content-Type: text/html; charset=utf-8\n"
        "Content-Transfer-Encoding: quoted-printable\n"
        "\n"
        "<p>body</p>\n");
    EXPECT_EQ(msg->From, "Ren\xC3\xA9 <rene@x>");
    EXPECT_EQ(msg->Sender, "\"list@x\" <list@x>");
    EXPECT_EQ(msg->SendTo, "\"Ann Lee\" <ann@x>, \"bob@y\" <bob@y>");
    EXPECT_EQ(msg->CC, "\"Carl\" <carl@z>");
    EXPECT_EQ(msg->ShownTo, "Ann Lee <ann@x>, bob@y");
    EXPECT_EQ(msg->ShownCc, "carl@z (Carl)");
    EXPECT_EQ(msg->ReplyTo, "\"\" <help@x>");
    EXPECT_EQ(msg->MessageID, "<id1@x>");
    EXPECT_EQ(msg->InReplyTo, "<id0@x>");
    EXPECT_EQ(msg->ReturnPath, "<bounce@x>");
    EXPECT_EQ(msg->Date, "Mon, 1 Jan 2001 10:00:00 +0100");
    EXPECT_EQ(msg->Subject, "Hello world");
    EXPECT_EQ(msg->ContentType, "TEXT/HTML");
    EXPECT_EQ(msg->ContentTransferEncoding, "QUOTED-PRINTABLE");
    EXPECT_EQ(msg->Headers.size(), 12u);
    EXPECT_EQ(msg->Text, (TStringList{"<p>body</p>"}));
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"text/html"}));
}

TEST(ParseTest, MissingContentFieldsTakeTheirDefaults) {
    auto msg = ParseMessage("Subject: x\n\nbody\n");
    EXPECT_EQ(msg->ContentType, "TEXT/PLAIN");
    EXPECT_EQ(msg->ContentTransferEncoding, "7BIT");
    EXPECT_EQ(msg->Text, (TStringList{"body"}));
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"text/plain"}));
    EXPECT_EQ(msg->AttachedFiles.Count(), 0u);
}

// M1: only the content fields end at their first ";".
TEST(ParseTest, FieldValuesKeepTheirSemicolons) {
    auto msg = ParseMessage(
        "From: Lee; Ann <ann@x>\n"
        "Subject: Re: plans; dates\n"
        "Date: Mon; 1 Jan 2001\n"
        "Message-ID: <a;b@x>\n"
        "Content-Type: text/plain; charset=us-ascii\n"
        "Content-Transfer-Encoding: 8bit; x\n"
        "\n");
    EXPECT_EQ(msg->Subject, "Re: plans; dates");
    EXPECT_EQ(msg->From, "Lee; Ann <ann@x>");
    EXPECT_EQ(msg->Date, "Mon; 1 Jan 2001");
    EXPECT_EQ(msg->MessageID, "<a;b@x>");
    EXPECT_EQ(msg->ContentType, "TEXT/PLAIN");
    EXPECT_EQ(msg->ContentTransferEncoding, "8BIT");
}

TEST(ParseTest, FieldNamesMatchAtTheLineStartInAnyCase) {
    auto msg = ParseMessage("subject: Hello\nSubject: Second\n\n");
    EXPECT_EQ(msg->Subject, "Hello");
    msg = ParseMessage("X: a\n Subject: Hello\n\n");
    EXPECT_EQ(msg->Subject, "");
}

// M9: unfolding keeps one space where the continuation line began.
TEST(ParseTest, FoldedFieldsKeepASpace) {
    auto msg = ParseMessage("Subject: Quarterly\n\treport\n\n");
    EXPECT_EQ(msg->Subject, "Quarterly report");
    msg = ParseMessage("Subject: =?utf-8?Q?caf=C3=A9?=\n =?utf-8?Q?_au_lait?=\n\n");
    EXPECT_EQ(msg->Subject, "caf\xC3\xA9 au lait");
}

TEST(ParseTest, RawEightBitFieldsBecomeUtf8) {
    auto msg = test::ParseRaw("Subject: caf\xE9\r\nFrom: J\xC3\xBCrgen\r\n\r\n");
    EXPECT_EQ(msg->Subject, "caf\xC3\xA9");
    EXPECT_EQ(msg->From, "J\xC3\xBCrgen");
    msg = test::ParseRaw(
        "From J\xFCrgen\r\nContent-Type: text/pl\xE9in\r\nContent-Transfer-Encoding: 8b\xE9t\r\n\r\nx\r\n");
    EXPECT_EQ(msg->From, "J\xC3\xBCrgen");
    EXPECT_EQ(msg->ContentType, "TEXT/PL\xC3\xA9IN");
    EXPECT_EQ(msg->ContentTransferEncoding, "8B\xC3\xA9T");
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"text/pl\xC3\xA9in"}));
}

TEST(ParseTest, FallbackSenderFromAnMboxSeparatorLine) {
    auto msg = ParseMessage("From alice Mon Jan 1 10:00:00\nSubject: x\n\nbody\n");
    EXPECT_EQ(msg->From, "alice Mon Jan 1 10:00:00");
    msg = ParseMessage("From alice Mon Jan 1 10:00:00\nFrom: Bob <bob@x>\n\nbody\n");
    EXPECT_EQ(msg->From, "Bob <bob@x>");
    msg = ParseMessage("From " + std::string(100, 'a') + "\n\n");
    EXPECT_EQ(msg->From, std::string(72, 'a'));
}

// M11: no fallback sender from other first lines.
TEST(ParseTest, NoFallbackSenderFromOtherFirstLines) {
    auto msg = ParseMessage("Received: from mx (host)\nSubject: x\n\nbody\n");
    EXPECT_EQ(msg->From, "");
    msg = ParseMessage("From:alice@x\n\n");
    EXPECT_EQ(msg->From, "alice@x");
}

TEST(ParseTest, DateStaysText) {
    auto msg = ParseMessage("Date:   Thu, 13 Sep 2001 17:28:42 -0400 (EDT)\n\n");
    EXPECT_EQ(msg->Date, "Thu, 13 Sep 2001 17:28:42 -0400 (EDT)");
}

TEST(ParseTest, HeadersStopAtTheFirstEmptyLineOnly) {
    auto msg = ParseMessage("Subject: a\n \nX-Later: b\n\nbody\n");
    EXPECT_EQ(msg->Headers, (TStringList{"Subject: a", " ", "X-Later: b"}));
    // The body walk ends the header block at the blank line.
    EXPECT_EQ(msg->Text, (TStringList{"X-Later: b", "", "body"}));
}

TEST(ParseTest, ARawTextBeginningWithAnEmptyLine) {
    auto msg = ParseMessage("\nSubject: x\n\nbody\n");
    EXPECT_TRUE(msg->Headers.empty());
    EXPECT_EQ(msg->Subject, "");
    EXPECT_EQ(msg->ContentType, "TEXT/PLAIN");
    EXPECT_EQ(msg->Text, (TStringList{"Subject: x", "", "body"}));
}

TEST(ParseTest, ASecondParseAppends) {
    auto msg = ParseMessage(
        "Subject: one\nContent-Type: multipart/mixed; boundary=b\n\n"
        "--b\n\ntext\n--b\nContent-Type: application/pdf; name=a.pdf\n\n%PDF\n--b--\n");
    msg->Parse();
    EXPECT_EQ(msg->Subject, "one");
    EXPECT_EQ(msg->Text, (TStringList{"text", "text"}));
    EXPECT_EQ(msg->AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg->Headers.size(), 4u);
}

TEST(ParseTest, ClearRawMailAfterParse) {
    TMoxMsg msg;
    msg.RawMail = SplitLines(test::Crlf("Subject: x\n\nbody\n"));
    msg.ClearRawMailAfterParse = true;
    msg.Parse();
    EXPECT_TRUE(msg.RawMail.empty());
    EXPECT_EQ(msg.Text, (TStringList{"body"}));
}

TEST(ParseTest, RawMailKeepsTheRawLines) {
    std::string raw = test::Crlf("Subject: =?utf-8?Q?x?=\nContent-Transfer-Encoding: base64\n\nYWJj\n");
    auto msg = test::ParseRaw(raw);
    EXPECT_EQ(msg->RawMail, SplitLines(raw));
    EXPECT_EQ(msg->Text, (TStringList{"abc"}));
}

TEST(BodyTest, AlternativePartsJoinTheTextInOrder) {
    auto msg = ParseMessage(
        "Content-Type: multipart/alternative; boundary=\"alt\"\n\n"
        "--alt\nContent-Type: text/plain\n\nplain line\n"
        "--alt\nContent-Type: text/html\n\n<b>html</b>\n"
        "--alt--\n");
    EXPECT_EQ(msg->Text, (TStringList{"plain line", "<b>html</b>"}));
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"text/plain", "text/html"}));
    EXPECT_EQ(msg->AttachedFiles.Count(), 0u);
}

// Each text part says where it begins in Text and which choice of which alternative it is.
TEST(BodyTest, TextPartsKnowTheirLinesAndAlternatives) {
    struct Case {
        const char* name;
        std::string raw;
        std::vector<std::string> types;
        std::vector<std::array<size_t, 3>> places;  // first line, alternative, choice
    };
    const std::vector<Case> cases = {
        {"single part", "Content-Type: text/html\n\n<p>a</p>\n<p>b</p>\n", {"text/html"}, {{0, 0, 0}}},
        {"alternative",
         "Content-Type: multipart/alternative; boundary=alt\n\n"
         "--alt\nContent-Type: text/plain\n\none\ntwo\n--alt\nContent-Type: text/html\n\n<b>x</b>\n--alt--\n",
         {"text/plain", "text/html"},
         {{0, 1, 0}, {2, 1, 1}}},
        {"related inside an alternative after a mixed text",
         "Content-Type: multipart/mixed; boundary=out\n\n"
         "--out\nContent-Type: text/plain\n\nintro\n"
         "--out\nContent-Type: Multipart/Alternative; boundary=alt\n\n"
         "--alt\nContent-Type: text/plain\n\np1\np2\n"
         "--alt\nContent-Type: multipart/related; boundary=rel\n\n"
         "--rel\nContent-Type: text/html\n\n<p>h</p>\n--rel\nContent-Type: image/png; name=a.png\n"
         "Content-Transfer-Encoding: base64\n\ncG5n\n--rel--\n"
         "--alt--\n"
         "--out\nContent-Type: multipart/alternative; boundary=alt2\n\n"
         "--alt2\nContent-Type: text/plain\n\nlast\n--alt2--\n"
         "--out--\n",
         {"text/plain", "text/plain", "text/html", "text/plain"},
         {{0, 0, 0}, {1, 1, 0}, {3, 1, 1}, {4, 2, 0}}},
        {"embedded message inside a choice",
         "Content-Type: multipart/alternative; boundary=alt\n\n"
         "--alt\nContent-Type: text/plain\n\nouter\n"
         "--alt\nContent-Type: message/rfc822\n\nSubject: in\nContent-Type: text/html\n\n<i>in</i>\n--alt--\n",
         {"text/plain", "text/html"},
         {{0, 1, 0}, {1, 1, 1}}},
    };
    for (const Case& c : cases) {
        auto msg = ParseMessage(c.raw);
        EXPECT_EQ(msg->TextTypes, c.types) << c.name;
        ASSERT_EQ(msg->TextParts.size(), c.places.size()) << c.name;
        for (size_t i = 0; i < c.places.size(); ++i) {
            EXPECT_EQ(msg->TextParts[i].FirstLine, c.places[i][0]) << c.name << " part " << i;
            EXPECT_EQ(msg->TextParts[i].Alternative, c.places[i][1]) << c.name << " part " << i;
            EXPECT_EQ(msg->TextParts[i].Choice, c.places[i][2]) << c.name << " part " << i;
        }
    }
}

TEST(BodyTest, Base64AttachmentIsDecoded) {
    std::string pdf = "%PDF-1.4\n\0\x01\xFF binary"s;
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: text/plain\n\nSee attached.\n"
        "--b\nContent-Type: application/pdf; name=\"report.pdf\"\nContent-Transfer-Encoding: base64\n"
        "Content-ID: <r1@x>\n\n" +
        Base64Lines(pdf) + "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"See attached."}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    const TAttachedFile& item = msg->AttachedFiles.Items(0);
    EXPECT_EQ(item.FileName, "report.pdf");
    EXPECT_EQ(item.PathName, "report.pdf");
    EXPECT_EQ(item.Data, pdf);
    EXPECT_EQ(item.ContentType, ContentTypeOfFile("report.pdf"));
    EXPECT_EQ(item.MediaType, "application/pdf");
    EXPECT_EQ(item.ContentID, "r1@x");
    EXPECT_TRUE(item.Lines.empty());
}

TEST(BodyTest, ANamedTextPartJoinsTheText) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: text/plain\nContent-Disposition: attachment; filename=notes.txt\n\nnote line\n"
        "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"note line"}));
    EXPECT_EQ(msg->AttachedFiles.Count(), 0u);
}

TEST(BodyTest, AnEncodedPartWithoutANameBecomesAnUnnamedItem) {
    auto msg = ParseMessage(
        "Content-Type: multipart/related; boundary=b\n\n"
        "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n"
        "--b--\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "");
    EXPECT_EQ(msg->AttachedFiles.Items(0).ContentType, "application/octet-stream");
    EXPECT_EQ(msg->AttachedFiles.Items(0).MediaType, "image/gif");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "GIF89a");
}

// A message that breaks off, cut at each place of its last part: a file whose header is cut
// offers nothing (no data, a name that may be cut short), one whose data is cut offers what it
// has, and a cut text part stays text.
TEST(BodyTest, AMessageThatBreaksOffOffersOnlyWhatItsPartsHold) {
    const std::string head =
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: text/plain\n\nfirst text\n"
        "--b\nContent-Type: image/gif; name=\"one.gif\"\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n";
    struct TCase {
        const char* What;
        std::string Tail;
        std::vector<std::string> Files;  // the names of the items, "" for one without a name
        TStringList Text;
    };
    const TCase cases[] = {
        {"whole",
         "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n--b--\n",
         {"one.gif", ""},
         {"first text"}},
        {"in the data",
         "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n\nR0lG",
         {"one.gif", ""},
         {"first text"}},
        {"after the header",
         "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n\n",
         {"one.gif", ""},
         {"first text"}},
        {"at the end of the header",
         "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n",
         {"one.gif"},
         {"first text"}},
        {"inside the header", "--b\nContent-Type: image/gif\nContent-Transfer-Enc", {"one.gif"}, {"first text"}},
        {"inside the name",
         "--b\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n"
         "Content-Disposition: inline; filename=\"scan_0",
         {"one.gif"},
         {"first text"}},
        {"inside a text part",
         "--b\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n"
         "second te=\nxt that bre",
         {"one.gif"},
         {"first text", "second text that bre"}},
        {"inside a text part's header",
         "--b\nContent-Type: text/plain\nContent-Transfer-Encoding: base64",
         {"one.gif"},
         {"first text"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        auto msg = ParseMessage(head + c.Tail);
        std::vector<std::string> files;
        for (size_t i = 0; i < msg->AttachedFiles.Count(); ++i) files.push_back(msg->AttachedFiles.Items(i).FileName);
        EXPECT_EQ(files, c.Files);
        EXPECT_EQ(msg->Text, c.Text);
    }
}

TEST(BodyTest, AnUnencodedPartWithoutANameJoinsTheText) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/octet-stream\n\nraw line\n"
        "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"raw line"}));
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"application/octet-stream"}));
    EXPECT_EQ(msg->AttachedFiles.Count(), 0u);
}

TEST(BodyTest, AnEmbeddedMessageIsWalked) {
    auto msg = ParseMessage(
        "Subject: outer\nContent-Type: multipart/mixed; boundary=out\n\n"
        "--out\nContent-Type: message/rfc822\n\n"
        "Subject: inner\nFrom: inner@x\nContent-Type: multipart/mixed; boundary=in\n\n"
        "--in\nContent-Type: text/plain\n\ninner text\n"
        "--in\nContent-Type: application/pdf; name=inner.pdf\nContent-Transfer-Encoding: base64\n\nJVBERg==\n"
        "--in--\n"
        "--out--\n");
    EXPECT_EQ(msg->Subject, "outer");
    EXPECT_EQ(msg->From, "");
    EXPECT_EQ(msg->Text, (TStringList{"inner text"}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "inner.pdf");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "%PDF");
}

TEST(BodyTest, ANamedEmbeddedMessageBecomesAnItem) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: message/rfc822; name=fwd.eml\n\nSubject: inner\n\ninner body\n\n"
        "--b--\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "fwd.eml");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "Subject: inner\r\n\r\ninner body\r\n");
    EXPECT_EQ(msg->AttachedFiles.Items(0).MediaType, "message/rfc822");
    EXPECT_TRUE(msg->Text.empty());
}

TEST(BodyTest, UuencodedBlocksAreTakenOutOfText) {
    auto msg = ParseMessage(
        "Subject: uu\n\n"
        "before\n"
        "begin 644 pic.gif\n"
        "#86)C\n"
        "\n"
        "#86)C\n"
        "end\n"
        "after\n");
    EXPECT_EQ(msg->Text, (TStringList{"before", "end", "after"}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "pic.gif");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "abcabc");
    EXPECT_EQ(msg->AttachedFiles.Items(0).MediaType, "");
}

TEST(BodyTest, UuencodedTextIsNotTransferDecodedAgain) {
    auto msg = ParseMessage(
        "Content-Transfer-Encoding: quoted-printable\n\n"
        "a=3Db\nbegin 644 x.bin\n#86)C\nend\n");
    EXPECT_EQ(msg->Text, (TStringList{"a=3Db", "end"}));
    EXPECT_EQ(msg->AttachedFiles.Count(), 1u);
}

TEST(BodyTest, SeveralUuencodedBlocksAndOneWithoutEnd) {
    auto msg = ParseMessage("\nbegin 644 a.bin\n#86)C\nend\nmiddle\nbegin 644 b.bin\n#86)C\n");
    EXPECT_EQ(msg->Text, (TStringList{"end", "middle"}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg->AttachedFiles.Items(1).FileName, "b.bin");
    EXPECT_EQ(msg->AttachedFiles.Items(1).Data, "abc");
}

// M7: a bad uuencoded line no longer ends the parse.
TEST(BodyTest, ABadUuencodedBlockKeepsWhatWasDecoded) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\n\nbegin 644 bad.bin\n#86)C\n#8a)C\nend\ntext after\n"
        "--b\nContent-Type: application/pdf; name=later.pdf\nContent-Transfer-Encoding: base64\n\nJVBERg==\n"
        "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"end", "text after"}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "bad.bin");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "abc");
    EXPECT_EQ(msg->AttachedFiles.Items(1).Data, "%PDF");
}

TEST(BodyTest, AnXUuencodePartIsAnAttachment) {
    auto msg = ParseMessage(
        "Content-Type: application/octet-stream\nContent-Transfer-Encoding: x-uuencode\n\n"
        "begin 644 x\n#86)C\n`\nend\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "abc");
}

// M4: transport padding after a delimiter.
TEST(BodyTest, DelimitersWithTrailingBlanksAreRecognised) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b \nContent-Type: text/plain\n\none\n"
        "--b\t\nContent-Type: text/plain\n\ntwo\n"
        "--b--  \nepilogue\n");
    EXPECT_EQ(msg->Text, (TStringList{"one", "two"}));
}

TEST(BodyTest, NestedMultipartsAppearInPlace) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=out\n\n"
        "--out\n\nfirst\n"
        "--out\nContent-Type: multipart/mixed; boundary=in\n\n"
        "--in\n\nsecond\n--in\n\nthird\n--in--\n"
        "--out\n\nfourth\n"
        "--out--\n");
    EXPECT_EQ(msg->Text, (TStringList{"first", "second", "third", "fourth"}));
}

TEST(BodyTest, APartWithoutHeaderBlockIsPlainText) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\n\nbody line\nContent-Type: text/html\n"
        "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"body line", "Content-Type: text/html"}));
    EXPECT_EQ(msg->TextTypes, (std::vector<std::string>{"text/html"}));
}

TEST(BodyTest, AttachmentNamesLoseForbiddenCharacters) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/x; name=\"\\\\:*?<>|\"\n\nx\n"
        "--b\nContent-Type: application/x; name=\"a.txt\"\n\nx\n"
        "--b--\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "");
    EXPECT_EQ(msg->AttachedFiles.Items(1).FileName, "a.txt");
    msg = ParseMessage("Content-Type: application/x; name=\"a:b/c*.txt\"\n\nx\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "abc.txt");
}

TEST(BodyTest, QuotedPrintableAttachment) {
    auto msg = ParseMessage(
        "Content-Type: application/x; name=q.txt\nContent-Transfer-Encoding: quoted-printable\n\n"
        "a=3D1\nb\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "a=1\r\nb");
}

TEST(BodyTest, UnencodedAttachmentTextHasCrLfAndNoFinalLineEnd) {
    auto msg = ParseMessage("Content-Type: application/x; name=n.txt\n\nline 1\n\nline 3\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "line 1\r\n\r\nline 3");
    msg = ParseMessage("Content-Type: application/x; name=empty.txt\n\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "");
}

// M3: zero bytes.
TEST(BodyTest, ZeroBytesStayInAttachmentsAndLeaveText) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Transfer-Encoding: quoted-printable\n\nx=00y\n"
        "--b\nContent-Type: application/x; name=q.bin\nContent-Transfer-Encoding: quoted-printable\n\nx=00y=0Az\n"
        "--b\nContent-Type: application/x; name=b.bin\nContent-Transfer-Encoding: base64\n\nAAEAAg==\n"
        "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"xy"}));
    ASSERT_EQ(msg->AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "x\0y\r\nz"s);
    EXPECT_EQ(msg->AttachedFiles.Items(1).Data, "\0\x01\0\x02"s);
}

// M5: a name containing MULTIPART does not make the part a multipart.
TEST(BodyTest, AFileNameMentioningMultipartStaysAnAttachment) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/pdf; name=\"MULTIPART-notes.pdf\"\nContent-Transfer-Encoding: base64\n\n"
        "JVBERg==\n--b--\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "MULTIPART-notes.pdf");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "%PDF");
}

// M10: only the top-level type text makes a text part.
TEST(BodyTest, AWordProcessorDocumentIsNotText) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/vnd.oasis.opendocument.text; name=\"letter.odt\"\n"
        "Content-Transfer-Encoding: base64\n\nUEsDBA==\n"
        "--b\nContent-Type: application/vnd.oasis.opendocument.text\nContent-Transfer-Encoding: base64\n\nUEsDBA==\n"
        "--b--\n");
    EXPECT_TRUE(msg->Text.empty());
    ASSERT_EQ(msg->AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "letter.odt");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "PK\x03\x04");
    EXPECT_EQ(msg->AttachedFiles.Items(1).Data, "PK\x03\x04");
}

std::string NestedMultiparts(int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) + "\n";
    return text + "Content-Type: text/plain\n\ndeep text\n";
}

// M8: nesting is capped; deeper content is text.
TEST(BodyTest, DeepMultipartNestingBecomesText) {
    auto shallow = ParseMessage(NestedMultiparts(kMaxNesting - 1));
    EXPECT_EQ(shallow->Text, (TStringList{"deep text"}));
    auto deep = ParseMessage(NestedMultiparts(kMaxNesting + 100));
    ASSERT_FALSE(deep->Text.empty());
    EXPECT_EQ(deep->Text.front(), "--b" + std::to_string(kMaxNesting));
    EXPECT_EQ(deep->Text.back(), "deep text");
}

// Only content that would nest deeper becomes text: a named part at the deepest level is
// still an attachment.
TEST(BodyTest, ANamedPartAtTheNestingCapIsAnAttachment) {
    std::string text;
    for (int i = 0; i < kMaxNesting; ++i)
        text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) + "\n";
    auto msg = ParseMessage(text + "Content-Type: message/rfc822; name=fwd.eml\n\nSubject: inner\n\nbody\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "fwd.eml");
    EXPECT_EQ(msg->AttachedFiles.Items(0).Data, "Subject: inner\r\n\r\nbody");
    EXPECT_TRUE(msg->Text.empty());
}

TEST(BodyTest, DeepEmbeddedMessagesBecomeText) {
    std::string text;
    for (int i = 0; i < kMaxNesting + 100; ++i) text += "Content-Type: message/rfc822\n\n";
    text += "Subject: last\n\nbottom\n";
    auto msg = ParseMessage(text);
    ASSERT_FALSE(msg->Text.empty());
    EXPECT_EQ(msg->Text.back(), "bottom");
    EXPECT_EQ(msg->Text.front(), "Content-Type: message/rfc822");
}

TEST(CharsetTest, TextPartsBecomeUtf8) {
    auto msg = ParseMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
        "caf=E9 au lait\n"
        "--b\nContent-Type: text/plain; charset=koi8-r\nContent-Transfer-Encoding: base64\n\n"
        "wcI=\n"
        "--b\nContent-Type: text/plain; charset=\"utf-8\"\nContent-Transfer-Encoding: 8bit\n\n"
        "na\xC3\xAFve\n"
        "--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"caf\xC3\xA9 au lait", "\xD0\xB0\xD0\xB1", "na\xC3\xAFve"}));
}

TEST(CharsetTest, UndeclaredTextIsUtf8OrWindows1252) {
    auto msg = test::ParseRaw("Subject: x\r\n\r\nna\xC3\xAFve\r\n");
    EXPECT_EQ(msg->Text, (TStringList{"na\xC3\xAFve"}));
    msg = test::ParseRaw("Subject: x\r\n\r\ncaf\xE9\r\n\x93quoted\x94\r\n");
    EXPECT_EQ(msg->Text, (TStringList{"caf\xC3\xA9", "\xE2\x80\x9Cquoted\xE2\x80\x9D"}));
    msg = test::ParseRaw("Content-Type: text/plain; charset=utf-8\r\n\r\nbad \xFF byte\r\n");
    EXPECT_EQ(msg->Text, (TStringList{"bad \xEF\xBF\xBD byte"}));
}

// 8-bit header lines without encoded words, and bodies without a charset, in the scripts of
// the mail that old clients sent: each read right through the fallback chain.
struct UndeclaredHeaderCase {
    std::string name;
    std::string message;
    std::string storeCodePage;
    std::string subject;
    std::string from;
};

void PrintTo(const UndeclaredHeaderCase& c, std::ostream* os) { *os << c.name; }

class UndeclaredHeaderTest : public ::testing::TestWithParam<UndeclaredHeaderCase> {};

TEST_P(UndeclaredHeaderTest, SubjectAndSenderAreReadRight) {
    auto msg = std::make_unique<TMoxMsg>();
    msg->StoreCodePage = GetParam().storeCodePage;
    msg->SetRawText(test::Crlf(GetParam().message));
    msg->Parse();
    EXPECT_EQ(msg->Subject, GetParam().subject);
    EXPECT_EQ(msg->From, GetParam().from);
}

// "Привет" (hi), "Счёт за октябрь" (the October bill), "会議の予定について" (about the meeting
// schedule), "Иван" (Ivan).
INSTANTIATE_TEST_SUITE_P(
    Table, UndeclaredHeaderTest,
    ::testing::Values(
        UndeclaredHeaderCase{"Koi8rDeclaredByTheSecondPart",
                             "From: \xE9\xD7\xC1\xCE <ivan@example.ru>\nSubject: \xF0\xD2\xC9\xD7\xC5\xD4\n"
                             "Content-Type: multipart/alternative; boundary=b\n\n"
                             "--b\nContent-Type: text/plain\n\nx\n"
                             "--b\nContent-Type: text/html;\n charset=\"KOI8-R\"\n\n<p>x</p>\n--b--\n",
                             "", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
                             "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD <ivan@example.ru>"},
        UndeclaredHeaderCase{"Cp1251FromTheStoreCodePage",
                             "From: \xC8\xE2\xE0\xED <ivan@example.ru>\nSubject: \xCF\xF0\xE8\xE2\xE5\xF2\n\nx\n",
                             "windows-1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
                             "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD <ivan@example.ru>"},
        UndeclaredHeaderCase{
            "Cp1251FromTheDetector",
            "From: ivan@example.ru\nSubject: \xD1\xF7\xB8\xF2 \xE7\xE0 \xEE\xEA\xF2\xFF\xE1\xF0\xFC\n\nx\n", "",
            "\xD0\xA1\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 "
            "\xD0\xBE\xD0\xBA\xD1\x82\xD1\x8F\xD0\xB1\xD1\x80\xD1\x8C",
            "ivan@example.ru"},
        UndeclaredHeaderCase{
            "ShiftJisFromTheDetector",
            "From: taro@example.jp\nSubject: \x89\xEF\x8B\x63\x82\xCC\x97\x5C\x92\xE8\x82\xC9\x82\xC2\x82\xA2\x82\xC4\n"
            "Content-Type: text/plain; charset=us-ascii\n\nx\n",
            "",
            "\xE4\xBC\x9A\xE8\xAD\xB0\xE3\x81\xAE\xE4\xBA\x88\xE5\xAE\x9A\xE3\x81\xAB\xE3\x81\xA4\xE3\x81\x84\xE3\x81"
            "\xA6",
            "taro@example.jp"},
        UndeclaredHeaderCase{
            "WesternStaysWindows1252",
            "From: Ren\xE9 <rene@example.fr>\nSubject: R\xE9union de l'\xE9quipe \xE0 Gen\xE8ve\n\nx\n", "",
            "R\xC3\xA9union de l'\xC3\xA9quipe \xC3\xA0 Gen\xC3\xA8ve", "Ren\xC3\xA9 <rene@example.fr>"}));

TEST(CharsetTest, BodyWithoutCharsetTakesTheCharsetOfAnotherPart) {
    auto msg = ParseMessage(
        "Content-Type: multipart/alternative; boundary=b\n\n"
        "--b\nContent-Type: text/plain\n\n\xE4\xC1\n"
        "--b\nContent-Type: text/html; charset=koi8-r\n\n<p>\xE4\xC1</p>\n--b--\n");
    EXPECT_EQ(msg->Text, (TStringList{"\xD0\x94\xD0\xB0", "<p>\xD0\x94\xD0\xB0</p>"}));
}

TEST(CharsetTest, Utf16TextIsSplitAfterConversion) {
    std::string utf16("a\0\r\0\n\0b\0"s);
    auto msg = ParseMessage("Content-Type: text/plain; charset=utf-16le\nContent-Transfer-Encoding: base64\n\n" +
                            Base64Lines(utf16));
    EXPECT_EQ(msg->Text, (TStringList{"a", "b"}));
}

TEST(BodyTest, Rfc2231NamesAreDecoded) {
    auto msg = ParseMessage(
        "Content-Type: application/pdf\n"
        "Content-Disposition: attachment;\n filename*=utf-8''%E2%82%AC%20rates.pdf\n"
        "Content-Transfer-Encoding: base64\n\nJVBERg==\n");
    ASSERT_EQ(msg->AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg->AttachedFiles.Items(0).FileName, "\xE2\x82\xAC rates.pdf");
}

class SaveToFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/brindle-save-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string dir_;
};

TEST_F(SaveToFileTest, WritesAllOfDataIntoANewFileBesideAnOlderOne) {
    TAttachedFile item;
    item.Data = "new\0data"s;
    std::string path = dir_ + "/out.bin";
    { std::ofstream(path) << "an older and longer content"; }
    TTargetFolder folder(dir_);
    EXPECT_EQ(item.SaveToFile(folder, "out.bin", TIfExists::NextFreeName), "out (2).bin");
    EXPECT_EQ(test::ReadFile(dir_ + "/out (2).bin"), item.Data);
    EXPECT_EQ(test::ReadFile(path), "an older and longer content");
    item.Data.clear();
    EXPECT_EQ(item.SaveToFile(folder, "out.bin", TIfExists::Replace), "out.bin");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(SaveToFileTest, AFileThatCannotBeCreatedGivesTheFileLayerError) {
    TAttachedFile item;
    item.Data = "x";
    TTargetFolder folder(dir_ + "/missing");
    try {
        item.SaveToFile(folder, "out.bin", TIfExists::Fail);
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + dir_ + "/missing/out.bin");
    }
}

TEST(AttachedFilesTest, AddSetsTheNamesAndTheContentType) {
    TAttachedFiles files;
    TAttachedFile& item = files.Add("dir\\sub:report.pdf");
    EXPECT_EQ(item.PathName, "dir\\sub:report.pdf");
    EXPECT_EQ(item.FileName, "report.pdf");
    EXPECT_EQ(item.ContentType, ContentTypeOfFile("report.pdf"));
    EXPECT_EQ(files.Add("noext").ContentType, "application/octet-stream");
    EXPECT_EQ(files.Count(), 2u);
    EXPECT_EQ(&files.Items(0), &item);
    files.Clear();
    EXPECT_EQ(files.Count(), 0u);
}

// One message in every line-end shape: the raw text taken whole, from a list of lines or from
// a mapped file gives the same text body and the same attachments as its CR LF form.
std::string InShape(const std::string& lfText, int shape) {
    std::string out;
    size_t line = 0;
    for (char c : lfText) {
        if (c != '\n') {
            out += c;
            continue;
        }
        int kind = shape < 3 ? shape : static_cast<int>(line % 3);
        out += kind == 0 ? "\r\n" : kind == 1 ? "\n" : "\r";
        ++line;
    }
    return out;
}

void ExpectSameResult(const TMoxMsg& got, const TMoxMsg& want, const std::string& what) {
    EXPECT_EQ(got.Text, want.Text) << what;
    EXPECT_EQ(got.TextTypes, want.TextTypes) << what;
    EXPECT_EQ(got.Subject, want.Subject) << what;
    ASSERT_EQ(got.AttachedFiles.Count(), want.AttachedFiles.Count()) << what;
    for (size_t i = 0; i < got.AttachedFiles.Count(); ++i) {
        EXPECT_EQ(got.AttachedFiles.Items(i).FileName, want.AttachedFiles.Items(i).FileName) << what;
        EXPECT_EQ(got.AttachedFiles.Items(i).Data, want.AttachedFiles.Items(i).Data) << what << " item " << i;
    }
}

TEST(ParseTest, EveryLineEndShapeAndEveryWayInGiveTheSameResult) {
    const std::string lf =
        "Subject: shapes\n"
        "Content-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: text/plain\n\nfirst\n\nbegin 644 u.txt\n#86)C\n`\nend\nafter\n"
        "--b\nContent-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
        "caf=E9 soft=\nbreak\n\n"
        "--b\nContent-Type: application/octet-stream; name=\"d.bin\"\nContent-Transfer-Encoding: base64\n\n" +
        Base64Lines(std::string(300, '\x7f') + "\r\n\r") +
        "--b\nContent-Type: application/x-text; name=\"t.txt\"\n\nline one\n\nline three\n"
        "--b\nContent-Type: application/octet-stream; name=\"q.bin\"\nContent-Transfer-Encoding: quoted-printable\n\n"
        "a=0Db\nc=\n\n"
        "--b--\n";
    auto want = test::ParseRaw(InShape(lf, 0));
    ASSERT_EQ(want->AttachedFiles.Count(), 4u);
    EXPECT_EQ(want->Text, (TStringList{"first", "", "end", "after", "caf\xC3\xA9 softbreak", ""}));
    EXPECT_EQ(want->AttachedFiles.Items(0).Data, "abc");
    EXPECT_EQ(want->AttachedFiles.Items(1).Data, std::string(300, '\x7f') + "\r\n\r");
    EXPECT_EQ(want->AttachedFiles.Items(2).Data, "line one\r\n\r\nline three");
    EXPECT_EQ(want->AttachedFiles.Items(3).Data, "a\r\nb\r\nc");
    const std::string dir = test::PrivateTempDir();
    for (int shape = 0; shape < 4; ++shape) {
        const std::string raw = InShape(lf, shape);
        const std::string what = "shape " + std::to_string(shape);
        ExpectSameResult(*test::ParseRaw(raw), *want, what + " whole");
        TMoxMsg fromList;
        fromList.RawMail = SplitLines(raw);
        fromList.Parse();
        ExpectSameResult(fromList, *want, what + " from lines");
        const std::string path = dir + "/shape.eml";
        std::ofstream(path, std::ios::binary) << raw;
        TMoxMsg fromFile;
        fromFile.SetRawFile(TByteSource::OpenFile(path));
        fromFile.Parse();
        ExpectSameResult(fromFile, *want, what + " from a file");
        EXPECT_EQ(fromFile.RawMail, SplitLines(raw)) << what;
        unlink(path.c_str());
    }
}

}  // namespace
}  // namespace brindle
