#include "mailbox/Search.h"

#include "mailbox/CaseFold.h"
#include "mailbox/HtmlText.h"
#include "mime/BodyWalk.h"
#include "mime/Decoders.h"
#include "mime/HeaderFields.h"
#include "platform/Charset.h"
#include "platform/Exceptions.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"
#include "store/EmlFile.h"
#include "store/StoreOpener.h"

#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace brindle {
namespace {

// Characters that the decoding of a header field may put next to a word or take away from
// between two (unfolding, address lists, quotes, comments): a query holding one of them is
// never judged on the raw bytes alone.
constexpr std::string_view kRewrittenChars = " \t\r\n\"<>,()\\;:";

// Marks in the raw bytes (ASCII letters lowered) after which decoding may produce text that
// the raw bytes do not hold: encoded words, transfer encodings, RFC 2231 parameters, HTML,
// and 7-bit charsets whose bytes mean other characters.
constexpr std::string_view kDecodingMarks[] = {"=?",        "*=",     "base64", "quoted-printable",
                                               "text/html", "utf-7",  "utf-16", "utf-32",
                                               "ucs-",      "hz-gb",  "~{"};

// Header fields that count: sender, recipients and subject.
constexpr std::string_view kSearchedFields[] = {"FROM:", "TO:", "CC:", "BCC:", "SUBJECT:"};

// Messages a worker takes at a time, and how often progress is told.
constexpr size_t kMessagesPerTake = 8;
constexpr uint64_t kProgressEvery = 256;

bool ContainsBytes(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    return memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

// The raw bytes with ASCII letters lowered into lowered; true when every byte is a 7-bit
// character other than ESC (which switches ISO-2022 charsets).
bool LowerSevenBit(std::string_view raw, std::string& lowered) {
    lowered.resize(raw.size());
    unsigned char any = 0;
    bool escape = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(raw[i]);
        any |= c;
        escape |= c == 0x1B;
        lowered[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return any < 0x80 && !escape;
}

bool HasDecodingMark(std::string_view lowered) {
    for (std::string_view mark : kDecodingMarks)
        if (ContainsBytes(lowered, mark)) return true;
    return false;
}

// "end" in any case, with blanks around it, ends a uuencoded block.
bool IsUUEndLine(std::string_view line) {
    const std::string_view word = Trim(line);
    return word.size() == 3 && StartsWithNoCase(word, "end");
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
template <class TMatch>
void ForEachMessage(size_t count, const TSearchControl& control, TMatch match) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = std::min<size_t>(control.Threads ? control.Threads : cores, std::max<size_t>(count, 1));
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> done{0};
    std::mutex progressLock;
    auto cancelled = [&] { return control.Cancel && control.Cancel->load(std::memory_order_relaxed); };
    auto work = [&] {
        while (!cancelled()) {
            const size_t first = next.fetch_add(kMessagesPerTake);
            if (first >= count) break;
            const size_t last = std::min(count, first + kMessagesPerTake);
            for (size_t i = first; i < last; ++i) match(i);
            const uint64_t before = done.fetch_add(last - first);
            if (control.Progress && (before / kProgressEvery != (before + last - first) / kProgressEvery)) {
                std::lock_guard lock(progressLock);
                control.Progress(before + last - first, count);
            }
        }
    };
    std::vector<std::jthread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    pool.clear();
    if (control.Progress) control.Progress(done.load(), count);
}

void Tell(const TSearchControl& control, const std::string& text, TErrorContext context = {}) {
    if (control.Warnings) control.Warnings({text, std::move(context)});
}

}  // namespace

TSearchQuery::TSearchQuery(std::string_view utf8) : folded_(FoldCase(utf8)) {
    rawPrefilter_ = folded_.find_first_of(kRewrittenChars) == std::string::npos;
}

bool TSearchQuery::FoundIn(std::string_view foldedText) const { return ContainsBytes(foldedText, folded_); }

bool MessageMatches(std::string_view rawText, const TSearchQuery& query) {
    thread_local std::string lowered;
    thread_local std::string folded;
    const std::string_view raw = UpToNul(rawText);
    if (query.Empty()) return true;
    const bool sevenBit = LowerSevenBit(raw, lowered);
    if (query.RawPrefilterApplies() && sevenBit && !ContainsBytes(lowered, query.Folded()) &&
        !HasDecodingMark(lowered))
        return false;
    const TLineRange lines(raw);
    const TCharsetHints hints([lines] { return FirstDeclaredCharset(lines); }, {});
    TMessageSearch search(query, hints, folded);
    return search.HeadersMatch(HeaderBlock(lines)) || search.PartMatches(lines, 0);
}

TMessageInfo EmlSummary(std::string_view rawText) {
    const TLineRange lines(UpToNul(rawText));
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
                                        const TSearchControl& control, const std::string& folderName) {
    std::unique_ptr<TOEReader> reader = OpenStore(path, control.Warnings);
    const size_t count = static_cast<size_t>(std::max(reader->GetMessageCount(), 0));
    std::vector<uint8_t> matched(count, 0);
    std::mutex readerLock;
    ForEachMessage(count, control, [&](size_t i) {
        const int32_t index = static_cast<int32_t>(i);
        std::string text;
        try {
            std::lock_guard lock(readerLock);
            text = reader->GetMessageText(index);
        } catch (const Exception& error) {
            Tell(control, error.Message(), error.Context());
            return;
        }
        matched[i] = MessageMatches(text, query) ? 1 : 0;
    });
    std::vector<TSearchHit> hits;
    for (size_t i = 0; i < count; ++i)
        if (matched[i]) hits.push_back({path, folderName, static_cast<int32_t>(i), reader->GetMessageInfo(static_cast<int32_t>(i))});
    return hits;
}

std::vector<TSearchHit> SearchStoreFolder(const TStoreFolder& folder, const TSearchQuery& query,
                                          const TSearchControl& control) {
    std::vector<TSearchHit> hits;
    for (const TFolderNode& node : folder.Nodes) {
        if (!node.File || (control.Cancel && control.Cancel->load())) continue;
        const std::string path = (std::filesystem::path(folder.Path) / *node.File).string();
        try {
            std::vector<TSearchHit> found = SearchStoreFile(path, query, control, node.Name);
            hits.insert(hits.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
        } catch (const Exception& error) {
            Tell(control, path + ": " + error.Message(), error.Context());
        }
    }
    return hits;
}

std::vector<TSearchHit> SearchPath(const std::string& path, const TSearchQuery& query, const TSearchControl& control) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return SearchStoreFolder(ReadStoreFolder(path, control.Warnings), query, control);
    if (!IsEmlFileName(path)) return SearchStoreFile(path, query, control);
    const std::string text = ReadEmlFile(path);
    if (control.Progress) control.Progress(1, 1);
    if (!MessageMatches(text, query)) return {};
    return {TSearchHit{path, {}, 0, EmlSummary(text)}};
}

}  // namespace brindle
