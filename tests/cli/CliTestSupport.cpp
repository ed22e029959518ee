#include "CliTestSupport.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brindle::test {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::map<std::string, std::string> FilesIn(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
}

std::string CorpusPath(const std::string& relativePath) { return std::string(BRINDLE_CORPUS) + "/" + relativePath; }

bool CorpusHas(const std::string& relativePath) { return std::filesystem::exists(CorpusPath(relativePath)); }

}  // namespace brindle::test
