// Every store command on the real folder files of the corpus, against the values their
// sources publish.
#include "CliTestSupport.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace brindle {
namespace {

using test::CorpusHas;
using test::CorpusPath;
using test::RunTool;
using test::TTempDir;

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

// Lines of an output that ends every line with LF.
std::vector<std::string> OutputLines(const std::string& out) {
    std::vector<std::string> lines = SplitAt(out, '\n');
    EXPECT_EQ(lines.back(), "") << "output ends with a line break";
    lines.pop_back();
    return lines;
}

class CliCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CorpusHas("dbx/mtdbx_test.dbx")) GTEST_SKIP() << "corpus absent";
    }
    static std::string Dbx(const std::string& name) { return CorpusPath("dbx/" + name); }
};

TEST_F(CliCorpus, InfoOfEveryStore) {
    const std::pair<const char*, int> stores[] = {
        {"iped_test_OutlookDBX.dbx", 28}, {"mtdbx_test.dbx", 1}, {"mtdbx_test1.dbx", 1}, {"dbxconvert_test.dbx", 2}};
    for (const auto& [name, count] : stores) {
        auto json = RunTool({"info", Dbx(name), "--json"});
        ASSERT_EQ(json.status, 0) << json.err;
        EXPECT_TRUE(json.out.starts_with("{\n  \"kind\": 2,\n  \"folder\": ")) << json.out;
        EXPECT_NE(json.out.find("\n  \"count\": " + std::to_string(count) + "\n}\n"), std::string::npos) << json.out;
        auto text = RunTool({"info", Dbx(name)});
        ASSERT_EQ(text.status, 0);
        auto lines = OutputLines(text.out);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "Kind: 2");
        EXPECT_TRUE(lines[1].starts_with("Folder: "));
        EXPECT_EQ(lines[2], "Count: " + std::to_string(count));
    }
}

TEST_F(CliCorpus, ListRowsCarryThePublishedValues) {
    struct Row {
        const char* store;
        int index;
        const char* received;
        const char* size;
        const char* sender;
        const char* subject;
    };
    const Row rows[] = {
        {"mtdbx_test.dbx", 0, "2002-04-14T00:27:57Z", "16993", "Wealth_Enterprises_2002",
         "Please read you won't be sorry........"},
        {"mtdbx_test1.dbx", 0, "2002-06-17T20:02:30Z", "2710", "noreply@freshmeat.net",
         "[fmII] centericq 4.7.5 released (Default branch)"},
        {"dbxconvert_test.dbx", 0, "2016-09-11T22:58:32Z", "1195", nullptr, "Subject #1"},
        {"dbxconvert_test.dbx", 1, "2016-09-11T23:02:53Z", "18490", nullptr, "Subject #2"},
    };
    for (const auto& row : rows) {
        auto run = RunTool({"list", Dbx(row.store)});
        ASSERT_EQ(run.status, 0) << run.err;
        auto lines = OutputLines(run.out);
        ASSERT_GT(lines.size(), static_cast<size_t>(row.index));
        auto cells = SplitAt(lines[row.index], '\t');
        ASSERT_EQ(cells.size(), 6u) << lines[row.index];
        EXPECT_EQ(cells[0], std::to_string(row.index));
        EXPECT_EQ(cells[1].size(), 8u);
        EXPECT_EQ(cells[1].find_first_not_of("0123456789ABCDEF"), std::string::npos) << cells[1];
        EXPECT_EQ(cells[2], row.received);
        EXPECT_EQ(cells[3], row.size);
        if (row.sender) {
            EXPECT_EQ(cells[4], row.sender);
        } else {
            EXPECT_TRUE(cells[4].starts_with("Ro")) << cells[4];
        }
        EXPECT_EQ(cells[5], row.subject);
    }
}

TEST_F(CliCorpus, ListJsonHoldsEveryFieldByName) {
    auto run = RunTool({"list", "--json", Dbx("mtdbx_test.dbx")});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> keys;
    for (const std::string& line : OutputLines(run.out)) {
        if (!line.starts_with("    \"")) continue;
        keys.push_back(line.substr(5, line.find("\": ") - 5));
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Index", "Flags", "DataOffset", "MessageID", "Subject", "Server",
                                              "SenderName", "SenderAddress", "Received", "DateText", "ReceiverName",
                                              "ReceiverAddress", "AccountName", "Size", "Priority"}));
    EXPECT_TRUE(run.out.starts_with("[\n  {\n")) << run.out;
    EXPECT_TRUE(run.out.ends_with("  }\n]\n"));
    EXPECT_NE(run.out.find("\"MessageID\": \"<200204140027.g3E0RlgZ025299@ue250-1.rz.RWTH-Aachen.DE>\""),
              std::string::npos);
    EXPECT_NE(run.out.find("\"SenderAddress\": \"off_1@webstation.com\""), std::string::npos);
    EXPECT_NE(run.out.find("\"ReceiverAddress\": \"<tassilo.parseval@post.rwth-aachen.de>\""), std::string::npos);
    EXPECT_NE(run.out.find("\"AccountName\": \"pbox.dialup.rwth-aachen.de\""), std::string::npos);
    EXPECT_NE(run.out.find("\"Size\": 16993"), std::string::npos);
    // 2002-04-14 is day 37360; 00:27:57 is 1677 seconds into it.
    size_t received = run.out.find("\"Received\": ");
    ASSERT_NE(received, std::string::npos);
    double value = std::stod(run.out.substr(received + 12));
    EXPECT_NEAR(value, 37360 + 1677 / 86400.0, 1e-8);
}

