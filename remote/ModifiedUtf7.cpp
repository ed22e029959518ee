#include "remote/ModifiedUtf7.h"

#include "platform/Utf8.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace brindle {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
constexpr char kShift = '&';
constexpr char kUnshift = '-';

bool IsDirect(uint32_t cp) { return cp >= 0x20 && cp <= 0x7E; }

void AppendUtf16(std::vector<uint16_t>& units, uint32_t cp) {
    if (cp < 0x10000) {
        units.push_back(static_cast<uint16_t>(cp));
        return;
    }
    cp -= 0x10000;
    units.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
    units.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
}

void AppendBase64Run(std::string& out, const std::vector<uint16_t>& units) {
    out += kShift;
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 0x3F];
        }
    }
    if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3F];
    out += kUnshift;
}

int Base64Value(char c) {
    const size_t at = kAlphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// The code points of one shifted run (without "&" and "-"); none when it is malformed.
std::optional<std::string> DecodedRun(std::string_view run) {
    std::vector<uint16_t> units;
    uint32_t bits = 0;
    int count = 0;
    for (char c : run) {
        const int value = Base64Value(c);
        if (value < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 16) {
            count -= 16;
            units.push_back(static_cast<uint16_t>((bits >> count) & 0xFFFF));
        }
    }
    if (count >= 6 || (bits & ((1u << count) - 1)) != 0) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t cp = units[i];
        if (cp >= 0xD800 && cp < 0xDC00) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (IsDirect(cp)) return std::nullopt;  // a direct character must not be shifted
        AppendCodePoint(out, cp);
    }
    return out;
}

}  // namespace

std::string ModifiedUtf7Encoded(std::string_view text) {
    const std::string utf8 = Utf8OrCp1252(text);
    std::string out;
    std::vector<uint16_t> pending;
    for (size_t i = 0; i < utf8.size();) {
        const TCodePoint point = DecodeUtf8At(utf8, i);
        i += point.length;
        if (!IsDirect(point.value)) {
            AppendUtf16(pending, point.value);
            continue;
        }
        if (!pending.empty()) {
            AppendBase64Run(out, pending);
            pending.clear();
        }
        if (point.value == static_cast<uint32_t>(kShift))
            out += "&-";
        else
            out += static_cast<char>(point.value);
    }
    if (!pending.empty()) AppendBase64Run(out, pending);
    return out;
}

std::string ModifiedUtf7Decoded(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        if (name[i] != kShift) {
            out += name[i++];
            continue;
        }
        const size_t end = name.find(kUnshift, i + 1);
        if (end == std::string_view::npos) {
            out += name.substr(i);
            break;
        }
        if (end == i + 1) {
            out += kShift;
        } else if (std::optional<std::string> run = DecodedRun(name.substr(i + 1, end - i - 1))) {
            out += *run;
        } else {
            out += name.substr(i, end + 1 - i);
        }
        i = end + 1;
    }
    return out;
}

}  // namespace brindle
