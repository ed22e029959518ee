// brindle-cli upload: a store, or a store folder's tree, into an IMAP account.
#include "cli/Commands.h"
#include "cli/JsonWriter.h"
#include "mailbox/FolderExport.h"
#include "mailbox/StoreFolder.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"
#include "remote/ImapUploadSink.h"
#include "store/StoreOpener.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace brindle {
namespace {

constexpr const char* kPasswordVariable = "BRINDLE_IMAP_PASSWORD";
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

std::string FirstLineOfFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw EFOpenError(path);
    std::string line;
    std::getline(file, line);
    return WithoutLineEnd(line);
}

// The first line that a shell command prints; it must end well.
std::string FirstLineOfCommand(const std::string& command, std::string_view what) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw Exception("cannot run the " + std::string(what) + " command");
    std::string line;
    char buffer[4096];
    bool first = true;
    while (fgets(buffer, sizeof buffer, pipe)) {
        if (first) line += buffer;
        if (!line.empty() && line.back() == '\n') first = false;
    }
    if (pclose(pipe) != 0) throw Exception("the " + std::string(what) + " command failed");
    line = WithoutLineEnd(line);
    if (line.empty()) throw Exception("the " + std::string(what) + " command printed nothing");
    return line;
}

std::string PromptedPassword(const TImapUrl& url) {
    std::cerr << "Password for " << url.User << "@" << url.Host << ": " << std::flush;
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << '\n';
    return WithoutLineEnd(line);
}

TImapLogin LoginOf(const TCliArguments& args, const TImapUrl& url) {
    const TUploadArguments& upload = args.upload;
    const int sources = !upload.passwordFile.empty() + !upload.passwordCommand.empty() + !upload.oauth2Command.empty();
    if (sources > 1)
        throw EUsageError("give only one of --password-file, --password-command and --oauth2-command");
    TImapLogin login;
    if (!upload.oauth2Command.empty())
        login.OAuth2Token = FirstLineOfCommand(upload.oauth2Command, "OAuth2 token");
    else if (!upload.passwordFile.empty())
        login.Password = FirstLineOfFile(upload.passwordFile);
    else if (!upload.passwordCommand.empty())
        login.Password = FirstLineOfCommand(upload.passwordCommand, "password");
    else if (const char* password = std::getenv(kPasswordVariable))
        login.Password = password;
    else if (isatty(STDIN_FILENO))
        login.Password = PromptedPassword(url);
    else
        throw Exception(std::string("no password: give --password-file, --password-command, --oauth2-command or ") +
                        kPasswordVariable);
    return login;
}

TStoreFolder SourceFolder(const TCliArguments& args) {
    const std::string& source = args.operands.at(0);
    std::error_code error;
    if (std::filesystem::is_directory(source, error)) {
        if (args.hasIndexList) throw EUsageError("--index applies to a store file, not to a folder");
        return ReadStoreFolder(source, args.verbose ? args.warnings : TWarningSink{}, args.codePage);
    }
    CreateStoreReader(source, {});  // a file that is no store is an error of the command
    const std::string file = source.substr(source.rfind('/') + 1);
    const size_t dot = file.rfind('.');
    return SingleStoreFolder(source, Utf8OrCp1252(dot == std::string::npos || dot == 0 ? file : file.substr(0, dot)));
}

// "N of M messages" on standard error, rewritten in place, at most a few times a second.
class TProgressLine {
public:
    explicit TProgressLine(bool shown) : shown_(shown) {}
    ~TProgressLine() {
        if (written_) std::cerr << "\r\033[K" << std::flush;
    }
    void Show(size_t done, size_t expected) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (written_ && now - last_ < kProgressInterval) return;
        last_ = now;
        written_ = true;
        std::cerr << "\r" << done << " of " << expected << " messages" << std::flush;
    }

private:
    bool shown_;
    bool written_ = false;
    std::chrono::steady_clock::time_point last_;
};

