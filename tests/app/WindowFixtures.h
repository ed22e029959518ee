#pragma once
// Folder files for the window tests, written with the test-only store writer.
#include "StoreWriter.h"

#include <QObject>
#include <QString>

#include <string>
#include <vector>

namespace brindle::test {

using TFixtureMessage = testsupport::TStoreMessage;

// A read message with a text made from its fields; the body has a lone LF line end.
TFixtureMessage Message(const std::string& subject, const std::string& senderName, const std::string& senderAddress,
                        const std::string& receiverName = "Me", const std::string& receiverAddress = "me@x.org");

// Five messages of the folder "Inbox": beta (unread), Alpha, alpha (sender without name),
// Gamma (attachment), "Re: Hello?" (high priority).
std::vector<TFixtureMessage> InboxMessages();

// Writes a .dbx of the messages into folder under fileName; gives its full path.
QString WriteDbxFixture(const QString& folder, const QString& fileName, const std::string& folderName,
                        const std::vector<TFixtureMessage>& messages, testsupport::TDbxOptions options = {});

// The child of parent named name; ends the test run when there is none.
template <typename T>
T* NamedChild(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no control %s", name);
    return child;
}

}  // namespace brindle::test
