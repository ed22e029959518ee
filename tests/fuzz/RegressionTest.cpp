// Runs a fuzz target over every input kept in its regression folder.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> KeptInputs() {
    std::vector<std::string> paths;
    DIR* dir = opendir(BRINDLE_FUZZ_REGRESSIONS);
    if (dir == nullptr) return paths;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") paths.push_back(std::string(BRINDLE_FUZZ_REGRESSIONS) + "/" + name);
    }
    closedir(dir);
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(FuzzRegressionTest, EveryKeptInputRunsCleanly) {
    std::vector<std::string> inputs = KeptInputs();
    ASSERT_FALSE(inputs.empty()) << "no inputs in " << BRINDLE_FUZZ_REGRESSIONS;
    for (const std::string& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        std::string input = bytes.str();
        SCOPED_TRACE(path);
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size()), 0);
    }
}

}  // namespace
