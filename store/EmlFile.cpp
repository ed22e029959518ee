#include "store/EmlFile.h"

#include "platform/StringList.h"
#include "platform/TextRules.h"

namespace brindle {

bool IsEmlFileName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return false;
    std::string_view extension = name.substr(dot);
    return extension.size() == 4 && StartsWithNoCase(extension, ".eml");
}

std::string ReadEmlFile(const std::string& path) {
    std::unique_ptr<TByteSource> file = TByteSource::OpenFile(path);
    std::string text = NormalizeLineEndsKeepingNul(file->All());
    file->CheckIntact();
    return text;
}

std::shared_ptr<const TByteSource> OpenEmlFile(const std::string& path) { return TByteSource::OpenFile(path); }

}  // namespace brindle
