#include "viewer/HtmlGuard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace brindle {
namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// The deepest nesting of a guarded text, whose tags are all written in the plain form; a
// table cell, row or header counts three.
size_t WeightedDepth(const std::string& html, size_t* tableElements) {
    std::vector<std::string> stack;
    size_t weight = 0, deepest = 0, tables = 0, deepestTables = 0;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        const size_t end = html.find('>', at);
        if (end == std::string::npos) break;
        const std::string tag = html.substr(at + 1, end - at - 1);
        if (tag.empty() || tag.back() == '/') continue;
        const bool closing = tag[0] == '/';
        const std::string name =
            tag.substr(closing ? 1 : 0,
                       tag.find(' ') == std::string::npos ? std::string::npos : tag.find(' ') - (closing ? 1 : 0));
        const bool tablePart = name == "table" || name == "tr" || name == "td" || name == "th";
        const size_t w = tablePart && name != "table" ? 3 : 1;
        if (closing) {
            EXPECT_FALSE(stack.empty()) << "end tag without start: " << name;
            if (stack.empty()) return 0;
            EXPECT_EQ(stack.back(), name);
            const bool wasTable =
                stack.back() == "table" || stack.back() == "tr" || stack.back() == "td" || stack.back() == "th";
            weight -= wasTable && stack.back() != "table" ? 3 : 1;
            if (wasTable) --tables;
            stack.pop_back();
        } else {
            stack.push_back(name);
            weight += w;
            if (tablePart) ++tables;
            deepest = std::max(deepest, weight);
            deepestTables = std::max(deepestTables, tables);
        }
    }
    if (tableElements) *tableElements = deepestTables;
    return deepest;
}

TEST(GuardHtml, WritesTagsInThePlainForm) {
    struct Case {
        const char* input;
        const char* output;
    };
    const std::vector<Case> cases = {
        {"<P CLASS=x>a &amp; b</P>", "<p class=\"x\">a &amp; b</p>"},
        {"a < b > c <3", "a &lt; b > c &lt;3"},
        {"x</ >y</>", "x&lt;/ >y&lt;/>"},
        {"<br><hr noshade>", "<br/><hr noshade/>"},
        {"<img src=x.png alt='say \"hi\" <now>'>", "<img src=\"x.png\" alt=\"say &quot;hi&quot; &lt;now&gt;\"/>"},
        {"<div/>text", "<div/>text"},
        {"<td nowrap width = 3>", "<td nowrap width=\"3\">"},
        {"<a href=\"x\" <b>y</a>", "<a href=\"x\">y</a>"},
        {"<!-- </div> --><div>x</div>", "<div>x</div>"},
        {"<!-- never closed <b>", ""},
        {"<!DOCTYPE html><?xml version=\"1.0\"?><p>x</p>", "<p>x</p>"},
        {"<script>if (a<b) document.write(\"<div>\")</script >after", "after"},
        {"<SCRIPT src=x.js/>kept", "kept"},
        {"<style>p { color: red } a<b</style><p>x</p>", "<style>p { color: red } a&lt;b</style><p>x</p>"},
        {"<style>p{}</styles><b>x</b>", "<style>p{}</style><b>x</b>"},
        {"<title>a<b>c", "<title>a&lt;b>c</title>"},
        {"</div></b>text</p>", "text"},
        {"<div><b>x</div>y", "<div><b>x</b></div>y"},
        {"<div><b>open", "<div><b>open"},
        {"<p>one<p>two", "<p>one</p><p>two"},
        {"<p><b>one<p>two", "<p><b>one</b></p><p>two"},
        {"<p>one<div><p>two</div>", "<p>one<div><p>two</p></div>"},
        {"<ul><li>a<li>b</ul>", "<ul><li>a</li><li>b</li></ul>"},
        {"<ul><li>a<ul><li>b</ul></ul>", "<ul><li>a<ul><li>b</li></ul></li></ul>"},
        {"<table><tr><td>1<td>2<tr><th>3</table>", "<table><tr><td>1</td><td>2</td></tr><tr><th>3</th></tr></table>"},
        {"<table><tr><td><table><tr><td>in</table>out</table>",
         "<table><tr><td><table><tr><td>in</td></tr></table>out</td></tr></table>"},
    };
    for (const Case& c : cases) EXPECT_EQ(GuardHtml(c.input), c.output) << c.input;
}

