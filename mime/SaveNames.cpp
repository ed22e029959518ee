#include "mime/SaveNames.h"

#include "platform/ContentTypes.h"
#include "platform/Utf8.h"

#include <unordered_map>
#include <unordered_set>

namespace brindle {
namespace {

constexpr size_t kMaxExtensionBytes = 32;

std::string SafeName(std::string_view name) {
    std::string out = Utf8OrCp1252(name);
    for (char& c : out)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    if (out == "." || out == "..") out.clear();
    return out;
}

std::string GeneratedName(size_t position, const std::string& mediaType) {
    std::string extension = ExtensionOfMediaType(mediaType);
    if (extension.empty()) extension = ".bin";
    return "attachment-" + std::to_string(position) + extension;
}

// Splits a name into its stem and its extension (from the last ".", which is not the first
// character); a very long extension counts as part of the stem.
std::pair<std::string_view, std::string_view> SplitExtension(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes)
        return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

// stem + suffix + extension, the stem cut so that the whole fits kMaxSaveNameBytes.
std::string Compose(std::string_view stem, std::string_view suffix, std::string_view extension) {
    size_t fixed = suffix.size() + extension.size();
    std::string_view cut = Utf8Prefix(stem, fixed < kMaxSaveNameBytes ? kMaxSaveNameBytes - fixed : 0);
    std::string name = std::string(cut) + std::string(suffix) + std::string(extension);
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

}  // namespace

std::vector<std::string> AttachmentSaveNames(const TAttachedFiles& files) {
    std::vector<std::string> names;
    std::unordered_set<std::string> taken;
    std::unordered_map<std::string, size_t> nextCopy;  // per name, the number to try next
    for (size_t i = 0; i < files.Count(); ++i) {
        const TAttachedFile& item = files.Items(i);
        std::string base = SafeName(item.FileName);
        if (base.empty()) base = GeneratedName(i + 1, item.MediaType);
        auto [stem, extension] = SplitExtension(base);
        std::string candidate = Compose(stem, "", extension);
        size_t& copy = nextCopy.try_emplace(base, 2).first->second;
        while (taken.count(candidate) != 0)
            candidate = Compose(stem, " (" + std::to_string(copy++) + ")", extension);
        taken.insert(candidate);
        names.push_back(std::move(candidate));
    }
    return names;
}

}  // namespace brindle
