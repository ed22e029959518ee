// The commands that read a store: info, list, header, text, export and addresses.
#include "cli/Commands.h"
#include "cli/DateFormat.h"
#include "cli/JsonWriter.h"
#include "cli/TerminalText.h"
#include "mailbox/AddressList.h"
#include "mailbox/AttachmentExport.h"
#include "mailbox/CodePage.h"
#include "mailbox/Duplicates.h"
#include "mailbox/FolderExport.h"
#include "mailbox/MessageFiles.h"
#include "mailbox/StoreFolder.h"
#include "platform/StringList.h"
#include "platform/TargetFolder.h"
#include "platform/Utf8.h"
#include "store/MessageInfo.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace brindle {
namespace {

// Summaries written between two flushes of a JSON list.
constexpr int32_t kJsonRowsPerFlush = 256;

void WriteBytes(std::ostream& out, std::string_view bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string HexFlags(uint32_t flags) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", flags);
    return text;
}

void WriteSummaryRow(std::ostream& out, int32_t position, const TMessageInfo& info, const TShownSummary& shown) {
    std::string row = std::to_string(position);
    row += '\t';
    row += HexFlags(info.Flags);
    row += '\t';
    row += CellText(ReceivedText(info));
    row += '\t';
    row += std::to_string(info.Size);
    row += '\t';
    row += ControlsAsSpaces(shown.Sender);
    row += '\t';
    row += ControlsAsSpaces(shown.Subject);
    row += '\n';
    WriteBytes(out, row);
}

void WriteSummaryObject(TJsonWriter& json, const TMessageInfo& info, const TShownSummary& shown,
                        const std::string& codePage) {
    auto text = [&](std::string_view bytes) { return SummaryToUtf8(bytes, codePage); };
    json.BeginObject();
    json.Member("Index", info.Index);
    json.Member("Flags", info.Flags);
    json.Member("DataOffset", info.DataOffset);
    json.Member("MessageID", text(info.MessageID));
    json.Member("Subject", shown.Subject);
    json.Member("Server", text(info.Server));
    json.Member("SenderName", info.SenderName.empty() ? std::string() : shown.Sender);
    json.Member("SenderAddress", info.SenderName.empty() ? shown.Sender : text(info.SenderAddress));
    json.Member("Received", info.Received);
    json.Member("DateText", text(info.DateText));
    json.Member("ReceiverName", text(info.ReceiverName));
    json.Member("ReceiverAddress", text(info.ReceiverAddress));
    json.Member("AccountName", text(info.AccountName));
    json.Member("Size", info.Size);
    json.Member("Priority", info.Priority);
    json.EndObject();
}

// The store and the message index that the operands name; a malformed index is a usage
// error before the store is opened.
struct TOpenMessage {
    std::unique_ptr<TOEReader> reader;
    int32_t index;
};

TOpenMessage OpenStoreMessage(const TCliArguments& args) {
    int32_t index = ParseIndex(args.operands.at(1));
    std::unique_ptr<TOEReader> reader = OpenStore(args.operands.at(0), args.warnings);
    CheckedMessageIndex(*reader, index);
    return {std::move(reader), index};
}

// Damage of the folder list is told on standard error always: without the list, the tree
// shows every store file at the top.
TWarningSink ListWarnings(const TCliArguments& args) {
    if (args.warnings) return args.warnings;
    std::ostream* err = args.err;
    return [err](const TWarning& warning) {
        if (err) *err << "brindle-cli: warning: " << warning.Describe() << '\n';
    };
}

void WriteFolderObject(TJsonWriter& json, const TFolderNode& node) {
    json.BeginObject();
    json.Key("Id");
    node.Id ? json.Number(*node.Id) : json.Null();
    json.Key("ParentId");
    node.ParentId ? json.Number(*node.ParentId) : json.Null();
    json.Member("Name", node.Name);
    if (node.File) {
        json.FileNameMember("File", *node.File);
    } else {
        json.Key("File");
        json.Null();
    }
    json.Key("Count");
    node.Count ? json.Number(*node.Count) : json.Null();
    json.Key("Unread");
    node.Unread ? json.Number(*node.Unread) : json.Null();
    json.Key("Special");
    const std::string_view special = SpecialFolderName(node.Special);
    special.empty() ? json.Null() : json.String(special);
    json.Member("Depth", node.Depth);
    json.EndObject();
}

// "  Name (12 messages, 3 unread)": two spaces per level; "no file" for a folder without one.
std::string FolderTreeLine(const TFolderNode& node) {
    std::string line(size_t{node.Depth} * 2, ' ');
    line += CellText(node.Name);
    if (!node.File) {
        line += node.Id && node.Depth == 0 ? "\n" : " (no file)\n";
        return line;
    }
    line += " (";
    line += node.Count ? std::to_string(*node.Count) + (*node.Count == 1 ? " message" : " messages") : "unreadable";
    if (node.Unread && *node.Unread > 0) line += ", " + std::to_string(*node.Unread) + " unread";
    line += ")\n";
    return line;
}

}  // namespace

