#include "SampleStores.h"

#include "platform/FileWrite.h"

#include <filesystem>

namespace brindle::samples {
namespace {

constexpr uint32_t kTop = 0xFFFFFFFF;
constexpr uint32_t kReadFlag = 0x80;

struct TSampleFolder {
    uint32_t Id;
    uint32_t ParentId;
    const char* Name;
    const char* File;
    uint32_t Special;
    std::vector<size_t> Messages;  // positions in DemoMessages()
};

// The store folder of the demo: the special folders, and a folder of the user's own under the
// inbox, each with some of the demo messages.
void WriteSampleStoreFolder(const std::string& dir, const std::vector<TSampleMessage>& messages) {
    const TSampleFolder folders[] = {
        {1, kTop, "Inbox", "Inbox.dbx", 1, {0, 1, 4, 6, 7}},
        {2, 1, "Projects", "Projects.dbx", 0, {5}},
        {3, kTop, "Outbox", "Outbox.dbx", 2, {}},
        {4, kTop, "Sent Items", "Sent Items.dbx", 3, {2, 3}},
        {5, kTop, "Deleted Items", "Deleted Items.dbx", 4, {1}},
        {6, kTop, "Drafts", "Drafts.dbx", 5, {}},
    };
    std::filesystem::create_directories(dir);
    std::vector<testsupport::TFolderListEntry> list;
    for (const TSampleFolder& folder : folders) {
        testsupport::TDbxOptions options;
        options.FolderName = folder.Name;
        testsupport::TDbxWriter store(dir + "/" + folder.File, options);
        uint32_t unread = 0;
        for (size_t position : folder.Messages) {
            store.Add(StoreMessage(messages[position], static_cast<uint32_t>(position + 1)));
            if (!(messages[position].flags & kReadFlag)) ++unread;
        }
        store.Finish();
        testsupport::TFolderListEntry entry;
        entry.Id = folder.Id;
        entry.ParentId = folder.ParentId;
        entry.Name = folder.Name;
        entry.FileName = folder.File;
        entry.MessageCount = static_cast<uint32_t>(folder.Messages.size());
        entry.UnreadCount = unread;
        entry.Special = folder.Special;
        list.push_back(entry);
    }
    testsupport::WriteFolderList(dir + "/Folders.dbx", list);
}

}  // namespace

testsupport::TStoreMessage StoreMessage(const TSampleMessage& message, uint32_t index) {
    testsupport::TStoreMessage m;
    m.Text = message.rawText;
    m.Index = index;
    m.Flags = message.flags;
    m.Priority = message.priority;
    m.Received = message.receivedFileTime;
    m.MessageID = message.messageID;
    m.Subject = message.subject;
    m.Server = message.server;
    m.SenderName = message.senderName;
    m.SenderAddress = message.senderAddress;
    m.ReceiverName = message.receiverName;
    m.ReceiverAddress = message.receiverAddress;
    m.AccountName = message.account;
    return m;
}

void WriteSamples(const std::string& dir) {
    std::vector<TSampleMessage> messages = DemoMessages();
    testsupport::TDbxOptions dbxOptions;
    dbxOptions.FolderName = "Demo";
    testsupport::TDbxWriter dbx(dir + "/Demo.dbx", dbxOptions);
    testsupport::TMbxWriter mbx(dir + "/Demo.mbx");
    for (uint32_t i = 0; i < messages.size(); ++i) {
        testsupport::TStoreMessage message = StoreMessage(messages[i], i + 1);
        dbx.Add(message);
        mbx.Add(message);
    }
    dbx.Finish();
    mbx.Finish();
    WriteWholeFile(dir + "/Welcome.eml", WelcomeMessage());
    WriteSampleStoreFolder(dir + "/Mailbox", messages);
}

void WriteBenchStores(const std::string& dir, uint32_t count) {
    testsupport::TDbxOptions dbxOptions;
    dbxOptions.FolderName = "Bench";
    testsupport::TDbxWriter dbx(dir + "/Bench.dbx", dbxOptions);
    testsupport::TMbxWriter mbx(dir + "/Bench.mbx");
    for (uint32_t i = 0; i < count; ++i) {
        testsupport::TStoreMessage message = StoreMessage(BenchMessage(i), i + 1);
        dbx.Add(message);
        mbx.Add(message);
    }
    dbx.Finish();
    mbx.Finish();
}

}  // namespace brindle::samples
