#include "mime/HeaderFields.h"

#include "mime/Decoders.h"
#include "platform/Charset.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"

#include <map>

namespace brindle {
namespace {

constexpr size_t kBoundaryWindow = 72;
constexpr size_t kMaxParameterSections = 1000;
// FirstDeclaredCharset looks at no more lines than this.
constexpr size_t kCharsetScanLines = 200000;

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

std::string Enclose(char open, std::string_view text, char close) {
    std::string out;
    out.reserve(text.size() + 2);
    out += open;
    out += text;
    out += close;
    return out;
}

std::string DropZeroBytes(std::string text) {
    std::erase(text, '\0');
    return text;
}

// Decoded bytes of adjacent encoded words wait here so that a character split over two words
// of one charset is converted whole.
class TWordCollector {
public:
    TWordCollector(std::string& out, const TCharsetHints& hints) : out_(out), hints_(hints) {}

    void AddWord(std::string_view charset, std::string_view bytes) {
        if (!pending_.empty() && LowerAscii(charset) != LowerAscii(charset_)) Flush();
        charset_ = charset;
        pending_ += bytes;
    }
    void AddLiteral(std::string_view text) {
        Flush();
        out_ += UndeclaredToUtf8(text, hints_);
    }
    void Flush() {
        if (!pending_.empty()) out_ += ToUtf8(pending_, charset_, hints_);
        pending_.clear();
    }

private:
    std::string& out_;
    const TCharsetHints& hints_;
    std::string charset_;
    std::string pending_;
};

std::string DecodeWordText(char letter, std::string_view encoded) {
    if (letter == 'Q') return DecodeQuotedPrintable(encoded, true);
    // Words whose last group lacks its "=" padding are common; they decode as if padded.
    std::string bytes;
    TBase64DecodingStream stream(bytes);
    stream.Write(encoded);
    stream.Finish();
    return bytes;
}

// "attribute=value" pairs after the first ";" of a field; attributes lower case, quoted
// values without their quotes and escapes.
std::vector<std::pair<std::string, std::string>> Parameters(std::string_view field) {
    std::vector<std::pair<std::string, std::string>> params;
    size_t pos = field.find(';');
    while (pos != std::string_view::npos && pos < field.size()) {
        ++pos;  // past the ";"
        size_t equals = field.find_first_of("=;", pos);
        if (equals == std::string_view::npos) break;
        if (field[equals] == ';') {
            pos = equals;
            continue;
        }
        std::string attribute = LowerAscii(Trim(field.substr(pos, equals - pos)));
        size_t i = equals + 1;
        while (i < field.size() && IsSpaceOrTab(field[i])) ++i;
        std::string value;
        if (i < field.size() && field[i] == '"') {
            ++i;
            while (i < field.size() && field[i] != '"') {
                if (field[i] == '\\' && i + 1 < field.size()) ++i;
                value += field[i++];
            }
            pos = field.find(';', i);
        } else {
            size_t end = field.find(';', i);
            value = Trim(field.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
            pos = end;
        }
        params.emplace_back(std::move(attribute), std::move(value));
    }
    return params;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Splits "charset'language'text" into the charset and the text; without two quotes the whole
// value is the text.
std::pair<std::string, std::string_view> SplitCharsetAndText(std::string_view value) {
    size_t first = value.find('\'');
    size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos) return {std::string(), value};
    return {std::string(value.substr(0, first)), value.substr(second + 1)};
}

struct TSection {
    bool extended = false;
    std::string value;
};

// Parses "*", "*N" or "*N*" after an attribute name; false when the suffix is something else.
bool ParseSectionSuffix(std::string_view suffix, long& number, bool& extended) {
    if (suffix == "*") {
        number = -1;
        extended = true;
        return true;
    }
    if (suffix.size() < 2 || suffix[0] != '*') return false;
    suffix.remove_prefix(1);
    extended = suffix.back() == '*';
    if (extended) suffix.remove_suffix(1);
    if (suffix.empty() || suffix.size() > 4) return false;
    number = 0;
    for (char c : suffix) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    return true;
}

}  // namespace

std::optional<std::string> FindHeader(std::string_view name, TLineSpan lines) {
    auto it = lines.begin();
    const auto end = lines.end();
    while (it != end && (*it).empty()) ++it;
    for (; it != end && !(*it).empty(); ++it) {
        if (!StartsWithNoCase(*it, name)) continue;
        std::string field(*it);
        for (auto next = std::next(it); next != end; ++next) {
            std::string_view line = *next;
            if (line.empty() || !IsSpaceOrTab(line[0])) break;
            std::string_view folded = Trim(line);
            if (folded.empty()) continue;
            field += ' ';
            field += folded;
        }
        return field;
    }
    return std::nullopt;
}

std::optional<std::string> FindHeader(std::string_view name, const TStringList& lines) {
    return FindHeader(name, lines.Lines());
}

std::string GetHeaderParam(std::string_view key, std::string_view text) {
    size_t pos = UpperAscii(text).find(key);
    if (pos == std::string::npos) return {};
    std::string_view rest = Trim(text.substr(pos + key.size()));
    size_t semicolon = rest.find(';');
    if (semicolon != std::string_view::npos) rest = Trim(rest.substr(0, semicolon));
    return std::string(rest);
}

std::string GetHeaderValue(std::string_view name, std::string_view field) {
    size_t pos = UpperAscii(field).find(name);
    if (pos == std::string::npos) return {};
    return std::string(Trim(field.substr(pos + name.size())));
}

std::string Unquote(std::string_view text) {
    auto isQuote = [](char c) { return c == '"' || c == '\''; };
    if (!text.empty() && isQuote(text.front())) text.remove_prefix(1);
    if (!text.empty() && isQuote(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string RemoveChar(std::string_view text, char c) {
    std::string out;
    out.reserve(text.size());
    for (char x : text)
        if (x != c) out += x;
    return out;
}

std::string DecodeEncodedWords(std::string_view text, const TCharsetHints& hints) {
    std::string out;
    TWordCollector collector(out, hints);
    size_t pos = 0;
    bool afterWord = false;
    for (;;) {
        size_t start = text.find("=?", pos);
        if (start == std::string_view::npos) break;
        size_t question = text.find('?', start + 2);
        if (question == std::string_view::npos || question + 1 >= text.size()) break;
        char letter = UpperAscii(text[question + 1]);
        size_t encodedStart = question + 3;  // past the letter and the "?" after it
        if (encodedStart > text.size()) break;
        size_t end = text.find("?=", encodedStart);
        if (end == std::string_view::npos) break;
        std::string_view between = text.substr(pos, start - pos);
        if (!(afterWord && IsBlank(between)) && !between.empty()) collector.AddLiteral(between);
        if (letter == 'Q' || letter == 'B') {
            std::string_view charset = text.substr(start + 2, question - start - 2);
            collector.AddWord(charset, DecodeWordText(letter, text.substr(encodedStart, end - encodedStart)));
        }
        afterWord = true;
        pos = end + 2;
    }
    collector.AddLiteral(text.substr(pos));
    return DropZeroBytes(std::move(out));
}

std::string ExtractAddress(std::string_view mailbox, bool withBrackets) {
    // Removes comments: from the first "(" through the first ")" after it, again and again,
    // until there is no "(" or the next ")" stands before it. What stays before a removed
    // comment holds neither parenthesis, so the search can go on where the comment ended.
    std::string text;
    size_t pos = 0;
    for (;;) {
        size_t open = mailbox.find('(', pos), close = mailbox.find(')', pos);
        if (open == std::string_view::npos || close == std::string_view::npos || close < open) break;
        text += mailbox.substr(pos, open - pos);
        pos = close + 1;
    }
    text += mailbox.substr(pos);
    std::string_view address = Trim(text);
    size_t open = address.find('<'), close = address.find('>');
    if (open != std::string_view::npos && close != std::string_view::npos)
        address = close < open ? std::string_view() : address.substr(open + 1, close - open - 1);
    return withBrackets ? Enclose('<', address, '>') : std::string(address);
}

std::string ExtractDisplayName(std::string_view mailbox, bool withQuotes) {
    std::string text(mailbox);
    size_t open = text.find('<'), close = text.find('>');
    if (open != std::string::npos && close != std::string::npos && open < close) text.erase(open, close - open + 1);
    open = text.find('(');
    close = text.find(')');
    if (open != std::string::npos && close != std::string::npos)
        text = close < open ? std::string() : text.substr(open + 1, close - open - 1);
    text = RemoveChar(RemoveChar(text, '"'), '\'');
    std::string_view name = Trim(text);
    return withQuotes ? Enclose('"', name, '"') : std::string(name);
}

std::string NormalizeAddressList(std::string_view value, const TCharsetHints& hints) {
    std::string unquoted;
    unquoted.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '"') {
            unquoted += value[i];
            continue;
        }
        size_t closing = value.find('"', i + 1);
        if (closing == std::string_view::npos) continue;  // a lone quote goes alone
        i = closing;
    }
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t comma = unquoted.find(',', start);
        std::string_view piece =
            std::string_view(unquoted).substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        result += ExtractDisplayName(DecodeEncodedWords(piece, hints), true);
        result += ' ';
        result += UndeclaredToUtf8(ExtractAddress(piece, true), hints);
        if (comma == std::string::npos) break;
        result += ", ";
        start = comma + 1;
    }
    return result;
}

std::string ExtractBoundary(std::string_view contentTypeField) {
    size_t pos = UpperAscii(contentTypeField).find("BOUNDARY");
    if (pos == std::string::npos) return {};
    std::string_view value = Trim(contentTypeField.substr(pos + 8, kBoundaryWindow));
    if (!value.empty()) value.remove_prefix(1);
    value = Trim(value);
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
        value = value.substr(0, value.find('"'));
    }
    value = value.substr(0, value.find(';'));
    return "--" + std::string(Trim(value));
}

std::optional<std::string> GetParameter(std::string_view field, std::string_view attribute) {
    std::string wanted = LowerAscii(attribute);
    for (auto& [name, value] : Parameters(field))
        if (name == wanted) return value;
    return std::nullopt;
}

std::optional<std::string> GetExtendedParameter(std::string_view field, std::string_view attribute,
                                                const TCharsetHints& hints) {
    std::string wanted = LowerAscii(attribute);
    std::map<long, TSection> sections;
    for (auto& [name, value] : Parameters(field)) {
        if (name.size() <= wanted.size() || name.compare(0, wanted.size(), wanted) != 0) continue;
        long number;
        bool extended;
        if (!ParseSectionSuffix(std::string_view(name).substr(wanted.size()), number, extended)) continue;
        if (sections.size() >= kMaxParameterSections) break;
        sections.try_emplace(number, TSection{extended, value});
    }
    if (sections.empty()) return std::nullopt;
    auto single = sections.find(-1);
    if (single != sections.end()) {
        auto [charset, text] = SplitCharsetAndText(single->second.value);
        return DropZeroBytes(ToUtf8(PercentDecode(text), charset, hints));
    }
    std::string charset, bytes;
    long expected = 0;
    for (auto& [number, section] : sections) {
        if (number != expected++) break;
        std::string_view text = section.value;
        if (number == 0 && section.extended) {
            auto [declared, rest] = SplitCharsetAndText(text);
            charset = declared;
            text = rest;
        }
        bytes += section.extended ? PercentDecode(text) : std::string(text);
    }
    return DropZeroBytes(ToUtf8(bytes, charset, hints));
}

std::string PartFileName(const std::optional<std::string>& contentType,
                         const std::optional<std::string>& contentDisposition, const TCharsetHints& hints) {
    // A field whose RFC 2231 parameter is there but empty once decoded (all NULs, say) names
    // nothing: its plain parameter would find the extended one's text.
    std::string raw;
    if (contentType) {
        const std::optional<std::string> name = GetExtendedParameter(*contentType, "name", hints);
        if (name && !name->empty()) return *name;
        if (!name) raw = GetHeaderParam("NAME", *contentType);
    }
    if (raw.empty() && contentDisposition) {
        const std::optional<std::string> name = GetExtendedParameter(*contentDisposition, "filename", hints);
        if (name && !name->empty()) return *name;
        if (!name) raw = GetHeaderParam("FILENAME", *contentDisposition);
    }
    if (raw.empty()) return {};
    return DecodeEncodedWords(Unquote(std::string_view(raw).substr(1)), hints);
}

std::string FirstDeclaredCharset(TLineSpan lines) {
    size_t budget = kCharsetScanLines;
    for (auto it = lines.begin(), end = lines.end(); it != end && budget > 0; ++it, --budget) {
        if (!StartsWithNoCase(*it, "CONTENT-TYPE:")) continue;
        std::optional<std::string> field = FindHeader("CONTENT-TYPE:", lines.From(it));
        if (!field) continue;
        std::optional<std::string> charset = GetParameter(*field, "charset");
        if (charset && ReadsUndeclaredText(*charset)) return *charset;
    }
    return {};
}

std::string MediaTypeOf(std::string_view contentTypeField) {
    return LowerAscii(GetHeaderParam("CONTENT-TYPE:", contentTypeField));
}

std::string TopLevelType(std::string_view mediaType) {
    std::string_view type = Trim(mediaType);
    return UpperAscii(Trim(type.substr(0, type.find('/'))));
}

}  // namespace brindle
