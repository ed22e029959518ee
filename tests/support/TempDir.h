#pragma once
// A fresh folder under the system's temporary folder, removed with its content at the end.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace brindle::test {

class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-test-XXXXXX").string();
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

}  // namespace brindle::test
