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
        const TCodePoint decoded = DecodeUtf8At(utf8, i);
        if (decoded.length == 0) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (const TFolding* folding = FindFolding(decoded.value)) {
            for (uint32_t code : folding->folded)
                if (code != 0) AppendCodePoint(out, code);
        } else {
            out.append(utf8.substr(i, decoded.length));
        }
        i += decoded.length;
    }
}

}  // namespace brindle
