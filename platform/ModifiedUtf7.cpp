#include "platform/ModifiedUtf7.h"

#include "platform/Utf8.h"

#include <cstdint>
#include <vector>

namespace brindle {
namespace {

constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
constexpr char kShift = '&';
constexpr char kUnshift = '-';

bool IsDirect(uint32_t cp) { return cp >= 0x20 && cp <= 0x7E; }

int Base64Value(char c) {
    const size_t at = kBase64.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

void AppendUtf16(std::vector<uint16_t>& units, uint32_t cp) {
    if (cp < 0x10000) {
        units.push_back(static_cast<uint16_t>(cp));
        return;
    }
    cp -= 0x10000;
    units.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
    units.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
}

void AppendRun(std::string& out, const std::vector<uint16_t>& units) {
    out += kShift;
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += kBase64[(bits >> count) & 0x3F];
        }
    }
    if (count > 0) out += kBase64[(bits << (6 - count)) & 0x3F];
    out += kUnshift;
}

// The code points of a run's base64; false when they are not whole UTF-16.
bool DecodeRun(std::string_view run, std::string& out) {
    uint32_t bits = 0;
    int count = 0;
    std::vector<uint16_t> units;
    for (char c : run) {
        const int value = Base64Value(c);
        if (value < 0) return false;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 16) {
            count -= 16;
            units.push_back(static_cast<uint16_t>(bits >> count));
        }
    }
    // What is left over is padding of fewer than 6 bits, all zero.
    if (count >= 6 || (bits & ((1u << count) - 1)) != 0 || units.empty()) return false;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        // A character that could stand for itself must not be in a run.
        if (IsDirect(cp)) return false;
        AppendCodePoint(out, cp);
    }
    return true;
}

}  // namespace

std::string EncodeModifiedUtf7(std::string_view utf8) {
    const std::string text = Utf8OrCp1252(utf8);
    std::string out;
    std::vector<uint16_t> run;
    for (size_t i = 0; i < text.size();) {
        const TCodePoint cp = DecodeUtf8At(text, i);
        i += cp.length;
        if (!IsDirect(cp.value)) {
            AppendUtf16(run, cp.value);
            continue;
        }
        if (!run.empty()) {
            AppendRun(out, run);
            run.clear();
        }
        if (cp.value == static_cast<uint32_t>(kShift))
            out += "&-";
        else
            out += static_cast<char>(cp.value);
    }
    if (!run.empty()) AppendRun(out, run);
    return out;
}

std::optional<std::string> DecodeModifiedUtf7(std::string_view name) {
    std::string out;
    bool afterRun = false;
    for (size_t i = 0; i < name.size();) {
        const char c = name[i];
        if (!IsDirect(static_cast<unsigned char>(c))) return std::nullopt;
        if (c != kShift) {
            out += c;
            afterRun = false;
            ++i;
            continue;
        }
        const size_t end = name.find(kUnshift, i + 1);
        if (end == std::string_view::npos) return std::nullopt;
        if (end == i + 1) {
            out += kShift;
            afterRun = false;
        } else {
            if (afterRun || !DecodeRun(name.substr(i + 1, end - i - 1), out)) return std::nullopt;
            afterRun = true;
        }
        i = end + 1;
    }
    return out;
}

}  // namespace brindle
