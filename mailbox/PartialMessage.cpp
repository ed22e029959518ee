#include "mailbox/PartialMessage.h"

#include "mailbox/MailboxSession.h"
#include "mailbox/StoreFolder.h"
#include "mime/HeaderFields.h"
#include "platform/TextRules.h"
#include "store/EmlFile.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace brindle {
namespace {

// A split message has at most this many parts; higher numbers are damage.
constexpr uint32_t kMaxParts = 10000;

struct TField {
    std::string_view Name;  // without the colon
    std::string_view Raw;   // the field's lines with their line ends
};

struct THeaderAndBody {
    std::vector<TField> Fields;
    std::string_view Body;
    bool HasBody = false;  // an empty line ends the header
};

// The header block up to the first empty line, split into fields (a line that begins with a
// space or a tab continues the field before it), and the body after the empty line.
THeaderAndBody SplitMessage(std::string_view text) {
    THeaderAndBody split;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(at, end - at);
        if (line == "\n" || line == "\r\n") {
            split.Body = text.substr(end);
            split.HasBody = true;
            return split;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !split.Fields.empty()) {
            TField& last = split.Fields.back();
            last.Raw = std::string_view(last.Raw.data(), last.Raw.size() + line.size());
        } else {
            const size_t colon = line.find(':');
            split.Fields.push_back({line.substr(0, colon == std::string_view::npos ? 0 : colon), line});
        }
        at = end;
    }
    return split;
}

bool NameIs(std::string_view name, std::string_view wanted) {
    return name.size() == wanted.size() && StartsWithNoCase(name, wanted);
}

// The fields that the enclosed header gives the whole message.
bool IsEnclosedField(std::string_view name) {
    return StartsWithNoCase(name, "content-") || NameIs(name, "subject") || NameIs(name, "message-id") ||
           NameIs(name, "encrypted") || NameIs(name, "mime-version");
}

std::optional<uint32_t> NumberOf(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || value == 0 || value > kMaxParts)
        return std::nullopt;
    return value;
}

std::string Unfolded(std::string_view raw) {
    std::string text;
    for (char c : raw)
        if (c != '\r' && c != '\n') text += c;
    return text;
}

}  // namespace

std::optional<TPartialPart> PartialPartOf(std::string_view text) {
    for (const TField& field : SplitMessage(text).Fields) {
        if (!NameIs(field.Name, "content-type")) continue;
        const std::string value = Unfolded(field.Raw.substr(field.Name.size() + 1));
        const std::string_view type = Trim(std::string_view(value).substr(0, value.find(';')));
        if (!NameIs(type, "message/partial")) return std::nullopt;
        TPartialPart part;
        part.Id = GetParameter(value, "id").value_or("");
        const std::optional<uint32_t> number = NumberOf(GetParameter(value, "number"));
        if (part.Id.empty() || !number) return std::nullopt;
        part.Number = *number;
        part.Total = NumberOf(GetParameter(value, "total"));
        return part;
    }
    return std::nullopt;
}

std::string ReassemblePartial(const std::vector<std::string_view>& partsInOrder) {
    if (partsInOrder.empty()) return {};
    const THeaderAndBody first = SplitMessage(partsInOrder.front());
    const THeaderAndBody enclosed = SplitMessage(first.Body);
    std::string whole;
    for (const TField& field : first.Fields)
        if (!IsEnclosedField(field.Name)) whole += field.Raw;
    for (const TField& field : enclosed.Fields)
        if (IsEnclosedField(field.Name)) whole += field.Raw;
    if (enclosed.HasBody) {
        // The empty line that ends the enclosed header, as it stands.
        const char* fieldsEnd = enclosed.Fields.empty()
                                    ? first.Body.data()
                                    : enclosed.Fields.back().Raw.data() + enclosed.Fields.back().Raw.size();
        whole.append(fieldsEnd, enclosed.Body.data());
        whole += enclosed.Body;
    } else {
        whole += "\r\n";
    }
    for (size_t k = 1; k < partsInOrder.size(); ++k) whole += SplitMessage(partsInOrder[k]).Body;
    return whole;
}

void TPartialGatherer::Offer(std::string_view text) {
    const std::optional<TPartialPart> part = PartialPartOf(text);
    if (!part || part->Id != id_ || parts_.contains(part->Number)) return;
    if (part->Total && !total_) total_ = part->Total;
    parts_.emplace(part->Number, std::string(text));
}

std::vector<uint32_t> TPartialGatherer::Missing() const {
    const uint32_t last = total_ ? *total_ : (parts_.empty() ? 0 : parts_.rbegin()->first);
    std::vector<uint32_t> missing;
    for (uint32_t number = 1; number <= last; ++number)
        if (!parts_.contains(number)) missing.push_back(number);
    return missing;
}

