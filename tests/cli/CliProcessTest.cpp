// The built brindle-cli program itself: exit statuses, standard output and standard error as
// a shell sees them.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>

namespace brindle {
namespace {

using test::TTempDir;

struct TProcessRun {
    int status;
    std::string out;
    std::string err;
};

TProcessRun RunProgram(const std::string& arguments) {
    TTempDir dir;
    std::string command = std::string(BRINDLE_CLI_PATH) + " " + arguments + " 2>" + (dir / "err");
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, test::ReadFile(dir / "err")};
}

TEST(CliProcess, ExitStatuses) {
    TTempDir dir;
    test::WriteFile(dir / "junk.dbx", "not a store at all");
    test::WriteFile(dir / "short", "JM");

    auto help = RunProgram("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: brindle-cli COMMAND")) << help.out;
    EXPECT_EQ(help.err, "");

    auto commandHelp = RunProgram("list --help");
    EXPECT_EQ(commandHelp.status, 0);
    EXPECT_TRUE(commandHelp.out.starts_with("Usage: brindle-cli list FILE [--json]\n"));

    auto none = RunProgram("");
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.starts_with("brindle-cli: no command given\n")) << none.err;

    auto unknown = RunProgram("list " + (dir / "junk.dbx") + " --quiet");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.starts_with("brindle-cli: unknown option --quiet\nUsage: brindle-cli list"));

    auto badIndex = RunProgram("text " + (dir / "junk.dbx") + " x1");
    EXPECT_EQ(badIndex.status, 2);
    EXPECT_TRUE(badIndex.err.starts_with("brindle-cli: invalid message index x1\n")) << badIndex.err;

    auto notStore = RunProgram("info " + (dir / "junk.dbx"));
    EXPECT_EQ(notStore.status, 1);
    EXPECT_EQ(notStore.err, "brindle-cli: File is not in supported format.\n");
    EXPECT_EQ(notStore.out, "");

    auto tooShort = RunProgram("list " + (dir / "short"));
    EXPECT_EQ(tooShort.status, 1);
    EXPECT_EQ(tooShort.err, "brindle-cli: Stream read error\n");

    auto missing = RunProgram("addresses " + (dir / "missing.dbx"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "brindle-cli: Cannot open file " + (dir / "missing.dbx") + "\n");
}

TEST(CliProcess, TextIsWrittenByteForByte) {
    std::string demo = std::string(BRINDLE_SOURCE_DIR) + "/samples/Demo.dbx";
    if (!std::filesystem::exists(demo)) GTEST_SKIP() << "no demo store";
    auto inProcess = test::RunTool({"text", demo, "2"});
    ASSERT_EQ(inProcess.status, 0) << inProcess.err;
    auto run = RunProgram("text " + demo + " 2");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, inProcess.out);
    EXPECT_NE(run.out.find('\xF0'), std::string::npos);  // the KOI8-R body stays 8-bit
}

}  // namespace
}  // namespace brindle
