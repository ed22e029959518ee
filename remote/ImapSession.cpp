#include "remote/ImapSession.h"

#include <libetpan/libetpan.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace brindle {
namespace {

constexpr char kDefaultDelimiter = '/';

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsIpAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

void SetServerName(struct mailstream_ssl_context* context, void* data) {
    const std::string& host = *static_cast<const std::string*>(data);
    if (!IsIpAddress(host)) mailstream_ssl_set_server_name(context, const_cast<char*>(host.c_str()));
}

std::string HexFingerprint(const unsigned char* digest, unsigned length) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        if (i > 0) out += ':';
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

std::string SubjectOf(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, X509_get_subject_name(certificate), 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string subject(data, static_cast<size_t>(length > 0 ? length : 0));
    BIO_free(bio);
    return subject;
}

struct TX509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using TX509 = std::unique_ptr<X509, TX509Deleter>;

TX509 FromDer(const char* data, size_t length) {
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(data);
    return TX509(d2i_X509(nullptr, &cursor, static_cast<long>(length)));
}

// The certificates the server sent, its own first.
std::vector<TX509> PeerCertificates(mailstream* stream) {
    std::vector<TX509> certificates;
    if (carray* chain = mailstream_get_certificate_chain(stream)) {
        for (unsigned i = 0; i < carray_count(chain); ++i) {
            MMAPString* der = static_cast<MMAPString*>(carray_get(chain, i));
            if (TX509 certificate = FromDer(der->str, der->len)) certificates.push_back(std::move(certificate));
            mmap_string_free(der);
        }
        carray_free(chain);
    }
    if (certificates.empty()) {
        unsigned char* der = nullptr;
        const ssize_t length = mailstream_ssl_get_certificate(stream, &der);
        if (length > 0 && der)
            if (TX509 certificate = FromDer(reinterpret_cast<const char*>(der), static_cast<size_t>(length)))
                certificates.push_back(std::move(certificate));
        std::free(der);
    }
    return certificates;
}

// Empty when the chain verifies against the system's authorities for host; else the reason.
std::string VerificationProblem(const std::vector<TX509>& certificates, const std::string& host) {
    X509_STORE* store = X509_STORE_new();
    X509_STORE_set_default_paths(store);
    STACK_OF(X509)* intermediates = sk_X509_new_null();
    for (size_t i = 1; i < certificates.size(); ++i) sk_X509_push(intermediates, certificates[i].get());
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    std::string problem;
    if (!context || X509_STORE_CTX_init(context, store, certificates.front().get(), intermediates) != 1) {
        problem = "the certificate could not be checked";
    } else {
        X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context);
        if (IsIpAddress(host))
            X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str());
        else
            X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), host.size());
        if (X509_verify_cert(context) != 1)
            problem = X509_verify_cert_error_string(X509_STORE_CTX_get_error(context));
    }
    X509_STORE_CTX_free(context);
    sk_X509_free(intermediates);
    X509_STORE_free(store);
    return problem;
}

std::optional<int64_t> SecondsOf(const mailimap_date_time* date) {
    if (!date) return std::nullopt;
    std::tm parts{};
    parts.tm_year = date->dt_year - 1900;
    parts.tm_mon = date->dt_month - 1;
    parts.tm_mday = date->dt_day;
    parts.tm_hour = date->dt_hour;
    parts.tm_min = date->dt_min;
    parts.tm_sec = date->dt_sec;
    const int zone = date->dt_zone;  // +HHMM as a number
    const int sign = zone < 0 ? -1 : 1;
    const int offset = sign * ((sign * zone) / 100 * 3600 + (sign * zone) % 100 * 60);
    return static_cast<int64_t>(timegm(&parts)) - offset;
}

mailimap_date_time* DateTimeOf(int64_t seconds) {
    const time_t value = static_cast<time_t>(seconds);
    std::tm parts{};
    gmtime_r(&value, &parts);
    return mailimap_date_time_new(parts.tm_mday, parts.tm_mon + 1, parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                                  parts.tm_sec, 0);
}

