#include "mailbox/Search.h"

#include "mailbox/CaseFold.h"
#include "mailbox/CodePage.h"
#include "mailbox/HtmlText.h"
#include "mailbox/Rescue.h"
#include "mime/BodyWalk.h"
#include "mime/Decoders.h"
#include "mime/HeaderFields.h"
#include "mime/Tnef.h"
#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/HeaderBlock.h"
#include "platform/ParallelWork.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"
#include "store/EmlFile.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {
namespace {

// Characters that the decoding of a header field may put next to a word or take away from
// between two (unfolding, address lists, quotes, comments): a query holding one of them is
// never judged on the raw bytes alone.
constexpr std::string_view kRewrittenChars = " \t\r\n\"<>,()\\;:";

// Marks in the header lines of content fields after which decoding may produce text that
// the raw bytes do not hold: encoded words, RFC 2231 parameters, transfer encodings, HTML,
// and 7-bit charsets whose bytes mean other characters.
constexpr std::string_view kDecodingMarks[] = {
    "=?", "*=", "base64", "quoted-printable", "text/html", "utf-7", "utf-16", "utf-32", "ucs-", "hz-gb"};

// Header fields that count: sender, recipients and subject.
constexpr std::string_view kSearchedFields[] = {"FROM:", "TO:", "CC:", "BCC:", "SUBJECT:"};

// Messages a worker takes at a time, and how often progress is told.
constexpr size_t kMessagesPerTake = 8;
constexpr uint64_t kProgressEvery = 256;

bool ContainsBytes(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    return memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

constexpr uint8_t LowerByte(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + ('a' - 'A')) : c; }

// True when every byte is a 7-bit character other than ESC (which switches ISO-2022 charsets).
bool IsSevenBit(std::string_view raw) {
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= raw.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, raw.data() + i, 8);
        any |= word;
    }
    for (; i < raw.size(); ++i) any |= static_cast<unsigned char>(raw[i]);
    return (any & 0x8080808080808080ull) == 0 && std::memchr(raw.data(), 0x1B, raw.size()) == nullptr;
}

// The end of the header line at from with its continuation lines.
size_t FieldEnd(std::string_view raw, size_t from) {
    size_t end = raw.find('\n', from);
    while (end != std::string_view::npos && end + 1 < raw.size() && (raw[end + 1] == ' ' || raw[end + 1] == '\t'))
        end = raw.find('\n', end + 1);
    return end == std::string_view::npos ? raw.size() : end;
}

// The position of the empty line that ends the header block; the size when there is none.
size_t HeaderBlockEnd(std::string_view raw) {
    const std::optional<THeaderBlockEnd> end = FindHeaderBlockEnd(raw);
    return end ? end->Header : raw.size();
}

// Where the body begins: after the empty line that ends the header block.
size_t BodyStart(std::string_view raw) {
    const std::optional<THeaderBlockEnd> end = FindHeaderBlockEnd(raw);
    return end ? end->Body : raw.size();
}

// True when the body of a message of 7-bit bytes without encodings is its text as it stands:
// the message declares no content type or a text type, and no line of the body could begin a
// uuencoded block.
bool IsSingleTextBody(std::string_view raw, size_t bodyStart) {
    static const TAsciiNoCaseFinder kContentType("content-type:");
    static const TAsciiNoCaseFinder kBeginLine("\nbegin");
    const std::string_view header = raw.substr(0, bodyStart);
    for (size_t at = kContentType.Find(header); at != std::string_view::npos; at = kContentType.Find(header, at + 1)) {
        if (at > 0 && header[at - 1] != '\n') continue;
        const std::string_view value = Trim(header.substr(at + 13, FieldEnd(header, at) - at - 13));
        if (!StartsWithNoCase(value, "text/")) return false;
        break;
    }
    return kBeginLine.Find(raw, bodyStart > 0 ? bodyStart - 1 : 0) == std::string_view::npos;
}