std::string TPartialGatherer::Whole() const {
    std::vector<std::string_view> texts;
    for (uint32_t number = 1; total_ && number <= *total_; ++number) {
        auto part = parts_.find(number);
        if (part == parts_.end()) return {};
        texts.push_back(part->second);
    }
    return ReassemblePartial(texts);
}

namespace {

bool MayHoldParts(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    if (IsEmlFileName(name)) return true;
    if (IsBookkeepingFile(name) || name.size() < 4) return false;
    const std::string_view extension = std::string_view(name).substr(name.size() - 4);
    return NameIs(extension, ".dbx") || NameIs(extension, ".mbx");
}

void OfferStore(TPartialGatherer& gatherer, TOEReader& reader, const TWarningSink& warnings) {
    const int32_t count = reader.GetMessageCount();
    for (int32_t index = 0; index < count && !gatherer.Complete(); ++index) {
        try {
            // Only a part's header says whether its text is wanted.
            if (PartialPartOf(reader.GetMessageHeader(index))) gatherer.Offer(reader.GetMessageText(index));
        } catch (const Exception& error) {
            if (warnings) warnings({"A message cannot be read (" + error.Message() + ").", error.Context()});
        }
    }
}

void OfferFile(TPartialGatherer& gatherer, const std::string& path, const TWarningSink& warnings) {
    try {
        if (IsEmlFileName(path)) return gatherer.Offer(OpenEmlFile(path)->All());
        OfferStore(gatherer, *OpenStore(path, warnings, false), warnings);
    } catch (const Exception& error) {
        if (warnings) warnings({path + " cannot be read (" + error.Message() + ").", error.Context()});
    }
}

// The store files and .eml files of dir but own, in the order of their names, until the
// message is complete.
void OfferFolder(TPartialGatherer& gatherer, const std::filesystem::path& dir, const std::filesystem::path& own,
                 const TWarningSink& warnings) {
    std::error_code error;
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::error_code ignored;
        if (!entry.is_regular_file(ignored) || !MayHoldParts(entry.path())) continue;
        if (std::filesystem::equivalent(entry.path(), own, ignored)) continue;
        others.push_back(entry.path().string());
    }
    std::sort(others.begin(), others.end());
    for (const std::string& other : others) {
        if (gatherer.Complete()) break;
        OfferFile(gatherer, other, warnings);
    }
}

std::string NumberList(const std::vector<uint32_t>& numbers) {
    std::string text;
    for (uint32_t number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
    return text;
}

}  // namespace

TPartialGatherer GatherPartialParts(const std::string& path, const TPartialPart& part, const TWarningSink& warnings) {
    TPartialGatherer gatherer(part.Id);
    OfferFile(gatherer, path, warnings);
    std::error_code error;
    const std::filesystem::path own = std::filesystem::absolute(path, error);
    if (!gatherer.Complete()) OfferFolder(gatherer, own.parent_path(), own, warnings);
    return gatherer;
}

TPartialFinding FindingOf(const TPartialPart& part, const TPartialGatherer& gatherer) {
    TPartialFinding finding{part, gatherer.Total(), gatherer.Missing(), gatherer.Complete(), {}};
    if (finding.Complete) finding.Whole = gatherer.Whole();
    return finding;
}

std::string PartialFindingLine(const TPartialFinding& finding) {
    std::string line = "Split message (message/partial, id " + finding.Part.Id + "): part " +
                       std::to_string(finding.Part.Number) + " of " +
                       (finding.Total ? std::to_string(*finding.Total) : std::string("an unknown number"));
    if (finding.Complete) return line + "; all parts found, shown reassembled.";
    line += "; missing: " + (finding.Missing.empty() ? std::string() : "parts " + NumberList(finding.Missing));
    if (!finding.Total) line += std::string(finding.Missing.empty() ? "" : " and ") + "the last part";
    return line + ".";
}

std::optional<TPartialFinding> FindPartialParts(const TMailboxSession& session, std::string_view text,
                                                const TWarningSink& warnings) {
    const std::optional<TPartialPart> part = PartialPartOf(text);
    if (!part) return std::nullopt;
    TPartialGatherer gatherer(part->Id);
    gatherer.Offer(text);
    std::filesystem::path own;
    if (TOEReader* reader = session.HasStore() ? session.Reader() : nullptr) {
        OfferStore(gatherer, *reader, warnings);
        std::error_code error;
        own = std::filesystem::absolute(reader->FileName(), error);
    }
    const std::filesystem::path dir = !session.StoreFolder().empty() ? std::filesystem::path(session.StoreFolder())
                                                                      : own.parent_path();
    if (!gatherer.Complete() && !dir.empty()) OfferFolder(gatherer, dir, own, warnings);
    return FindingOf(*part, gatherer);
}

}  // namespace brindle
