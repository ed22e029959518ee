#include "mailbox/HtmlText.h"

#include "platform/TextRules.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace brindle {
namespace {

struct TEntity {
    std::string_view name;
    uint32_t code;
};

constexpr TEntity kEntities[] = {
#include "mailbox/HtmlEntityTable.inc"
};

// Names are at most this long ("thetasym"); a longer run after "&" is no reference.
constexpr size_t kMaxEntityName = 8;
constexpr size_t kMaxNumericDigits = 8;

constexpr std::string_view kLineElements[] = {"address", "blockquote", "br",    "dd", "div", "dl", "dt", "h1",
                                              "h2",      "h3",         "h4",    "h5", "h6",  "hr", "li", "ol",
                                              "p",       "pre",        "table", "td", "th",  "tr", "ul"};

bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The lower-case name of the tag that begins at html[i] ("<" included), without "/".
std::string TagName(std::string_view html, size_t i) {
    size_t k = i + 1;
    if (k < html.size() && html[k] == '/') ++k;
    std::string name;
    while (k < html.size() && IsNameChar(html[k]) && name.size() < 16) name += LowerAscii(html[k++]);
    return name;
}

void AppendCode(std::string& out, uint32_t code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    AppendCodePoint(out, code);
}

// Decodes the reference at html[i] ("&" included) into out and returns the length it took;
// 0 when no reference begins there.
size_t DecodeReference(std::string_view html, size_t i, std::string& out) {
    size_t k = i + 1;
    if (k < html.size() && html[k] == '#') {
        ++k;
        const bool hex = k < html.size() && (html[k] == 'x' || html[k] == 'X');
        if (hex) ++k;
        uint32_t code = 0;
        size_t digits = 0;
        for (; k < html.size() && digits < kMaxNumericDigits; ++k, ++digits) {
            const char c = html[k];
            const int value = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
            if (value < 0) break;
            code = code * (hex ? 16 : 10) + static_cast<uint32_t>(value);
        }
        if (digits == 0) return 0;
        if (k < html.size() && html[k] == ';') ++k;
        AppendCode(out, code);
        return k - i;
    }
    size_t end = k;
    while (end < html.size() && end - k < kMaxEntityName && IsNameChar(html[end])) ++end;
    const std::string_view name = html.substr(k, end - k);
    const TEntity* it = std::lower_bound(std::begin(kEntities), std::end(kEntities), name,
                                         [](const TEntity& e, std::string_view n) { return e.name < n; });
    if (name.empty() || it == std::end(kEntities) || it->name != name) return 0;
    if (end < html.size() && html[end] == ';') ++end;
    AppendCode(out, it->code);
    return end - i;
}

// The position after the end of the element whose content is skipped ("</script" ... ">").
size_t SkipRawContent(std::string_view html, size_t from, std::string_view name) {
    for (size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2)) {
        if (TagName(html, at) != name) continue;
        const size_t close = html.find('>', at);
        return close == std::string_view::npos ? html.size() : close + 1;
    }
    return html.size();
}

}  // namespace

std::string HtmlToText(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    size_t i = 0;
    while (i < html.size()) {
        const size_t special = html.find_first_of("<&", i);
        out.append(html.substr(i, special == std::string_view::npos ? std::string_view::npos : special - i));
        if (special == std::string_view::npos) break;
        i = special;
        if (html[i] == '&') {
            const size_t taken = DecodeReference(html, i, out);
            if (taken == 0) out += '&';
            i += taken == 0 ? 1 : taken;
            continue;
        }
        if (html.substr(i, 4) == "<!--") {
            const size_t close = html.find("-->", i + 4);
            i = close == std::string_view::npos ? html.size() : close + 3;
            continue;
        }
        const std::string name = TagName(html, i);
        const bool isTag = !name.empty() || (i + 1 < html.size() && (html[i + 1] == '!' || html[i + 1] == '?'));
        if (!isTag) {
            out += '<';
            ++i;
            continue;
        }
        const size_t close = html.find('>', i);
        i = close == std::string_view::npos ? html.size() : close + 1;
        const bool closing = html[special + 1] == '/';
        if (!closing && (name == "script" || name == "style")) {
            i = SkipRawContent(html, i, name);
        } else if (std::find(std::begin(kLineElements), std::end(kLineElements), name) != std::end(kLineElements)) {
            out += '\n';
        }
    }
    return out;
}

}  // namespace brindle
