#include "viewer/TextLines.h"

#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle {
namespace {

// The lines of the text, each put together from its rows.
std::vector<std::string> LinesOf(const TTextLines& text) {
    std::vector<std::string> lines;
    if (text.RowCount() == 0) return lines;
    TTextLines::TRow row = text.Row(0);
    for (size_t index = 0; index < text.RowCount(); ++index) {
        if (index > 0) row = text.NextRow(row);
        if (!row.continuation) lines.emplace_back();
        EXPECT_EQ(row.line, lines.size() - 1);
        lines.back() += text.Bytes().substr(row.begin, row.end - row.begin);
    }
    return lines;
}

TEST(TextLines, SplitsAtEveryKindOfLineEnd) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\n\n", {"a", ""}},
        {"\n", {""}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\n\rb\r", {"a", "", "b"}},
        // A NUL is not shown; the text after it is.
        {std::string("x\0y\nz", 5), {"xy", "z"}},
    };
    for (const Case& c : cases) {
        const TTextLines text(c.text);
        EXPECT_EQ(LinesOf(text), c.lines) << c.text;
        EXPECT_EQ(text.LineCount(), c.lines.size()) << c.text;
        EXPECT_EQ(text.RowCount(), c.lines.size()) << c.text;
    }
}

TEST(TextLines, RowsFoundByNumberOffsetAndLineAcrossCheckpoints) {
    std::string raw;
    std::vector<size_t> begins;
    const char* const ends[] = {"\n", "\r\n", "\r"};
    for (int i = 0; i < 1000; ++i) {
        begins.push_back(raw.size());
        raw += "line " + std::to_string(i) + ends[i % 3];
    }
    const TTextLines text(raw);
    ASSERT_EQ(text.RowCount(), 1000u);
    for (size_t i : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{500}, size_t{999}}) {
        const TTextLines::TRow row = text.Row(i);
        EXPECT_EQ(row.begin, begins[i]);
        EXPECT_EQ(text.Bytes().substr(row.begin, row.end - row.begin), "line " + std::to_string(i));
        EXPECT_EQ(text.RowAt(begins[i]), i);
        EXPECT_EQ(text.RowAt(row.end), i) << "a line end belongs to its row";
        EXPECT_EQ(text.FirstRowOfLine(i), i);
    }
    EXPECT_EQ(text.RowAt(raw.size()), 999u);
}

TEST(TextLines, LongLinesAreCutIntoRowsBeforeALeadByte) {
    std::string euros;
    for (int i = 0; i < 20000; ++i) euros += "\xE2\x82\xAC";  // three bytes each
    const TTextLines text(euros + "\nshort\n");
    EXPECT_EQ(text.LineCount(), 2u);
    const std::vector<std::string> lines = LinesOf(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], euros);
    EXPECT_EQ(lines[1], "short");
    const size_t rowsOfFirstLine = text.FirstRowOfLine(1);
    EXPECT_EQ(rowsOfFirstLine, euros.size() / (TTextLines::kMaxRowBytes / 3 * 3) + 1);
    for (size_t i = 0; i < rowsOfFirstLine; ++i) {
        const TTextLines::TRow row = text.Row(i);
        EXPECT_EQ(row.continuation, i > 0);
        EXPECT_LE(row.end - row.begin, TTextLines::kMaxRowBytes);
        EXPECT_TRUE(IsValidUtf8(text.Bytes().substr(row.begin, row.end - row.begin))) << i;
    }
    EXPECT_EQ(text.LongestRowBytes(), TTextLines::kMaxRowBytes / 3 * 3);
    EXPECT_EQ(text.ShownText(0, euros.size() + 1), euros + "\n");
}

TEST(TextLines, ShownTextDecodesEachRowAloneAndEndsLinesWithLf) {
    const std::string raw = "caf\xC3\xA9\r\ncaf\xE9\r\n\r\nlast";
    const TTextLines text(raw);
    EXPECT_EQ(text.ShownText(0, raw.size()), "caf\xC3\xA9\ncaf\xC3\xA9\n\nlast");
    EXPECT_EQ(text.ShownText(2, 9), "f\xC3\xA9\nca") << "a piece of each line, one LF for CR LF";
    EXPECT_EQ(text.ShownText(4, 5), "\xC3\xA9") << "an offset inside a character takes all of it";
    EXPECT_EQ(text.ShownText(3, 4), "");
    EXPECT_EQ(text.ShownText(9, 11), "f\xC3\xA9");
    EXPECT_EQ(text.ShownText(raw.size(), raw.size()), "");
}

TEST(ShownPosition, CountsUtf16UnitsOfTheShownRow) {
    struct Case {
        std::string bytes;
        size_t offset;
        size_t position;
    };
    const std::vector<Case> cases = {
        {"abc", 2, 2},           {"\xC3\xA9x", 2, 1}, {"\xC3\xA9x", 1, 0}, {"\xF0\x9F\x98\x80x", 4, 2},
        {"caf\xE9 \x80!", 6, 6}, {"abc", 9, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownPosition(c.bytes, c.offset), c.position) << c.bytes << " at " << c.offset;
        if (c.offset <= c.bytes.size() && (c.offset == c.bytes.size() || (c.bytes[c.offset] & 0xC0) != 0x80)) {
            EXPECT_EQ(ByteOffset(c.bytes, c.position), c.offset) << c.bytes << " at " << c.position;
        }
    }
    EXPECT_EQ(ByteOffset("\xF0\x9F\x98\x80x", 1), 0u) << "inside a surrogate pair";
    EXPECT_EQ(ShownRow("caf\xE9"), "caf\xC3\xA9");
}

}  // namespace
}  // namespace brindle
