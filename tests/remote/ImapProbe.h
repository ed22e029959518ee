#pragma once
// A plain IMAP reader for tests, straight on libetpan: logs in over the unencrypted port of a
// loopback server and reads back mailboxes and messages, to check what an upload stored.
#include <cstdint>
#include <string>
#include <vector>

struct mailimap;

namespace brindle::test {

struct TProbedMessage {
    uint32_t Uid = 0;
    std::string Text;                // BODY[] as the server returns it
    std::vector<std::string> Flags;  // "\Seen", "$Recovered"..., sorted
    int64_t InternalDate = 0;        // seconds since 1970 (UTC)
};

struct TProbedMailbox {
    std::string Name;  // as the server has it (modified UTF-7)
    char Delimiter = 0;
};

class TImapProbe {
public:
    // Throws std::runtime_error when the login fails.
    TImapProbe(uint16_t port, const std::string& user, const std::string& password);
    ~TImapProbe();
    std::vector<TProbedMailbox> Mailboxes();
    std::vector<std::string> Subscribed();
    std::vector<TProbedMessage> Messages(const std::string& mailbox);

private:
    mailimap* session_;
};

}  // namespace brindle::test
