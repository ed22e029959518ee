#include "mailbox/CaseFold.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace brindle {
namespace {

struct TFolding {
    uint32_t code;
    uint32_t folded[3];
};

constexpr TFolding kFoldings[] = {
#include "mailbox/CaseFoldingTable.inc"
};

static_assert(std::is_sorted(std::begin(kFoldings), std::end(kFoldings),
                             [](const TFolding& a, const TFolding& b) { return a.code < b.code; }));

// The code point of the sequence at text[i] and its length; length 0 for an invalid sequence.
struct TDecoded {
    uint32_t code;
    size_t length;
};

TDecoded DecodeAt(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return {0, 0};
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return {0, 0};
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {0, 0};
    return {code, length};
}

// Folded code points may lie above U+FFFF (Deseret, Osage, Adlam...).
void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x10000) return AppendCodePoint(out, code);
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
}

const TFolding* FindFolding(uint32_t code) {
    const TFolding* it = std::lower_bound(std::begin(kFoldings), std::end(kFoldings), code,
                                          [](const TFolding& f, uint32_t c) { return f.code < c; });
    return it != std::end(kFoldings) && it->code == code ? it : nullptr;
}

}  // namespace

void AppendFolded(std::string& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            ++i;
            continue;
        }
        const TDecoded decoded = DecodeAt(utf8, i);
        if (decoded.length == 0) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (const TFolding* folding = FindFolding(decoded.code)) {
            for (uint32_t code : folding->folded)
                if (code != 0) AppendUtf8(out, code);
        } else {
            out.append(utf8.substr(i, decoded.length));
        }
        i += decoded.length;
    }
}

}  // namespace brindle
