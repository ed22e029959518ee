// attachments and export as attacks on the output folder see them: the built program is run
// with a time limit, so that a named pipe that would block it fails the test instead.
#include "CliTestSupport.h"
#include "StoreWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

namespace brindle {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;
using test::TTempDir;

constexpr int kTimeLimitSeconds = 20;
constexpr int kTimedOut = 124;  // the exit status of timeout(1)

struct TRun {
    int status;
    std::string out;
};

TRun RunLimited(const std::vector<std::string>& arguments) {
    std::string command = "timeout " + std::to_string(kTimeLimitSeconds) + " " + BRINDLE_CLI_PATH;
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    FILE* pipe = popen((command + " 2>/dev/null </dev/null").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

enum class TEntry { File, LinkToOutside, DanglingLink, Fifo };

struct TAttack {
    const char* label;
    TEntry entry;
};

constexpr TAttack kAttacks[] = {
    {"existing file", TEntry::File},
    {"link to an outside file", TEntry::LinkToOutside},
    {"dangling link", TEntry::DanglingLink},
    {"named pipe", TEntry::Fifo},
};

class CliSave : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir_ / "out");
        fs::create_directory(dir_ / "outside");
        test::WriteFile(Outside(), "outside secret");
    }

    std::string Out() const { return dir_ / "out"; }
    std::string Outside() const { return dir_ / "outside/secret.txt"; }
    std::string DanglingTarget() const { return dir_ / "outside/created.txt"; }

    void Plant(TEntry entry, const std::string& path) {
        switch (entry) {
            case TEntry::File: test::WriteFile(path, "old"); break;
            case TEntry::LinkToOutside: fs::create_symlink(Outside(), path); break;
            case TEntry::DanglingLink: fs::create_symlink(DanglingTarget(), path); break;
            case TEntry::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); break;
        }
    }

    void ExpectUnchanged(TEntry entry, const std::string& path) {
        fs::file_status status = fs::symlink_status(path);
        switch (entry) {
            case TEntry::File: EXPECT_EQ(test::ReadFile(path), "old"); break;
            case TEntry::LinkToOutside:
            case TEntry::DanglingLink: EXPECT_TRUE(fs::is_symlink(status)); break;
            case TEntry::Fifo: EXPECT_TRUE(fs::is_fifo(status)); break;
        }
        EXPECT_EQ(test::ReadFile(Outside()), "outside secret");
        EXPECT_FALSE(fs::exists(fs::symlink_status(DanglingTarget())));
    }

    TTempDir dir_;
};

std::string MessageWithAttachment(const std::string& name, const std::string& base64 = "bmV3") {
    return "From: a@b.c\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n"
           "--XX\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
           "--XX\r\nContent-Type: application/octet-stream; name=\"" +
           name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64 + "\r\n--XX--\r\n";
}

TEST_F(CliSave, AttachmentsNeverWriteIntoAnEntryThatIsThere) {
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Out());
        fs::create_directory(Out());
        test::WriteFile(dir_ / "m.eml", MessageWithAttachment("x.txt"));
        Plant(attack.entry, Out() + "/x.txt");
        TRun run = RunLimited({"attachments", dir_ / "m.eml", Out()});
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(run.out, Out() + "/x (2).txt\n");
        EXPECT_EQ(test::ReadFile(Out() + "/x (2).txt"), "new");
        ExpectUnchanged(attack.entry, Out() + "/x.txt");
    }
}

TEST_F(CliSave, AnAttachmentNamedLikeTheMessageLeavesTheMessageAlone) {
    const std::string message = MessageWithAttachment("m.eml");
    test::WriteFile(Out() + "/m.eml", message);
    TRun run = RunLimited({"attachments", Out() + "/m.eml", Out()});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(test::ReadFile(Out() + "/m.eml"), message);
    EXPECT_EQ(test::ReadFile(Out() + "/m (2).eml"), "new");
}

