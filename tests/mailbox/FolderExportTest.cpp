// Export of a store folder's tree as .eml folders, mbox files and Maildir++.
#include "MailboxTestSupport.h"
#include "mailbox/FolderExport.h"
#include "store/MessageFlags.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace brindle {
namespace {

using test::Message;
using test::ReadWholeFile;
using test::TTempDir;
using test::WriteDbx;
using testsupport::FileTimeOf;
using testsupport::TDbxDamageKind;
using testsupport::TDbxOptions;
using testsupport::TStoreMessage;
using testsupport::WriteFolderList;

namespace fs = std::filesystem;

// One entry of an mbox file as a reader of the mboxrd form sees it.
struct TMboxEntry {
    std::string FromLine;
    std::map<std::string, std::string> Fields;  // the header fields, first of each name
    std::string Text;                           // header and body, LF line ends, quoting undone
};

// Splits at "From " lines that begin the file or follow an empty line, and takes one ">"
// from every line that matches ">+From ".
std::vector<TMboxEntry> ReadMboxrd(const std::string& bytes) {
    std::vector<TMboxEntry> entries;
    std::istringstream in(bytes);
    std::string line;
    bool previousEmpty = true;
    while (std::getline(in, line)) {
        if (previousEmpty && line.rfind("From ", 0) == 0) {
            if (!entries.empty() && entries.back().Text.ends_with("\n\n")) entries.back().Text.pop_back();
            entries.push_back({line, {}, {}});
        } else {
            EXPECT_FALSE(entries.empty()) << "text before the first From line";
            if (entries.empty()) return entries;
            const size_t quotes = line.find_first_not_of('>');
            if (quotes != 0 && quotes != std::string::npos && line.compare(quotes, 5, "From ") == 0) line.erase(0, 1);
            entries.back().Text += line + "\n";
        }
        previousEmpty = line.empty();
    }
    if (!entries.empty() && entries.back().Text.ends_with("\n\n")) entries.back().Text.pop_back();
    for (TMboxEntry& entry : entries) {
        std::istringstream text(entry.Text);
        while (std::getline(text, line) && !line.empty()) {
            const size_t colon = line.find(": ");
            if (colon != std::string::npos) entry.Fields.try_emplace(line.substr(0, colon), line.substr(colon + 2));
        }
    }
    return entries;
}

std::string Lf(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int64_t ModifiedAt(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mtime;
}

// Top > Inbox > Sub, beside Inbox the folder Other; the stores as given. Top is an ordinary
// folder without a store file (the ids 0 and 1 of a list's root and its local folders would
// leave it out).
void WriteNestedFolder(const TTempDir& dir, const std::vector<TStoreMessage>& inbox,
                       const std::vector<TStoreMessage>& sub, const std::vector<TStoreMessage>& other) {
    WriteFolderList(dir / "Folders.dbx", {
                                             {10, 0xFFFFFFFF, "Top", ""},
                                             {11, 10, "Inbox", "Inbox.dbx"},
                                             {12, 11, "Sub", "Sub.dbx"},
                                             {13, 10, "Other", "Other.dbx"},
                                         });
    WriteDbx(dir / "Inbox.dbx", inbox);
    WriteDbx(dir / "Sub.dbx", sub);
    WriteDbx(dir / "Other.dbx", other);
}

TExportTotals Export(const std::string& from, const std::string& to, TExportFormat format,
                     std::vector<std::string>* problems = nullptr) {
    TExportOptions options;
    options.Format = format;
    options.Problem = [problems](const std::string& text) {
        if (problems)
            problems->push_back(text);
        else
            ADD_FAILURE() << text;
    };
    return ExportStoreFolder(ReadStoreFolder(from), to, options);
}

TEST(FolderExportTest, MboxQuotesFromLinesAndCarriesTheFlags) {
    struct TCase {
        uint32_t Flags;
        const char* MozillaStatus;
        const char* Status;
        const char* XStatus;
        const char* Keywords;  // the X-Keywords line, when there is one
    };
    const TCase cases[] = {
        {0, "0000", "O", "", ""},
        {kFlagRead, "0001", "RO", "", ""},
        {kFlagRead | kFlagReplied, "0003", "RO", "A", ""},
        {kFlagFlagged | kFlagForwarded, "1004", "O", "F", "X-Keywords: $Forwarded\n"},
        {kFlagRead | kFlagReplied | kFlagFlagged | kFlagForwarded | kFlagHasAttachment, "1007", "RO", "AF",
         "X-Keywords: $Forwarded\n"},
    };
    const std::string body =
        "From the start\r\n>From quoted\r\n>>From twice\r\nFrom: not a separator\r\n"
        " From indented\r\n\r\nFrom after a blank line\r\nlast line without end";
    std::vector<TStoreMessage> messages;
    for (const TCase& c : cases) {
        messages.push_back(Message("Flags " + std::string(c.MozillaStatus), body, c.Flags));
        messages.back().Received = FileTimeOf(2002, 3, 4, 5, 6, 7);
    }
    messages[1].SenderAddress = "";
    TTempDir dir, out;
    WriteDbx(dir / "Inbox.dbx", messages);
    const TExportTotals totals = Export(dir.Path(), out.Path(), TExportFormat::Mbox);
    EXPECT_EQ(totals.Folders, 1u);
    EXPECT_EQ(totals.Messages, messages.size());
    EXPECT_EQ(totals.Errors, 0u);

    const std::string bytes = ReadWholeFile(out / "Inbox");
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    const std::vector<TMboxEntry> entries = ReadMboxrd(bytes);
    ASSERT_EQ(entries.size(), messages.size());
    for (size_t k = 0; k < entries.size(); ++k) {
        const TMboxEntry& entry = entries[k];
        EXPECT_EQ(entry.FromLine,
                  std::string("From ") + (k == 1 ? "MAILER-DAEMON" : "ann@example.org") +
                      " Mon Mar  4 05:06:07 2002 +0000");
        EXPECT_EQ(entry.Fields.at("X-Mozilla-Status"), cases[k].MozillaStatus);
        EXPECT_EQ(entry.Fields.at("X-Mozilla-Status2"), "00000000");
        EXPECT_EQ(entry.Fields.at("Status"), cases[k].Status);
        EXPECT_EQ(entry.Fields.at("Subject"), messages[k].Subject);
        const std::string added = "X-Mozilla-Status: " + std::string(cases[k].MozillaStatus) +
                                  "\nX-Mozilla-Status2: 00000000\nStatus: " + cases[k].Status +
                                  "\nX-Status: " + cases[k].XStatus + "\n" + cases[k].Keywords;
        EXPECT_EQ(entry.Text, added + Lf(messages[k].Text) + "\n");
    }
}

TEST(FolderExportTest, MboxFollowsTheLocalFoldersLayout) {
    TTempDir dir, out;
    WriteNestedFolder(dir, {Message("a"), Message("b")}, {Message("c")}, {});
    fs::create_directory(out / "Top.sbd");  // taken: the top folder becomes "Top (2)"
    const TExportTotals totals = Export(dir.Path(), out.Path(), TExportFormat::Mbox);
    EXPECT_EQ(totals.Folders, 4u);
    EXPECT_EQ(totals.Messages, 3u);
    EXPECT_EQ(NamesIn(out.Path()), (std::vector<std::string>{"Top (2)", "Top (2).sbd", "Top.sbd"}));
    EXPECT_EQ(NamesIn(out / "Top (2).sbd"), (std::vector<std::string>{"Inbox", "Inbox.sbd", "Other"}));
    EXPECT_EQ(NamesIn(out / "Top (2).sbd/Inbox.sbd"), std::vector<std::string>{"Sub"});
    EXPECT_EQ(ReadWholeFile(out / "Top (2)"), "");
    EXPECT_EQ(ReadMboxrd(ReadWholeFile(out / "Top (2).sbd/Inbox")).size(), 2u);
    EXPECT_EQ(ReadMboxrd(ReadWholeFile(out / "Top (2).sbd/Inbox.sbd/Sub")).size(), 1u);
    EXPECT_TRUE(NamesIn(out / "Top.sbd").empty());
}

TEST(FolderExportTest, MaildirNamesCarryFlagsAndTimes) {
    struct TCase {
        uint32_t Flags;
        const char* Suffix;
    };
    const TCase cases[] = {
        {0, ":2,"},
        {kFlagRead, ":2,S"},
        {kFlagFlagged | kFlagRead, ":2,FS"},
        {kFlagForwarded | kFlagReplied, ":2,PR"},
        {kFlagRead | kFlagReplied | kFlagFlagged | kFlagForwarded, ":2,FPRS"},
    };
    std::vector<TStoreMessage> sub;
    for (const TCase& c : cases) {
        sub.push_back(Message(c.Suffix, "Body\r\n", c.Flags));
        sub.back().Received = FileTimeOf(2003, 1, 2, 3, 4, 5 + static_cast<unsigned>(sub.size()));
    }
    TTempDir dir, out;
    WriteNestedFolder(dir, {Message("a")}, sub, {});
    const TExportTotals totals = Export(dir.Path(), out.Path(), TExportFormat::Maildir);
    EXPECT_EQ(totals.Folders, 4u);
    EXPECT_EQ(totals.Messages, 6u);
    EXPECT_EQ(NamesIn(out.Path()),
              (std::vector<std::string>{".Top", ".Top.Inbox", ".Top.Inbox.Sub", ".Top.Other", "cur", "new", "tmp"}));
    EXPECT_EQ(NamesIn(out / ".Top.Inbox.Sub"), (std::vector<std::string>{"cur", "maildirfolder", "new", "tmp"}));
    const std::vector<std::string> files = NamesIn(out / ".Top.Inbox.Sub/cur");
    ASSERT_EQ(files.size(), std::size(cases));
    const int64_t base = 1041476645;  // 2003-01-02 03:04:05 UTC
    for (size_t k = 0; k < std::size(cases); ++k) {
        const int64_t seconds = base + static_cast<int64_t>(k) + 1;
        auto file = std::find_if(files.begin(), files.end(), [&](const std::string& name) {
            return name.starts_with(std::to_string(seconds) + ".") && name.ends_with(cases[k].Suffix) &&
                   name.find(":2,") == name.size() - std::string_view(cases[k].Suffix).size();
        });
        ASSERT_NE(file, files.end()) << cases[k].Suffix;
        EXPECT_EQ(ModifiedAt(out / (".Top.Inbox.Sub/cur/" + *file)), seconds);
        EXPECT_EQ(ReadWholeFile(out / (".Top.Inbox.Sub/cur/" + *file)), Lf(sub[k].Text));
    }
}

// A NUL inside a text is one byte of it like any other: every format keeps what follows.
TEST(FolderExportTest, EveryFormatKeepsTheBytesAfterANul) {
    const std::string body = std::string("before\0after the NUL\r\nlast line\r\n", 33);
    TTempDir dir;
    WriteDbx(dir / "Inbox.dbx", {Message("With a NUL", body)});
    for (TExportFormat format : {TExportFormat::Mbox, TExportFormat::Maildir, TExportFormat::Eml}) {
        TTempDir out;
        const TExportTotals totals = Export(dir.Path(), out.Path(), format);
        ASSERT_EQ(totals.Messages, 1u);
        std::string written;
        for (const auto& entry : fs::recursive_directory_iterator(out.Path()))
            if (entry.is_regular_file()) written += ReadWholeFile(entry.path().string());
        EXPECT_NE(written.find(std::string("before\0after the NUL", 20)), std::string::npos) << static_cast<int>(format);
        EXPECT_NE(written.find("last line"), std::string::npos) << static_cast<int>(format);
    }
}

TEST(FolderExportTest, EmlTreeNestsFoldersAndDatesFiles) {
    TStoreMessage dated = Message("Dated");
    dated.Received = FileTimeOf(2001, 9, 8, 7, 6, 5);
    TTempDir dir, out;
    WriteNestedFolder(dir, {dated}, {Message("Deep")}, {Message("Beside")});
    const TExportTotals totals = Export(dir.Path(), out.Path(), TExportFormat::Eml);
    EXPECT_EQ(totals.Messages, 3u);
    EXPECT_EQ(NamesIn(out / "Top"), (std::vector<std::string>{"Inbox", "Other"}));
    // Indexes are padded to four digits at least, so that listings sort.
    EXPECT_EQ(NamesIn(out / "Top/Inbox"), (std::vector<std::string>{"0000_Dated.eml", "Sub"}));
    EXPECT_EQ(ReadWholeFile(out / "Top/Inbox/0000_Dated.eml"), dated.Text);
    EXPECT_EQ(ModifiedAt(out / "Top/Inbox/0000_Dated.eml"), 999932765);  // 2001-09-08 07:06:05 UTC
    EXPECT_EQ(NamesIn(out / "Top/Inbox/Sub"), std::vector<std::string>{"0000_Deep.eml"});
}

// Stores whose index cannot be read are exported from a scan of the whole file; a file in
// which the scan finds nothing either is told as an error, and the others go on.
TEST(FolderExportTest, DamagedFoldersAreRecoveredByScanAndDoNotStopTheOthers) {
    TTempDir dir;
    WriteFolderList(dir / "Folders.dbx", {
                                             {1, 0xFFFFFFFF, "Healthy", "Healthy.dbx"},
                                             {2, 0xFFFFFFFF, "Unreadable", "Unreadable.dbx"},
                                             {3, 0xFFFFFFFF, "Cycle", "Cycle.dbx"},
                                             {4, 0xFFFFFFFF, "Empty", "Empty.dbx"},
                                             {5, 0xFFFFFFFF, "Garbage", "Garbage.dbx"},
                                             {6, 0xFFFFFFFF, "Last", "Last.dbx"},
                                         });
    WriteDbx(dir / "Healthy.dbx", {Message("a"), Message("b")});
    // The root node does not carry its offset: no summary can be read, the blocks are intact.
    WriteDbx(dir / "Unreadable.dbx", {Message("c")}, TDbxOptions{.Damage = {{TDbxDamageKind::NodeMarker, 0}}});
    // The second message's chain leads back to its first block: that message cannot be read,
    // the other two are exported from the index.
    std::vector<TStoreMessage> cycle = {Message("d"), Message("e", std::string(2000, 'x')), Message("f")};
    WriteDbx(dir / "Cycle.dbx", cycle, TDbxOptions{.Damage = {{TDbxDamageKind::ChainCycle, 1}}});
    WriteDbx(dir / "Empty.dbx", {});
    {
        std::ofstream garbage(dir / "Garbage.dbx", std::ios::binary);
        garbage << std::string(4096, 'G');
    }
    WriteDbx(dir / "Last.dbx", {Message("g")});
    for (TExportFormat format : {TExportFormat::Eml, TExportFormat::Mbox, TExportFormat::Maildir}) {
        SCOPED_TRACE(static_cast<int>(format));
        TTempDir out;
        std::vector<std::string> problems, recovered;
        TExportOptions options;
        options.Format = format;
        options.Problem = [&](const std::string& text) { problems.push_back(text); };
        options.Recovered = [&](const std::string& text) { recovered.push_back(text); };
        const TExportTotals totals = ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
        EXPECT_EQ(totals.Folders, 6u);
        EXPECT_EQ(totals.Recovered, 1u);
        EXPECT_EQ(totals.Errors, 2u);
        ASSERT_EQ(problems.size(), 2u);
        EXPECT_TRUE(problems[0].starts_with("Cycle: message 1: ")) << problems[0];
        EXPECT_TRUE(problems[1].starts_with("Garbage: ")) << problems[1];
        ASSERT_EQ(recovered.size(), 1u);
        EXPECT_EQ(recovered[0], "Unreadable: recovered by scan, 1 message (Wrong object marker.)");
        // a, b, d, f, g from the index; c from the scan.
        EXPECT_EQ(totals.Messages, 6u);
        if (format == TExportFormat::Mbox) {
            const std::vector<TMboxEntry> unreadable = ReadMboxrd(ReadWholeFile(out / "Unreadable"));
            ASSERT_EQ(unreadable.size(), 1u);
            // The store's flags are out of reach: a recovered message counts as read.
            EXPECT_EQ(unreadable[0].Text,
                      "X-Mozilla-Status: 0001\nX-Mozilla-Status2: 00000000\nStatus: RO\nX-Status: \n" +
                          Lf(Message("c").Text));
            EXPECT_EQ(unreadable[0].FromLine.substr(0, 21), "From ann@example.org ");
            std::string subjects;
            for (const TMboxEntry& entry : ReadMboxrd(ReadWholeFile(out / "Cycle")))
                if (entry.Fields.count("Subject")) subjects += entry.Fields.at("Subject");
            EXPECT_NE(subjects.find('d'), std::string::npos);
            EXPECT_NE(subjects.find('f'), std::string::npos);
        }
    }
}

// Progress sees every folder and message with the counts the headers promise, and stops the
// export when it answers false.
TEST(FolderExportTest, ProgressCountsAndCancels) {
    TTempDir dir;
    WriteNestedFolder(dir, {Message("1"), Message("2")}, {Message("3")}, {Message("4"), Message("5")});
    for (const size_t stopAfter : {size_t{0}, size_t{1}, size_t{3}, size_t{99}}) {
        SCOPED_TRACE(stopAfter);
        TTempDir out;
        std::vector<TExportProgress> seen;
        TExportOptions options;
        options.Format = TExportFormat::Mbox;
        options.Problem = [](const std::string& text) { ADD_FAILURE() << text; };
        options.Progress = [&](const TExportProgress& progress) {
            seen.push_back(progress);
            return progress.Messages < stopAfter;
        };
        const TExportTotals totals = ExportStoreFolder(ReadStoreFolder(dir.Path()), out.Path(), options);
        // Folders are written side by side: a message under way on another thread may still
        // be written after the answer to stop.
        const size_t written = std::min<size_t>(stopAfter, 5);
        EXPECT_GE(totals.Messages, written);
        EXPECT_EQ(totals.Cancelled, stopAfter < 5);
        if (stopAfter < 5) {
            EXPECT_LT(totals.Messages, 5u);
        }
        if (stopAfter == 0) {
            EXPECT_EQ(totals.Messages, 0u);
        }
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front().FolderCount, 4u);
        EXPECT_EQ(seen.front().ExpectedMessages, 5u);
        EXPECT_EQ(seen.front().FolderName, "Top");
        EXPECT_GE(seen.back().Messages, written);
        if (stopAfter == 99) {
            EXPECT_EQ(seen.back().FolderName, "Top/Other");
        }
    }
}

// More folders than are kept waiting at once, written side by side: every mbox file holds its
// own messages in order, and the problems are told in tree order.
TEST(FolderExportTest, ManyFoldersWrittenSideBySideKeepTheirMessagesAndOrder) {
    constexpr uint32_t kFolders = 150;
    TTempDir dir;
    std::vector<testsupport::TFolderListEntry> list;
    std::vector<std::string> unreadable;
    for (uint32_t k = 0; k < kFolders; ++k) {
        const std::string name = "F" + std::to_string(k);
        // Every fifth folder lies under the one before it.
        list.push_back({k + 1, k % 5 == 4 ? k : 0xFFFFFFFF, name, name + ".dbx"});
        std::vector<TStoreMessage> messages;
        for (uint32_t j = 0; j <= k % 4; ++j) messages.push_back(Message(name + "-" + std::to_string(j)));
        if (k % 23 == 7) {
            // Neither its index nor a scan gives anything.
            std::ofstream(dir / (name + ".dbx"), std::ios::binary) << std::string(4096, 'G');
            unreadable.push_back(k % 5 == 4 ? "F" + std::to_string(k - 1) + "/" + name : name);
        } else {
            WriteDbx(dir / (name + ".dbx"), messages);
        }
    }
    WriteFolderList(dir / "Folders.dbx", list);
    TTempDir out;
    std::vector<std::string> problems;
    const TExportTotals totals = Export(dir.Path(), out.Path(), TExportFormat::Mbox, &problems);
    EXPECT_EQ(totals.Folders, kFolders);
    EXPECT_EQ(totals.Errors, unreadable.size());
    ASSERT_EQ(problems.size(), unreadable.size());
    for (size_t i = 0; i < problems.size(); ++i)
        EXPECT_TRUE(problems[i].starts_with(unreadable[i] + ": ")) << problems[i];
    size_t messages = 0;
    for (uint32_t k = 0; k < kFolders; ++k) {
        const std::string name = "F" + std::to_string(k);
        if (k % 23 == 7) continue;
        SCOPED_TRACE(name);
        const std::string file = k % 5 == 4 ? out / ("F" + std::to_string(k - 1) + ".sbd/" + name) : out / name;
        const auto entries = ReadMboxrd(ReadWholeFile(file));
        ASSERT_EQ(entries.size(), k % 4 + 1);
        for (size_t j = 0; j < entries.size(); ++j)
            EXPECT_EQ(entries[j].Fields.at("Subject"), name + "-" + std::to_string(j));
        messages += entries.size();
    }
    EXPECT_EQ(totals.Messages, messages);
}

}  // namespace
}  // namespace brindle