std::vector<uint32_t> UidsOf(clist* result) {
    std::vector<uint32_t> uids;
    if (!result) return uids;
    for (clistiter* it = clist_begin(result); it; it = clist_next(it))
        uids.push_back(*static_cast<uint32_t*>(clist_content(it)));
    return uids;
}

// Commands are written whole and then waited for: without TCP_NODELAY each short write
// would wait for the acknowledgement of the one before (tens of milliseconds a command).
void SendAtOnce(mailstream* stream) {
    mailstream_low* low = stream ? mailstream_get_low(stream) : nullptr;
    const int fd = low ? mailstream_low_get_fd(low) : -1;
    const int on = 1;
    if (fd >= 0) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// The library writes to its sockets with write(): a server that closed the connection would
// end the whole process with SIGPIPE instead of failing the one write. Ignored once, for the
// process, as mail programs do; the failed write is then an error of this session.
void IgnoreBrokenPipes() {
    static const bool ignored = [] { return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
    (void)ignored;
}

std::string WithoutBackslash(const char* flag) { return flag[0] == '\\' ? flag + 1 : flag; }

// A quoted string (RFC 3501 "quoted"): mailbox names in modified UTF-7 are 7-bit without CR LF.
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

// An INTERNALDATE as APPEND takes it: "dd-Mon-yyyy hh:mm:ss +0000", the day space-padded.
std::string DateTimeText(int64_t seconds) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t value = static_cast<time_t>(seconds);
    std::tm parts{};
    gmtime_r(&value, &parts);
    char text[40];
    std::snprintf(text, sizeof text, "\"%2d-%s-%04d %02d:%02d:%02d +0000\"", parts.tm_mday, kMonths[parts.tm_mon],
                  parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::string FlagListText(const TAppendMessage& message) {
    std::string flags;
    auto add = [&flags](std::string_view flag) {
        if (!flags.empty()) flags += ' ';
        flags += flag;
    };
    if (message.Seen) add("\\Seen");
    if (message.Answered) add("\\Answered");
    if (message.Flagged) add("\\Flagged");
    for (const std::string& keyword : message.Keywords) add(keyword);
    return "(" + flags + ")";
}

// A UID set of APPENDUID ("5:8,10") in order; a range is at most as long as the messages sent.
std::vector<uint32_t> UidsOfSet(const mailimap_set* set, size_t most) {
    std::vector<uint32_t> uids;
    for (clistiter* it = set ? clist_begin(set->set_list) : nullptr; it && uids.size() <= most; it = clist_next(it)) {
        const auto* item = static_cast<const mailimap_set_item*>(clist_content(it));
        const uint32_t last = std::max(item->set_first, item->set_last);
        for (uint64_t uid = item->set_first; uid <= last && uids.size() <= most; ++uid)
            uids.push_back(static_cast<uint32_t>(uid));
    }
    return uids;
}

bool ReadAppendUid(const mailimap_extension_data* data, TAppendAnswer& answer, size_t messages) {
    if (!data || !data->ext_extension || data->ext_extension->ext_id != MAILIMAP_EXTENSION_UIDPLUS ||
        data->ext_type != MAILIMAP_UIDPLUS_RESP_CODE_APND || !data->ext_data)
        return false;
    const auto* code = static_cast<const mailimap_uidplus_resp_code_apnd*>(data->ext_data);
    answer.Appended.UidValidity = code->uid_uidvalidity;
    answer.Uids = UidsOfSet(code->uid_set, messages);
    if (!answer.Uids.empty()) answer.Appended.Uid = answer.Uids.front();
    return true;
}

// The APPENDUID of a tagged OK (UIDPLUS): in the response text, or where the parser moved it,
// the session's response information.
void ReadAppendUid(const mailimap_resp_text* text, const mailimap_response_info* info, TAppendAnswer& answer,
                   size_t messages) {
    if (text && text->rsp_code && text->rsp_code->rc_type == MAILIMAP_RESP_TEXT_CODE_EXTENSION &&
        ReadAppendUid(text->rsp_code->rc_data.rc_ext_data, answer, messages))
        return;
    for (clistiter* it = info && info->rsp_extension_list ? clist_begin(info->rsp_extension_list) : nullptr; it;
         it = clist_next(it))
        if (ReadAppendUid(static_cast<const mailimap_extension_data*>(clist_content(it)), answer, messages)) return;
}

// " (\Seen) "date" {size+}" CR LF: one message of an APPEND, up to its literal.
std::string MessageHead(const TAppendMessage& message) {
    return " " + FlagListText(message) +
           (message.InternalDate ? " " + DateTimeText(*message.InternalDate) : std::string()) + " {" +
           std::to_string(message.Text.size()) + "+}\r\n";
}

// "[OVERQUOTA] Quota exceeded" from a tagged NO or BAD; the parser leaves a code it does not
// know itself in the session's response information.
std::string RefusalText(const mailimap_resp_text* text, const mailimap_response_info* info) {
    std::string answer;
    if (text && text->rsp_code && text->rsp_code->rc_type == MAILIMAP_RESP_TEXT_CODE_OTHER &&
        text->rsp_code->rc_data.rc_atom.atom_name)
        answer = "[" + Upper(text->rsp_code->rc_data.rc_atom.atom_name) + "] ";
    else if (info && info->rsp_atom)
        answer = "[" + Upper(info->rsp_atom) + "] ";
    if (text && text->rsp_text) answer += text->rsp_text;
    return answer.empty() ? std::string("refused") : answer;
}

}  // namespace

TImapTransport TransportFor(const TImapUrl& url) {
    if (url.ImplicitTls) return TImapTransport::ImplicitTls;
    return IsLoopbackHost(url.Host) ? TImapTransport::StartTlsIfOffered : TImapTransport::StartTls;
}

void CheckTransportAllowed(const TImapUrl& url, TImapTransport transport) {
    const bool mayStayPlain = transport == TImapTransport::Plain || transport == TImapTransport::StartTlsIfOffered;
    if (mayStayPlain && !IsLoopbackHost(url.Host))
        throw EImapError(TImapFailure::Refused, "refusing to log in to " + url.Host +
                                                    " without encryption (only a loopback address may be reached "
                                                    "without TLS)");
}

bool SameFingerprint(std::string_view a, std::string_view b) {
    auto bare = [](std::string_view text) {
        std::string out;
        for (char c : text)
            if (c != ':' && c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return out;
    };
    const std::string left = bare(a);
    return !left.empty() && left == bare(b);
}

TImapSession::TImapSession(const TImapConnectOptions& options) {
    CheckTransportAllowed(options.Url, TransportFor(options.Url));
    IgnoreBrokenPipes();
    session_ = mailimap_new(0, nullptr);
    if (!session_) throw EImapError(TImapFailure::Connect, "out of memory");
    mailimap_set_timeout(session_, options.TimeoutSeconds);
    try {
        Connect(options);
        LogIn(options);
        ReadCapabilities();
    } catch (...) {
        mailimap_free(session_);
        throw;
    }
}

TImapSession::~TImapSession() {
    if (session_) mailimap_free(session_);
}

void TImapSession::Check(int result, std::string_view command, TImapFailure failure) {
    if (result == MAILIMAP_NO_ERROR || result == MAILIMAP_NO_ERROR_AUTHENTICATED ||
        result == MAILIMAP_NO_ERROR_NON_AUTHENTICATED)
        return;
    if (result == MAILIMAP_ERROR_STREAM || result == MAILIMAP_ERROR_PARSE) {
        usable_ = false;
        throw EImapError(TImapFailure::Lost, std::string(command) + ": the connection to the server was lost");
    }
    std::string answer;
    const mailimap_response_info* info = session_->imap_response_info;
    if (info && info->rsp_atom) answer = "[" + Upper(info->rsp_atom) + "] ";
    if (session_->imap_response) answer += session_->imap_response;
    if (answer.empty()) answer = "error " + std::to_string(result);
    throw EImapError(failure, std::string(command) + " failed: the server answered: " + answer);
}

void TImapSession::Connect(const TImapConnectOptions& options) {
    const TImapUrl& url = options.Url;
    std::string host = url.Host;
    const TImapTransport transport = TransportFor(url);
    int result = 0;
    if (transport == TImapTransport::ImplicitTls)
        result = mailimap_ssl_connect_with_callback(session_, host.c_str(), url.Port, SetServerName, &host);
    else
        result = mailimap_socket_connect(session_, host.c_str(), url.Port);
    if (result != MAILIMAP_NO_ERROR && result != MAILIMAP_NO_ERROR_AUTHENTICATED &&
        result != MAILIMAP_NO_ERROR_NON_AUTHENTICATED)
        throw EImapError(TImapFailure::Connect, "cannot connect to " + url.Host + " port " + std::to_string(url.Port) +
                                                    (result == MAILIMAP_ERROR_SSL ? " (TLS failed)" : ""));
    SendAtOnce(session_->imap_stream);
    if (transport != TImapTransport::ImplicitTls) {
        ReadCapabilities();
        if (HasCapability("STARTTLS")) {
            Check(mailimap_socket_starttls_with_callback(session_, SetServerName, &host), "STARTTLS",
                  TImapFailure::Connect);
        } else if (transport == TImapTransport::StartTls) {
            throw EImapError(TImapFailure::Refused,
                             url.Host + " offers no STARTTLS: refusing to log in without encryption");
        } else {
            return;  // a loopback address without TLS
        }
    }
    CheckCertificate(options);
}

void TImapSession::CheckCertificate(const TImapConnectOptions& options) {
    const std::vector<TX509> certificates = PeerCertificates(session_->imap_stream);
    if (certificates.empty()) throw EImapError(TImapFailure::Certificate, "the server showed no certificate");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    X509_digest(certificates.front().get(), EVP_sha256(), digest, &length);
    certificate_ = TCertificateFacts{SubjectOf(certificates.front().get()), HexFingerprint(digest, length)};
    const std::string problem = VerificationProblem(certificates, options.Url.Host);
    if (problem.empty()) return;
    if (SameFingerprint(options.AcceptedFingerprint, certificate_->Fingerprint)) return;
    throw EImapError(*certificate_,
                     "the certificate of " + options.Url.Host + " is not trusted (" + problem +
                         ")\n  subject: " + certificate_->Subject + "\n  SHA-256 fingerprint: " +
                         certificate_->Fingerprint +
                         "\n  if this is the server's certificate, accept it with --certificate-fingerprint " +
                         certificate_->Fingerprint);
}

void TImapSession::LogIn(const TImapConnectOptions& options) {
    const TImapUrl& url = options.Url;
    if (options.Login.OAuth2Token)
        Check(mailimap_oauth2_authenticate(session_, url.User.c_str(), options.Login.OAuth2Token->c_str()),
              "login as " + url.User + " (XOAUTH2)", TImapFailure::Login);
    else
        Check(mailimap_login(session_, url.User.c_str(), options.Login.Password.c_str()), "login as " + url.User,
              TImapFailure::Login);
}

void TImapSession::ReadCapabilities() {
    mailimap_capability_data* data = nullptr;
    Check(mailimap_capability(session_, &data), "CAPABILITY");
    capabilities_.clear();
    for (clistiter* it = clist_begin(data->cap_list); it; it = clist_next(it)) {
        const struct mailimap_capability* capability = static_cast<struct mailimap_capability*>(clist_content(it));
        if (capability->cap_type == MAILIMAP_CAPABILITY_NAME)
            capabilities_.push_back(Upper(capability->cap_data.cap_name));
        else
            capabilities_.push_back("AUTH=" + Upper(capability->cap_data.cap_auth_type));
    }
    mailimap_capability_data_free(data);
}

bool TImapSession::HasCapability(std::string_view name) const {
    const std::string wanted = Upper(name);
    for (const std::string& capability : capabilities_)
        if (capability == wanted) return true;
    return false;
}

char TImapSession::Delimiter() {
    if (delimiter_) return *delimiter_;
    clist* result = nullptr;
    Check(mailimap_list(session_, "", "", &result), "LIST");
    char delimiter = kDefaultDelimiter;
    if (result && clist_begin(result)) {
        const mailimap_mailbox_list* entry = static_cast<mailimap_mailbox_list*>(clist_content(clist_begin(result)));
        if (entry->mb_delimiter) delimiter = entry->mb_delimiter;
    }
    if (result) mailimap_list_result_free(result);
    delimiter_ = delimiter;
    return delimiter;
}

std::vector<TListedMailbox> TImapSession::List() {
    clist* result = nullptr;
    Check(mailimap_list(session_, "", "*", &result), "LIST");
    std::vector<TListedMailbox> mailboxes;
    for (clistiter* it = result ? clist_begin(result) : nullptr; it; it = clist_next(it)) {
        const mailimap_mailbox_list* entry = static_cast<mailimap_mailbox_list*>(clist_content(it));
        TListedMailbox mailbox;
        mailbox.Name = entry->mb_name ? entry->mb_name : "";
        mailbox.Delimiter = entry->mb_delimiter;
        if (const mailimap_mbx_list_flags* flags = entry->mb_flag) {
            mailbox.NoSelect = flags->mbf_type == MAILIMAP_MBX_LIST_FLAGS_SFLAG &&
                               flags->mbf_sflag == MAILIMAP_MBX_LIST_SFLAG_NOSELECT;
            for (clistiter* f = flags->mbf_oflags ? clist_begin(flags->mbf_oflags) : nullptr; f; f = clist_next(f)) {
                const mailimap_mbx_list_oflag* flag = static_cast<mailimap_mbx_list_oflag*>(clist_content(f));
                if (flag->of_type != MAILIMAP_MBX_LIST_OFLAG_FLAG_EXT || !flag->of_flag_ext) continue;
                const std::string name = Upper(WithoutBackslash(flag->of_flag_ext));
                if (name == "SENT" || name == "TRASH" || name == "DRAFTS" || name == "JUNK" || name == "ARCHIVE" ||
                    name == "ALL" || name == "FLAGGED")
                    mailbox.SpecialUse = "\\" + name.substr(0, 1) + Lower(name.substr(1));
                if (name == "NOSELECT" || name == "NONEXISTENT") mailbox.NoSelect = true;
            }
        }
        mailboxes.push_back(std::move(mailbox));
    }
    if (result) mailimap_list_result_free(result);
    return mailboxes;
}

void TImapSession::Create(const std::string& mailbox) {
    const int result = mailimap_create(session_, mailbox.c_str());
    if (result == MAILIMAP_ERROR_CREATE && session_->imap_response_info &&
        session_->imap_response_info->rsp_atom && Upper(session_->imap_response_info->rsp_atom) == "ALREADYEXISTS")
        return;
    Check(result, "creating the folder " + mailbox);
}

void TImapSession::Subscribe(const std::string& mailbox) {
    Check(mailimap_subscribe(session_, mailbox.c_str()), "subscribing to " + mailbox);
}

TMailboxStatus TImapSession::Status(const std::string& mailbox) {
    mailimap_status_att_list* wanted = mailimap_status_att_list_new_empty();
    mailimap_status_att_list_add(wanted, MAILIMAP_STATUS_ATT_UIDVALIDITY);
    mailimap_status_att_list_add(wanted, MAILIMAP_STATUS_ATT_MESSAGES);
    mailimap_mailbox_data_status* data = nullptr;
    const int result = mailimap_status(session_, mailbox.c_str(), wanted, &data);
    mailimap_status_att_list_free(wanted);
    Check(result, "STATUS of " + mailbox);
    TMailboxStatus status;
    for (clistiter* it = data && data->st_info_list ? clist_begin(data->st_info_list) : nullptr; it;
         it = clist_next(it)) {
        const mailimap_status_info* info = static_cast<mailimap_status_info*>(clist_content(it));
        if (info->st_att == MAILIMAP_STATUS_ATT_UIDVALIDITY) status.UidValidity = info->st_value;
        if (info->st_att == MAILIMAP_STATUS_ATT_MESSAGES) status.Messages = info->st_value;
    }
    if (data) mailimap_mailbox_data_status_free(data);
    return status;
}

TMailboxStatus TImapSession::Examine(const std::string& mailbox) {
    Check(mailimap_examine(session_, mailbox.c_str()), "EXAMINE " + mailbox);
    TMailboxStatus status;
    if (const mailimap_selection_info* info = session_->imap_selection_info) {
        status.UidValidity = info->sel_uidvalidity;
        status.Messages = info->sel_exists;
    }
    return status;
}

std::vector<TFetchedFacts> TImapSession::FetchFacts(const std::vector<uint32_t>& uids) {
    if (uids.empty()) return {};
    mailimap_set* set = mailimap_set_new_empty();
    for (uint32_t uid : uids) mailimap_set_add_single(set, uid);
    mailimap_fetch_type* type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_rfc822_size());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_internaldate());
    clist* result = nullptr;
    const int code = mailimap_uid_fetch(session_, set, type, &result);
    mailimap_fetch_type_free(type);
    mailimap_set_free(set);
    Check(code, "UID FETCH");
    std::vector<TFetchedFacts> facts;
    for (clistiter* it = result ? clist_begin(result) : nullptr; it; it = clist_next(it)) {
        const mailimap_msg_att* message = static_cast<mailimap_msg_att*>(clist_content(it));
        TFetchedFacts fact;
        for (clistiter* a = clist_begin(message->att_list); a; a = clist_next(a)) {
            const mailimap_msg_att_item* item = static_cast<mailimap_msg_att_item*>(clist_content(a));
            if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC) continue;
            const mailimap_msg_att_static* value = item->att_data.att_static;
            if (value->att_type == MAILIMAP_MSG_ATT_UID) fact.Uid = value->att_data.att_uid;
            if (value->att_type == MAILIMAP_MSG_ATT_RFC822_SIZE) fact.Size = value->att_data.att_rfc822_size;
            if (value->att_type == MAILIMAP_MSG_ATT_INTERNALDATE)
                fact.InternalDate = SecondsOf(value->att_data.att_internal_date);
        }
        facts.push_back(fact);
    }
    if (result) mailimap_fetch_list_free(result);
    return facts;
}

