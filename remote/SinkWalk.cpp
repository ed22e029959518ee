#include "remote/SinkWalk.h"

#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

namespace brindle {
namespace {

class TWalk {
public:
    TWalk(const TStoreFolder& folder, TExportSink& sink, const TSinkWalkOptions& options)
        : folder_(folder), sink_(sink), options_(options) {}

    TSinkWalkTotals Run() {
        sink_.Begin();
        MakeFolders();
        if (sink_.WritesFoldersSideBySide()) {
            std::vector<std::thread> threads;
            const size_t count = std::min<size_t>(std::max(1u, options_.Threads), made_.size());
            for (size_t i = 0; i < count; ++i) threads.emplace_back([this] { FillFolders(); });
            for (std::thread& thread : threads) thread.join();
        } else {
            FillFolders();
        }
        made_.clear();
        sink_.Finish();
        totals_.Cancelled = cancelled_;
        return totals_;
    }

private:
    struct TMade {
        size_t Node;
        std::string Shown;
        std::unique_ptr<TSinkFolderOutput> Output;
    };

    void MakeFolders() {
        const std::vector<TFolderNode>& nodes = folder_.Nodes;
        std::vector<TSinkFolderOutput*> byDepth;
        std::vector<std::string> names;
        std::optional<uint32_t> skipBelow;  // depth of a folder that could not be made
        for (size_t i = 0; i < nodes.size(); ++i) {
            const TFolderNode& node = nodes[i];
            expected_ += node.Count.value_or(0);
            names.resize(node.Depth);
            names.push_back(node.Name);
            byDepth.resize(node.Depth + 1, nullptr);
            if (skipBelow && node.Depth > *skipBelow) {
                Problem(Shown(names) + ": not uploaded, its parent folder could not be made");
                continue;
            }
            skipBelow.reset();
            TSinkFolder sinkFolder{&node, i, names, Shown(names)};
            try {
                std::unique_ptr<TSinkFolderOutput> output =
                    sink_.BeginFolder(sinkFolder, node.Depth > 0 ? byDepth[node.Depth - 1] : nullptr);
                byDepth[node.Depth] = output.get();
                ++totals_.Folders;
                made_.push_back({i, sinkFolder.Shown, std::move(output)});
            } catch (const Exception& error) {
                Problem(error.Message());
                skipBelow = node.Depth;
            }
        }
    }

    static std::string Shown(const std::vector<std::string>& names) {
        std::string shown;
        for (const std::string& name : names) shown += (shown.empty() ? "" : "/") + name;
        return shown;
    }

    void FillFolders() {
        while (!cancelled_) {
            const size_t next = next_++;
            if (next >= made_.size()) return;
            FillFolder(made_[next]);
        }
    }

    void FillFolder(TMade& made) {
        const TFolderNode& node = folder_.Nodes[made.Node];
        if (!node.File) {
            End(made);
            return;
        }
        std::unique_ptr<TOEReader> reader;
        try {
            reader = Opened(JoinPath(folder_.Path, *node.File));
        } catch (const Exception& error) {
            Problem(made.Shown + ": " + error.Message());
        }
        if (!reader) {
            End(made);
            return;
        }
        std::vector<int32_t> indexes;
        if (options_.Indexes) {
            indexes = *options_.Indexes;
        } else {
            indexes.resize(static_cast<size_t>(std::max(0, reader->GetMessageCount())));
            for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<int32_t>(i);
        }
        const std::string codePage = options_.CodePage.empty() ? folder_.CodePage : options_.CodePage;
        for (int32_t index : indexes) {
            if (cancelled_) break;
            try {
                if (index >= reader->GetMessageCount())
                    throw Exception("there is no message " + std::to_string(index));
                const TMessageInfo info = reader->GetMessageInfo(index);
                const std::string text = reader->GetMessageText(index);
                made.Output->AddMessage(TSinkMessage{text, &info, index, std::nullopt, codePage});
                Count(true);
            } catch (const Exception& error) {
                Problem(made.Shown + ": message " + std::to_string(index) + ": " + error.Message());
                Count(false);
            }
        }
        End(made);
    }

    // The reader of a store with its summaries; none for a store that holds no message.
    std::unique_ptr<TOEReader> Opened(const std::string& path) const {
        std::unique_ptr<TOEReader> reader = CreateStoreReader(path, options_.Warnings);
        try {
            reader->Open(path);
        } catch (const Exception&) {
            if (reader->Loaded() && reader->GetMessageCount() == 0) return nullptr;
            throw;
        }
        reader->ReadMessageInfos();
        return reader;
    }

    void End(TMade& made) {
        try {
            made.Output->End();
        } catch (const Exception& error) {
            Problem(made.Shown + ": " + error.Message());
        }
        made.Output.reset();
    }

    void Count(bool handed) {
        const std::lock_guard<std::mutex> guard(lock_);
        if (handed) ++totals_.Messages;
        ++done_;
        if (options_.Progress && !options_.Progress(done_, expected_)) cancelled_ = true;
    }

    void Problem(const std::string& text) {
        const std::lock_guard<std::mutex> guard(lock_);
        ++totals_.Errors;
        if (options_.Problem) options_.Problem(text);
    }

    const TStoreFolder& folder_;
    TExportSink& sink_;
    const TSinkWalkOptions& options_;
    std::vector<TMade> made_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> cancelled_{false};
    std::mutex lock_;
    size_t done_ = 0;
    size_t expected_ = 0;
    TSinkWalkTotals totals_;
};

}  // namespace

TSinkWalkTotals WalkIntoSink(const TStoreFolder& folder, TExportSink& sink, const TSinkWalkOptions& options) {
    return TWalk(folder, sink, options).Run();
}

}  // namespace brindle
