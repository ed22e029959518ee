#include "FileNames.h"

#include "TextRules.h"
#include "Utf8.h"

#include <array>

namespace brindle {
namespace {

constexpr size_t kMaxExtensionBytes = 32;

bool IsReservedStem(std::string_view stem) {
    constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view reserved : kPlain)
        if (stem.size() == reserved.size() && StartsWithNoCase(stem, reserved)) return true;
    if (stem.size() != 4 || !(StartsWithNoCase(stem, "COM") || StartsWithNoCase(stem, "LPT"))) return false;
    return stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool IsUnsafeNameCodePoint(uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) ||
           (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

std::string ReplaceUnsafeCodePoints(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        TCodePoint point = DecodeUtf8At(utf8, i);
        if (point.length == 0) {
            out += utf8[i++];
            continue;
        }
        if (IsUnsafeNameCodePoint(point.value))
            out += replacement;
        else
            out.append(utf8.substr(i, point.length));
        i += point.length;
    }
    return out;
}

bool IsReservedDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    return IsReservedStem(stem);
}

std::string SafeSaveName(std::string_view utf8) {
    std::string name = ReplaceUnsafeCodePoints(utf8, '_');
    for (char& c : name)
        if (c == '/' || c == '\\') c = '_';
    if (name == "." || name == "..") return {};
    if (name.starts_with('.') || IsReservedDeviceName(name)) name.insert(0, 1, '_');
    return name;
}

std::pair<std::string_view, std::string_view> SplitExtension(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

std::string NumberedFileName(std::string_view name, size_t number) {
    auto [stem, extension] = SplitExtension(name);
    std::string suffix = number < 2 ? std::string() : " (" + std::to_string(number) + ")";
    size_t fixed = suffix.size() + extension.size();
    std::string_view cut = Utf8Prefix(stem, fixed < kMaxFileNameBytes ? kMaxFileNameBytes - fixed : 0);
    std::string result = std::string(cut) + suffix + std::string(extension);
    if (result.empty() || result == "." || result == "..") result.insert(0, 1, '_');
    return result;
}

std::string TUniqueNames::Take(std::string_view name) {
    std::string candidate = NumberedFileName(name, 1);
    ++tries_;
    size_t& number = nextNumber_.try_emplace(candidate, 2).first->second;
    while (taken_.count(candidate) != 0) {
        candidate = NumberedFileName(name, number++);
        ++tries_;
    }
    taken_.insert(candidate);
    return candidate;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace brindle