// Decoding can make text that the raw bytes lack only through encoded words of the message's
// header and what content fields (of the message and of its parts) declare.
bool HasDecodingMark(std::string_view raw) {
    static const TAsciiNoCaseFinder kEncodedWord("=?");
    static const TAsciiNoCaseFinder kContentField("content-");
    static const std::vector<TAsciiNoCaseFinder> kMarks(std::begin(kDecodingMarks), std::end(kDecodingMarks));
    if (kEncodedWord.Find(raw.substr(0, HeaderBlockEnd(raw))) != std::string_view::npos) return true;
    for (size_t at = kContentField.Find(raw); at != std::string_view::npos; at = kContentField.Find(raw, at + 1)) {
        if (at > 0 && raw[at - 1] != '\n') continue;
        const std::string_view field = raw.substr(at, FieldEnd(raw, at) - at);
        for (const TAsciiNoCaseFinder& mark : kMarks)
            if (mark.Find(field) != std::string_view::npos) return true;
    }
    return false;
}

// The walk over a message for one query: header fields, then the parts as the message object
// walks them, with attachments reduced to their names.
class TMessageSearch {
public:
    TMessageSearch(const TSearchQuery& query, const TCharsetHints& hints, std::string& buffer)
        : query_(query), hints_(hints), folded_(buffer) {}

    bool HeadersMatch(TLineSpan lines) {
        for (std::string_view name : kSearchedFields) {
            const std::optional<std::string> field = FindHeader(name, lines);
            if (field && Matches(DecodeEncodedWords(GetHeaderValue(name, *field), hints_))) return true;
        }
        return false;
    }

    bool PartMatches(TLineSpan lines, int depth) {
        const TPartHeaders headers = GetPartHeaders(lines, hints_);
        if (!headers.Name.empty() && Matches(headers.Name)) return true;
        if (IsTnefAttachment(headers.MediaType, headers.Name) && TnefNamesMatch(StripPartHeader(lines), headers))
            return true;
        const std::string topLevel = TopLevelType(headers.ContentType);
        const bool nestingFull = depth >= kMaxNesting;
        if (topLevel == "TEXT") return TextPartMatches(StripPartHeader(lines), headers);
        if (topLevel == "MULTIPART" && !nestingFull) {
            std::vector<TLeafPart> leaves;
            SplitMultipart(leaves, lines, depth);
            for (const TLeafPart& leaf : leaves)
                if (PartMatches(leaf.Lines, leaf.Depth)) return true;
            return false;
        }
        const bool attachment = headers.TransferEncoding == "X-UUENCODE" || !headers.Name.empty();
        if (attachment) return false;
        if (headers.ContentType == "MESSAGE/RFC822" && !nestingFull)
            return PartMatches(StripPartHeader(lines), depth + 1);
        if (topLevel != "MULTIPART" && headers.ContentType != "MESSAGE/RFC822" &&
            (headers.TransferEncoding == "BASE64" || headers.TransferEncoding == "QUOTED-PRINTABLE"))
            return false;
        return TextMatches({StripPartHeader(lines)}, "7BIT", headers);
    }

private:
    // The names of the files a TNEF attachment carries count as attachment names; a stream
    // that cannot be unpacked has none.
    bool TnefNamesMatch(TLineSpan body, const TPartHeaders& headers) {
        std::string bytes;
        if (headers.TransferEncoding == "BASE64")
            DecodeBase64Attachment({body}, bytes);
        else if (headers.TransferEncoding == "QUOTED-PRINTABLE")
            bytes = DecodeQuotedPrintable(JoinRuns({body}));
        else
            bytes = TextAttachmentData({body});
        try {
            for (const TTnefFile& file : UnpackTnef(bytes, hints_.StoreCodePage()))
                if (Matches(file.Name)) return true;
        } catch (const ETnefError&) {
        }
        return false;
    }

    bool Matches(std::string_view utf8) {
        folded_.clear();
        AppendFolded(folded_, utf8);
        return query_.FoundIn(folded_);
    }

    // Uuencoded blocks in a text part are attachments: their names count, their lines do not.
    bool TextPartMatches(TLineSpan body, const TPartHeaders& headers) {
        TLineRuns kept;
        auto it = body.begin();
        bool hadBlocks = false;
        while (auto begin = FindUUBegin(body, it)) {
            hadBlocks = true;
            if (Matches(begin->FileName)) return true;
            kept.push_back(body.Between(it, begin->Line));
            auto blockEnd = begin->Line;
            while (blockEnd != body.end() && !IsUUEndLine(*blockEnd)) ++blockEnd;
            it = blockEnd;
        }
        kept.push_back(body.From(it));
        return TextMatches(kept, hadBlocks ? "X-UUENCODE" : headers.TransferEncoding, headers);
    }