std::vector<TFetchedFacts> TImapSession::FindByMessageId(std::string_view id) {
    mailimap_search_key* key = mailimap_search_key_new_header(strdup("Message-ID"), strdup(std::string(id).c_str()));
    clist* result = nullptr;
    const int code = mailimap_uid_search(session_, "UTF-8", key, &result);
    mailimap_search_key_free(key);
    Check(code, "UID SEARCH");
    const std::vector<uint32_t> uids = UidsOf(result);
    if (result) mailimap_search_result_free(result);
    return FetchFacts(uids);
}

std::vector<TFetchedFacts> TImapSession::FindBySize(uint32_t size) {
    mailimap_search_key* key = mailimap_search_key_new_multiple_empty();
    mailimap_search_key_multiple_add(key, mailimap_search_key_new_larger(size > 0 ? size - 1 : 0));
    mailimap_search_key_multiple_add(key, mailimap_search_key_new_smaller(size + 1));
    clist* result = nullptr;
    const int code = mailimap_uid_search(session_, nullptr, key, &result);
    mailimap_search_key_free(key);
    Check(code, "UID SEARCH");
    const std::vector<uint32_t> uids = UidsOf(result);
    if (result) mailimap_search_result_free(result);
    return FetchFacts(uids);
}

std::optional<std::string> TImapSession::FetchText(uint32_t uid) {
    mailimap_set* set = mailimap_set_new_single(uid);
    mailimap_fetch_type* type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type,
                                               mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
    clist* result = nullptr;
    const int code = mailimap_uid_fetch(session_, set, type, &result);
    mailimap_fetch_type_free(type);
    mailimap_set_free(set);
    Check(code, "UID FETCH");
    std::optional<std::string> text;
    for (clistiter* it = result ? clist_begin(result) : nullptr; it && !text; it = clist_next(it)) {
        const mailimap_msg_att* message = static_cast<mailimap_msg_att*>(clist_content(it));
        for (clistiter* a = clist_begin(message->att_list); a; a = clist_next(a)) {
            const mailimap_msg_att_item* item = static_cast<mailimap_msg_att_item*>(clist_content(a));
            if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC) continue;
            const mailimap_msg_att_static* value = item->att_data.att_static;
            if (value->att_type == MAILIMAP_MSG_ATT_BODY_SECTION && value->att_data.att_body_section->sec_body_part)
                text.emplace(value->att_data.att_body_section->sec_body_part,
                             value->att_data.att_body_section->sec_length);
        }
    }
    if (result) mailimap_fetch_list_free(result);
    return text;
}

