#include "cli/TerminalText.h"

#include "platform/Utf8.h"

#include <cstdint>

namespace brindle {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
// Lines longer than this are passed on in pieces (a piece may then end inside a UTF-8
// sequence, whose bytes are shown as escapes).
constexpr size_t kMaxPending = size_t{1} << 20;

void AppendHexEscape(std::string& out, uint8_t byte) {
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 15];
}

void AppendUnicodeEscape(std::string& out, uint32_t codePoint) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(codePoint >> shift) & 15];
}

}  // namespace

bool IsBidiControl(uint32_t cp) {
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

std::string EscapedForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte < 0x80) {
            if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F)
                AppendHexEscape(out, byte);
            else
                out += static_cast<char>(byte);
            ++i;
            continue;
        }
        const TCodePoint cp = DecodeUtf8At(text, i);
        if (cp.length == 0) {
            AppendHexEscape(out, byte);
            ++i;
            continue;
        }
        if ((cp.value >= 0x80 && cp.value <= 0x9F) || IsBidiControl(cp.value))
            AppendUnicodeEscape(out, cp.value);
        else
            out.append(text.substr(i, cp.length));
        i += cp.length;
    }
    return out;
}

TTerminalStreamBuf::~TTerminalStreamBuf() { PassLines(true); }

TTerminalStreamBuf::int_type TTerminalStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n' || pending_.size() >= kMaxPending) PassLines(pending_.size() >= kMaxPending);
    return c;
}

std::streamsize TTerminalStreamBuf::xsputn(const char* s, std::streamsize n) {
    pending_.append(s, static_cast<size_t>(n));
    PassLines(pending_.size() >= kMaxPending);
    return n;
}

int TTerminalStreamBuf::sync() {
    PassLines(true);
    target_.flush();
    return target_ ? 0 : -1;
}

void TTerminalStreamBuf::PassLines(bool all) {
    const size_t end = all ? pending_.size() : pending_.rfind('\n') + 1;  // npos + 1 == 0
    if (end == 0) return;
    const std::string shown = EscapedForTerminal(std::string_view(pending_).substr(0, end));
    target_.write(shown.data(), static_cast<std::streamsize>(shown.size()));
    pending_.erase(0, end);
}

}  // namespace brindle
