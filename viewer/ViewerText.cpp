#include "viewer/ViewerText.h"

#include "platform/TextRules.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace brindle {
namespace {

void AppendEscaped(std::string& out, char c) {
    switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
    }
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;
struct THtmlEntity {
    std::string_view name;
    uint32_t code;
};
// The named character references of HTML 4, sorted by name.
constexpr THtmlEntity kHtmlEntities[] = {
#include "mailbox/HtmlEntityTable.inc"
};

// Entity names are short; a longer run after "&" is text.
constexpr size_t kMaxEntityLength = 10;

constexpr std::array<std::string_view, 22> kBlockTags = {
    "p",  "br", "div", "tr", "li", "h1",    "h2", "h3",  "h4",         "h5",    "h6",
    "hr", "ul", "ol",  "dl", "dt", "table", "dd", "pre", "blockquote", "title", "address"};

bool IsAsciiLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Where text without markup is written: blanks collapse, block breaks do not pile up.
class TPlainWriter {
public:
    void Text(char c) {
        if (IsBlankByte(c)) {
            pendingBlank_ = !out_.empty() && out_.back() != '\n';
            return;
        }
        Flush();
        out_ += c;
        newlines_ = 0;
    }
    void CodePoint(uint32_t cp) {
        Flush();
        AppendCodePoint(out_, cp == 0 || cp > 0xFFFF ? kReplacementCharacter : cp);
        newlines_ = 0;
    }
    void Break() {
        pendingBlank_ = false;
        if (out_.empty() || newlines_ >= 2) return;
        out_ += '\n';
        ++newlines_;
    }
    std::string Take() { return std::move(out_); }

private:
    void Flush() {
        if (pendingBlank_) out_ += ' ';
        pendingBlank_ = false;
    }
    std::string out_;
    bool pendingBlank_ = false;
    int newlines_ = 0;
};

// Decodes the entity or character reference at html[at] ("&..."); gives the bytes it took,
// or 0 when it is none.
size_t DecodeEntity(std::string_view html, size_t at, TPlainWriter& out) {
    const size_t end = html.find(';', at);
    if (end == std::string_view::npos || end - at > kMaxEntityLength) return 0;
    const std::string_view name = html.substr(at + 1, end - at - 1);
    static constexpr std::array<std::pair<std::string_view, uint32_t>, 8> kNamed = {{{"amp", '&'},
                                                                                     {"lt", '<'},
                                                                                     {"gt", '>'},
                                                                                     {"quot", '"'},
                                                                                     {"apos", '\''},
                                                                                     {"nbsp", 0xA0},
                                                                                     {"copy", 0xA9},
                                                                                     {"euro", 0x20AC}}};
    for (const auto& [entity, cp] : kNamed)
        if (name == entity) {
            out.CodePoint(cp);
            return end - at + 1;
        }
    const auto* named = std::lower_bound(std::begin(kHtmlEntities), std::end(kHtmlEntities), name,
                                         [](const THtmlEntity& e, std::string_view n) { return e.name < n; });
    if (named != std::end(kHtmlEntities) && named->name == name) {
        out.CodePoint(named->code);
        return end - at + 1;
    }
    if (name.size() < 2 || name[0] != '#') return 0;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    uint32_t cp = 0;
    for (char c : digits) {
        const int digit = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) return 0;
        cp = std::min<uint32_t>(cp * (hex ? 16 : 10) + static_cast<uint32_t>(digit), 0x110000);
    }
    out.CodePoint(cp);
    return end - at + 1;
}

// Skips from a start tag of script or style to the end of its closing tag (or the text's end).
size_t SkipRawText(std::string_view html, size_t from, std::string_view name) {
    const std::string closing = "</" + std::string(name);
    for (size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2))
        if (StartsWithNoCase(html.substr(at), closing)) {
            const size_t end = html.find('>', at);
            return end == std::string_view::npos ? html.size() : end + 1;
        }
    return html.size();
}

}  // namespace

std::string HtmlAsPlainText(std::string_view html) {
    TPlainWriter out;
    size_t at = 0;
    while (at < html.size()) {
        const char c = html[at];
        if (c == '&') {
            const size_t taken = DecodeEntity(html, at, out);
            if (taken > 0) {
                at += taken;
                continue;
            }
        }
        if (c != '<') {
            out.Text(c);
            ++at;
            continue;
        }
        if (html.substr(at, 4) == "<!--") {
            const size_t end = html.find("-->", at + 4);
            at = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const size_t end = html.find('>', at);
        if (end == std::string_view::npos) break;
        size_t nameBegin = at + 1;
        if (nameBegin < end && html[nameBegin] == '/') ++nameBegin;
        size_t nameEnd = nameBegin;
        while (nameEnd < end && IsAsciiLetterOrDigit(html[nameEnd])) ++nameEnd;
        const std::string name = LowerAscii(html.substr(nameBegin, nameEnd - nameBegin));
        const bool closing = nameBegin > at + 1;
        at = end + 1;
        if (!closing && (name == "script" || name == "style")) {
            at = SkipRawText(html, at, name);
        } else if (std::find(kBlockTags.begin(), kBlockTags.end(), name) != kBlockTags.end()) {
            out.Break();
        } else if (name == "td" || name == "th") {
            out.Text(' ');
        }
    }
    return out.Take();
}

bool IsDesktopLink(std::string_view target) {
    static constexpr std::array<std::string_view, 3> kSchemes = {"http:", "https:", "mailto:"};
    for (std::string_view scheme : kSchemes)
        if (StartsWithNoCase(target, scheme)) return true;
    return false;
}

bool HasHtmlPart(const std::vector<std::string>& textTypes) {
    for (const std::string& type : textTypes)
        if (type == "text/html") return true;
    return false;
}

std::string BreakLongRuns(std::string_view utf8Text) {
    std::string out;
    out.reserve(utf8Text.size() + utf8Text.size() / 64);
    size_t run = 0;
    for (size_t i = 0; i < utf8Text.size(); ++i) {
        const char c = utf8Text[i];
        if (IsBlankByte(c) || utf8Text.substr(i).starts_with(kZeroWidthSpace)) {
            run = 0;
        } else if (!IsUtf8Continuation(c)) {
            if (run == kMaxUnbrokenRun) {
                out += kZeroWidthSpace;
                run = 0;
            }
            ++run;
        }
        out += c;
    }
    return out;
}

std::string PlainTextAsHtmlBlock(std::string_view utf8Text) {
    std::string html = "<p style=\"white-space: pre-wrap\">";
    const std::string text = BreakLongRuns(utf8Text);
    html.reserve(html.size() + text.size() + text.size() / 8 + 32);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            html += '\n';
        } else {
            AppendEscaped(html, c);
        }
    }
    html += "</p>";
    return html;
}

std::string PlainTextToHtml(std::string_view utf8Text) {
    return "<html><body>" + PlainTextAsHtmlBlock(utf8Text) + "</body></html>";
}

bool HasLongUnbrokenRun(std::string_view bytes) {
    size_t run = 0;
    for (char c : bytes) {
        if (IsBlankByte(c))
            run = 0;
        else if (!IsUtf8Continuation(c) && ++run > kMaxUnbrokenRun)
            return true;
    }
    return false;
}

}  // namespace brindle
