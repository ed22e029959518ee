#pragma once
// A store reader over summaries held in memory, for tests of what the window makes of
// them; texts and headers are derived from the index.
#include "mailbox/MailboxSession.h"
#include "store/OEReader.h"

#include <memory>

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

// A reader that answers with another one, which the test keeps: a session can own it while
// the test still looks at its own reader.
class TBorrowedReader : public TOEReader {
public:
    explicit TBorrowedReader(TOEReader& reader) : reader_(reader) {
        loaded_ = reader.Loaded();
        fileKind_ = reader.FileKind();
    }
    std::string GetFolderName() override { return reader_.GetFolderName(); }
    int32_t GetMessageCount() override { return reader_.GetMessageCount(); }
    TMessageInfo GetMessageInfo(int32_t index) const override { return reader_.GetMessageInfo(index); }
    std::string GetMessageHeader(int32_t index) override { return reader_.GetMessageHeader(index); }
    std::string GetMessageText(int32_t index) override { return reader_.GetMessageText(index); }

private:
    TOEReader& reader_;
};

inline void Borrow(TMailboxSession& session, TOEReader& reader) {
    session.AdoptReader(std::make_unique<TBorrowedReader>(reader));
}

inline TMessageInfo Summary(std::string subject, std::string sender = "", uint32_t flags = 0x80) {
    TMessageInfo info;
    info.Subject = std::move(subject);
    info.SenderName = std::move(sender);
    info.Flags = flags;
    return info;
}

}  // namespace brindle::test
