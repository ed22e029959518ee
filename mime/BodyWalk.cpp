#include "mime/BodyWalk.h"

#include "mime/Decoders.h"
#include "mime/HeaderFields.h"
#include "mime/MoxMsg.h"
#include "mime/Tnef.h"
#include "platform/Charset.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"

namespace brindle {
namespace {

constexpr size_t kUUBeginMinLength = 11;
constexpr int kUUModeLimit = 777;
constexpr size_t kUUFileNameLength = 64;
// The name of a TNEF attachment that has none of its own.
constexpr std::string_view kTnefDefaultName = "winmail.dat";
constexpr std::string_view kNameForbidden = "\\/:*?\"<>|";

// The number at positions 7 to 9 of a begin line, read as a decimal integer with optional
// leading spaces and sign; nothing when those characters are not such a number.
std::optional<int> UUModeNumber(std::string_view digits) {
    size_t i = 0;
    while (i < digits.size() && digits[i] == ' ') ++i;
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) negative = digits[i++] == '-';
    if (i == digits.size()) return std::nullopt;
    int value = 0;
    for (; i < digits.size(); ++i) {
        if (digits[i] < '0' || digits[i] > '9') return std::nullopt;
        value = value * 10 + (digits[i] - '0');
    }
    return negative ? -value : value;
}

bool IsClosingDelimiterLine(std::string_view line, std::string_view delimiter) {
    if (delimiter.empty() || line.size() < delimiter.size() + 2 || line[0] != delimiter[0]) return false;
    if (line.compare(0, delimiter.size(), delimiter) != 0) return false;
    return IsDelimiterLine(line.substr(delimiter.size()), "--");
}

std::string CleanAttachmentName(std::string_view name) {
    std::string out;
    for (char c : name)
        if (kNameForbidden.find(c) == std::string_view::npos) out += c;
    return out;
}

// Whether an empty line ends the header block: a part of a text that breaks off inside its
// header has no body, and its fields may be cut short.
bool HeaderBlockEnds(TLineSpan lines) {
    for (std::string_view line : lines)
        if (IsBlank(line)) return true;
    return false;
}

// Whether a part that is neither text nor multipart may become a file: it has a name, is
// uuencoded or is encoded for transport.
bool MayBeFile(const TPartHeaders& headers) {
    return !headers.Name.empty() || headers.TransferEncoding == "X-UUENCODE" || headers.TransferEncoding == "BASE64" ||
           headers.TransferEncoding == "QUOTED-PRINTABLE";
}

void DropFinalLineEnd(std::string& data) {
    if (data.size() >= 2 && data.compare(data.size() - 2, 2, "\r\n") == 0) data.resize(data.size() - 2);
}

}  // namespace

TPartHeaders GetPartHeaders(TLineSpan lines, const TCharsetHints& hints) {
    TPartHeaders headers;
    std::optional<std::string> contentType = FindHeader("CONTENT-TYPE:", lines);
    if (contentType) {
        headers.ContentType = UpperAscii(Utf8OrCp1252(GetHeaderParam("CONTENT-TYPE:", *contentType)));
        headers.MediaType = LowerAscii(headers.ContentType);
        headers.Charset = GetParameter(*contentType, "charset").value_or("");
    }
    if (auto encoding = FindHeader("CONTENT-TRANSFER-ENCODING:", lines))
        headers.TransferEncoding = UpperAscii(Utf8OrCp1252(GetHeaderParam("CONTENT-TRANSFER-ENCODING:", *encoding)));
    headers.Name = PartFileName(contentType, FindHeader("CONTENT-DISPOSITION:", lines), hints);
    if (auto id = FindHeader("CONTENT-ID:", lines)) {
        const std::string field = GetHeaderValue("CONTENT-ID:", *id);
        std::string_view value = Trim(field);
        if (!value.empty() && value.front() == '<') value.remove_prefix(1);
        if (!value.empty() && value.back() == '>') value.remove_suffix(1);
        headers.ContentID = Utf8OrCp1252(value);
    }
    return headers;
}

TLineSpan StripPartHeader(TLineSpan lines) {
    auto it = lines.begin();
    const auto end = lines.end();
    while (it != end && !IsBlank(*it)) ++it;
    while (it != end && IsBlank(*it)) ++it;
    return lines.From(it);
}

std::optional<TUUBegin> FindUUBegin(TLineSpan lines, TLineRange::iterator from) {
    for (auto it = from, end = lines.end(); it != end; ++it) {
        std::string_view line = *it;
        if (line.size() < kUUBeginMinLength || !StartsWithNoCase(line, "begin")) continue;
        std::optional<int> mode = UUModeNumber(line.substr(6, 3));
        if (!mode || *mode <= 0 || *mode >= kUUModeLimit) continue;
        return TUUBegin{it, Utf8OrCp1252Prefix(line.substr(10), kUUFileNameLength)};
    }
    return std::nullopt;
}