TEST_F(CliSave, ExportNeverWritesIntoAnEntryThatIsThere) {
    ts::TStoreMessage hello;
    hello.Subject = "Hello";
    hello.Text = ts::MessageText({"From: someone@example.org", "Subject: Hello"}, "Body.\r\n");
    const std::string store = ts::BuildDbx({hello});
    for (const TAttack& attack : kAttacks) {
        SCOPED_TRACE(attack.label);
        fs::remove_all(Out());
        fs::create_directory(Out());
        test::WriteFile(dir_ / "Inbox.dbx", store);
        Plant(attack.entry, Out() + "/0000_Hello.eml");
        TRun run = RunLimited({"export", dir_ / "Inbox.dbx", Out()});
        ASSERT_EQ(run.status, 0);
        EXPECT_TRUE(test::ReadFile(Out() + "/0000_Hello (2).eml").starts_with("From: someone@example.org\r\n"));
        ExpectUnchanged(attack.entry, Out() + "/0000_Hello.eml");
    }
}

// The store is known by its first bytes, so it may carry the name that export gives a message.
TEST_F(CliSave, ExportLeavesTheStoreItReadsAlone) {
    ts::TStoreMessage hello;
    hello.Subject = "Hello";
    hello.Text = ts::MessageText({"Subject: Hello"}, "Body.\r\n");
    const std::string store = ts::BuildDbx({hello});
    test::WriteFile(Out() + "/0000_Hello.eml", store);
    TRun run = RunLimited({"export", Out() + "/0000_Hello.eml", Out()});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(test::ReadFile(Out() + "/0000_Hello.eml"), store);
    EXPECT_TRUE(fs::exists(Out() + "/0000_Hello (2).eml"));
}

// Every command that writes into a folder makes it when only its last level is missing, and
// names it when more is missing or a link stands in its place.
TEST_F(CliSave, AMissingOutputFolderIsMadeOneLevelDeep) {
    ts::TStoreMessage hello;
    hello.Subject = "Hello";
    hello.Text = MessageWithAttachment("x.txt");
    test::WriteFile(dir_ / "Inbox.dbx", ts::BuildDbx({hello}));
    test::WriteFile(dir_ / "m.eml", MessageWithAttachment("x.txt"));
    fs::create_symlink(dir_ / "outside", dir_ / "link");
    struct TCommand {
        std::vector<std::string> before, after;  // the arguments before and after the folder
    };
    const TCommand commands[] = {
        {{"export", dir_ / "Inbox.dbx"}, {}},
        {{"export", dir_ / "Inbox.dbx"}, {"--format", "mbox"}},
        {{"recover", dir_ / "Inbox.dbx"}, {}},
        {{"attachments", dir_ / "m.eml"}, {}},
        {{"attachments", dir_ / "Inbox.dbx", "0"}, {}},
        {{"attachments", dir_ / "Inbox.dbx"}, {"--all"}},
    };
    auto run = [](const TCommand& command, const std::string& folder) {
        std::vector<std::string> arguments = command.before;
        arguments.push_back(folder);
        arguments.insert(arguments.end(), command.after.begin(), command.after.end());
        return test::RunTool(arguments);
    };
    int round = 0;
    for (const TCommand& command : commands) {
        SCOPED_TRACE(command.before[0] + " " + std::to_string(round));
        const std::string made = dir_ / ("new" + std::to_string(round++));
        const test::TCliRun written = run(command, made);
        EXPECT_EQ(written.status, 0) << written.err;
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(made)));
        EXPECT_FALSE(fs::is_empty(made));
        for (const std::string& refused : {made + "/more/levels", std::string(dir_ / "link/new")}) {
            const test::TCliRun failed = run(command, refused);
            EXPECT_EQ(failed.status, 1);
            EXPECT_EQ(failed.err, "brindle-cli: Cannot create file " + refused + "\n");
        }
        EXPECT_FALSE(fs::exists(made + "/more"));
    }
    EXPECT_EQ(test::FilesIn(dir_ / "outside").size(), 1u);
}

TEST_F(CliSave, AnEmptyFolderOperandIsAUsageError) {
    test::WriteFile(dir_ / "m.eml", MessageWithAttachment("x.txt"));
    test::WriteFile(dir_ / "Inbox.dbx", ts::BuildDbx({}));
    EXPECT_EQ(RunLimited({"export", dir_ / "Inbox.dbx", ""}).status, 2);
    EXPECT_EQ(RunLimited({"attachments", dir_ / "m.eml", ""}).status, 2);
}

}  // namespace
}  // namespace brindle
