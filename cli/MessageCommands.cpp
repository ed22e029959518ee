// The commands that decode one message: show and attachments.
#include "cli/Commands.h"
#include "cli/JsonWriter.h"
#include "cli/Sha256.h"
#include "cli/TerminalText.h"
#include "mailbox/CodePage.h"
#include "mailbox/PartialMessage.h"
#include "mime/MoxMsg.h"
#include "mime/SaveNames.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"
#include "store/EmlFile.h"
#include "store/StoreOpener.h"

namespace brindle {
namespace {

// The message named by the operands before the last `trailing` ones: an .eml file alone, or a
// store and an index. An .eml file's mapped bytes are the message's raw text as they stand;
// a store's message is read out of it.
struct TMessageSource {
    std::string rawText;
    std::shared_ptr<const TByteSource> file;
    std::string codePage;  // the store's; empty for an .eml file
};

TMessageSource ReadMessageSource(const TCliArguments& args, size_t trailing) {
    const std::vector<std::string>& operands = args.operands;
    const std::string& file = operands.at(0);
    size_t sourceOperands = operands.size() - trailing;
    if (IsEmlFileName(file)) {
        if (sourceOperands != 1) throw EUsageError("an .eml file takes no message index");
        return {{}, OpenEmlFile(file), {}};
    }
    if (sourceOperands != 2) throw EUsageError("a store needs a message index");
    int32_t index = ParseIndex(operands.at(1));
    std::unique_ptr<TOEReader> reader = OpenStore(file, args.warnings);
    std::string text = reader->GetMessageText(CheckedMessageIndex(*reader, index));
    return {std::move(text), nullptr, CodePageFor(args, *reader)};
}

// A file cut short by another program while it is parsed reads as zeros past its new end;
// that is a read error, not a message.
void ParseMessage(TMoxMsg& message, TMessageSource source) {
    std::shared_ptr<const TByteSource> file = source.file;
    message.StoreCodePage = source.codePage;
    if (file) {
        message.SetRawFile(std::move(source.file));
    } else {
        message.SetRawText(std::move(source.rawText));
    }
    message.Parse();
    if (file) file->CheckIntact();
}

// Damage in the content that parsing worked around (a TNEF attachment kept as it is).
void TellParseWarnings(const TCliArguments& args, const TMoxMsg& message) {
    if (!args.err) return;
    for (const std::string& warning : message.Warnings)
        *args.err << "brindle-cli: warning: " << EscapedForTerminal(warning) << '\n';
}

// Long texts go out in pieces, so that the document never stays in memory whole.
constexpr size_t kJsonFlushBytes = 1 << 16;

void WriteAttachmentObject(TJsonWriter& json, const TAttachedFile& file) {
    json.BeginObject();
    json.Member("FileName", file.FileName);
    json.Member("ContentType", file.ContentType);
    json.Member("Size", static_cast<uint64_t>(file.Data.size()));
    json.Member("SHA256", Sha256Hex(file.Data));
    json.Member("ContentID", file.ContentID);
    json.Member("MediaType", file.MediaType);
    if (!file.Container.empty()) json.Member("Container", file.Container);
    if (file.Modified) json.Member("Modified", static_cast<int64_t>(*file.Modified));
    json.EndObject();
}

void WritePartialJson(TJsonWriter& json, const TPartialFinding& note) {
    json.Key("Partial");
    json.BeginObject();
    json.Member("Id", note.Part.Id);
    json.Member("Number", note.Part.Number);
    json.Key("Total");
    if (note.Total)
        json.Number(*note.Total);
    else
        json.Null();
    json.Key("Missing");
    json.BeginArray();
    for (uint32_t number : note.Missing) json.Number(number);
    json.EndArray();
    json.Member("Reassembled", note.Complete);
    json.EndObject();
}

void WriteMessageJson(const TMoxMsg& message, std::ostream& out, const std::optional<TPartialFinding>& partial) {
    TJsonWriter json;
    json.BeginObject();
    if (partial) WritePartialJson(json, *partial);
    json.Member("From", message.From);
    json.Member("Sender", message.Sender);
    json.Member("ReplyTo", message.ReplyTo);
    json.Member("SendTo", message.SendTo);
    json.Member("CC", message.CC);
    json.Member("Subject", message.Subject);
    json.Member("Date", message.Date);
    json.Member("MessageID", message.MessageID);
    json.Member("InReplyTo", message.InReplyTo);
    json.Member("ReturnPath", message.ReturnPath);
    json.Member("ContentType", message.ContentType);
    json.Member("ContentTransferEncoding", message.ContentTransferEncoding);
    json.Key("Text");
    json.BeginArray();
    for (std::string_view line : message.Text) {
        json.String(line);
        if (json.Text().size() >= kJsonFlushBytes) json.FlushTo(out);
    }
    json.EndArray();
    json.Key("Attachments");
    json.BeginArray();
    for (size_t i = 0; i < message.AttachedFiles.Count(); ++i)
        WriteAttachmentObject(json, message.AttachedFiles.Items(i));
    json.EndArray();
    json.EndObject();
    json.FlushTo(out);
}

void WriteMessageText(const TMoxMsg& message, std::ostream& out) {
    out << "From: " << Utf8OrCp1252(message.From) << '\n'
        << "Subject: " << Utf8OrCp1252(message.Subject) << '\n'
        << "Date: " << Utf8OrCp1252(message.Date) << '\n'
        << "To: " << Utf8OrCp1252(message.SendTo) << '\n'
        << "CC: " << Utf8OrCp1252(message.CC) << '\n'
        << '\n';
    for (std::string_view line : message.Text) out << Utf8OrCp1252(line) << '\n';
    size_t count = message.AttachedFiles.Count();
    out << '\n' << "Attachments: " << count << '\n';
    for (size_t i = 0; i < count; ++i) {
        const TAttachedFile& file = message.AttachedFiles.Items(i);
        const std::string& type = file.MediaType.empty() ? file.ContentType : file.MediaType;
        out << "  " << Utf8OrCp1252(file.FileName) << "\t" << Utf8OrCp1252(type) << "\t" << file.Data.size()
            << " bytes";
        if (!file.Container.empty()) out << "\tfrom " << Utf8OrCp1252(file.Container);
        out << '\n';
    }
}

}  // namespace

void RunShow(const TCliArguments& args, std::ostream& out) {
    TMoxMsg message;
    TMessageSource source = ReadMessageSource(args, 0);
    std::optional<TPartialFinding> partial;
    if (std::optional<TPartialPart> part = PartialPartOf(source.file ? source.file->All() : source.rawText)) {
        partial = FindingOf(*part, GatherPartialParts(args.operands.at(0), *part, args.warnings));
        if (partial->Complete) source = {std::move(partial->Whole), nullptr, source.codePage};
    }
    ParseMessage(message, std::move(source));
    TellParseWarnings(args, message);
    if (args.json) return WriteMessageJson(message, out, partial);
    if (partial) out << PartialFindingLine(*partial) << '\n';
    WriteMessageText(message, out);
}

void RunAttachments(const TCliArguments& args, std::ostream& out) {
    if (args.all) return RunAllAttachments(args, out);
    if (!args.codePage.empty()) throw EUsageError("--codepage applies with --all");
    const std::string& dir = args.operands.back();
    if (dir.empty()) throw EUsageError("DIR must not be empty");
    TMoxMsg message;
    ParseMessage(message, ReadMessageSource(args, 1));
    TellParseWarnings(args, message);
    std::vector<std::string> names = AttachmentSaveNames(message.AttachedFiles);
    // A name that is taken in the folder gets the next free number; nothing is replaced.
    MakeOutFolder(dir);
    TTargetFolder folder(dir);
    for (size_t i = 0; i < message.AttachedFiles.Count(); ++i) {
        std::string written = message.AttachedFiles.Items(i).SaveToFile(folder, names.at(i), TIfExists::NextFreeName);
        out << folder.PathOf(written) << '\n';
    }
}

}  // namespace brindle