bool IsDelimiterLine(std::string_view line, std::string_view delimiter) {
    if (delimiter.empty() || line.size() < delimiter.size() || line[0] != delimiter[0]) return false;
    if (line.compare(0, delimiter.size(), delimiter) != 0) return false;
    for (char c : line.substr(delimiter.size()))
        if (c != ' ' && c != '\t') return false;
    return true;
}

void SplitMultipart(std::vector<TLeafPart>& parts, TLineSpan lines, int depth, TAlternativePlace place,
                    size_t& alternatives) {
    std::optional<std::string> contentType = FindHeader("CONTENT-TYPE:", lines);
    if (!contentType || TopLevelType(MediaTypeOf(*contentType)) != "MULTIPART" || depth >= kMaxNesting) {
        if (!lines.empty()) parts.push_back({lines, depth, place});
        return;
    }
    const bool alternative = LowerAscii(Utf8OrCp1252(MediaTypeOf(*contentType))) == "multipart/alternative";
    const size_t number = alternative ? ++alternatives : 0;
    size_t choice = 0;
    // Each part of an alternative is one choice; other multiparts pass their own place on.
    auto childPlace = [&] { return alternative ? TAlternativePlace{number, choice++} : place; };
    TLineSpan body = StripPartHeader(lines);
    std::string delimiter = ExtractBoundary(*contentType);
    auto it = body.begin();
    const auto end = body.end();
    while (it != end && !IsDelimiterLine(*it, delimiter)) ++it;
    if (it != end) ++it;  // past the first delimiter
    auto partStart = it;
    while (it != end && !IsClosingDelimiterLine(*it, delimiter)) {
        if (IsDelimiterLine(*it, delimiter)) {
            SplitMultipart(parts, body.Between(partStart, it), depth + 1, childPlace(), alternatives);
            partStart = ++it;
            if (it == end) break;
        }
        ++it;  // the line after a delimiter joins the part without being compared
    }
    if (partStart != end) SplitMultipart(parts, body.Between(partStart, it), depth + 1, childPlace(), alternatives);
}

std::string TextAttachmentData(const TLineRuns& lines) {
    std::string data = JoinRuns(lines);
    DropFinalLineEnd(data);
    return data;
}

void TBodyWalk::ParsePart(TLineSpan lines, int depth) {
    TPartHeaders headers = GetPartHeaders(lines, hints_);
    std::string topLevel = TopLevelType(headers.ContentType);
    bool nestingFull = depth >= kMaxNesting;
    if (topLevel == "TEXT") {
        ParseTextPart(StripPartHeader(lines), headers);
    } else if (topLevel == "MULTIPART" && !nestingFull) {
        std::vector<TLeafPart> leaves;
        SplitMultipart(leaves, lines, depth, place_, alternatives_);
        const TAlternativePlace outer = place_;
        for (const TLeafPart& leaf : leaves) {
            place_ = leaf.Place;
            ParsePart(leaf.Lines, leaf.Depth);
        }
        place_ = outer;
    } else if (topLevel == "MULTIPART") {
        AppendTextLines({StripPartHeader(lines)}, headers);
    } else if (MayBeFile(headers) && !HeaderBlockEnds(lines)) {
        // A file whose header breaks off has no data, and a name read there may be cut short:
        // nothing is offered.
    } else if (headers.TransferEncoding == "X-UUENCODE" || !headers.Name.empty()) {
        AddAttachment({StripPartHeader(lines)}, headers.TransferEncoding, headers.Name, headers);
    } else if (headers.ContentType == "MESSAGE/RFC822" && !nestingFull) {
        ParsePart(StripPartHeader(lines), depth + 1);
    } else if (headers.ContentType == "MESSAGE/RFC822") {
        AppendTextLines({StripPartHeader(lines)}, headers);
    } else if (headers.TransferEncoding == "BASE64" || headers.TransferEncoding == "QUOTED-PRINTABLE") {
        AddAttachment({StripPartHeader(lines)}, headers.TransferEncoding, "", headers);
    } else {
        AppendTextLines({StripPartHeader(lines)}, headers);
    }
}

void TBodyWalk::ParseTextPart(TLineSpan body, const TPartHeaders& headers) {
    TLineRuns remaining;
    bool hadUUBlocks = PullUUBlocks(body, remaining);
    std::string encoding = hadUUBlocks ? "X-UUENCODE" : headers.TransferEncoding;
    if (encoding == "QUOTED-PRINTABLE") {
        AppendText(DecodeQuotedPrintable(JoinRuns(remaining)), headers);
    } else if (encoding == "BASE64") {
        std::string bytes;
        DecodeBase64Attachment(remaining, bytes);
        AppendText(bytes, headers);
    } else {
        AppendTextLines(remaining, headers);
    }
}