TEST(GuardHtml, DeepNestingStopsAtTheLimitAndKeepsTheText) {
    const std::string html = Repeat("<div>", 100000) + "deep text" + Repeat("</div>", 100000);
    const std::string guarded = GuardHtml(html);
    EXPECT_EQ(Count(guarded, "<div>"), THtmlLimits{}.maxNesting);
    EXPECT_EQ(Count(guarded, "</div>"), THtmlLimits{}.maxNesting);
    EXPECT_NE(guarded.find("deep text"), std::string::npos);
}

TEST(GuardHtml, NestedTablesStopAtEightLevelsAndDeeperCellsJoinTheLastOne) {
    const std::string html =
        Repeat("<table><tr><td>", 50) + "innermost" + Repeat("</td><td>cell</td></tr></table>", 50) + "after";
    const std::string guarded = GuardHtml(html);
    EXPECT_EQ(Count(guarded, "<table>"), 8u);
    EXPECT_EQ(Count(guarded, "<tr>"), 8u);
    EXPECT_EQ(Count(guarded, "<td>"), 16u);
    EXPECT_EQ(Count(guarded, "</table>"), 8u);
    EXPECT_NE(guarded.find("innermost"), std::string::npos);
    EXPECT_EQ(Count(guarded, "cell"), 50u);
    EXPECT_EQ(guarded.substr(guarded.size() - 13), "</table>after");
    size_t tables = 0;
    WeightedDepth(guarded, &tables);
    EXPECT_EQ(tables, THtmlLimits{}.maxTableElements);
}

TEST(GuardHtml, LargeTextInDeepTablesLosesTableLevelsUntilTheLayoutFits) {
    const std::string text(100000, 'w');
    const std::string html = Repeat("<table><tr><td>", 8) + text + Repeat("</td></tr></table>", 8);
    EXPECT_GT(GuardHtml(html, THtmlLimits{}).layoutCost, kHtmlLayoutBudget);
    const std::string guarded = GuardHtml(html);
    EXPECT_EQ(Count(guarded, "<table>"), 5u);
    EXPECT_EQ(Count(guarded, "w"), text.size());
    EXPECT_EQ(GuardHtml(Repeat("<table><tr><td>", 8) + "small" + Repeat("</td></tr></table>", 8)),
              Repeat("<table><tr><td>", 8) + "small" + Repeat("</td></tr></table>", 8));
}

TEST(GuardHtml, LongRunsWithoutBlanksGetBreakOpportunities) {
    const std::string word(1000, 'x');
    const std::string guarded = GuardHtml("<p>" + word + " &amp;" + std::string(300, 'y') + "</p>");
    EXPECT_EQ(Count(guarded, "\xE2\x80\x8B"), 1000u / 256 + 1);
    EXPECT_EQ(Count(guarded, "x"), 1000u);
    EXPECT_NE(guarded.find("&amp;"), std::string::npos);
    const std::string split = GuardHtml(Repeat("abcd<b></b>", 200));
    EXPECT_EQ(Count(split, "\xE2\x80\x8B"), 3u);
    const std::string lines = GuardHtml(Repeat("abcd<br>", 200));
    EXPECT_EQ(Count(lines, "\xE2\x80\x8B"), 0u);
    const std::string accents = GuardHtml(Repeat("\xC3\xA9", 300));
    EXPECT_EQ(Count(accents, "\xE2\x80\x8B"), 1u);
    EXPECT_EQ(accents.find("\xC3\xE2"), std::string::npos);
}

TEST(GuardHtml, LongListsAreClosedAndOpenedAgain) {
    const std::string guarded = GuardHtml("<ul class=\"x\">" + Repeat("<li>item", 1000) + "</ul>");
    EXPECT_EQ(Count(guarded, "<ul class=\"x\">"), 4u);
    EXPECT_EQ(Count(guarded, "</ul>"), 4u);
    EXPECT_EQ(Count(guarded, "<li>item</li>"), 1000u);
    const std::string wrapped = GuardHtml("<ol>" + Repeat("<b><li>item</li></b>", 600) + "</ol>");
    EXPECT_EQ(Count(wrapped, "<ol>"), 3u);
    EXPECT_EQ(Count(wrapped, "<li>"), 600u);
}

