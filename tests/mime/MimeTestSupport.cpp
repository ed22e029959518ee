#include "MimeTestSupport.h"

#include "tests/support/Base64Encode.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace brindle::test {
namespace {

// Points TMPDIR at a fresh private folder for the whole run and removes it afterwards.
class PrivateTempDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override { PrivateTempDir(); }
    void TearDown() override { std::system(("rm -rf '" + PrivateTempDir() + "'").c_str()); }
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrivateTempDirEnvironment);

void CollectFiles(const std::string& dir, std::vector<std::string>& files) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return;
    while (dirent* entry = readdir(d)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = dir + "/" + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            CollectFiles(path, files);
        else if (S_ISREG(st.st_mode))
            files.push_back(path);
    }
    closedir(d);
}

}  // namespace

std::string Crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::unique_ptr<TMoxMsg> ParseRaw(std::string_view bytes) {
    auto msg = std::make_unique<TMoxMsg>();
    msg->SetRawText(std::string(bytes));
    msg->Parse();
    return msg;
}

std::unique_ptr<TMoxMsg> ParseMessage(std::string_view text) { return ParseRaw(Crlf(text)); }

std::string Base64Lines(std::string_view bytes) { return testsupport::Base64Lines(bytes, "\n"); }

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string CorpusPath(const std::string& relative) {
    std::string path = std::string(BRINDLE_CORPUS) + "/" + relative;
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? path : std::string();
}

std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    CollectFiles(dir, files);
    std::sort(files.begin(), files.end());
    return files;
}

const std::string& PrivateTempDir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/brindle-mime-tests-XXXXXX";
        std::string made = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        setenv("TMPDIR", made.c_str(), 1);
        return made;
    }();
    return dir;
}

std::vector<std::string> TempDirEntries() {
    std::vector<std::string> names;
    DIR* d = opendir(PrivateTempDir().c_str());
    if (d == nullptr) return names;
    while (dirent* entry = readdir(d)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    return names;
}

}  // namespace brindle::test
