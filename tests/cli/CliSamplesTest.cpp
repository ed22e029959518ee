// The committed demo files: current with their generator, and holding what the demo needs.
#include "CliTestSupport.h"
#include "SampleStores.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::RunTool;
using test::TTempDir;

std::string Sample(const std::string& name) { return std::string(BRINDLE_SOURCE_DIR) + "/samples/" + name; }

TEST(Samples, CommittedFilesMatchTheirGenerator) {
    TTempDir dir;
    samples::WriteSamples(dir.Path());
    for (const char* name : {"Demo.dbx", "Demo.mbx", "Demo.idx", "Welcome.eml", "Mailbox/Folders.dbx",
                             "Mailbox/Inbox.dbx", "Mailbox/Projects.dbx", "Mailbox/Outbox.dbx",
                             "Mailbox/Sent Items.dbx", "Mailbox/Deleted Items.dbx", "Mailbox/Drafts.dbx"}) {
        ASSERT_TRUE(std::filesystem::exists(Sample(name))) << name << ": run tools/make-samples.sh";
        EXPECT_TRUE(test::ReadFile(dir / name) == test::ReadFile(Sample(name)))
            << name << " is stale: run tools/make-samples.sh";
    }
}

TEST(Samples, DemoStoresShowEveryFeature) {
    for (const char* store : {"Demo.dbx", "Demo.mbx"}) {
        SCOPED_TRACE(store);
        auto list = RunTool({"list", "--json", Sample(store)});
        ASSERT_EQ(list.status, 0) << list.err;
        EXPECT_NE(list.out.find("\"Priority\": 1\n"), std::string::npos);
        EXPECT_NE(list.out.find("\"Priority\": 5\n"), std::string::npos);
        EXPECT_NE(list.out.find("\"Flags\": 160,"), std::string::npos);    // read and flagged
        EXPECT_NE(list.out.find("\"Flags\": 16416,"), std::string::npos);  // attachment, flagged, unread
        EXPECT_NE(list.out.find("\"Flags\": 0,"), std::string::npos);      // unread
        auto info = RunTool({"info", Sample(store)});
        EXPECT_TRUE(info.out.ends_with("Count: 8\n")) << info.out;
    }
    const std::pair<int, const char*> subjects[] = {
        {0,
         "Gr\xC3\xBC\xC3\x9F"
         "e aus M\xC3\xBCnchen"},
        {1, "Caf\xC3\xA9 \xF0\x9F\x8D\xB0 um drei?"},
        {2,
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xB8\xD0\xB7 "
         "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD1\x8B"},
        {3, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x81\x8A\xE7\x9F\xA5\xE3\x82\x89\xE3\x81\x9B"},
        {7, "Men\xC3\xBC \xE2\x80\x93 today\xE2\x80\x99s specials \xE2\x82\xAC 5"},
    };
    for (const auto& [index, subject] : subjects) {
        auto show = RunTool({"show", Sample("Demo.dbx"), std::to_string(index), "--json"});
        ASSERT_EQ(show.status, 0) << show.err;
        EXPECT_NE(show.out.find("\"Subject\": \"" + std::string(subject) + "\""), std::string::npos) << show.out;
    }
    TTempDir dir;
    ASSERT_EQ(RunTool({"attachments", Sample("Demo.dbx"), "4", dir.Path()}).status, 0);
    ASSERT_EQ(RunTool({"attachments", Sample("Demo.mbx"), "5", dir.Path()}).status, 0);
    auto files = test::FilesIn(dir.Path());
    ASSERT_TRUE(files.count("lake.png"));
    EXPECT_TRUE(files["lake.png"].starts_with("\x89PNG\r\n\x1A\n"));
    ASSERT_TRUE(files.count("figures.pdf"));
    EXPECT_TRUE(files["figures.pdf"].starts_with("%PDF-1.4\n"));
    EXPECT_TRUE(files["figures.pdf"].ends_with("%%EOF\n"));
}

TEST(Samples, WelcomeMessage) {
    auto show = RunTool({"show", Sample("Welcome.eml")});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("Subject: Welcome to Brindle \xE2\x9C\x89\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("Attachments: 1\n  brindle.png\timage/png\t"), std::string::npos);
}

}  // namespace
}  // namespace brindle
