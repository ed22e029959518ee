// The commands that read a whole store file, indexed or not: scan and recover.
#include "cli/Commands.h"
#include "cli/JsonWriter.h"
#include "mailbox/CodePage.h"
#include "mailbox/Rescue.h"
#include "platform/FileNames.h"
#include "platform/QueuedWriter.h"
#include "platform/TargetFolder.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <cstdio>

namespace brindle {
namespace {

// Recovered files are written by this many threads (their names differ by the offset in them,
// so the order they are written in cannot change a name), with this much queued for them.
constexpr unsigned kRecoverWriters = 2;
constexpr size_t kRecoverQueueBytes = size_t{16} << 20;
// Found messages written between two flushes of a JSON list.
constexpr size_t kJsonRowsPerFlush = 256;

std::string Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

void WriteFoundRow(std::ostream& out, const TRescuedMessage& message) {
    const TFoundMessage& found = message.Found;
    out << Hex8(found.Offset) << '\t' << FoundKindName(found.Kind) << '\t'
        << (found.Index ? std::to_string(*found.Index) : "-") << '\t' << found.Size << '\t' << found.LostBytes << '\t'
        << ControlsAsSpaces(message.Header.Date) << '\t' << ControlsAsSpaces(message.Header.From) << '\t'
        << ControlsAsSpaces(message.Header.Subject) << '\n';
}

void WriteFoundObject(TJsonWriter& json, const TRescuedMessage& message) {
    const TFoundMessage& found = message.Found;
    json.BeginObject();
    json.Member("Offset", found.Offset);
    json.Member("Kind", FoundKindName(found.Kind));
    json.Key("Index");
    if (found.Index)
        json.Number(*found.Index);
    else
        json.Null();
    json.Member("Size", found.Size);
    json.Member("LostBytes", found.LostBytes);
    json.Member("Subject", message.Header.Subject);
    json.Member("From", message.Header.From);
    json.Member("Date", message.Header.Date);
    json.Member("MessageID", message.Header.MessageID);
    json.EndObject();
}

}  // namespace

// The code page that --codepage chose, else the one decided from the store when it opens (only
// once a header needs it); none for a store that does not open.
void SetScanCodePage(const TCliArguments& args, TStoreRescue& rescue) {
    if (!args.codePage.empty()) return rescue.SetCodePage(args.codePage);
    rescue.SetCodePageSource([path = args.operands.at(0)]() -> std::string {
        try {
            std::unique_ptr<TOEReader> reader = OpenStore(path, {}, false);
            return DecideStoreCodePage(*reader);
        } catch (const Exception&) {
            return {};
        }
    });
}

void RunScan(const TCliArguments& args, std::ostream& out) {
    TStoreRescue rescue(args.operands.at(0), true);
    SetScanCodePage(args, rescue);
    rescue.Run();
    if (!args.json) {
        for (const TRescuedMessage& message : rescue.Messages()) WriteFoundRow(out, message);
        return;
    }
    TJsonWriter json;
    json.BeginArray();
    size_t written = 0;
    for (const TRescuedMessage& message : rescue.Messages()) {
        WriteFoundObject(json, message);
        if (++written % kJsonRowsPerFlush == 0) json.FlushTo(out);
    }
    json.EndArray();
    json.FlushTo(out);
}

// Writes every message the scan finds, indexed ones too, as found (lost bytes filled). A name
// that is taken gets the next free number; nothing in DIR is replaced. The files are written on
// other threads while the next texts are read.
void RunRecover(const TCliArguments& args, std::ostream& out) {
    const std::string& dir = args.operands.at(1);
    if (dir.empty()) throw EUsageError("DIR must not be empty");
    TStoreRescue rescue(args.operands.at(0), true);
    MakeOutFolder(dir);
    TTargetFolder folder(dir);
    TQueuedWriter writer(folder, TIfExists::NextFreeName, kRecoverQueueBytes, kRecoverWriters);
    rescue.Run({}, [&](const TRescuedMessage& message, std::string text) {
        writer.Write(SafeSaveName(RecoveredFileName(message)), std::move(text));
    });
    writer.Finish();
    const TRescuedList& messages = rescue.Messages();
    const size_t lost = static_cast<size_t>(std::count_if(
        messages.begin(), messages.end(), [](const TRescuedMessage& m) { return m.Found.LostBytes != 0; }));
    out << "Recovered " << messages.size() << (messages.size() == 1 ? " message" : " messages");
    if (lost != 0) out << " (" << lost << " with lost bytes)";
    out << " into " << dir << '\n';
}

}  // namespace brindle
