#pragma once
// A throwaway Dovecot IMAP server for tests: its own process (dovecot -F), configuration,
// base folder, mail homes and passwd-file in a temporary folder, listening on 127.0.0.1 only,
// with a self-signed certificate made for the run. Plain IMAP (STARTTLS offered) and IMAPS
// each get a free port. Works as root (mail owned by the dovecot user) and as another user.
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace brindle::test {

struct TDovecotUser {
    std::string Name;
    std::string Password;  // also accepted as an OAuth2 token by XOAUTH2 and OAUTHBEARER
};

struct TDovecotOptions {
    std::vector<TDovecotUser> Users = {{"alice", "wonderland"}};
    char Separator = '/';
    // A quota for every user, e.g. "40K"; none for no quota.
    std::optional<std::string> QuotaStorage;
    // Whether LOGIN on the plain port needs STARTTLS first.
    bool PlainNeedsTls = false;
};

class TDovecotServer {
public:
    explicit TDovecotServer(TDovecotOptions options = {});
    ~TDovecotServer();
    TDovecotServer(const TDovecotServer&) = delete;
    TDovecotServer& operator=(const TDovecotServer&) = delete;

    // Whether the dovecot program is installed; tests skip without it.
    static bool Available();

    // Starts the server and waits until both ports accept; throws std::runtime_error.
    void Start();
    // Ends the server at once (SIGKILL), as a crash would; Start runs it again on the same
    // ports and mail.
    void Kill();
    // Ends it normally and waits for it.
    void Stop();
    bool Running() const { return pid_ > 0; }

    uint16_t ImapPort() const { return imapPort_; }
    uint16_t ImapsPort() const { return imapsPort_; }
    // The certificate (PEM) and its SHA-256 fingerprint as "AB:CD:...".
    const std::string& CertificateFile() const { return certFile_; }
    std::string CertificateFingerprint() const;
    // The Maildir of a user, for looking at what the server stored.
    std::string MailDir(const std::string& user) const;
    // What Dovecot logged, for messages of failed tests.
    std::string Log() const;
    const std::string& Folder() const { return dir_; }

private:
    void WriteConfiguration();
    void MakeCertificate();
    bool WaitForPorts(int seconds) const;

    TDovecotOptions options_;
    std::string dir_;
    std::string certFile_;
    std::string configFile_;
    uint16_t imapPort_ = 0;
    uint16_t imapsPort_ = 0;
    pid_t pid_ = 0;
};

// A free TCP port on 127.0.0.1 at the time of asking.
uint16_t FreeLoopbackPort();

}  // namespace brindle::test
