#include "tests/app/WindowFixtures.h"

#include <QDir>
#include <QFile>

namespace brindle::test {

TFixtureMessage Message(const std::string& subject, const std::string& senderName, const std::string& senderAddress,
                        const std::string& receiverName, const std::string& receiverAddress) {
    TFixtureMessage message;
    message.Subject = subject;
    message.SenderName = senderName;
    message.SenderAddress = senderAddress;
    message.ReceiverName = receiverName;
    message.ReceiverAddress = receiverAddress;
    message.Received = testsupport::FileTimeOf(2004, 5, 6, 7, 8, 9);
    message.Text = testsupport::MessageText(
        {"From: " + senderName + " <" + senderAddress + ">", "To: " + receiverName + " <" + receiverAddress + ">",
         "Subject: " + subject, "Date: Thu, 6 May 2004 07:08:09 +0000"},
        "Hello,\r\nsecond line\nthird line");
    return message;
}

std::vector<TFixtureMessage> InboxMessages() {
    std::vector<TFixtureMessage> messages = {
        Message("beta", "Ann", "ann@x.org"),
        Message("Alpha", "Ann", "ANN@X.ORG"),
        Message("alpha", "", "bob@x.org"),
        Message("Gamma", "Carol", "c@x.org"),
        Message("Re: Hello?", "carol", "C@x.org", "ME", "ME@X.ORG"),
    };
    messages[0].Flags = 0;
    messages[3].Flags = 0x80 | 0x4000;
    messages[4].Priority = 1;
    for (uint32_t i = 0; i < messages.size(); ++i) messages[i].Index = i + 1;
    return messages;
}

QString WriteDbxFixture(const QString& folder, const QString& fileName, const std::string& folderName,
                        const std::vector<TFixtureMessage>& messages, testsupport::TDbxOptions options) {
    options.FolderName = folderName;
    QString path = QDir(folder).filePath(fileName);
    testsupport::TDbxWriter writer(QFile::encodeName(path).toStdString(), options);
    for (const TFixtureMessage& message : messages) writer.Add(message);
    writer.Finish();
    return path;
}

}  // namespace brindle::test
