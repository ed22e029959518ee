// Exports at the limits of the file system: a disk that fills up while an mbox is written,
// many sibling folders that want one name, and folder names too long for one path component.
#include "MailboxTestSupport.h"
#include "mailbox/FolderExport.h"
#include "mailbox/StoreFolder.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
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
        if (limit == (rlim_t{200} << 10)) {
            EXPECT_GT(onDisk, 20u);  // the first piece stays
        }
    }
}

// count sibling folders all named "Same" under one parent.
void WriteSameNamedSiblings(const TTempDir& dir, uint32_t count) {
    std::vector<testsupport::TFolderListEntry> list = {{1, 0xFFFFFFFF, "Parent", "Parent.dbx"}};
    for (uint32_t k = 0; k < count; ++k) list.push_back({k + 2, 1, "Same", k == count - 1 ? "Last.dbx" : ""});
    WriteFolderList(dir / "Folders.dbx", list);
    WriteDbx(dir / "Parent.dbx", {Message("parent")});
    WriteDbx(dir / "Last.dbx", {Message("last")});
}

// The entries of a folder and, recursively, of its sub-folders, as paths from it.
std::set<std::string> EntriesUnder(const std::string& dir) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        entries.insert(fs::relative(entry.path(), dir).string());
    return entries;
}

TEST(ExportLimitsTest, SiblingFoldersOfOneNameAllGetNamesOfTheirOwn) {
    const uint32_t count = 150;
    TTempDir dir;
    WriteSameNamedSiblings(dir, count);
    struct TCase {
        TExportFormat Format;
        std::string Sub;  // where the siblings lie
    };
    const TCase cases[] = {{TExportFormat::Eml, "Parent"}, {TExportFormat::Mbox, "Parent.sbd"},
                           {TExportFormat::Maildir, "."}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Format));
        TTempDir out;
        TExportOptions options;
        options.Format = c.Format;
        options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
        const TExportTotals totals = ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
        EXPECT_EQ(totals.Folders, count + 1);
        EXPECT_EQ(totals.Messages, 2u);
        size_t siblings = 0;
        for (const auto& entry : fs::directory_iterator(out / c.Sub))
            if (entry.path().filename().string().find("Same") != std::string::npos) ++siblings;
        EXPECT_EQ(siblings, count);
        EXPECT_TRUE(totals.Notes.empty());
    }
}

// Numbering that restarts at 1 for every sibling costs count² tries: four times the folders
// then take sixteen times as long.
TEST(ExportLimitsTest, NumberingSameNamedSiblingsTakesLinearTime) {
    auto exportTime = [](uint32_t count) {
        TTempDir dir, out;
        WriteSameNamedSiblings(dir, count);
        TExportOptions options;
        options.Format = TExportFormat::Mbox;
        const TStoreFolder folder = ReadStoreFolder(dir.Path());
        const auto start = std::chrono::steady_clock::now();
        const TExportTotals totals = ExportStoreFolder(folder, out.Path(), options);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(totals.Folders, count + 1);
        EXPECT_EQ(totals.Errors, 0u);
        return took.count();
    };
    exportTime(200);  // warm the caches
    const double small = exportTime(1500);
    const double large = exportTime(6000);
    EXPECT_LT(large, 8 * small + 0.5) << small << " s against " << large << " s";
}

TEST(ExportLimitsTest, FittedNamesKeepToTheRoomAndStayApart) {
    const std::string longAscii(300, 'a');
    const std::string accented = std::string(120, 'b') + "\xC3\xA9\xC3\xA9\xC3\xA9" + std::string(200, 'c');
    const std::string utf7 = std::string(240, 'd') + "&AOkA6QDp-tail" + std::string(30, 'e');
    struct TCase {
        std::string Name;
        size_t Room;
        bool ModifiedUtf7;
    };
    const TCase cases[] = {
        {"short", 255, false}, {longAscii, 255, false}, {longAscii, 251, false},
        {accented, 126, false}, {accented, 127, false}, {utf7, 250, true}, {utf7, 247, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name.substr(0, 20) + " " + std::to_string(c.Room));
        const std::string fitted = FittedName(c.Name, c.Room, c.ModifiedUtf7);
        EXPECT_LE(fitted.size(), c.Room);
        if (c.Name.size() <= c.Room) {
            EXPECT_EQ(fitted, c.Name);
            continue;
        }
        EXPECT_EQ(FittedName(c.Name, c.Room, c.ModifiedUtf7), fitted);  // the same every time
        const std::string kept = fitted.substr(0, fitted.rfind('~'));
        EXPECT_TRUE(c.Name.starts_with(kept));
        EXPECT_GT(kept.size() + 20, c.Room);
        // Not cut inside a character or a shifted run.
        if (kept.size() < c.Name.size()) {
            EXPECT_NE(static_cast<unsigned char>(c.Name[kept.size()]) & 0xC0, 0x80);
        }
        if (c.ModifiedUtf7) {
            EXPECT_LE(std::count(kept.begin(), kept.end(), '&'), std::count(kept.begin(), kept.end(), '-'));
        }
        // Names that differ only past the cut stay apart.
        EXPECT_NE(FittedName(c.Name + "x", c.Room, c.ModifiedUtf7), fitted);
    }
}