// With --skip-duplicates the copies left out are told first, as export tells them.
void WriteSummary(std::ostream& out, bool json, const TUploadCounts& counts, size_t skipped, size_t failed,
                  const TDuplicateFilter* duplicates) {
    if (json) {
        TJsonWriter writer;
        writer.BeginObject();
        writer.Member("FoldersCreated", static_cast<uint64_t>(counts.FoldersCreated));
        writer.Member("Uploaded", static_cast<uint64_t>(counts.Uploaded));
        writer.Member("AlreadyThere", static_cast<uint64_t>(counts.AlreadyThere));
        writer.Member("Skipped", static_cast<uint64_t>(skipped));
        writer.Member("Failed", static_cast<uint64_t>(failed));
        writer.EndObject();
        writer.FlushTo(out);
        out << '\n';
        return;
    }
    if (duplicates) PrintSkippedCopies(out, *duplicates);
    out << "Folders created: " << counts.FoldersCreated << ", messages uploaded: " << counts.Uploaded
        << ", already there: " << counts.AlreadyThere
        << ", skipped: " << (duplicates ? DuplicatesCounted(skipped) : std::to_string(skipped)) << ", failed: " << failed
        << ".\n";
}

}  // namespace

void RunUpload(const TCliArguments& args, std::ostream& out) {
    TImapUploadOptions options;
    try {
        options.Connect.Url = ParseImapUrl(args.operands.at(1));
    } catch (const EUsageError&) {
        throw;
    } catch (const Exception& error) {
        throw EUsageError(error.Message());
    }
    const TStoreFolder folder = SourceFolder(args);
    CheckTransportAllowed(options.Connect.Url, TransportFor(options.Connect.Url));
    options.Connect.Login = LoginOf(args, options.Connect.Url);
    options.Connect.AcceptedFingerprint = args.upload.certificateFingerprint;
    if (!args.upload.folder.empty()) options.Target.ParentFolder = args.upload.folder;
    options.Target.SpecialFolders = args.upload.specialFolders;
    options.DryRun = args.upload.dryRun;
    options.Refused = [&args](const std::string& line) {
        if (args.err) *args.err << "\rbrindle-cli: " << ControlsAsSpaces(line) << '\n';
    };
    TImapUploadSink sink(std::move(options));

    TProgressLine progress(isatty(STDERR_FILENO) && !args.upload.dryRun);
    TExportOptions walk;
    if (args.hasIndexList) walk.Indexes = args.indexList;
    walk.CodePage = args.codePage.empty() ? TCodePageChoice::Automatic() : TCodePageChoice::Fixed(args.codePage);
    walk.Warnings = args.warnings;
    walk.Problem = [&args](const std::string& text) {
        if (args.err) *args.err << "\rbrindle-cli: " << ControlsAsSpaces(text) << '\n';
    };
    walk.Recovered = walk.Problem;
    walk.LeaveOutCopies = DuplicateFilterFor(args);
    walk.Progress = [&progress](const TExportProgress& state) {
        progress.Show(state.Messages, state.ExpectedMessages);
        return !interrupted;
    };
    interrupted = false;
    auto previous = std::signal(SIGINT, OnInterrupt);
    TExportTotals totals;
    try {
        totals = ExportTree(folder, sink, walk);
    } catch (...) {
        std::signal(SIGINT, previous);
        throw;
    }
    std::signal(SIGINT, previous);

    if (args.upload.dryRun) {
        for (const std::string& line : sink.Plan()) out << "would " << ControlsAsSpaces(line) << '\n';
        if (totals.Errors > 0) throw Exception("the dry run met errors (above)");
        return;
    }
    for (const std::string& note : sink.Notes())
        if (args.err) *args.err << "brindle-cli: " << ControlsAsSpaces(note) << '\n';
    const size_t failed = totals.Errors + sink.Counts().Failed;
    WriteSummary(out, args.json, sink.Counts(), totals.Skipped, failed, walk.LeaveOutCopies.get());
    if (totals.Cancelled) throw Exception("interrupted; run the same command again to upload the rest");
    if (failed > 0)
        throw Exception(std::to_string(failed) +
                        (failed == 1 ? " folder or message was" : " folders or messages were") +
                        " not uploaded.");
}

}  // namespace brindle
