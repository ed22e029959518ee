#pragma once
// Running brindle-cli in-process and temporary folders for its output.
#include "cli/Cli.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace brindle::test {

struct TCliRun {
    int status;
    std::string out;
    std::string err;
};

inline TCliRun RunTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-cli-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
        path_ = pattern;
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
// File name to content of every regular file directly in dir.
std::map<std::string, std::string> FilesIn(const std::string& dir);
bool CorpusHas(const std::string& relativePath);
std::string CorpusPath(const std::string& relativePath);

}  // namespace brindle::test