// An 8-level tree of 40-byte names and a folder of a 252-byte name with a child: every folder
// is written, under a name that fits, and the summary tells which names were shortened.
TEST(ExportLimitsTest, DeepAndLongFolderNamesAreShortenedToFit) {
    TTempDir dir;
    std::vector<testsupport::TFolderListEntry> list;
    for (uint32_t level = 0; level < 8; ++level) {
        const std::string file = "Deep" + std::to_string(level) + ".dbx";
        list.push_back({level + 1, level ? level : 0xFFFFFFFF,
                        "Level " + std::to_string(level) + std::string(29, 'x') + "-long", file});
        WriteDbx(dir / file, {Message("deep" + std::to_string(level))});
    }
    list.push_back({100, 0xFFFFFFFF, std::string(252, 'L'), "Long.dbx"});
    list.push_back({101, 100, "Child", "Child.dbx"});
    list.push_back({102, 0xFFFFFFFF, std::string(252, 'L') + "2", "Long2.dbx"});
    WriteFolderList(dir / "Folders.dbx", list);
    for (const char* name : {"Long", "Child", "Long2"}) WriteDbx(dir / (std::string(name) + ".dbx"), {Message(name)});

    for (TExportFormat format : {TExportFormat::Mbox, TExportFormat::Maildir, TExportFormat::Eml}) {
        SCOPED_TRACE(static_cast<int>(format));
        TTempDir out;
        TExportOptions options;
        options.Format = format;
        options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
        const TExportTotals totals = ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
        EXPECT_EQ(totals.Folders, list.size());
        EXPECT_EQ(totals.Messages, list.size());
        EXPECT_EQ(totals.Errors, 0u);
        const std::set<std::string> entries = EntriesUnder(out.Path());
        for (const std::string& entry : entries)
            for (const auto& part : fs::path(entry)) EXPECT_LE(part.string().size(), 255u) << entry;
        if (format == TExportFormat::Eml) continue;
        EXPECT_FALSE(totals.Notes.empty());
        for (const std::string& note : totals.Notes) {
            const size_t written = note.find(" is written as ");
            ASSERT_NE(written, std::string::npos) << note;
            const std::string path = note.substr(written + 15, note.find(" (", written) - written - 15);
            EXPECT_TRUE(fs::exists(path)) << note;
        }
    }
}

// Times outside 1970 to 9999 are unknown to file names and file times.
TEST(ExportLimitsTest, TimesOutsideTheUnixYearsAreUnknown) {
    struct TCase {
        TDateTime Received;
        std::optional<int64_t> Seconds;
    };
    const TCase cases[] = {
        {25569.0, 0},                 // 1970-01-01
        {37360.5, 1018785600},        // 2002-04-14 12:00
        {-109205.0, std::nullopt},    // 1601-01-01
        {25568.5, std::nullopt},      // 1969-12-31 12:00
        {2958466.0, std::nullopt},    // 10000-01-01
        {0.0, std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Received);
        EXPECT_EQ(UnixTimeOf(c.Received), c.Seconds);
        TMessageInfo info;
        info.Received = c.Received;
        const std::string name = MaildirFileName(info, 1, 2);
        EXPECT_EQ(name.substr(0, name.find('.')), std::to_string(c.Seconds.value_or(0)));
    }
}

}  // namespace
}  // namespace brindle