TAppended TImapSession::Append(const std::string& mailbox, const TAppendMessage& message) {
    mailimap_flag_list* flags = mailimap_flag_list_new_empty();
    if (message.Seen) mailimap_flag_list_add(flags, mailimap_flag_new_seen());
    if (message.Answered) mailimap_flag_list_add(flags, mailimap_flag_new_answered());
    if (message.Flagged) mailimap_flag_list_add(flags, mailimap_flag_new_flagged());
    for (const std::string& keyword : message.Keywords)
        mailimap_flag_list_add(flags, mailimap_flag_new_flag_keyword(strdup(keyword.c_str())));
    mailimap_date_time* date = message.InternalDate ? DateTimeOf(*message.InternalDate) : nullptr;
    TAppended appended;
    int result = 0;
    if (HasCapability("UIDPLUS"))
        result = mailimap_uidplus_append(session_, mailbox.c_str(), flags, date, message.Text.data(),
                                         message.Text.size(), &appended.UidValidity, &appended.Uid);
    else
        result = mailimap_append(session_, mailbox.c_str(), flags, date, message.Text.data(), message.Text.size());
    mailimap_flag_list_free(flags);
    if (date) mailimap_date_time_free(date);
    Check(result, "APPEND to " + mailbox);
    return appended;
}

