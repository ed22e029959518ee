// Writes folders and messages made of any bytes through the mbox and Maildir sinks: the first
// byte chooses the format, then lines give up to eight folder names (a leading space nests a
// folder under the one before), and what follows an empty line is the text of each folder's
// message. Every entry made is a regular file or folder whose name fits one file name, inside
// the output folder. Sink errors are expected; anything else is a finding.
#include "mailbox/ExportSinks.h"
#include "platform/Exceptions.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string& OutBase() {
    static const std::string dir = [] {
        std::string pattern = (fs::temp_directory_path() / "brindle-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    return dir;
}

void CheckEntries(const std::string& out) {
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (entry.path().filename().string().size() > 255) std::abort();
        if (!entry.is_regular_file() && !entry.is_directory()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    if (size < 1) return 0;
    const TExportFormat format = data[0] % 2 ? TExportFormat::Maildir : TExportFormat::Mbox;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t blank = rest.find("\n\n");
    std::string_view names = rest.substr(0, blank);
    const std::string_view text = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 2);

    const std::string out = OutBase() + "/out";
    fs::remove_all(out);
    fs::create_directory(out);
    {
        const std::unique_ptr<TExportSink> sink = MakeFileSink(format, out);
        std::vector<TFolderNode> nodes(8);
        std::vector<std::unique_ptr<TSinkFolderOutput>> outputs;
        std::vector<std::string> path;
        TMessageInfo info;
        info.SenderAddress = "ann@example.org";
        info.Received = 38000.5;
        try {
            sink->Begin();
            for (size_t k = 0; k < nodes.size() && !names.empty(); ++k) {
                const size_t end = names.find('\n');
                std::string_view line = names.substr(0, end);
                names = end == std::string_view::npos ? std::string_view() : names.substr(end + 1);
                const bool nested = !outputs.empty() && line.starts_with(' ');
                nodes[k].Name = std::string(nested ? line.substr(1) : line);
                if (!nested) path.clear();
                path.push_back(nodes[k].Name);
                TSinkFolderOutput* parent = nested ? outputs.back().get() : nullptr;
                try {
                    outputs.push_back(sink->BeginFolder(TSinkFolder{&nodes[k], k, path, nodes[k].Name}, parent));
                    outputs.back()->AddMessage(TSinkMessage{text, &info, static_cast<int32_t>(k), std::nullopt, ""});
                } catch (const Exception&) {
                    path.pop_back();
                }
            }
            for (auto& output : outputs) output->End();
            sink->Finish();
        } catch (const Exception&) {}
    }
    CheckEntries(out);
    return 0;
}
