// Where the header block ends, by the store's rule and by the tolerant one of display.
#include "platform/HeaderBlock.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

TEST(HeaderBlock, EndsAtTheFirstEmptyLineWhateverItsLineEnds) {
    struct TCase {
        const char* Name;
        std::string Text;
        std::string Header;  // what HeaderBlockOf shows
        std::string Body;    // from THeaderBlockEnd::Body; "-" for no empty line
    };
    const TCase cases[] = {
        {"CR LF", "A: 1\r\nB: 2\r\n\r\nbody\r\n", "A: 1\r\nB: 2", "body\r\n"},
        {"LF only", "A: 1\nB: 2\n\nbody\n", "A: 1\nB: 2", "body\n"},
        {"LF then CR LF", "A: 1\n\r\nbody", "A: 1", "body"},
        {"CR only", "A: 1\r\rbody", "A: 1", "body"},
        {"empty first line", "\r\nbody", "", "body"},
        {"no empty line", "A: 1\r\nB: 2\r\n", "A: 1\r\nB: 2", "-"},
        {"empty text", "", "", "-"},
        {"blank line of spaces is not empty", "A: 1\r\n \r\nB: 2", "A: 1\r\n \r\nB: 2", "-"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(HeaderBlockOf(c.Text), c.Header);
        const std::optional<THeaderBlockEnd> end = FindHeaderBlockEnd(c.Text);
        if (c.Body == "-") {
            EXPECT_FALSE(end);
            continue;
        }
        ASSERT_TRUE(end);
        EXPECT_EQ(c.Text.substr(end->Body), c.Body);
        EXPECT_LE(end->Header, end->Body);
        EXPECT_EQ(c.Text.substr(0, end->Header).find_last_not_of("\r\n") + 1, c.Header.size());
    }
}

// The store's rule knows only CR LF CR LF: an LF-only text has no stored header block.
TEST(HeaderBlock, StoredTextsFollowTheStoresRule) {
    EXPECT_EQ(StoredHeaderEnd("A: 1\r\n\r\nbody"), 4u);
    EXPECT_EQ(StoredHeaderEnd("A: 1\n\nbody"), std::string_view::npos);
    EXPECT_EQ(StoredHeaderEnd("A: 1\r\n\r\nX\r\n\r\n", 5), 9u);
}

}  // namespace
}  // namespace brindle
