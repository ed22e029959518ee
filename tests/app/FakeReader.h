#pragma once
// A store reader over summaries held in memory, for tests of what the window makes of
// them; texts and headers are derived from the index.
#include "store/OEReader.h"

#include <string>
#include <vector>

namespace brindle::test {

class TFakeReader : public TOEReader {
public:
    explicit TFakeReader(std::vector<TMessageInfo> infos) : infos_(std::move(infos)) {
        for (size_t i = 0; i < infos_.size(); ++i) infos_[i].Index = static_cast<uint32_t>(i);
        loaded_ = true;
        fileKind_ = kFileKindOE5;
    }
    std::string GetFolderName() override { return "Fake"; }
    int32_t GetMessageCount() override { return static_cast<int32_t>(infos_.size()); }
    TMessageInfo GetMessageInfo(int32_t index) const override {
        return index >= 0 && static_cast<size_t>(index) < infos_.size() ? infos_[index] : TMessageInfo{};
    }
    std::string GetMessageHeader(int32_t index) override {
        return "Subject: " + GetMessageInfo(index).Subject + "\r\n";
    }
    std::string GetMessageText(int32_t index) override { return GetMessageHeader(index) + "\r\nBody\r\n"; }

private:
    std::vector<TMessageInfo> infos_;
};

inline TMessageInfo Summary(std::string subject, std::string sender = "", uint32_t flags = 0x80) {
    TMessageInfo info;
    info.Subject = std::move(subject);
    info.SenderName = std::move(sender);
    info.Flags = flags;
    return info;
}

}  // namespace brindle::test