void TImapSession::WriteOrLose(std::string_view bytes, const std::string& mailbox) {
    if (mailstream_write(session_->imap_stream, bytes.data(), bytes.size()) < 0) {
        usable_ = false;
        throw EImapError(TImapFailure::Lost, "APPEND to " + mailbox + ": the connection to the server was lost");
    }
}

void TImapSession::FlushOrLose() {
    if (mailstream_flush(session_->imap_stream) < 0) {
        usable_ = false;
        throw EImapError(TImapFailure::Lost, "APPEND: the connection to the server was lost");
    }
}

// Tags are numbers counted by the session, as libetpan's own commands make them.
void TImapSession::SendAppend(const std::string& mailbox, const TAppendMessage& message) {
    WriteOrLose(std::to_string(++session_->imap_tag) + " APPEND " + Quoted(mailbox) + MessageHead(message), mailbox);
    WriteOrLose(message.Text, mailbox);
    WriteOrLose("\r\n", mailbox);
}

void TImapSession::SendAppendTogether(const std::string& mailbox, const std::vector<TAppendMessage>& messages) {
    WriteOrLose(std::to_string(++session_->imap_tag) + " APPEND " + Quoted(mailbox), mailbox);
    for (const TAppendMessage& message : messages) {
        WriteOrLose(MessageHead(message), mailbox);
        WriteOrLose(message.Text, mailbox);
    }
    WriteOrLose("\r\n", mailbox);
}

