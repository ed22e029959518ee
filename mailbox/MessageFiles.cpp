#include "mailbox/MessageFiles.h"

#include "platform/FileWrite.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"

namespace brindle {
namespace {

constexpr size_t kFileNameMax = 255;
constexpr std::string_view kUnsafeCharacters = "!\"%'*./:?\\";

}  // namespace

std::string SafeFileNamePart(std::string_view text) {
    std::string safe(text);
    for (char& c : safe)
        if (kUnsafeCharacters.find(c) != std::string_view::npos) c = ' ';
    return safe;
}

std::string SavedMessageFileName(int32_t index, std::string_view subject) {
    std::string prefix = std::to_string(index) + "_";
    constexpr std::string_view suffix = ".eml";
    std::string name = SafeFileNamePart(Utf8OrCp1252(subject));
    size_t room = kFileNameMax - prefix.size() - suffix.size();
    return prefix + std::string(Utf8Prefix(name, room)) + std::string(suffix);
}

void SaveMessageFile(const std::string& path, std::string_view rawText) {
    std::string scratch;
    WriteWholeFile(path, NormalizedLineEnds(rawText, scratch));
}

}  // namespace brindle
