#pragma once
// Running brindle-cli in-process and temporary folders for its output.
#include "TempDir.h"
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

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
// File name to content of every regular file directly in dir.
std::map<std::string, std::string> FilesIn(const std::string& dir);
bool CorpusHas(const std::string& relativePath);
std::string CorpusPath(const std::string& relativePath);

}  // namespace brindle::test
