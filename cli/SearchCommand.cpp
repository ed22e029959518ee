// The command that finds mail: search.
#include "cli/Commands.h"
#include "cli/DateFormat.h"
#include "cli/JsonWriter.h"
#include "mailbox/Search.h"
#include "platform/Utf8.h"

#include <mutex>

namespace brindle {
namespace {

constexpr size_t kJsonHitsPerFlush = 256;

std::string HitRow(const TSearchHit& hit) {
    const TMessageInfo& info = hit.Info;
    const std::string& sender = info.SenderName.empty() ? info.SenderAddress : info.SenderName;
    std::string row = ControlsAsSpaces(hit.File);
    row += '\t';
    row += std::to_string(hit.Index);
    row += '\t';
    row += CellText(sender);
    row += '\t';
    row += CellText(info.Subject);
    row += '\t';
    row += CellText(ReceivedText(info));
    row += '\n';
    return row;
}

void WriteHitObject(TJsonWriter& json, const TSearchHit& hit) {
    json.BeginObject();
    json.FileNameMember("File", hit.File);
    json.Member("Index", hit.Index);
    json.Member("Subject", hit.Info.Subject);
    json.Member("SenderName", hit.Info.SenderName);
    json.Member("SenderAddress", hit.Info.SenderAddress);
    json.Member("Received", hit.Info.Received);
    json.EndObject();
}

void WriteHits(const TCliArguments& args, const std::vector<TSearchHit>& hits, std::ostream& out) {
    if (!args.json) {
        std::string text;
        for (const TSearchHit& hit : hits) text += HitRow(hit);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return;
    }
    TJsonWriter json;
    json.BeginArray();
    for (size_t i = 0; i < hits.size(); ++i) {
        WriteHitObject(json, hits[i]);
        if (i % kJsonHitsPerFlush == kJsonHitsPerFlush - 1) json.FlushTo(out);
    }
    json.EndArray();
    json.FlushTo(out);
}

}  // namespace

void RunSearch(const TCliArguments& args, std::ostream& out) {
    const TSearchQuery query(args.operands.at(1));
    if (query.Empty()) throw EUsageError("QUERY must not be empty");
    TSearchControl control;
    control.Warnings = args.warnings;
    control.CodePage = args.codePage;
    // What could not be searched is told always, and fails the command.
    std::mutex skippedLock;
    size_t skipped = 0;
    std::ostream* err = args.err;
    control.Skipped = [&](const TWarning& warning) {
        std::lock_guard lock(skippedLock);
        ++skipped;
        if (err) *err << "brindle-cli: not searched: " << warning.Describe() << '\n';
    };
    const std::vector<TSearchHit> hits = SearchPath(args.operands.at(0), query, control);
    WriteHits(args, hits, out);
    if (skipped > 0)
        throw Exception(std::to_string(skipped) +
                        (skipped == 1 ? " store or message was" : " stores or messages were") + " not searched.");
}

}  // namespace brindle
