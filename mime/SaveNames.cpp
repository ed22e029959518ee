#include "mime/SaveNames.h"

#include "platform/ContentTypes.h"
#include "platform/FileNames.h"
#include "platform/Utf8.h"

#include <unordered_map>
#include <unordered_set>

namespace brindle {
namespace {

std::string GeneratedName(size_t position, const std::string& mediaType) {
    std::string extension = ExtensionOfMediaType(mediaType);
    if (extension.empty()) extension = ".bin";
    return "attachment-" + std::to_string(position) + extension;
}

}  // namespace

std::vector<std::string> AttachmentSaveNames(const TAttachedFiles& files) {
    std::vector<std::string> names;
    std::unordered_set<std::string> taken;
    // Per name as finally cut, the number to try next: long names that differ only after the
    // cut share one counter, so numbering stays linear.
    std::unordered_map<std::string, size_t> nextCopy;
    for (size_t i = 0; i < files.Count(); ++i) {
        const TAttachedFile& item = files.Items(i);
        std::string base = SafeSaveName(Utf8OrCp1252(item.FileName));
        if (base.empty()) base = GeneratedName(i + 1, item.MediaType);
        std::string candidate = NumberedFileName(base, 1);
        size_t& copy = nextCopy.try_emplace(candidate, 2).first->second;
        while (taken.count(candidate) != 0) candidate = NumberedFileName(base, copy++);
        taken.insert(candidate);
        names.push_back(std::move(candidate));
    }
    return names;
}

}  // namespace brindle