// Kind, folder name and count come from the file's header; damage further in (the index
// tree, a summary) does not hide them and is told as a warning.
void RunInfo(const TCliArguments& args, std::ostream& out) {
    const std::string& path = args.operands.at(0);
    std::unique_ptr<TOEReader> reader = CreateStoreReader(path, args.warnings);
    try {
        reader->Open(path);
        reader->ReadMessageInfos();
    } catch (const Exception& error) {
        if (!reader->Loaded() || reader->GetMessageCount() <= 0) throw;
        if (args.warnings) args.warnings({error.Message(), error.Context()});
    }
    const std::string codePage = CodePageFor(args, *reader);
    std::string folder = SummaryToUtf8(reader->GetFolderName(), codePage);
    int32_t count = reader->GetMessageCount();
    if (args.json) {
        TJsonWriter json;
        json.BeginObject();
        json.Member("kind", static_cast<uint32_t>(reader->FileKind()));
        json.Member("folder", folder);
        json.Member("codepage", codePage);
        json.Member("count", count);
        json.EndObject();
        json.FlushTo(out);
        return;
    }
    out << "Kind: " << static_cast<int>(reader->FileKind()) << '\n'
        << "Folder: " << folder << '\n'
        << "Count: " << count << '\n';
}

void RunList(const TCliArguments& args, std::ostream& out) {
    std::unique_ptr<TOEReader> reader = OpenStore(args.operands.at(0), args.warnings);
    int32_t count = reader->GetMessageCount();
    const std::string codePage = CodePageFor(args, *reader);
    if (!args.json) {
        for (int32_t i = 0; i < count; ++i) {
            const TMessageInfo info = reader->GetMessageInfo(i);
            WriteSummaryRow(out, i, info, ShownSummaryOf(*reader, i, info, codePage));
        }
        return;
    }
    TJsonWriter json;
    json.BeginArray();
    for (int32_t i = 0; i < count; ++i) {
        const TMessageInfo info = reader->GetMessageInfo(i);
        WriteSummaryObject(json, info, ShownSummaryOf(*reader, i, info, codePage), codePage);
        if (i % kJsonRowsPerFlush == kJsonRowsPerFlush - 1) json.FlushTo(out);
    }
    json.EndArray();
    json.FlushTo(out);
}

void RunHeader(const TCliArguments& args, std::ostream& out) {
    TOpenMessage message = OpenStoreMessage(args);
    WriteBytes(out, message.reader->GetMessageHeader(message.index));
}

void RunText(const TCliArguments& args, std::ostream& out) {
    TOpenMessage message = OpenStoreMessage(args);
    WriteBytes(out, message.reader->GetMessageText(message.index));
}

