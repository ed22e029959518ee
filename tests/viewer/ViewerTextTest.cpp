#include "viewer/ViewerText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle {
namespace {

TEST(IsDesktopLink, OnlyWebAndMailSchemesAtTheStartInAnyCase) {
    struct Case {
        const char* target;
        bool desktop;
    };
    const std::vector<Case> cases = {
        {"http://example.com/", true},
        {"HTTP://EXAMPLE.COM/", true},
        {"Http:relative", true},
        {"https://example.com/", true},
        {"HTTPS://example.com/", true},
        {"mailto:someone@example.com", true},
        {"MailTo:someone@example.com", true},
        {"ftp://example.com/", false},
        {"#anchor", false},
        {"", false},
        {"http", false},
        {"https", false},
        {" http://example.com/", false},
        {"file:///usr/bin/xterm#http:", false},
        {"C:\\Windows\\System32\\calc.exe#http:", false},
        {"/usr/bin/xterm?HTTP://x", false},
        {"javascript:alert('http:')", false},
        {"httpx://example.com/", false},
        {"mailto", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsDesktopLink(c.target), c.desktop) << c.target;
}

TEST(HasHtmlPart, TrueOnlyWhenAPartWasHtml) {
    EXPECT_FALSE(HasHtmlPart({}));
    EXPECT_FALSE(HasHtmlPart({"text/plain"}));
    EXPECT_FALSE(HasHtmlPart({"text/plain", "text/enriched"}));
    EXPECT_TRUE(HasHtmlPart({"text/plain", "text/html"}));
    EXPECT_TRUE(HasHtmlPart({"text/html"}));
}

TEST(PlainTextToHtml, EscapesMarkupAndKeepsLineBreaks) {
    const std::string html = PlainTextToHtml("Mail <a@b.example> & \"quotes\"\r\nsecond  line\r\n");
    EXPECT_NE(html.find("Mail &lt;a@b.example&gt; &amp; &quot;quotes&quot;\nsecond  line\n"), std::string::npos)
        << html;
    EXPECT_NE(html.find("white-space: pre-wrap"), std::string::npos);
    EXPECT_EQ(html.find("<a@"), std::string::npos);
}

TEST(PlainTextToHtml, LoneCarriageReturnAlsoBreaksTheLine) {
    EXPECT_NE(PlainTextToHtml("one\rtwo").find("one\ntwo"), std::string::npos);
}

TEST(PlainTextToHtml, MarkupInTheTextStaysText) {
    const std::string html = PlainTextToHtml("</p><script>x</script><img src=\"http://t.example/p.gif\">");
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("</p><"), html.rfind("</p></body>"));
}

TEST(BreakLongRuns, AddsAZeroWidthSpaceAfterEveryLongRunOfCharacters) {
    const std::string zwsp = "\xE2\x80\x8B";
    EXPECT_EQ(BreakLongRuns(std::string(256, 'a')), std::string(256, 'a'));
    EXPECT_EQ(BreakLongRuns(std::string(257, 'a')), std::string(256, 'a') + zwsp + "a");
    EXPECT_EQ(BreakLongRuns(std::string(200, 'a') + " " + std::string(200, 'b')),
              std::string(200, 'a') + " " + std::string(200, 'b'));
    std::string accents;
    for (int i = 0; i < 257; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(BreakLongRuns(accents), accents.substr(0, 512) + zwsp + "\xC3\xA9");
    const std::string broken = BreakLongRuns(std::string(600, 'a'));
    EXPECT_EQ(BreakLongRuns(broken), broken);
    EXPECT_NE(PlainTextToHtml(std::string(300, 'a')).find(zwsp), std::string::npos);
}

TEST(HasLongUnbrokenRun, CountsCharactersBetweenBlanks) {
    EXPECT_FALSE(HasLongUnbrokenRun(std::string(kMaxUnbrokenRun, 'a')));
    EXPECT_TRUE(HasLongUnbrokenRun(std::string(kMaxUnbrokenRun + 1, 'a')));
    EXPECT_FALSE(HasLongUnbrokenRun(std::string(200, 'a') + "\t" + std::string(200, 'b')));
    std::string accents;
    for (size_t i = 0; i < kMaxUnbrokenRun; ++i) accents += "\xC3\xA9";
    EXPECT_FALSE(HasLongUnbrokenRun(accents));
    EXPECT_TRUE(HasLongUnbrokenRun(accents + "x"));
}

TEST(HtmlAsPlainText, KeepsTheTextAndDropsMarkupScriptsAndComments) {
    struct Case {
        const char* html;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"<p>Hello <b>world</b></p>", "Hello world\n"},
        {"one<br>two<BR/>three", "one\ntwo\nthree"},
        {"a<p></p><p></p><p></p>b", "a\n\nb"},
        {"  spaced \r\n\t out  ", "spaced out"},
        {"<script>document.write('<p>x</p>')</script>kept", "kept"},
        {"<STYLE>p { color: red }</Style>kept", "kept"},
        {"<script>never closed <p>lost", ""},
        {"a<!-- <p>hidden</p> -->b", "ab"},
        {"a<!-- never closed", "a"},
        {"&lt;tag&gt; &amp; &quot;q&quot; &apos;", "<tag> & \"q\" '"},
        {"&#65;&#x42;&#X63;", "ABc"},
        {"&#0;&#x1F600;&#99999999;", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"&#99999999999999;", "&#99999999999999;"},
        {"&nbsp;|&euro;", "\xC2\xA0|\xE2\x82\xAC"},
        {"Gr&uuml;&szlig;e &eacute;t&eacute; &Omega;", "Gr\xC3\xBC\xC3\x9F" "e \xC3\xA9t\xC3\xA9 \xCE\xA9"},
        {"&Uuml;ber &uuml;ber &zwnj;", "\xC3\x9C" "ber \xC3\xBC" "ber \xE2\x80\x8C"},
        {"AT&T &unknown; &#xZZ; &", "AT&T &unknown; &#xZZ; &"},
        {"<td>1</td><td>2</td>", "1 2"},
        {"x < y", "x"},
        {"unclosed <b", "unclosed"},
        {"<p>one</p><p>two</p><p>three</p>", "one\n\ntwo\n\nthree\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(HtmlAsPlainText(c.html), c.text) << c.html;
}

}  // namespace
}  // namespace brindle
