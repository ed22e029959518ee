// Reads any bytes as the folder list of a store folder and arranges its folders as a tree:
// every record becomes one node, each after its parent, and no kind of damage is told more
// than once. Anything else (a crash, a hang, a huge allocation) is a finding.
#include "mailbox/StoreFolder.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

// One folder for the process, holding only the folder list.
const std::string& ListFolder() {
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "brindle-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    const std::string& dir = ListFolder();
    {
        std::ofstream list(dir + "/Folders.dbx", std::ios::binary | std::ios::trunc);
        list.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::set<std::string> told;
    const TStoreFolder folder = ReadStoreFolder(dir, [&](const TWarning& warning) {
        if (!told.insert(warning.Text.substr(0, warning.Text.find(" ("))).second) std::abort();
    });
    std::set<uint32_t> placed;
    for (const TFolderNode& node : folder.Nodes) {
        if (node.ParentId && !placed.count(*node.ParentId)) std::abort();
        if (node.Id) placed.insert(*node.Id);
        if (node.File) std::abort();  // the folder holds no store file
    }
    return 0;
}