    bool TextMatches(const TLineRuns& runs, const std::string& encoding, const TPartHeaders& headers) {
        std::string bytes;
        std::string_view view;
        if (encoding == "QUOTED-PRINTABLE") {
            bytes = DecodeQuotedPrintable(JoinRuns(runs));
            view = bytes;
        } else if (encoding == "BASE64") {
            DecodeBase64Attachment(runs, bytes);
            view = bytes;
        } else if (runs.size() == 1) {
            view = runs.front().Bytes();
        } else {
            bytes = JoinRuns(runs);
            view = bytes;
        }
        const bool html = headers.MediaType == "text/html";
        if (KeepsValidUtf8(headers.Charset) && IsValidUtf8(view))
            return html ? Matches(HtmlToText(view)) : Matches(view);
        const std::string text = ToUtf8(view, headers.Charset, hints_);
        return html ? Matches(HtmlToText(text)) : Matches(text);
    }

    const TSearchQuery& query_;
    const TCharsetHints& hints_;
    std::string& folded_;
};

TLineSpan HeaderBlock(TLineSpan raw) {
    auto end = raw.begin();
    while (end != raw.end() && !(*end).empty()) ++end;
    return raw.Between(raw.begin(), end);
}

// Runs match(i) for every i below count on the control's threads; stops early when cancelled.
void ForEachMessage(size_t count, TParallelRun& run, const TSearchControl& control,
                    const std::function<void(size_t)>& match) {
    TForEachOptions options;
    options.Threads = control.Threads;
    options.Batch = kMessagesPerTake;
    options.ProgressEvery = kProgressEvery;
    options.Progress = control.Progress;
    ForEachInParallel(count, run, options, match);
}

void Tell(const TSearchControl& control, const std::string& text, TErrorContext context = {}) {
    if (control.Warnings) control.Warnings({text, std::move(context)});
}

void TellSkipped(const TSearchControl& control, const std::string& text, TErrorContext context = {}) {
    if (control.Skipped)
        control.Skipped({text, std::move(context)});
    else
        Tell(control, text, std::move(context));
}

// The hits among the messages that a scan of the whole file finds, but the deleted ones; false
// when the scan finds none of those.
bool SearchScanned(const std::string& path, const TSearchQuery& query, const TSearchControl& control,
                   TParallelRun& run, const std::string& folderName, std::vector<TSearchHit>& hits) {
    std::unique_ptr<TStoreRescue> rescue;
    try {
        rescue = std::make_unique<TStoreRescue>(path);
        if (!control.CodePage.empty()) rescue->SetCodePage(control.CodePage);
        if (!rescue->Run([&control](uint64_t, uint64_t) { return !control.Cancel || !control.Cancel->load(); }))
            return false;
    } catch (const Exception&) {
        return false;
    }
    std::vector<size_t> wanted;
    for (size_t i = 0; i < rescue->Messages().size(); ++i)
        if (rescue->Messages()[i].Found.Kind != TFoundKind::Deleted) wanted.push_back(i);
    if (wanted.empty()) return false;
    std::vector<uint8_t> matched(wanted.size(), 0);
    ForEachMessage(wanted.size(), run, control, [&](size_t k) {
        try {
            matched[k] = MessageMatches(rescue->Text(wanted[k]), query) ? 1 : 0;
        } catch (const Exception& error) {
            TellSkipped(control, path + ": found message " + std::to_string(k) + ": " + error.Message(),
                        error.Context());
        }
    });
    for (size_t k = 0; k < wanted.size(); ++k) {
        if (!matched[k]) continue;
        const THeaderSummary header = rescue->Messages()[wanted[k]].Header;
        TMessageInfo info;
        info.Index = static_cast<uint32_t>(k);
        info.Subject = header.Subject;
        info.SenderName = header.From;
        info.SenderAddress = ExtractAddress(header.From, false);
        info.DateText = header.Date;
        hits.push_back({path, folderName, static_cast<int32_t>(k), std::move(info)});
    }
    return true;
}

}  // namespace

TAsciiNoCaseFinder::TAsciiNoCaseFinder(std::string_view needle) : needle_(needle) {
    for (char& c : needle_) c = static_cast<char>(LowerByte(static_cast<uint8_t>(c)));
    const size_t m = needle_.size();
    std::fill(std::begin(shift_), std::end(shift_), static_cast<uint8_t>(std::min<size_t>(m, 255)));
    for (size_t k = 0; k + 1 < m; ++k) {
        const uint8_t c = static_cast<uint8_t>(needle_[k]);
        const uint8_t shift = static_cast<uint8_t>(std::min<size_t>(m - 1 - k, 255));
        shift_[c] = shift;
        if (c >= 'a' && c <= 'z') shift_[c - ('a' - 'A')] = shift;
    }
}

