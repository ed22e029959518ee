#include "mime/SaveNames.h"

#include "platform/ContentTypes.h"
#include "platform/FileNames.h"
#include "platform/Utf8.h"

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
    TUniqueNames unique;
    for (size_t i = 0; i < files.Count(); ++i) {
        const TAttachedFile& item = files.Items(i);
        std::string base = SafeSaveName(Utf8OrCp1252(item.FileName));
        if (base.empty()) base = GeneratedName(i + 1, item.MediaType);
        names.push_back(unique.Take(base));
    }
    return names;
}

}  // namespace brindle