bool TBodyWalk::PullUUBlocks(TLineSpan body, TLineRuns& kept) {
    TPartHeaders blockHeaders;
    blockHeaders.MediaType.clear();
    bool found = false;
    auto it = body.begin();
    const auto end = body.end();
    while (auto begin = FindUUBegin(body, it)) {
        found = true;
        kept.push_back(body.Between(it, begin->Line));
        auto blockEnd = begin->Line;
        while (blockEnd != end && !IsUUEndLine(*blockEnd)) ++blockEnd;
        AddAttachment({body.Between(begin->Line, blockEnd)}, "X-UUENCODE", begin->FileName, blockHeaders, true);
        it = blockEnd;
    }
    kept.push_back(body.From(it));
    return found;
}

void TBodyWalk::AddAttachment(const TLineRuns& body, const std::string& encoding, const std::string& name,
                              const TPartHeaders& headers, bool uuBlock) {
    TAttachedFile& item = msg_.AttachedFiles.Add(CleanAttachmentName(name));
    item.ContentID = headers.ContentID;
    item.MediaType = headers.MediaType;
    if (encoding == "BASE64") {
        DecodeBase64Attachment(body, item.Data, [this](std::string_view done) { msg_.RawMail.ReleaseBytes(done); });
    } else if (encoding == "X-UUENCODE") {
        try {
            DecodeUUAttachment(body, item.Data, uuBlock ? TUUEmptyLines::Skip : TUUEmptyLines::Count);
        } catch (const EUUDecodeError&) {
            // The item keeps the bytes of the lines before the bad one.
        }
    } else if (encoding == "QUOTED-PRINTABLE") {
        item.Data = NormalizeLineEndsKeepingNul(DecodeQuotedPrintable(JoinRuns(body)));
        DropFinalLineEnd(item.Data);
    } else {
        item.Data = TextAttachmentData(body);
    }
    if (IsTnefAttachment(item.MediaType, item.FileName)) UnpackTnefInto(item);
}

void TBodyWalk::UnpackTnefInto(const TAttachedFile& container) {
    const std::string containerName = container.FileName.empty() ? std::string(kTnefDefaultName) : container.FileName;
    std::vector<TTnefFile> files;
    try {
        files = UnpackTnef(container.Data, msg_.StoreCodePage);
    } catch (const ETnefError& damage) {
        msg_.Warnings.push_back(containerName + ": " + damage.Message() + " It is kept as it is.");
        return;
    }
    for (TTnefFile& file : files) {
        TAttachedFile& item = msg_.AttachedFiles.Add(CleanAttachmentName(file.Name));
        item.Data = std::move(file.Data);
        item.Modified = file.Modified;
        item.Container = containerName;
    }
}

void TBodyWalk::AppendText(const std::string& bytes, const TPartHeaders& headers) {
    std::string text = ToUtf8(bytes, headers.Charset, hints_);
    std::erase(text, '\0');
    size_t before = msg_.Text.size();
    if (msg_.Text.empty())
        msg_.Text.Assign(std::move(text));
    else
        AppendLines(msg_.Text, text);
    if (msg_.Text.size() > before) NoteTextPart(before, headers);
}

void TBodyWalk::NoteTextPart(size_t firstLine, const TPartHeaders& headers) {
    msg_.TextTypes.push_back(headers.MediaType);
    msg_.TextParts.push_back({firstLine, place_.Alternative, place_.Choice});
}

// Lines that are valid UTF-8 one by one are so as one text: line ends are single ASCII bytes,
// and a sequence that a line end cuts is invalid either way.
void TBodyWalk::AppendTextLines(const TLineRuns& lines, const TPartHeaders& headers) {
    if (AllEmpty(lines)) return;
    if (KeepsValidUtf8(headers.Charset)) {
        bool valid = true;
        for (const TLineRange& run : lines)
            if (!IsValidUtf8(run.Bytes()) || run.Bytes().find('\0') != std::string_view::npos) valid = false;
        if (valid) {
            const size_t before = msg_.Text.size();
            for (const TLineRange& run : lines) msg_.Text.AppendRange(run);
            NoteTextPart(before, headers);
            return;
        }
    }
    AppendText(JoinRuns(lines), headers);
}

bool IsUUEndLine(std::string_view line) {
    std::string_view word = Trim(line);
    return word.size() == 3 && StartsWithNoCase(word, "end");
}

}  // namespace brindle
