// Exports at the limits of the file system: a disk that fills up while an mbox is written,
// many sibling folders that want one name, and folder names too long for one path component.
#include "MailboxTestSupport.h"
#include "mailbox/FolderExport.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>

namespace brindle {
namespace {

using test::Message;
using test::ReadWholeFile;
using test::TTempDir;
using test::WriteDbx;
using testsupport::TStoreMessage;
using testsupport::WriteFolderList;

namespace fs = std::filesystem;

struct TChildTotals {
    size_t Messages = 0;
    size_t Errors = 0;
    size_t Problems = 0;
    bool Ran = false;
};

// Exports the store as mbox in a child process whose files may grow to at most limit bytes
// (writes past it fail as on a full disk), and returns the totals it reported.
TChildTotals ExportMboxWithFileLimit(const std::string& store, const std::string& out, rlim_t limit) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit bound = {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &bound);
        TChildTotals totals;
        TExportOptions options;
        options.Format = TExportFormat::Mbox;
        options.Problem = [&](const std::string&) { ++totals.Problems; };
        const TExportTotals exported = ExportStoreFile(store, out, options);
        totals.Messages = exported.Messages;
        totals.Errors = exported.Errors;
        totals.Ran = true;
        const bool sent = ::write(pipeEnds[1], &totals, sizeof totals) == sizeof totals;
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    TChildTotals totals;
    if (child < 0 || ::read(pipeEnds[0], &totals, sizeof totals) != sizeof totals) totals = {};
    ::close(pipeEnds[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    return totals;
}

// The entries of an mbox file whose "From " lines inside texts are quoted: the From lines at
// the start or after an empty line, and whether the file ends where an entry ends.
size_t CountMboxEntries(const std::string& bytes, bool& endsWhole) {
    size_t entries = 0;
    for (size_t at = 0; at < bytes.size();) {
        if (bytes.compare(at, 5, "From ") == 0 && (at == 0 || bytes.compare(at - 2, 2, "\n\n") == 0)) ++entries;
        const size_t end = bytes.find('\n', at);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    endsWhole = bytes.empty() || bytes.ends_with("\n\n");
    return entries;
}

TEST(ExportLimitsTest, AFullDiskKeepsTheWholeMboxEntriesAndCountsOnlyThem) {
    TTempDir dir;
    std::vector<TStoreMessage> messages;
    std::string body;
    while (body.size() < 6000) body += "A line of the body that fills the message up.\r\n";
    for (int k = 0; k < 60; ++k) messages.push_back(Message("m" + std::to_string(k), body));
    WriteDbx(dir / "Box.dbx", messages);

    // Every write fails; the first piece is cut; a later piece is cut; everything fits.
    for (rlim_t limit : {rlim_t{0}, rlim_t{1000}, rlim_t{200} << 10, rlim_t{64} << 20}) {
        SCOPED_TRACE(limit);
        TTempDir out;
        const TChildTotals totals = ExportMboxWithFileLimit(dir / "Box.dbx", out.Path(), limit);
        ASSERT_TRUE(totals.Ran);
        const bool fits = limit >= (rlim_t{1} << 20);
        const std::string mbox = out / "Box";
        size_t onDisk = 0;
        if (fs::exists(mbox)) {
            bool endsWhole = false;
            onDisk = CountMboxEntries(ReadWholeFile(mbox), endsWhole);
            EXPECT_TRUE(endsWhole);
            EXPECT_LE(fs::file_size(mbox), limit);
        }
        EXPECT_EQ(totals.Messages, onDisk);
        EXPECT_EQ(totals.Messages + totals.Errors, messages.size());
        EXPECT_EQ(totals.Errors == 0, fits);
        EXPECT_EQ(totals.Problems == 0, fits);
        if (limit == (rlim_t{200} << 10)) EXPECT_GT(onDisk, 20u);  // the first piece stays
    }
}

}  // namespace
}  // namespace brindle