TEST_F(CliCorpus, HeaderAndTextAreTheStoredBytes) {
    auto text = RunTool({"text", Dbx("mtdbx_test1.dbx"), "0"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.size(), 2710u);
    auto header = RunTool({"header", Dbx("mtdbx_test1.dbx"), "0"});
    ASSERT_EQ(header.status, 0) << header.err;
    ASSERT_FALSE(header.out.empty());
    // The header block runs up to and including the CR that begins the first CR LF CR LF.
    EXPECT_EQ(header.out.size(), text.out.find("\r\n\r\n") + 1);
    EXPECT_TRUE(text.out.starts_with(header.out));
    EXPECT_NE(text.out.find("Message-id: <20020617194207.DF10883011@mail.freshmeat.net>"), std::string::npos);
}

TEST_F(CliCorpus, IndexOutOfRangeIsAnError) {
    for (const char* command : {"text", "header", "show"}) {
        auto run = RunTool({command, Dbx("mtdbx_test.dbx"), "1"});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "brindle-cli: Message index 1 is out of range (the store holds 1 message).\n");
    }
    auto run = RunTool({"export", Dbx("mtdbx_test.dbx"), "/nonexistent", "--index", "0,1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.starts_with("brindle-cli: Message index 1 is out of range")) << run.err;
}

TEST_F(CliCorpus, ExportWritesEveryMessageWithCrLfLines) {
    const std::string store = Dbx("iped_test_OutlookDBX.dbx");
    if (!CorpusHas("dbx/iped_test_OutlookDBX.dbx")) GTEST_SKIP();
    TTempDir dir;
    auto run = RunTool({"export", store, dir.Path()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Exported 28 messages, 0 errors.\n");
    auto files = test::FilesIn(dir.Path());
    ASSERT_EQ(files.size(), 28u);
    for (int i = 0; i < 28; ++i) {
        auto found = std::find_if(files.begin(), files.end(),
                                  [&](const auto& file) {
                                      char prefix[16];
                                      std::snprintf(prefix, sizeof prefix, "%04d_", i);
                                      return file.first.starts_with(prefix);
                                  });
        ASSERT_NE(found, files.end()) << i;
        const auto& [name, content] = *found;
        EXPECT_TRUE(name.ends_with(".eml"));
        EXPECT_LE(name.size(), 255u);
        EXPECT_TRUE(IsValidUtf8(name)) << name;
        EXPECT_EQ(name.find_first_of("!\"%'*/:?\\"), std::string::npos) << name;
        auto text = RunTool({"text", store, std::to_string(i)});
        EXPECT_EQ(content, NormalizeLineEnds(text.out)) << name;
        EXPECT_TRUE(content.ends_with("\r\n"));
        for (size_t p = 0; p < content.size(); ++p) {
            bool lineFeedAfterCr = content[p] != '\n' || (p > 0 && content[p - 1] == '\r');
            bool crBeforeLineFeed = content[p] != '\r' || (p + 1 < content.size() && content[p + 1] == '\n');
            ASSERT_TRUE(lineFeedAfterCr && crBeforeLineFeed) << name << " at " << p;
        }
    }
}

TEST_F(CliCorpus, AddressesSortedAndUnique) {
    auto run = RunTool({"addresses", Dbx("dbxconvert_test.dbx")});
    ASSERT_EQ(run.status, 0) << run.err;
    auto lines = OutputLines(run.out);
    // Two senders and two receivers, at most four distinct entries.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 4u);
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
    EXPECT_EQ(std::adjacent_find(lines.begin(), lines.end()), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "TEST@DOMAIN.COM = <TEST@DOMAIN.COM>"), lines.end()) << run.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "TEST-2@DOMAIN.COM = <TEST-2@DOMAIN.COM>"), lines.end());
    for (const auto& line : lines) EXPECT_EQ(line.find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
}

TEST_F(CliCorpus, ShowAndAttachmentsOfAStoredMessage) {
    if (!CorpusHas("dbx/dbxconvert_test.dbx")) GTEST_SKIP();
    auto show = RunTool({"show", Dbx("dbxconvert_test.dbx"), "1", "--json"});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("\"Subject\": \"Subject #2\""), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("\"ContentType\": \"MULTIPART/MIXED\""), std::string::npos);
    TTempDir dir;
    auto saved = RunTool({"attachments", Dbx("dbxconvert_test.dbx"), "1", dir.Path()});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_FALSE(test::FilesIn(dir.Path()).empty());
    EXPECT_EQ(RunTool({"attachments", Dbx("dbxconvert_test.dbx"), dir.Path()}).status, 2);
}

}  // namespace
}  // namespace brindle
