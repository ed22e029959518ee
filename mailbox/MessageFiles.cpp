#include "mailbox/MessageFiles.h"

#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"
#include "store/MessageInfo.h"

namespace brindle {
namespace {

constexpr std::string_view kUnsafeCharacters = "!\"%'*./:?\\";

}  // namespace

std::string SafeFileNamePart(std::string_view text) {
    std::string safe = ReplaceUnsafeCodePoints(text, ' ');
    for (char& c : safe)
        if (kUnsafeCharacters.find(c) != std::string_view::npos) c = ' ';
    return safe;
}

std::string SavedMessageFileName(int32_t index, std::string_view subject) {
    std::string prefix = std::to_string(index) + "_";
    constexpr std::string_view suffix = ".eml";
    std::string name = SafeFileNamePart(Utf8OrCp1252Cut(subject, kShortStringMax));
    size_t room = kMaxFileNameBytes - prefix.size() - suffix.size();
    return prefix + std::string(Utf8Prefix(name, room)) + std::string(suffix);
}

std::string SaveMessageFile(TTargetFolder& folder, const std::string& name, std::string_view rawText,
                            TIfExists ifExists) {
    std::string scratch;
    return folder.Write(name, NormalizedLineEnds(rawText, scratch), ifExists);
}

}  // namespace brindle
