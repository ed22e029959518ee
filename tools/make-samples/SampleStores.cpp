#include "SampleStores.h"

#include "platform/FileWrite.h"

namespace brindle::samples {

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
