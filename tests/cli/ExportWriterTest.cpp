// The export writer: the same bytes as the saved-message rule, and errors in message order.
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
    };
    std::string scratch;
    for (const auto& text : cases) EXPECT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEnds(text)) << text;

    // Random texts over an alphabet rich in line-end characters.
    std::mt19937 random(12345);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\r', '\n', ' ', '\0'};
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 40, ' ');
        for (char& c : text) c = alphabet[random() % (round % 2 ? 7 : 8)];
        ASSERT_EQ(NormalizedLineEnds(text, scratch), NormalizeLineEnds(text)) << ::testing::PrintToString(text);
    }
}

TEST(ExportWriter, CleanTextIsNotCopied) {
    std::string text = "A: 1\r\n\r\nbody\r\n";
    std::string scratch;
    EXPECT_EQ(NormalizedLineEnds(text, scratch).data(), text.data());
}

TEST(ExportWriter, WritesEveryFileWithAndWithoutWorkers) {
    for (unsigned workers : {0u, 1u, 2u}) {
        TTempDir dir;
        TExportWriter writer(workers);
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(writer.Submit(i, dir / (std::to_string(i) + ".eml"), "n\n" + std::to_string(i)));
        writer.Finish();
        auto files = test::FilesIn(dir.Path());
        ASSERT_EQ(files.size(), 200u) << workers;
        EXPECT_EQ(files["7.eml"], "n\r\n7\r\n");
    }
}

TEST(ExportWriter, ReportsTheFirstFailureInSubmissionOrder) {
    for (unsigned workers : {0u, 2u}) {
        TTempDir dir;
        TExportWriter writer(workers);
        bool accepted = true;
        for (int i = 0; i < 50 && accepted; ++i) {
            std::string path = i == 20 || i == 30 ? dir / ("missing/" + std::to_string(i)) : dir / std::to_string(i);
            accepted = writer.Submit(i, path, "x");
        }
        try {
            writer.Finish();
            ADD_FAILURE() << "no error reported";
        } catch (const EFCreateError& error) {
            EXPECT_EQ(error.Message(), "Cannot create file " + (dir / "missing/20")) << workers;
        }
        for (int i = 0; i < 20; ++i) EXPECT_TRUE(std::filesystem::exists(dir / std::to_string(i))) << i;
    }
}

}  // namespace
}  // namespace brindle
