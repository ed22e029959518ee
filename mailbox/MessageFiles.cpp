#include "mailbox/MessageFiles.h"

#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"
#include "store/MessageInfo.h"

#include <algorithm>

namespace brindle {
namespace {

constexpr std::string_view kUnsafeCharacters = "!\"%'*./:?\\";
// Exported names keep "." (version numbers, abbreviations): it is never their first character.
constexpr std::string_view kUnsafeExportCharacters = "!\"%'*/:?\\";
constexpr size_t kMinIndexWidth = 4;

}  // namespace

std::string SafeFileNamePart(std::string_view text) {
    const std::string replaced = ReplaceUnsafeCodePoints(text, ' ');
    std::string safe;
    safe.reserve(replaced.size());
    for (char c : replaced) {
        if (kUnsafeCharacters.find(c) != std::string_view::npos) c = ' ';
        if (c == ' ' && !safe.empty() && safe.back() == ' ') continue;
        safe += c;
    }
    return safe;
}

std::string SavedMessageFileName(int32_t index, std::string_view subject) {
    std::string prefix = std::to_string(index) + "_";
    constexpr std::string_view suffix = ".eml";
    std::string name = SafeFileNamePart(Utf8OrCp1252Cut(subject, kShortStringMax));
    size_t room = kMaxFileNameBytes - prefix.size() - suffix.size();
    return prefix + std::string(Utf8Prefix(name, room)) + std::string(suffix);
}

size_t IndexWidth(size_t count) {
    size_t width = 1;
    for (size_t largest = count > 0 ? count - 1 : 0; largest >= 10; largest /= 10) ++width;
    return std::max(width, kMinIndexWidth);
}

std::string ExportedMessageFileName(int32_t index, size_t width, std::string_view subject) {
    std::string prefix = std::to_string(index);
    if (index >= 0 && prefix.size() < width) prefix.insert(0, width - prefix.size(), '0');
    prefix += '_';
    constexpr std::string_view suffix = ".eml";
    std::string name = ReplaceUnsafeCodePoints(Utf8OrCp1252Cut(subject, kShortStringMax), ' ');
    for (char& c : name)
        if (kUnsafeExportCharacters.find(c) != std::string_view::npos) c = ' ';
    const size_t room = kMaxFileNameBytes - std::min(kMaxFileNameBytes, prefix.size() + suffix.size());
    return prefix + std::string(Utf8Prefix(name, room)) + std::string(suffix);
}

std::string SaveMessageFile(TTargetFolder& folder, const std::string& name, std::string_view rawText,
                            TIfExists ifExists) {
    std::string scratch;
    return folder.Write(name, NormalizedLineEnds(rawText, scratch), ifExists);
}

}  // namespace brindle