bool TAsciiNoCaseFinder::MatchesAt(const uint8_t* text) const {
    const auto* needle = reinterpret_cast<const uint8_t*>(needle_.data());
    for (size_t k = 0; k < needle_.size(); ++k)
        if (LowerByte(text[k]) != needle[k]) return false;
    return true;
}

size_t TAsciiNoCaseFinder::Find(std::string_view haystack, size_t from) const {
    const size_t m = needle_.size();
    if (m == 0) return from <= haystack.size() ? from : std::string_view::npos;
    if (from > haystack.size() || haystack.size() - from < m) return std::string_view::npos;
    const auto* text = reinterpret_cast<const uint8_t*>(haystack.data());
    size_t i = from;
#if defined(__SSE2__)
    // Sixteen places at a time: those whose first and last bytes match, with bit 0x20 set on
    // both sides (it lowers ASCII capitals; other bytes that it folds together are told
    // apart by the full comparison).
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i first = _mm_set1_epi8(static_cast<char>(needle_.front() | 0x20));
    const __m128i last = _mm_set1_epi8(static_cast<char>(needle_.back() | 0x20));
    for (; i + m - 1 + 16 <= haystack.size(); i += 16) {
        const __m128i heads = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)), caseBit);
        const __m128i tails =
            _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + m - 1)), caseBit);
        unsigned candidates = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(heads, first), _mm_cmpeq_epi8(tails, last))));
        while (candidates != 0) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(candidates));
            if (MatchesAt(text + at)) return at;
            candidates &= candidates - 1;
        }
    }
#endif
    for (; i + m <= haystack.size(); i += shift_[text[i + m - 1]])
        if (LowerByte(text[i + m - 1]) == static_cast<uint8_t>(needle_.back()) && MatchesAt(text + i)) return i;
    return std::string_view::npos;
}

TSearchQuery::TSearchQuery(std::string_view utf8) : folded_(FoldCase(utf8)), whole_(folded_) {
    size_t start = 0;
    while (start < folded_.size()) {
        size_t end = folded_.find_first_of(kRewrittenChars, start);
        if (end == std::string::npos) end = folded_.size();
        if (end > start) pieces_.emplace_back(std::string_view(folded_).substr(start, end - start));
        start = end + 1;
    }
}

bool TSearchQuery::FoundIn(std::string_view foldedText) const { return ContainsBytes(foldedText, folded_); }

bool TSearchQuery::MayBeIn(std::string_view raw) const {
    for (const TAsciiNoCaseFinder& piece : pieces_)
        if (piece.Find(raw) == std::string_view::npos) return false;
    return true;
}

bool MessageMatches(std::string_view rawText, const TSearchQuery& query, bool prefilter) {
    thread_local std::string folded;
    const std::string_view raw = rawText;
    if (query.Empty()) return true;
    if (prefilter && query.RawPrefilterApplies()) {
        const bool mayBeIn = query.MayBeIn(raw);
        const bool plain = IsSevenBit(raw) && !HasDecodingMark(raw);
        if (!mayBeIn && plain) return false;
        if (mayBeIn && plain) {
            const size_t bodyStart = BodyStart(raw);
            if (IsSingleTextBody(raw, bodyStart) && query.FindRaw(raw, bodyStart) != std::string_view::npos)
                return true;
        }
    }
    const TLineRange lines(raw);
    const TCharsetHints hints([lines] { return FirstDeclaredCharset(lines); }, {});
    TMessageSearch search(query, hints, folded);
    return search.HeadersMatch(HeaderBlock(lines)) || search.PartMatches(lines, 0);
}

