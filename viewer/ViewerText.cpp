#include "viewer/ViewerText.h"

#include "platform/TextRules.h"

#include <array>

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

}  // namespace

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

std::string PlainTextToHtml(std::string_view utf8Text) {
    std::string html = "<html><body><p style=\"white-space: pre-wrap\">";
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
    html += "</p></body></html>";
    return html;
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