TEST(GuardHtml, ListItemsBeyondTheDocumentLimitAreLeftOut) {
    const std::string guarded = GuardHtml("<ul>" + Repeat("<li>item", 12000) + "</ul>");
    EXPECT_EQ(Count(guarded, "<li>"), THtmlLimits{}.maxAllListItems);
    EXPECT_EQ(Count(guarded, "item"), 12000u);
}

TEST(GuardHtml, ImagesBeyondTheLimitAreLeftOut) {
    const std::string guarded = GuardHtml(Repeat("<img src=\"cid:a\">", 1500) + "end");
    EXPECT_EQ(Count(guarded, "<img "), THtmlLimits{}.maxImages);
    EXPECT_NE(guarded.find("end"), std::string::npos);
}

TEST(GuardHtml, CellsWithoutTablesCountForTheTablesAroundThem) {
    const std::string guarded = GuardHtml(Repeat("<b><td>", 5000) + "x");
    size_t tables = 0;
    EXPECT_LE(WeightedDepth(guarded, &tables), THtmlLimits{}.maxNesting);
    EXPECT_LE(tables, THtmlLimits{}.maxTableElements);
}

TEST(GuardHtml, EndTagsHiddenInCommentsDoNotLowerTheCount) {
    const std::string html = Repeat("<div><!--</div>-->", 2000) + "x";
    const std::string guarded = GuardHtml(html);
    EXPECT_EQ(Count(guarded, "<div>"), THtmlLimits{}.maxNesting);
    EXPECT_EQ(guarded.find("</div>"), std::string::npos);
}

TEST(GuardHtml, EndTagsInsideAttributeValuesAreNotTags) {
    const std::string html = Repeat("<span title='</span>'>", 1000) + "x";
    const std::string guarded = GuardHtml(html);
    EXPECT_EQ(Count(guarded, "<span "), THtmlLimits{}.maxNesting);
    EXPECT_EQ(Count(guarded, "<span title=\"&lt;/span&gt;\">"), THtmlLimits{}.maxNesting);
    EXPECT_EQ(guarded.find("</span>"), std::string::npos);
}

// Random tag soup: the result keeps within the limits, its end tags match, and guarding it
// again changes nothing.
TEST(GuardHtml, RandomTagSoupStaysWithinTheLimitsAndIsStable) {
    const std::vector<std::string> pieces = {"<div>",
                                             "</div>",
                                             "<p>",
                                             "</p>",
                                             "<b>",
                                             "</b>",
                                             "<table>",
                                             "</table>",
                                             "<tr>",
                                             "</tr>",
                                             "<td>",
                                             "</td>",
                                             "<th x=1>",
                                             "<li>",
                                             "</li>",
                                             "<ul>",
                                             "</ul>",
                                             "<br>",
                                             "<img src='a>b'>",
                                             "<!--",
                                             "-->",
                                             "<!x>",
                                             "<",
                                             ">",
                                             "</",
                                             "/>",
                                             "\"",
                                             "'",
                                             "=",
                                             " ",
                                             "text",
                                             "&amp;",
                                             "<script>",
                                             "</script>",
                                             "<style>",
                                             "</style>",
                                             "<a href=",
                                             "<span title=\"",
                                             "<?",
                                             "\n",
                                             "<P",
                                             "</TD",
                                             "<td/>",
                                             "<font color=red>",
                                             std::string(100, 'z'),
                                             "\xE2\x80\x8B",
                                             "\xC3\xA9",
                                             "&#233;"};
    std::mt19937 random(20240903);
    const THtmlLimits limits{40, 9, 5, 60, 3};
    for (int round = 0; round < 3000; ++round) {
        std::string html;
        const size_t count = random() % 200;
        for (size_t i = 0; i < count; ++i) html += pieces[random() % pieces.size()];
        const std::string guarded = GuardHtml(html, limits).html;
        size_t tables = 0;
        EXPECT_LE(WeightedDepth(guarded, &tables), limits.maxNesting) << html;
        EXPECT_LE(tables, limits.maxTableElements) << html;
        EXPECT_LE(Count(guarded, "<img"), limits.maxImages) << html;
        EXPECT_EQ(GuardHtml(guarded, limits).html, guarded) << html;
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace brindle