TMessageInfo EmlSummary(std::string_view rawText) {
    const TLineRange lines(rawText);
    const TLineSpan headers = HeaderBlock(lines);
    const TCharsetHints hints([lines] { return FirstDeclaredCharset(lines); }, {});
    auto value = [&](std::string_view name) {
        const std::optional<std::string> field = FindHeader(name, headers);
        return field ? GetHeaderValue(name, *field) : std::string();
    };
    TMessageInfo info;
    info.Subject = DecodeEncodedWords(value("SUBJECT:"), hints);
    const std::string from = value("FROM:");
    info.SenderName = DecodeEncodedWords(ExtractDisplayName(from, false), hints);
    info.SenderAddress = Utf8OrCp1252(ExtractAddress(from, false));
    info.DateText = Utf8OrCp1252(value("DATE:"));
    return info;
}

std::vector<TSearchHit> SearchStoreFile(const std::string& path, const TSearchQuery& query,
                                        const TSearchControl& given, const std::string& folderName) {
    // Hits show no size: opening skips the walk of every chain that finding sizes takes.
    // The reader and the workers tell their warnings and skips one at a time, as progress.
    TParallelRun run(given.Cancel);
    TSearchControl control = given;
    control.Warnings = run.SerialisedSink(given.Warnings);
    control.Skipped = run.SerialisedSink(given.Skipped);
    std::unique_ptr<TOEReader> reader;
    try {
        reader = OpenStore(path, control.Warnings, false);
    } catch (const EFOpenError&) {
        throw;
    } catch (const Exception& error) {
        std::vector<TSearchHit> scanned;
        // Without any message found the store stays unreadable.
        if (!SearchScanned(path, query, control, run, folderName, scanned)) throw;
        Tell(control, path + ": searched in what a scan of the whole file finds (" + error.Message() + ")");
        return scanned;
    }
    const size_t count = static_cast<size_t>(std::max(reader->GetMessageCount(), 0));
    std::vector<uint8_t> matched(count, 0);
    // Reading a message text only reads the sealed summaries and the mapped file, so the
    // workers read at the same time.
    ForEachMessage(count, run, control, [&](size_t i) {
        const int32_t index = static_cast<int32_t>(i);
        std::string text;
        try {
            text = reader->GetMessageText(index);
            matched[i] = MessageMatches(text, query) ? 1 : 0;
        } catch (const Exception& error) {
            TErrorContext context = error.Context();
            if (!context.MessageIndex) context.MessageIndex = index;
            TellSkipped(control, path + ": message " + std::to_string(index) + ": " + error.Message(), context);
        } catch (const std::exception& error) {
            TellSkipped(control, path + ": message " + std::to_string(index) + ": " + error.what(),
                        {"message", std::nullopt, index});
        }
    });
    std::vector<TSearchHit> hits;
    for (size_t i = 0; i < count; ++i)
        if (matched[i])
            hits.push_back(
                {path, folderName, static_cast<int32_t>(i), reader->GetMessageInfo(static_cast<int32_t>(i))});
    if (hits.empty()) return hits;
    const std::string codePage = control.CodePage.empty() ? DecideStoreCodePage(*reader) : control.CodePage;
    for (TSearchHit& hit : hits)
        for (std::string* text : {&hit.Info.Subject, &hit.Info.SenderName, &hit.Info.SenderAddress})
            *text = SummaryToUtf8(*text, codePage);
    return hits;
}

std::vector<TSearchHit> SearchStoreFolder(const TStoreFolder& folder, const TSearchQuery& query,
                                          const TSearchControl& given) {
    // One code page for every store of the folder.
    TSearchControl control = given;
    if (control.CodePage.empty()) control.CodePage = folder.CodePage;
    std::vector<TSearchHit> hits;
    for (const TFolderNode& node : folder.Nodes) {
        if (!node.File || (control.Cancel && control.Cancel->load())) continue;
        const std::string path = JoinPath(folder.Path, *node.File);
        try {
            std::vector<TSearchHit> found = SearchStoreFile(path, query, control, node.Name);
            hits.insert(hits.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
        } catch (const Exception& error) {
            TellSkipped(control, path + ": " + error.Message(), error.Context());
        }
    }
    return hits;
}

std::vector<TSearchHit> SearchPath(const std::string& path, const TSearchQuery& query, const TSearchControl& control) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return SearchStoreFolder(ReadStoreFolder(path, control.Warnings, control.CodePage), query, control);
    if (!IsEmlFileName(path)) return SearchStoreFile(path, query, control);
    const std::string text = ReadEmlFile(path);
    if (control.Progress) control.Progress(1, 1);
    if (!MessageMatches(text, query)) return {};
    return {TSearchHit{path, {}, 0, EmlSummary(text)}};
}

}  // namespace brindle