TAppendAnswer TImapSession::ReadTaggedAnswer(int tag, size_t messages) {
    // The parser takes the answer of the session's current tag.
    session_->imap_tag = tag;
    mailimap_response* response = nullptr;
    if (!mailimap_read_line(session_) || mailimap_parse_response(session_, &response) != MAILIMAP_NO_ERROR ||
        !response) {
        usable_ = false;
        throw EImapError(TImapFailure::Lost, "APPEND: the connection to the server was lost");
    }
    TAppendAnswer answer;
    const mailimap_response_done* done = response->rsp_resp_done;
    if (done && done->rsp_type == MAILIMAP_RESP_DONE_TYPE_TAGGED && done->rsp_data.rsp_tagged) {
        const mailimap_resp_cond_state* state = done->rsp_data.rsp_tagged->rsp_cond_state;
        answer.Confirmed = state && state->rsp_type == MAILIMAP_RESP_COND_STATE_OK;
        if (answer.Confirmed)
            ReadAppendUid(state->rsp_text, session_->imap_response_info, answer, messages);
        else
            answer.Refusal = RefusalText(state ? state->rsp_text : nullptr, session_->imap_response_info);
    } else {
        usable_ = false;  // BYE
        answer.Refusal = "the server closed the connection";
    }
    mailimap_response_free(response);
    return answer;
}

