#pragma once
// Helpers of the store reader tests: files held in memory, and the error text of a call.
#include "StoreWriter.h"
#include "platform/Exceptions.h"
#include "store/OEReader.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

// A file system of a few files in memory; a reader given it opens nothing from disk.
class TMemoryFiles {
public:
    void Set(const std::string& path, std::string bytes) {
        files_[path] = std::make_shared<std::string>(std::move(bytes));
    }
    void Install(TOEReader& reader) const {
        auto files = files_;
        reader.SetFileSystem(
            [files](const std::string& path) -> std::unique_ptr<TByteSource> {
                auto it = files.find(path);
                if (it == files.end()) throw EFOpenError(path);
                return TByteSource::FromView(*it->second);
            },
            [files](const std::string& path) { return files.count(path) != 0; });
    }

private:
    std::map<std::string, std::shared_ptr<std::string>> files_;
};

// The message of the brindle::Exception that call throws; empty when it throws none.
inline std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& error) {
        return error.Message();
    }
    return {};
}

// A reader of type R that has opened bytes as path (and other files beside it).
template <typename R>
std::unique_ptr<R> ReaderOver(const TMemoryFiles& files) {
    auto reader = std::make_unique<R>();
    files.Install(*reader);
    return reader;
}

// A typical message: numbered fields, a few header lines and a body of bodyLines lines.
inline testsupport::TStoreMessage SampleMessage(int i, int bodyLines = 5) {
    testsupport::TStoreMessage m;
    const std::string n = std::to_string(i);
    std::string body;
    for (int k = 0; k < bodyLines; ++k) body += "Line " + std::to_string(k) + " of message " + n + ".\r\n";
    m.Text = testsupport::MessageText(
        {"From: Ann Lee <ann@example.org>", "To: Bob <bob@example.org>", "Subject: Message " + n,
         "Date: Mon, 6 Jan 2020 12:30:00 +0000", "Message-ID: <" + n + "@example.org>"},
        body);
    m.Index = static_cast<uint32_t>(i + 1);
    m.Flags = 0x80 | (i % 2 ? 0x20 : 0);
    m.Priority = i % 3 == 0 ? 1 : 3;
    m.Received = testsupport::FileTimeOf(2020, 1, 6, 12, 30, i % 60);
    m.MessageID = "<" + n + "@example.org>";
    m.Subject = "Message " + n;
    m.Server = "pop.example.org";
    m.SenderName = "Ann Lee";
    m.SenderAddress = "ann@example.org";
    m.ReceiverName = "Bob";
    m.ReceiverAddress = "bob@example.org";
    m.AccountName = "Example";
    return m;
}

inline std::vector<testsupport::TStoreMessage> SampleMessages(int count, int bodyLines = 5) {
    std::vector<testsupport::TStoreMessage> messages;
    for (int i = 0; i < count; ++i) messages.push_back(SampleMessage(i, bodyLines));
    return messages;
}

// The header block of a text: up to and including the CR of the first CR LF CR LF.
inline std::string HeaderBlockOf(const std::string& text) {
    const size_t blank = text.find("\r\n\r\n");
    return blank == std::string::npos ? std::string() : text.substr(0, blank + 1);
}

}  // namespace brindle::test
