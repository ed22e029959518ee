#include "platform/ContentTypes.h"

#include "platform/TextRules.h"

#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace brindle {
namespace {

constexpr const char* kSystemTable = "/etc/mime.types";
constexpr std::string_view kUnknownType = "application/octet-stream";

constexpr std::string_view kBuiltinTable =
    "application/msword doc dot\n"
    "application/pdf pdf\n"
    "application/rtf rtf\n"
    "application/zip zip\n"
    "application/gzip gz\n"
    "application/json json\n"
    "application/xml xml\n"
    "application/vnd.ms-excel xls\n"
    "application/vnd.ms-powerpoint ppt\n"
    "application/vnd.oasis.opendocument.text odt\n"
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document docx\n"
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet xlsx\n"
    "audio/mpeg mp3\n"
    "audio/x-wav wav\n"
    "image/gif gif\n"
    "image/jpeg jpg jpeg jpe\n"
    "image/png png\n"
    "image/bmp bmp\n"
    "image/tiff tiff tif\n"
    "message/rfc822 eml\n"
    "text/calendar ics\n"
    "text/csv csv\n"
    "text/html html htm\n"
    "text/plain txt text asc\n"
    "text/vcard vcf\n"
    "video/mp4 mp4\n";

struct TTable {
    std::unordered_map<std::string, std::string> typeOfExtension;
    std::unordered_map<std::string, std::string> extensionOfType;
};

TTable ParseTable(std::string_view text) {
    TTable table;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string type, extension;
        if (!(words >> type)) continue;
        type = LowerAscii(type);
        while (words >> extension) {
            extension = LowerAscii(extension);
            table.typeOfExtension.emplace(extension, type);
            table.extensionOfType.emplace(type, extension);
        }
    }
    return table;
}

std::string ReadSystemTable() {
    std::ifstream file(kSystemTable, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::mutex gTableMutex;

TTable SystemTable() {
    std::string text = ReadSystemTable();
    return ParseTable(text.empty() ? kBuiltinTable : std::string_view(text));
}

TTable& Table() {
    static TTable table = SystemTable();
    return table;
}

}  // namespace

std::string ContentTypeOfFile(std::string_view fileName) {
    size_t slash = fileName.find_last_of("\\/:");
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return std::string(kUnknownType);
    std::string extension = LowerAscii(fileName.substr(dot + 1));
    std::lock_guard lock(gTableMutex);
    const auto& types = Table().typeOfExtension;
    auto it = types.find(extension);
    return it == types.end() ? std::string(kUnknownType) : it->second;
}

std::string ExtensionOfMediaType(std::string_view mediaType) {
    std::string type = LowerAscii(Trim(mediaType.substr(0, mediaType.find(';'))));
    std::lock_guard lock(gTableMutex);
    const auto& extensions = Table().extensionOfType;
    auto it = extensions.find(type);
    return it == extensions.end() ? std::string() : "." + it->second;
}

void LoadContentTypeTable(std::string_view text) {
    std::lock_guard lock(gTableMutex);
    Table() = ParseTable(text.empty() ? kBuiltinTable : text);
}

void LoadSystemContentTypeTable() {
    std::lock_guard lock(gTableMutex);
    Table() = SystemTable();
}

}  // namespace brindle
