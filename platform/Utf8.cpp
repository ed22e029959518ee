#include "Utf8.h"

#include <cstdint>

namespace brindle {
namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The UTF-8 sequence at the start of s (not empty): its length and whether it is valid. An
// invalid one is the maximal ill-formed part: the lead byte and the continuation bytes that
// fit it, or a single byte that cannot lead.
struct TSequence {
    size_t length;
    bool valid;
};

TSequence ScanSequence(std::string_view s) {
    uint8_t b0 = static_cast<uint8_t>(s[0]);
    if (b0 < 0x80) return {1, true};
    size_t len;
    uint8_t lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;  // no overlong forms
        if (b0 == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return {1, false};
    }
    size_t i = 1;
    while (i < len && i < s.size()) {
        uint8_t b = static_cast<uint8_t>(s[i]);
        uint8_t min = i == 1 ? lo : 0x80, max = i == 1 ? hi : 0xBF;
        if (b < min || b > max) break;
        ++i;
    }
    return {i, i == len};
}

}  // namespace

void AppendCodePoint(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

TCodePoint DecodeUtf8At(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return {lead, 1};
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return {0, 0};
    uint32_t value = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return {0, 0};
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {0, 0};
    return {value, length};
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<uint8_t>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        TSequence sequence = ScanSequence(bytes.substr(i));
        if (!sequence.valid) return false;
        i += sequence.length;
    }
    return true;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        uint8_t b = static_cast<uint8_t>(c);
        if (b < 0x80)
            out += c;
        else if (b < 0xA0)
            AppendCodePoint(out, kCp1252High[b - 0x80]);
        else
            AppendCodePoint(out, b);
    }
    return out;
}

std::string Utf8OrCp1252(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Cp1252ToUtf8(bytes);
}

std::string RepairUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        size_t start = i;
        while (i < bytes.size() && static_cast<uint8_t>(bytes[i]) < 0x80) ++i;
        out.append(bytes.substr(start, i - start));
        if (i == bytes.size()) break;
        TSequence sequence = ScanSequence(bytes.substr(i));
        if (sequence.valid)
            out.append(bytes.substr(i, sequence.length));
        else
            AppendCodePoint(out, 0xFFFD);
        i += sequence.length;
    }
    return out;
}

std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return utf8;
    size_t cut = maxBytes;
    // Step back over continuation bytes so that the cut falls before a lead byte.
    while (cut > 0 && (static_cast<uint8_t>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return utf8.substr(0, cut);
}

std::string_view WithoutUnfinishedCharacter(std::string_view bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        size_t start = bytes.size() - back;
        uint8_t b = static_cast<uint8_t>(bytes[start]);
        if ((b & 0xC0) == 0x80) continue;
        if (b < 0xC2 || b > 0xF4) return bytes;
        TSequence sequence = ScanSequence(bytes.substr(start));
        return !sequence.valid && sequence.length == back ? bytes.substr(0, start) : bytes;
    }
    return bytes;
}

std::string Utf8OrCp1252Cut(std::string_view bytes, size_t cutBytes) {
    if (bytes.size() >= cutBytes) {
        std::string_view whole = WithoutUnfinishedCharacter(bytes.substr(0, cutBytes));
        if (IsValidUtf8(whole)) return std::string(whole);
    }
    return Utf8OrCp1252(bytes.substr(0, cutBytes));
}

std::string Utf8OrCp1252Prefix(std::string_view bytes, size_t maxBytes) {
    if (IsValidUtf8(bytes)) return std::string(Utf8Prefix(bytes, maxBytes));
    return Utf8OrCp1252Cut(bytes, maxBytes);
}

}  // namespace brindle