std::optional<std::vector<TAppendAnswer>> TImapSession::AppendTogether(const std::string& mailbox,
                                                                       const std::vector<TAppendMessage>& messages) {
    std::vector<TAppendAnswer> answers(messages.size());
    try {
        SendAppendTogether(mailbox, messages);
        FlushOrLose();
        const TAppendAnswer answer = ReadTaggedAnswer(session_->imap_tag, messages.size());
        if (!answer.Confirmed) {
            if (usable_) return std::nullopt;
            for (TAppendAnswer& each : answers) each.Refusal = answer.Refusal;
            return answers;
        }
        for (size_t i = 0; i < messages.size(); ++i) {
            answers[i].Confirmed = true;
            answers[i].Appended.UidValidity = answer.Appended.UidValidity;
            // Without UIDPLUS, or with a set that does not count one UID a message, UIDs stay 0.
            if (answer.Uids.size() == messages.size()) answers[i].Appended.Uid = answer.Uids[i];
        }
    } catch (const EImapError& error) {
        for (TAppendAnswer& each : answers) each.Refusal = error.Message();
    }
    return answers;
}

std::vector<TAppendAnswer> TImapSession::AppendEach(const std::string& mailbox,
                                                    const std::vector<TAppendMessage>& messages) {
    std::vector<TAppendAnswer> answers(messages.size());
    const int firstTag = session_->imap_tag + 1;
    size_t sent = 0;
    size_t read = 0;
    try {
        for (const TAppendMessage& message : messages) {
            SendAppend(mailbox, message);
            ++sent;
        }
        const int lastTag = session_->imap_tag;
        FlushOrLose();
        for (; read < sent && usable_; ++read) answers[read] = ReadTaggedAnswer(firstTag + static_cast<int>(read), 1);
        session_->imap_tag = lastTag;
    } catch (const EImapError& error) {
        for (size_t i = read; i < messages.size(); ++i) answers[i].Refusal = error.Message();
    }
    for (size_t i = read; i < messages.size(); ++i)
        if (answers[i].Refusal.empty()) answers[i].Refusal = "the connection to the server was lost";
    return answers;
}

std::vector<TAppendAnswer> TImapSession::AppendPipelined(const std::string& mailbox,
                                                         const std::vector<TAppendMessage>& messages) {
    if (messages.size() > 1 && HasCapability("MULTIAPPEND"))
        if (std::optional<std::vector<TAppendAnswer>> answers = AppendTogether(mailbox, messages)) return *answers;
    return AppendEach(mailbox, messages);
}

void TImapSession::Logout() {
    if (usable_) mailimap_logout(session_);
    usable_ = false;
}

}  // namespace brindle
