// Saved-message writing: the same bytes as the saved-message rule, whichever path the check
// takes, and the file errors.
#include "CliTestSupport.h"
#include "cli/ExportWriter.h"
#include "platform/Exceptions.h"
#include "platform/StringList.h"

#include <gtest/gtest.h>

#include <random>

namespace brindle {
namespace {

using test::TTempDir;

TEST(ExportWriter, LineEndsAsTheSavedMessageRule) {
    const std::string cases[] = {
        "", "\r\n", "a", "a\r\n", "a\n", "a\r", "\r", "\n", "\r\r\n\n", "a\r\nb\nc\rd", "x\r\n\r\n",
        std::string("a\r\nb\0c\r\n", 8), std::string("\0abc", 4), "ends with CR LF CR\r\n\r",
        // CR LF across the sixteen-byte steps of the check.
        "fifteen bytes!\r\nnext\r\n", "sixteen  bytes!\r\nnext\r\n", std::string(31, 'x') + "\r\n",
        std::string(15, 'x') + "\r" + std::string(15, 'y') + "\r\n", std::string(16, 'x') + "\n\r\n",
    };
    std::string scratch;
    for (const auto& text : cases)
        EXPECT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEnds(text)) << ::testing::PrintToString(text);
}

TEST(ExportWriter, RandomTextsMatchTheRule) {
    std::mt19937 random(12345);
    std::string scratch;
    const char noise[] = {'\r', '\n', '\0', 'z'};
    for (int round = 0; round < 5000; ++round) {
        // Mostly well-formed lines of random lengths, with now and then a stray byte.
        std::string text;
        int lines = static_cast<int>(random() % 6);
        for (int l = 0; l < lines; ++l) text += std::string(random() % 40, 'a') + "\r\n";
        if (round % 3 == 0 && !text.empty()) text[random() % text.size()] = noise[random() % 4];
        if (round % 7 == 0) text += "tail";
        ASSERT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEnds(text)) << ::testing::PrintToString(text);
    }
}

TEST(ExportWriter, CleanTextIsNotCopied) {
    std::string text = "A: 1\r\n\r\n" + std::string(100, 'b') + "\r\n";
    std::string scratch;
    EXPECT_EQ(NormalizedLineEnds(text, scratch).data(), text.data());
}

TEST(ExportWriter, WholeFileReplacedOrCreateErrorNamed) {
    TTempDir dir;
    test::WriteFile(dir / "a.eml", std::string(1000, 'x'));
    WriteWholeFile(dir / "a.eml", "new\r\n");
    EXPECT_EQ(test::ReadFile(dir / "a.eml"), "new\r\n");
    try {
        WriteWholeFile(dir / "none/b.eml", "x");
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(), "Cannot create file " + (dir / "none/b.eml"));
    }
}

}  // namespace
}  // namespace brindle
