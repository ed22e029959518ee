#pragma once
// The account address of an upload: imaps://USER@HOST[:PORT] (TLS from the first byte, port
// 993 by default) or imap://USER@HOST[:PORT] (STARTTLS, port 143). USER may hold "@" and
// percent escapes (%40); the last "@" ends it. HOST may be an IPv6 address in brackets.
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

struct TImapUrl {
    bool ImplicitTls = true;  // imaps
    std::string User;
    std::string Host;  // without brackets
    uint16_t Port = 993;

    // "imaps://alice@host:993", for messages and the journal's name.
    std::string Shown() const;
};

// Throws Exception with the reason when text is no such address.
TImapUrl ParseImapUrl(std::string_view text);

// 127.0.0.0/8, ::1 and "localhost": the hosts to which a connection without TLS may be made.
bool IsLoopbackHost(std::string_view host);

}  // namespace brindle
