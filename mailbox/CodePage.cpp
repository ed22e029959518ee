#include "mailbox/CodePage.h"

#include "mime/HeaderFields.h"
#include "platform/Charset.h"
#include "platform/StringList.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <exception>
#include <set>

namespace brindle {
namespace {

// Summaries with 8-bit bytes beyond this many are not looked at for the statistics.
constexpr size_t kDetectorTextBytes = 65536;
// Messages of 7-bit summaries whose headers are read for their declared charsets.
constexpr size_t kPlainHeaderSample = 8;
// Header texts longer than this (in characters) are not compared with a summary.
constexpr size_t kMaxComparedLength = 4096;

const std::vector<TCodePage> kCodePages = {
    {1250, "windows-1250", "Central European"},
    {1251, "windows-1251", "Cyrillic"},
    {1252, "windows-1252", "Western"},
    {1253, "windows-1253", "Greek"},
    {1254, "windows-1254", "Turkish"},
    {1255, "windows-1255", "Hebrew"},
    {1256, "windows-1256", "Arabic"},
    {1257, "windows-1257", "Baltic"},
    {1258, "windows-1258", "Vietnamese"},
    {874, "windows-874", "Thai"},
    {932, "shift_jis", "Japanese"},
    {936, "gbk", "Chinese Simplified"},
    {949, "euc-kr", "Korean"},
    {950, "big5", "Chinese Traditional"},
};

// Encodings (the standard's names) of a script whose Windows code page is another one.
struct TScriptPage {
    std::string_view Encoding;
    uint16_t Number;
};
constexpr TScriptPage kScriptPages[] = {
    {"koi8-r", 1251},     {"koi8-u", 1251},      {"ibm866", 1251},      {"iso-8859-5", 1251},  {"x-mac-cyrillic", 1251},
    {"iso-2022-jp", 932}, {"euc-jp", 932},       {"gb18030", 936},      {"hz-gb-2312", 936},   {"iso-2022-kr", 949},
    {"iso-8859-2", 1250}, {"iso-8859-16", 1250}, {"iso-8859-7", 1253},  {"iso-8859-8", 1255},  {"iso-8859-8-i", 1255},
    {"iso-8859-6", 1256}, {"iso-8859-4", 1257},  {"iso-8859-13", 1257}, {"iso-8859-10", 1257}, {"iso-8859-15", 1252},
    {"iso-8859-3", 1254},
};

const TCodePage* PageNumbered(uint16_t number) {
    for (const TCodePage& page : kCodePages)
        if (page.Number == number) return &page;
    return nullptr;
}

bool HasEightBitBytes(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Summary text that the code page decides: 8-bit bytes that are not UTF-8.
bool NeedsCodePage(std::string_view text) { return HasEightBitBytes(text) && !IsValidUtf8(text); }

std::string_view SenderBytes(const TMessageInfo& info) {
    return info.SenderName.empty() ? std::string_view(info.SenderAddress) : std::string_view(info.SenderName);
}

// Valid UTF-8 up to a character cut in two at the end; none for other text.
std::optional<std::string_view> Utf8UpToCutCharacter(std::string_view bytes) {
    const std::string_view kept = WithoutUnfinishedCharacter(bytes);
    if (kept.size() == bytes.size() || !IsValidUtf8(kept)) return std::nullopt;
    return kept;
}

std::vector<uint32_t> CodePoints(std::string_view utf8) {
    std::vector<uint32_t> points;
    points.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        TCodePoint point = DecodeUtf8At(utf8, i);
        if (point.length == 0) point = {static_cast<unsigned char>(utf8[i]), 1};  // a stray byte stands alone
        points.push_back(point.value);
        i += point.length;
    }
    return points;
}

bool IsSpaceCode(uint32_t cp) { return cp == ' ' || cp == '\t' || cp == '\r' || cp == '\n'; }

// Runs of blanks and line ends become one space; none at either end.
std::vector<uint32_t> WithSimpleSpaces(const std::vector<uint32_t>& points) {
    std::vector<uint32_t> out;
    out.reserve(points.size());
    for (uint32_t cp : points) {
        if (!IsSpaceCode(cp)) {
            out.push_back(cp);
        } else if (!out.empty() && out.back() != ' ') {
            out.push_back(' ');
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Subject and From of a header block, and the charsets it declares.
struct THeaderTexts {
    std::optional<std::string> SubjectValue;
    std::optional<std::string> FromValue;
    std::vector<std::string> Charsets;
};

// The charsets of the encoded words in a field value.
void AddWordCharsets(std::string_view value, std::vector<std::string>& charsets) {
    for (size_t pos = value.find("=?"); pos != std::string_view::npos; pos = value.find("=?", pos + 2)) {
        const size_t question = value.find('?', pos + 2);
        if (question == std::string_view::npos) break;
        charsets.emplace_back(value.substr(pos + 2, question - pos - 2));
    }
}

THeaderTexts ReadHeaderTexts(std::string_view header) {
    const TStringList lines = SplitLines(header);
    THeaderTexts texts;
    auto value = [&](std::string_view name) -> std::optional<std::string> {
        std::optional<std::string> field = FindHeader(name, lines.Lines());
        return field ? std::optional(GetHeaderValue(name, *field)) : std::nullopt;
    };
    texts.SubjectValue = value("SUBJECT:");
    texts.FromValue = value("FROM:");
    if (std::optional<std::string> type = FindHeader("CONTENT-TYPE:", lines.Lines()))
        if (std::optional<std::string> charset = GetParameter(*type, "charset")) texts.Charsets.push_back(*charset);
    if (texts.SubjectValue) AddWordCharsets(*texts.SubjectValue, texts.Charsets);
    if (texts.FromValue) AddWordCharsets(*texts.FromValue, texts.Charsets);
    return texts;
}

// The texts a summary sender may be of a decoded From value: its display name and address.
std::vector<std::string> SenderCandidates(const std::string& decodedFrom) {
    std::vector<std::string> candidates;
    std::string name = ExtractDisplayName(decodedFrom, false);
    if (!name.empty()) candidates.push_back(std::move(name));
    std::string address = ExtractAddress(decodedFrom, false);
    if (!address.empty()) candidates.push_back(std::move(address));
    return candidates;
}

// The indexes of at most count of the positions, spread evenly over them.
// Of the messages whose mark is `kind` (ofKind of them), count at evenly spread ranks (the
// rank k * ofKind / count for the k-th), or all when there are no more; one pass over the
// marks, which take a bit per message.
std::vector<int32_t> Spread(const std::vector<bool>& marks, bool kind, size_t ofKind, size_t count) {
    const size_t picks = std::min(ofKind, count);
    std::vector<int32_t> picked;
    picked.reserve(picks);
    size_t rank = 0;
    for (size_t i = 0; i < marks.size() && picked.size() < picks; ++i) {
        if (marks[i] != kind) continue;
        // Ranks of picks rise by at least one, so each rank is picked at most once.
        if (picked.size() * ofKind / picks == rank) picked.push_back(static_cast<int32_t>(i));
        ++rank;
    }
    return picked;
}

// Keeps the candidates with the most votes; all stay when none has any.
void NarrowByVotes(std::vector<uint16_t>& candidates, const std::map<uint16_t, int>& votes) {
    int best = 0;
    for (uint16_t number : candidates) {
        auto it = votes.find(number);
        if (it != votes.end()) best = std::max(best, it->second);
    }
    if (best == 0) return;
    std::erase_if(candidates, [&](uint16_t number) {
        auto it = votes.find(number);
        return it == votes.end() || it->second < best;
    });
}

}  // namespace

const std::vector<TCodePage>& CodePages() { return kCodePages; }

const TCodePage* FindCodePage(std::string_view name) {
    std::string_view trimmed = Trim(name);
    // "cp932", "windows-936", "ms949": a prefix before the number.
    for (std::string_view prefix : {"windows-", "cp-", "cp", "ms"}) {
        if (trimmed.size() > prefix.size() && StartsWithNoCase(trimmed, prefix) &&
            trimmed.substr(prefix.size()).find_first_not_of("0123456789") == std::string_view::npos) {
            trimmed.remove_prefix(prefix.size());
            break;
        }
    }
    if (!trimmed.empty() && trimmed.find_first_not_of("0123456789") == std::string_view::npos) {
        if (trimmed.size() > 4) return nullptr;
        uint16_t number = 0;
        for (char c : trimmed) number = static_cast<uint16_t>(number * 10 + (c - '0'));
        return PageNumbered(number);
    }
    if (KeepsValidUtf8(trimmed)) return nullptr;
    const std::string_view encoding = EncodingOfLabel(trimmed);
    for (const TCodePage& page : kCodePages)
        if (page.Label == encoding) return &page;
    return nullptr;
}

std::string CodePageTitle(const TCodePage& page) {
    return std::string(page.Script) + " (Windows-" + std::to_string(page.Number) + ")";
}

const TCodePage* CodePageOfCharset(std::string_view charset) {
    if (KeepsValidUtf8(charset)) return nullptr;  // UTF-8 and ASCII write no one script
    const std::string_view encoding = EncodingOfLabel(charset);
    for (const TCodePage& page : kCodePages)
        if (page.Label == encoding) return &page;
    for (const TScriptPage& script : kScriptPages)
        if (script.Encoding == encoding) return PageNumbered(script.Number);
    return nullptr;
}

void TCodePageEvidence::AddText(std::string_view bytes) {
    if (!NeedsCodePage(bytes) || eightBitText_.size() >= kDetectorTextBytes) return;
    eightBitText_.append(bytes);
    eightBitText_ += '\n';
}

void TCodePageEvidence::AddHeaderEvidence(const TMessageInfo& info, std::string_view header) {
    const THeaderTexts texts = ReadHeaderTexts(header);
    const bool eightBit = NeedsCodePage(info.Subject) || NeedsCodePage(SenderBytes(info));
    for (const std::string& charset : texts.Charsets)
        if (const TCodePage* page = CodePageOfCharset(charset))
            ++(eightBit ? declaredVotes_ : plainDeclaredVotes_)[page->Number];
    if (!eightBit) return;

    // Raw 8-bit header text is the same bytes as the summary: it tells nothing.
    auto decoded = [](const std::optional<std::string>& value) -> std::optional<std::string> {
        if (!value || (HasEightBitBytes(*value) && !IsValidUtf8(*value))) return std::nullopt;
        return DecodeEncodedWords(*value);
    };
    const std::optional<std::string> subject = NeedsCodePage(info.Subject) ? decoded(texts.SubjectValue) : std::nullopt;
    const std::optional<std::string> from = NeedsCodePage(SenderBytes(info)) ? decoded(texts.FromValue) : std::nullopt;
    if (!subject && !from) return;
    const std::vector<std::string> senders = from ? SenderCandidates(*from) : std::vector<std::string>();
    std::vector<uint16_t> matching;
    for (const TCodePage& page : kCodePages) {
        bool matches = true;
        if (subject)
            matches = SummaryStandsFor(SummaryToUtf8(info.Subject, page.Label), *subject,
                                       info.Subject.size() >= kShortStringMax);
        if (matches && from) {
            const std::string sender = SummaryToUtf8(SenderBytes(info), page.Label);
            matches = std::any_of(senders.begin(), senders.end(), [&](const std::string& candidate) {
                return SummaryStandsFor(sender, candidate, SenderBytes(info).size() >= kShortStringMax);
            });
        }
        if (matches) matching.push_back(page.Number);
    }
    // A message that every code page reads alike, or none, tells nothing.
    if (matching.empty() || matching.size() == kCodePages.size()) return;
    for (uint16_t number : matching) ++headerVotes_[number];
}

void TCodePageEvidence::AddStore(TOEReader& reader, size_t maxHeaders) {
    AddText(reader.GetFolderName());
    const int32_t count = reader.GetMessageCount();
    std::vector<bool> needsPage(static_cast<size_t>(std::max(count, 0)));
    size_t eightBit = 0;
    for (int32_t i = 0; i < count; ++i) {
        const TMessageInfo info = reader.GetMessageInfo(i);
        const bool needs = NeedsCodePage(info.Subject) || NeedsCodePage(SenderBytes(info));
        needsPage[static_cast<size_t>(i)] = needs;
        if (needs) {
            ++eightBit;
            AddText(info.Subject);
            AddText(SenderBytes(info));
        }
    }
    std::vector<int32_t> sample = Spread(needsPage, true, eightBit, maxHeaders);
    const size_t room = maxHeaders - sample.size();
    for (int32_t index : Spread(needsPage, false, needsPage.size() - eightBit, std::min(room, kPlainHeaderSample)))
        sample.push_back(index);
    for (int32_t index : sample) {
        try {
            AddHeaderEvidence(reader.GetMessageInfo(index), reader.GetMessageHeader(index));
        } catch (const Exception&) {
            // A message that cannot be read gives no evidence; the others still do.
        }
    }
}

std::string TCodePageEvidence::Decide() const {
    std::vector<uint16_t> candidates;
    for (const TCodePage& page : kCodePages) candidates.push_back(page.Number);
    NarrowByVotes(candidates, headerVotes_);
    NarrowByVotes(candidates, declaredVotes_.empty() ? plainDeclaredVotes_ : declaredVotes_);
    auto holds = [&](uint16_t number) {
        return std::find(candidates.begin(), candidates.end(), number) != candidates.end();
    };
    if (candidates.size() > 1 && !eightBitText_.empty()) {
        if (const TCodePage* detected = CodePageOfCharset(DetectedEncoding(eightBitText_)))
            if (holds(detected->Number)) return std::string(detected->Label);
    }
    if (holds(1252)) return std::string(kDefaultCodePage);
    return std::string(PageNumbered(candidates.front())->Label);
}

std::string DecideStoreCodePage(TOEReader& reader) {
    TCodePageEvidence evidence;
    evidence.AddStore(reader);
    return evidence.Decide();
}

std::string SummaryToUtf8(std::string_view bytes, std::string_view codePage) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    const bool cut = bytes.size() >= kShortStringMax;
    if (cut)
        if (std::optional<std::string_view> kept = Utf8UpToCutCharacter(bytes)) return std::string(*kept);
    const TCodePage* page = codePage.empty() ? nullptr : FindCodePage(codePage);
    if (page == nullptr || page->Number == 1252) return Cp1252ToUtf8(bytes);
    std::string text = ToUtf8(bytes, page->Label);
    // A double-byte character whose second byte the cut took.
    if (cut && text.ends_with(kUtf8Replacement)) text = ToUtf8(bytes.substr(0, bytes.size() - 1), page->Label);
    return text;
}

bool SummaryStandsFor(std::string_view summary, std::string_view header, bool summaryWasCut) {
    const std::vector<uint32_t> want = WithSimpleSpaces(CodePoints(summary));
    const std::vector<uint32_t> text = WithSimpleSpaces(CodePoints(header));
    if (want.empty() || text.empty() || text.size() > kMaxComparedLength) return false;
    // reach[j]: the summary so far matches the header's first j characters.
    std::vector<char> reach(text.size() + 1, 0), next(text.size() + 1, 0);
    reach[0] = 1;
    for (size_t i = 0; i < want.size();) {
        std::fill(next.begin(), next.end(), 0);
        if (want[i] != '?') {
            for (size_t j = 0; j < text.size(); ++j)
                if (reach[j] && text[j] == want[i]) next[j + 1] = 1;
            ++i;
        } else {
            size_t run = 0;
            while (i + run < want.size() && want[i + run] == '?') ++run;
            // As many "?" in the header...
            for (size_t j = 0; j + run <= text.size(); ++j)
                if (reach[j] &&
                    std::all_of(text.begin() + j, text.begin() + j + run, [](uint32_t cp) { return cp == '?'; }))
                    next[j + run] = 1;
            // ...or a run of one or more non-ASCII characters.
            bool open = false;
            for (size_t j = 0; j < text.size(); ++j) {
                open = (open || reach[j]) && text[j] >= 0x80;
                if (open) next[j + 1] = 1;
            }
            i += run;
        }
        reach.swap(next);
        if (std::none_of(reach.begin(), reach.end(), [](char r) { return r != 0; })) return false;
    }
    return reach[text.size()] != 0 || summaryWasCut;
}

bool MayHaveLostCharacters(const TMessageInfo& info) {
    return info.Subject.find('?') != std::string::npos || SenderBytes(info).find('?') != std::string_view::npos;
}

namespace {

bool HoldsEncodedWord(std::string_view text) {
    const size_t start = text.find("=?");
    return start != std::string_view::npos && text.find("?=", start + 2) != std::string_view::npos;
}

}  // namespace

TShownSummary ShownSummary(const TMessageInfo& info, std::string_view header, std::string_view codePage) {
    TShownSummary shown{SummaryToUtf8(info.Subject, codePage), SummaryToUtf8(SenderBytes(info), codePage)};
    // A summary taken from the header lines (a folder without its index) holds the rest of the
    // line as it is, the blank after the colon and encoded words too.
    for (std::string* text : {&shown.Subject, &shown.Sender}) {
        if (!HoldsEncodedWord(*text)) continue;
        *text = DecodeEncodedWords(*text, TCharsetHints({}, std::string(codePage)));
        text->erase(0, std::min(text->find_first_not_of(" \t"), text->size()));
    }
    const bool lossySubject = shown.Subject.find('?') != std::string::npos;
    const bool lossySender = shown.Sender.find('?') != std::string::npos;
    if (header.empty() || (!lossySubject && !lossySender)) return shown;
    const THeaderTexts texts = ReadHeaderTexts(header);
    const TCharsetHints hints({}, std::string(codePage));
    if (lossySubject && texts.SubjectValue) {
        std::string decoded = DecodeEncodedWords(*texts.SubjectValue, hints);
        if (SummaryStandsFor(shown.Subject, decoded, info.Subject.size() >= kShortStringMax))
            shown.Subject = std::move(decoded);
    }
    if (lossySender && texts.FromValue) {
        for (std::string& candidate : SenderCandidates(DecodeEncodedWords(*texts.FromValue, hints))) {
            if (!SummaryStandsFor(shown.Sender, candidate, SenderBytes(info).size() >= kShortStringMax)) continue;
            shown.Sender = std::move(candidate);
            break;
        }
    }
    return shown;
}

TShownSummary ShownSummaryOf(TOEReader& reader, int32_t index, const TMessageInfo& info, std::string_view codePage) {
    std::string header;
    if (MayHaveLostCharacters(info)) {
        try {
            header = reader.GetMessageHeader(index);
        } catch (const std::exception&) {
            // The summary's own texts are shown.
        }
    }
    return ShownSummary(info, header, codePage);
}

}  // namespace brindle