// The messages of one store as flat .eml files, dated by their received time. A message that
// cannot be read is named on standard error and counted; the others go on.
TExportTotals ExportFileAsEml(const TCliArguments& args, const std::string& dir, TDuplicateFilter* duplicates) {
    std::unique_ptr<TOEReader> reader = OpenStore(args.operands.at(0), args.warnings);
    std::vector<int32_t> indexes = args.indexList;
    if (args.hasIndexList) {
        for (int32_t index : indexes) CheckedMessageIndex(*reader, index);
    } else {
        indexes.resize(static_cast<size_t>(std::max(reader->GetMessageCount(), 0)));
        for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<int32_t>(i);
    }
    // Messages are saved in order; one that cannot be read or written is named on standard
    // error and the others go on. A name that is taken gets the next free number; nothing in
    // the folder is replaced.
    TTargetFolder folder(dir);
    const std::string codePage = CodePageFor(args, *reader);
    const size_t width = IndexWidth(static_cast<size_t>(std::max(reader->GetMessageCount(), 0)));
    std::string scratch;
    TExportTotals totals;
    const std::string shown = std::filesystem::path(args.operands.at(0)).filename().string();
    for (int32_t index : indexes) {
        try {
            const TMessageInfo info = reader->GetMessageInfo(index);
            const std::string text = reader->GetMessageText(index);
            if (duplicates && !duplicates->Admit(text, shown, index)) {
                ++totals.Skipped;
                continue;
            }
            std::unique_ptr<TNewFile> file = folder.Create(
                ExportedMessageFileName(index, width, SummaryToUtf8(info.Subject, codePage)), TIfExists::NextFreeName);
            file->Append(NormalizedLineEnds(text, scratch));
            file->Finish(UnixTimeOf(info.Received));
            ++totals.Messages;
        } catch (const EWriteError&) {
            throw;
        } catch (const EFCreateError&) {
            throw;
        } catch (const Exception& error) {
            ++totals.Errors;
            if (args.err) *args.err << "brindle-cli: message " << index << ": " << error.Message() << '\n';
        }
    }
    return totals;
}


void PrintExportSummary(std::ostream& out, const TExportTotals& totals, bool folders,
                        const TDuplicateFilter* duplicates) {
    if (duplicates) PrintSkippedCopies(out, *duplicates);
    out << "Exported ";
    if (folders) out << totals.Folders << (totals.Folders == 1 ? " folder, " : " folders, ");
    out << totals.Messages << (totals.Messages == 1 ? " message, " : " messages, ") << totals.Errors
        << (totals.Errors == 1 ? " error" : " errors");
    if (totals.Recovered > 0) out << ", " << totals.Recovered << " recovered by scan";
    if (totals.Skipped > 0 || duplicates)
        out << ", " << (duplicates ? DuplicatesCounted(totals.Skipped) : std::to_string(totals.Skipped)) << " skipped";
    out << ".\n";
}

void ThrowIfNotExported(const TExportTotals& totals) {
    if (totals.Errors > 0)
        throw Exception(std::to_string(totals.Errors) +
                        (totals.Errors == 1 ? " folder or message was" : " folders or messages were") +
                        " not exported.");
}

void RunExport(const TCliArguments& args, std::ostream& out) {
    const std::string& source = args.operands.at(0);
    const std::string& dir = args.operands.at(1);
    if (dir.empty()) throw EUsageError("OUT must not be empty");
    const TExportFormat format = ExportFormatNamed(args.format).value_or(TExportFormat::Eml);
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(source, error);
    if (isFolder && args.hasIndexList) throw EUsageError("--index applies to a store file, not to a folder");
    const std::shared_ptr<TDuplicateFilter> duplicates = DuplicateFilterFor(args);
    if (!isFolder && format == TExportFormat::Eml) {
        // A store that cannot be opened is an error of the command before anything is made.
        CreateStoreReader(source, {});
        MakeOutFolder(dir);
        const TExportTotals totals = ExportFileAsEml(args, dir, duplicates.get());
        PrintExportSummary(out, totals, false, duplicates.get());
        return ThrowIfNotExported(totals);
    }
    if (!isFolder) CreateStoreReader(source, {});
    MakeOutFolder(dir);

    TExportOptions options;
    options.Format = format;
    if (args.hasIndexList) options.Indexes = args.indexList;
    options.Warnings = args.warnings;
    options.CodePage = args.codePage.empty() ? TCodePageChoice::Automatic() : TCodePageChoice::Fixed(args.codePage);
    options.Problem = [&args](const std::string& text) {
        if (args.err) *args.err << "brindle-cli: " << text << '\n';
    };
    options.Recovered = options.Problem;
    options.LeaveOutCopies = duplicates;
    const TExportTotals totals =
        isFolder ? ExportStoreFolder(ReadStoreFolder(source, ListWarnings(args), args.codePage), dir, options)
                 : ExportStoreFile(source, dir, options);
    for (const std::string& note : totals.Notes) options.Problem(note);
    PrintExportSummary(out, totals, true, duplicates.get());
    ThrowIfNotExported(totals);
}

