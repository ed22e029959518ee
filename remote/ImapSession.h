#pragma once
// One connection to an IMAP server, over libetpan: TLS (from the start or by STARTTLS) with
// the certificate checked against the system's authorities and the host name, login by
// password or by an OAuth2 token (SASL XOAUTH2), and the few commands an upload needs.
// Errors carry the server's own answer.
#include "platform/Exceptions.h"
#include "remote/ImapUrl.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct mailimap;

namespace brindle {

// What went wrong with a connection or a command.
enum class TImapFailure {
    Connect,      // no connection, or TLS could not be set up
    Certificate,  // the server's certificate was not accepted
    Refused,      // the connection would carry a password without encryption
    Login,        // the server refused the login
    Lost,         // the connection broke off
    Command,      // the server answered NO or BAD
};

// The server's certificate, as the error that refuses it shows it.
struct TCertificateFacts {
    std::string Subject;      // "CN=mail.example.com, O=..."
    std::string Fingerprint;  // SHA-256 of the DER form, "AB:CD:..." upper case
};

class EImapError : public Exception {
public:
    EImapError(TImapFailure failure, std::string message) : Exception(std::move(message)), failure_(failure) {}
    EImapError(TCertificateFacts refused, std::string message)
        : Exception(std::move(message)), failure_(TImapFailure::Certificate), refused_(std::move(refused)) {}
    TImapFailure Failure() const { return failure_; }
    // The certificate that was not accepted, with a Certificate failure.
    const std::optional<TCertificateFacts>& RefusedCertificate() const { return refused_; }

private:
    TImapFailure failure_;
    std::optional<TCertificateFacts> refused_;
};

// How the bytes travel. Without TLS only to a loopback address.
enum class TImapTransport { ImplicitTls, StartTls, StartTlsIfOffered, Plain };

// imaps: TLS from the start; imap: STARTTLS, which a loopback address may lack.
TImapTransport TransportFor(const TImapUrl& url);

// Throws EImapError (Refused) when transport could carry a password unencrypted to a host
// that is not a loopback address. Called before any connection is made.
void CheckTransportAllowed(const TImapUrl& url, TImapTransport transport);

// Fingerprints compare without regard to case and ":" separators.
bool SameFingerprint(std::string_view a, std::string_view b);

struct TImapLogin {
    std::string Password;
    std::optional<std::string> OAuth2Token;  // SASL XOAUTH2 instead of LOGIN
};

struct TImapConnectOptions {
    TImapUrl Url;
    TImapLogin Login;
    // The SHA-256 fingerprint of the one certificate to accept although it does not verify.
    std::string AcceptedFingerprint;
    time_t TimeoutSeconds = 120;
};

struct TListedMailbox {
    std::string Name;  // as the server has it (modified UTF-7)
    char Delimiter = 0;
    bool NoSelect = false;
    std::string SpecialUse;  // "\Sent", "\Trash", "\Drafts"... (in this case) or empty
};

struct TMailboxStatus {
    uint32_t UidValidity = 0;
    uint32_t Messages = 0;
};

struct TAppendMessage {
    std::string_view Text;  // with CR LF line ends
    bool Seen = false;
    bool Answered = false;
    bool Flagged = false;
    std::vector<std::string> Keywords;
    std::optional<int64_t> InternalDate;  // seconds since 1970 (UTC)
};

struct TAppended {
    uint32_t UidValidity = 0;  // 0 when the server has no UIDPLUS
    uint32_t Uid = 0;
};

// The server's answer to one of the APPENDs sent together.
struct TAppendAnswer {
    bool Confirmed = false;  // tagged OK
    TAppended Appended;
    std::string Refusal;  // the server's answer otherwise
    // Every UID of the APPENDUID, in order (several for an APPEND of several messages).
    std::vector<uint32_t> Uids;
};

struct TFetchedFacts {
    uint32_t Uid = 0;
    uint32_t Size = 0;
    std::optional<int64_t> InternalDate;
};

class TImapSession {
public:
    // Connects, checks the certificate and logs in; throws EImapError.
    explicit TImapSession(const TImapConnectOptions& options);
    ~TImapSession();
    TImapSession(const TImapSession&) = delete;
    TImapSession& operator=(const TImapSession&) = delete;

    bool HasCapability(std::string_view name) const;
    // The hierarchy delimiter of the personal namespace ("/" when the server reports none).
    char Delimiter();
    std::vector<TListedMailbox> List();
    // An existing mailbox is no error.
    void Create(const std::string& mailbox);
    void Subscribe(const std::string& mailbox);
    TMailboxStatus Status(const std::string& mailbox);
    // Selects read-only, for searching.
    TMailboxStatus Examine(const std::string& mailbox);
    // In the examined mailbox: the messages whose Message-ID header holds id, with their size.
    std::vector<TFetchedFacts> FindByMessageId(std::string_view id);
    // In the examined mailbox: the messages of this size, with their INTERNALDATE.
    std::vector<TFetchedFacts> FindBySize(uint32_t size);
    // In the examined mailbox: the whole text of a message (BODY.PEEK[]); none when it is gone.
    std::optional<std::string> FetchText(uint32_t uid);
    TAppended Append(const std::string& mailbox, const TAppendMessage& message);
    // Whether APPENDs can follow one another without waiting for the server: LITERAL+
    // (RFC 7888) lets a literal go without the server's go-ahead.
    bool PipelinesAppends() const { return HasCapability("LITERAL+"); }
    // Sends the messages with non-synchronizing literals without waiting for the server: as one
    // APPEND of them all where the server has MULTIAPPEND (RFC 3502: one transaction, which the
    // server stores at once, and all or none), else, or when that one is refused, each as its
    // own APPEND, all before reading the answers, which come in the same order. One answer per
    // message. When the connection breaks, the messages not answered yet carry the reason and
    // Usable() turns false.
    std::vector<TAppendAnswer> AppendPipelined(const std::string& mailbox, const std::vector<TAppendMessage>& messages);
    void Logout();

    // The certificate the server showed, once TLS is up.
    const std::optional<TCertificateFacts>& Certificate() const { return certificate_; }
    // Whether the connection still works.
    bool Usable() const { return usable_; }

private:
    void Connect(const TImapConnectOptions& options);
    void CheckCertificate(const TImapConnectOptions& options);
    void LogIn(const TImapConnectOptions& options);
    void ReadCapabilities();
    void SendAppend(const std::string& mailbox, const TAppendMessage& message);
    void SendAppendTogether(const std::string& mailbox, const std::vector<TAppendMessage>& messages);
    void WriteOrLose(std::string_view bytes, const std::string& mailbox);
    void FlushOrLose();
    // None when the server refused the APPEND as a whole (then nothing of it was stored).
    std::optional<std::vector<TAppendAnswer>> AppendTogether(const std::string& mailbox,
                                                             const std::vector<TAppendMessage>& messages);
    std::vector<TAppendAnswer> AppendEach(const std::string& mailbox, const std::vector<TAppendMessage>& messages);
    TAppendAnswer ReadTaggedAnswer(int tag, size_t messages);
    std::vector<TFetchedFacts> FetchFacts(const std::vector<uint32_t>& uids);
    // Throws for a libetpan result that is an error, naming the command.
    void Check(int result, std::string_view command, TImapFailure failure = TImapFailure::Command);

    mailimap* session_ = nullptr;
    std::vector<std::string> capabilities_;
    std::optional<TCertificateFacts> certificate_;
    std::optional<char> delimiter_;
    bool usable_ = true;
};

}  // namespace brindle
