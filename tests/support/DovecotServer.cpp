#include "DovecotServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace brindle::test {
namespace {

constexpr const char* kDovecotProgram = "/usr/sbin/dovecot";

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file) throw std::runtime_error("cannot write " + path);
    chmod(path.c_str(), 0644);
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The first line a shell command prints; throws when it fails.
std::string CommandOutput(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    return output;
}

bool Accepts(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

struct TMailOwner {
    uid_t Uid;
    gid_t Gid;
    std::string User;   // runs the internal processes
    std::string Login;  // runs the login processes
};

// As root the mail belongs to the dovecot user and logins run as dovenull; otherwise
// everything runs as the user who runs the test.
TMailOwner MailOwner() {
    if (geteuid() == 0) {
        const passwd* dovecot = getpwnam("dovecot");
        if (!dovecot) throw std::runtime_error("the dovecot user is missing");
        return {dovecot->pw_uid, dovecot->pw_gid, "dovecot", getpwnam("dovenull") ? "dovenull" : "dovecot"};
    }
    const passwd* self = getpwuid(geteuid());
    if (!self) throw std::runtime_error("the current user has no name");
    return {self->pw_uid, self->pw_gid, self->pw_name, self->pw_name};
}

}  // namespace

uint16_t FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free port on 127.0.0.1");
    }
    close(fd);
    return ntohs(address.sin_port);
}

bool TDovecotServer::Available() { return access(kDovecotProgram, X_OK) == 0; }

TDovecotServer::TDovecotServer(TDovecotOptions options) : options_(std::move(options)) {
    std::string pattern = (std::filesystem::temp_directory_path() / "brindle-dovecot-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    dir_ = pattern;
    chmod(dir_.c_str(), 0755);
    imapPort_ = FreeLoopbackPort();
    do imapsPort_ = FreeLoopbackPort();
    while (imapsPort_ == imapPort_);
    MakeCertificate();
    WriteConfiguration();
}

TDovecotServer::~TDovecotServer() {
    if (Running()) Kill();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void TDovecotServer::MakeCertificate() {
    certFile_ = dir_ + "/cert.pem";
    CommandOutput("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                  " -subj /CN=brindle-test -addext subjectAltName=IP:127.0.0.1,DNS:localhost"
                  " -keyout '" + dir_ + "/key.pem' -out '" + certFile_ + "' 2>/dev/null");
    chmod((dir_ + "/key.pem").c_str(), 0644);
}

std::string TDovecotServer::CertificateFingerprint() const {
    std::string line = CommandOutput("openssl x509 -noout -fingerprint -sha256 -in '" + certFile_ + "'");
    size_t equals = line.find('=');
    if (equals == std::string::npos) throw std::runtime_error("no fingerprint in " + line);
    std::string fingerprint = line.substr(equals + 1);
    while (!fingerprint.empty() && (fingerprint.back() == '\n' || fingerprint.back() == '\r')) fingerprint.pop_back();
    return fingerprint;
}

std::string TDovecotServer::MailDir(const std::string& user) const { return dir_ + "/home/" + user + "/Maildir"; }

std::string TDovecotServer::Log() const { return ReadText(dir_ + "/dovecot.log"); }

void TDovecotServer::WriteConfiguration() {
    const TMailOwner owner = MailOwner();
    std::filesystem::create_directories(dir_ + "/run");
    std::filesystem::create_directories(dir_ + "/state");
    std::filesystem::create_directories(dir_ + "/home");
    chown((dir_ + "/home").c_str(), owner.Uid, owner.Gid);
    chown((dir_ + "/state").c_str(), owner.Uid, owner.Gid);

    std::string passwd;
    for (const TDovecotUser& user : options_.Users) passwd += user.Name + ":{PLAIN}" + user.Password + "::::::\n";
    WriteText(dir_ + "/passwd", passwd);

    const std::string separator(1, options_.Separator);
    // The Maildir++ layout keeps "." between levels; for another separator the fs layout
    // lets names hold dots.
    const std::string layout = options_.Separator == '.' ? "" : ":LAYOUT=fs";
    std::string quota;
    if (options_.QuotaStorage)
        quota = "mail_plugins = $mail_plugins quota\n"
                "protocol imap {\n  mail_plugins = $mail_plugins imap_quota\n}\n"
                "plugin {\n  quota = maildir:User quota\n  quota_rule = *:storage=" +
                *options_.QuotaStorage + "\n}\n";
    const std::string config =
        "base_dir = " + dir_ + "/run\n"
        "state_dir = " + dir_ + "/state\n"
        "log_path = " + dir_ + "/dovecot.log\n"
        "protocols = imap\n"
        "listen = 127.0.0.1\n"
        "ssl = yes\n"
        "ssl_cert = <" + certFile_ + "\n"
        "ssl_key = <" + dir_ + "/key.pem\n"
        "disable_plaintext_auth = " + (options_.PlainNeedsTls ? "yes" : "no") + "\n"
        "auth_mechanisms = plain login xoauth2 oauthbearer\n"
        "default_internal_user = " + owner.User + "\n"
        "default_login_user = " + owner.Login + "\n"
        "first_valid_uid = " + std::to_string(owner.Uid) + "\n"
        "last_valid_uid = " + std::to_string(owner.Uid) + "\n"
        "mail_location = maildir:~/Maildir" + layout + "\n"
        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + dir_ + "/passwd\n}\n"
        "userdb {\n  driver = static\n  args = uid=" + std::to_string(owner.Uid) + " gid=" +
        std::to_string(owner.Gid) + " home=" + dir_ + "/home/%u\n}\n"
        "namespace inbox {\n  inbox = yes\n  separator = " + separator + "\n"
        "  mailbox Sent {\n    special_use = \\Sent\n    auto = subscribe\n  }\n"
        "  mailbox Trash {\n    special_use = \\Trash\n    auto = subscribe\n  }\n"
        "  mailbox Drafts {\n    special_use = \\Drafts\n    auto = subscribe\n  }\n}\n"
        "service imap-login {\n  chroot =\n"
        "  inet_listener imap {\n    address = 127.0.0.1\n    port = " + std::to_string(imapPort_) + "\n  }\n"
        "  inet_listener imaps {\n    address = 127.0.0.1\n    port = " + std::to_string(imapsPort_) +
        "\n    ssl = yes\n  }\n}\n"
        "service anvil {\n  chroot =\n}\n" + quota;
    configFile_ = dir_ + "/dovecot.conf";
    WriteText(configFile_, config);
}

void TDovecotServer::Start() {
    if (Running()) return;
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot fork");
    if (pid == 0) {
        setpgid(0, 0);
        execl(kDovecotProgram, kDovecotProgram, "-F", "-c", configFile_.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    pid_ = pid;
    if (!WaitForPorts(15)) {
        Kill();
        throw std::runtime_error("dovecot did not start:\n" + Log());
    }
}

bool TDovecotServer::WaitForPorts(int seconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) return false;
        if (Accepts(imapPort_) && Accepts(imapsPort_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void TDovecotServer::Kill() {
    if (!Running()) return;
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    // The group's other processes go with the master; wait until the ports are closed.
    for (int i = 0; i < 500 && (Accepts(imapPort_) || Accepts(imapsPort_)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void TDovecotServer::Stop() {
    if (!Running()) return;
    const pid_t group = pid_;
    kill(group, SIGTERM);
    int status = 0;
    waitpid(group, &status, 0);
    pid_ = 0;
    kill(-group, SIGKILL);
}

}  // namespace brindle::test
