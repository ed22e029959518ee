// The commands that read a store: info, list, header, text, export and addresses.
#include "cli/Commands.h"
#include "cli/DateFormat.h"
#include "cli/JsonWriter.h"
#include "store/StoreOpener.h"
#include "platform/Utf8.h"
#include "mailbox/AddressList.h"
#include "mailbox/MessageFiles.h"
#include "store/MessageInfo.h"

#include <algorithm>
#include <cstdio>

namespace brindle {
namespace {

// Summaries written between two flushes of a JSON list.
constexpr int32_t kJsonRowsPerFlush = 256;

void WriteBytes(std::ostream& out, std::string_view bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A summary text as one tab-separated cell: UTF-8, control characters shown as spaces.
std::string CellText(std::string_view text) {
    std::string cell = Utf8OrCp1252Cut(text, kShortStringMax);
    for (char& c : cell)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return cell;
}

std::string HexFlags(uint32_t flags) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", flags);
    return text;
}

void WriteSummaryRow(std::ostream& out, int32_t position, const TMessageInfo& info) {
    const std::string& sender = info.SenderName.empty() ? info.SenderAddress : info.SenderName;
    std::string row = std::to_string(position);
    row += '\t';
    row += HexFlags(info.Flags);
    row += '\t';
    row += CellText(ReceivedText(info));
    row += '\t';
    row += std::to_string(info.Size);
    row += '\t';
    row += CellText(sender);
    row += '\t';
    row += CellText(info.Subject);
    row += '\n';
    WriteBytes(out, row);
}

void WriteSummaryObject(TJsonWriter& json, const TMessageInfo& info) {
    json.BeginObject();
    json.Member("Index", info.Index);
    json.Member("Flags", info.Flags);
    json.Member("DataOffset", info.DataOffset);
    json.Member("MessageID", info.MessageID);
    json.Member("Subject", info.Subject);
    json.Member("Server", info.Server);
    json.Member("SenderName", info.SenderName);
    json.Member("SenderAddress", info.SenderAddress);
    json.Member("Received", info.Received);
    json.Member("DateText", info.DateText);
    json.Member("ReceiverName", info.ReceiverName);
    json.Member("ReceiverAddress", info.ReceiverAddress);
    json.Member("AccountName", info.AccountName);
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
    std::string folder = Utf8OrCp1252(reader->GetFolderName());
    int32_t count = reader->GetMessageCount();
    if (args.json) {
        TJsonWriter json;
        json.BeginObject();
        json.Member("kind", static_cast<uint32_t>(reader->FileKind()));
        json.Member("folder", folder);
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
    if (!args.json) {
        for (int32_t i = 0; i < count; ++i) WriteSummaryRow(out, i, reader->GetMessageInfo(i));
        return;
    }
    TJsonWriter json;
    json.BeginArray();
    for (int32_t i = 0; i < count; ++i) {
        WriteSummaryObject(json, reader->GetMessageInfo(i));
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

void RunExport(const TCliArguments& args, std::ostream&) {
    const std::string& dir = args.operands.at(1);
    if (dir.empty()) throw EUsageError("DIR must not be empty");
    std::unique_ptr<TOEReader> reader = OpenStore(args.operands.at(0), args.warnings);
    std::vector<int32_t> indexes = args.indexList;
    if (args.hasIndexList) {
        for (int32_t index : indexes) CheckedMessageIndex(*reader, index);
    } else {
        indexes.resize(static_cast<size_t>(std::max(reader->GetMessageCount(), 0)));
        for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<int32_t>(i);
    }
    // Messages are saved in order; the first one that cannot be read or written ends the
    // walk, and the files written before it stay. A name that is taken gets the next free
    // number; nothing in the folder is replaced.
    TTargetFolder folder(dir);
    for (int32_t index : indexes) {
        std::string name = SavedMessageFileName(index, reader->GetMessageInfo(index).Subject);
        SaveMessageFile(folder, name, reader->GetMessageText(index), TIfExists::NextFreeName);
    }
}

void RunAddresses(const TCliArguments& args, std::ostream& out) {
    std::unique_ptr<TOEReader> reader = OpenStore(args.operands.at(0), args.warnings);
    std::string text;
    for (const std::string& line : GatherAddresses(*reader)) {
        text += line;
        text += '\n';
    }
    WriteBytes(out, text);
}

}  // namespace brindle