void RunAllAttachments(const TCliArguments& args, std::ostream& out) {
    if (args.operands.size() != 2) throw EUsageError("--all takes FILE|DIR and OUT");
    const std::string& source = args.operands.at(0);
    const std::string& dir = args.operands.at(1);
    if (dir.empty()) throw EUsageError("OUT must not be empty");
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(source, error);
    TStoreFolder folder;
    if (isFolder) {
        folder = ReadStoreFolder(source, ListWarnings(args), args.codePage);
    } else {
        CreateStoreReader(source, {});
        folder = SingleStoreFolder(source, Utf8OrCp1252(std::filesystem::path(source).stem().string()));
    }
    MakeOutFolder(dir);
    auto tell = [&args](const std::string& text) {
        if (args.err) *args.err << "brindle-cli: " << EscapedForTerminal(text) << '\n';
    };
    TAttachmentSink sink(dir, tell);
    TExportOptions options;
    options.Warnings = args.warnings;
    options.CodePage = args.codePage.empty() ? TCodePageChoice::Automatic() : TCodePageChoice::Fixed(args.codePage);
    options.Problem = tell;
    options.Recovered = tell;
    const TExportTotals totals = ExportTree(folder, sink, options);
    const TAttachmentTotals& saved = sink.Totals();
    out << "Saved " << saved.Attachments << (saved.Attachments == 1 ? " attachment (" : " attachments (") << saved.Bytes
        << " bytes) of " << saved.Messages << (saved.Messages == 1 ? " message" : " messages") << " in "
        << totals.Folders << (totals.Folders == 1 ? " folder" : " folders") << " (" << totals.Messages
        << " messages read), " << totals.Errors << (totals.Errors == 1 ? " error" : " errors");
    if (saved.Failed > 0) out << ", " << saved.Failed << " attachments not saved";
    if (totals.Recovered > 0) out << ", " << totals.Recovered << " recovered by scan";
    if (saved.Warnings > 0) out << ", " << saved.Warnings << " with damaged content";
    out << ".\n";
    if (totals.Errors > 0)
        throw Exception(std::to_string(totals.Errors) +
                        (totals.Errors == 1 ? " folder or message was" : " folders or messages were") +
                        " not saved whole.");
}

void RunFolders(const TCliArguments& args, std::ostream& out) {
    const TStoreFolder folder = ReadStoreFolder(args.operands.at(0), ListWarnings(args), args.codePage);
    if (args.json) {
        TJsonWriter json;
        json.BeginArray();
        for (const TFolderNode& node : folder.Nodes) WriteFolderObject(json, node);
        json.EndArray();
        json.FlushTo(out);
        return;
    }
    std::string text;
    for (const TFolderNode& node : folder.Nodes) text += FolderTreeLine(node);
    WriteBytes(out, text);
}

void RunAddresses(const TCliArguments& args, std::ostream& out) {
    std::unique_ptr<TOEReader> reader = OpenStore(args.operands.at(0), args.warnings);
    std::string text;
    for (const std::string& line : GatherAddresses(*reader, CodePageFor(args, *reader))) {
        text += line;
        text += '\n';
    }
    WriteBytes(out, text);
}

}  // namespace brindle
