// Cross-check with the peer extractor undbx: for every message of every real .dbx store of the
// corpus and of the demo store, the bytes undbx extracts equal `brindle-cli text`. undbx names
// its files by sender, receiver, subject and a hash, so messages are paired by content.
#include "CliTestSupport.h"
#include "StoreWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace brindle {
namespace {

using test::RunTool;
using test::TTempDir;

bool UndbxInstalled() { return std::system("command -v undbx >/dev/null 2>&1") == 0; }

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> StoresToCheck() {
    std::vector<std::string> stores;
    std::string corpus = test::CorpusPath("dbx");
    if (std::filesystem::is_directory(corpus))
        for (const auto& entry : std::filesystem::directory_iterator(corpus))
            if (entry.path().extension() == ".dbx") stores.push_back(entry.path().string());
    std::string demo = std::string(BRINDLE_SOURCE_DIR) + "/samples/Demo.dbx";
    if (std::filesystem::exists(demo)) stores.push_back(demo);
    std::sort(stores.begin(), stores.end());
    return stores;
}

// Every file that undbx wrote, at any depth, by content.
std::multiset<std::string> UndbxExtract(const std::string& store, const std::string& dir) {
    std::string command = "undbx -v 0 " + ShellQuoted(store) + " " + ShellQuoted(dir) + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::multiset<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.insert(test::ReadFile(entry.path().string()));
    return files;
}

TEST(UndbxCrossCheck, EveryMessageExtractsToTheSameBytes) {
    if (!UndbxInstalled()) GTEST_SKIP() << "undbx is not installed";
    std::vector<std::string> stores = StoresToCheck();
    if (stores.empty()) GTEST_SKIP() << "no .dbx store found";
    for (const std::string& store : stores) {
        SCOPED_TRACE(store);
        TTempDir dir;
        std::multiset<std::string> extracted = UndbxExtract(store, dir.Path());

        auto info = RunTool({"info", "--json", store});
        ASSERT_EQ(info.status, 0) << info.err;
        size_t at = info.out.find("\"count\": ");
        ASSERT_NE(at, std::string::npos);
        int count = std::stoi(info.out.substr(at + 9));
        EXPECT_EQ(extracted.size(), static_cast<size_t>(count));

        for (int i = 0; i < count; ++i) {
            auto text = RunTool({"text", store, std::to_string(i)});
            ASSERT_EQ(text.status, 0) << text.err;
            auto match = extracted.find(text.out);
            if (match == extracted.end()) {
                ADD_FAILURE() << "message " << i << " (" << text.out.size() << " bytes) differs from undbx";
                continue;
            }
            extracted.erase(match);
        }
        EXPECT_TRUE(extracted.empty()) << extracted.size() << " undbx files match no message";
    }
}

// The one difference found: undbx copies a data block whole, NUL bytes included, while the
// reader ends each block's text at its first NUL (the next block's text follows directly).
TEST(UndbxCrossCheck, ANulKeepsTheBytesAfterItAsUndbxKeepsThem) {
    if (!UndbxInstalled()) GTEST_SKIP() << "undbx is not installed";
    TTempDir dir;
    testsupport::TStoreMessage m;
    m.Subject = "nul";
    m.Text = std::string("Subject: nul\r\n\r\nbefore\0after\r\n", 29);  // one 512-byte block
    std::string store = dir / "Nul.dbx";
    test::WriteFile(store, testsupport::BuildDbx({m}));
    std::multiset<std::string> extracted = UndbxExtract(store, dir / "out");
    ASSERT_EQ(extracted.size(), 1u);
    EXPECT_EQ(*extracted.begin(), m.Text);
    auto text = RunTool({"text", store, "0"});
    EXPECT_EQ(text.out, m.Text);
}

}  // namespace
}  // namespace brindle
