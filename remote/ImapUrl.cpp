#include "remote/ImapUrl.h"

#include "platform/Exceptions.h"

#include <arpa/inet.h>
#include <charconv>

namespace brindle {
namespace {

constexpr std::string_view kImaps = "imaps://";
constexpr std::string_view kImap = "imap://";
constexpr uint16_t kImapPort = 143;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0) throw Exception("bad percent escape in the user name");
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

uint16_t ParsePort(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        throw Exception("bad port number " + std::string(text));
    return static_cast<uint16_t>(value);
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == ':';
}

}  // namespace

std::string TImapUrl::Shown() const {
    const bool v6 = Host.find(':') != std::string::npos;
    return std::string(ImplicitTls ? kImaps : kImap) + User + "@" + (v6 ? "[" + Host + "]" : Host) + ":" +
           std::to_string(Port);
}

TImapUrl ParseImapUrl(std::string_view text) {
    TImapUrl url;
    if (text.starts_with(kImaps)) {
        text.remove_prefix(kImaps.size());
    } else if (text.starts_with(kImap)) {
        text.remove_prefix(kImap.size());
        url.ImplicitTls = false;
        url.Port = kImapPort;
    } else {
        throw Exception("the account must be given as imaps://USER@HOST[:PORT] or imap://USER@HOST[:PORT]");
    }
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    const size_t at = text.rfind('@');
    if (at == std::string_view::npos || at == 0) throw Exception("the account address names no user (USER@HOST)");
    url.User = PercentDecoded(text.substr(0, at));
    std::string_view hostPort = text.substr(at + 1);
    if (hostPort.starts_with('[')) {
        const size_t close = hostPort.find(']');
        if (close == std::string_view::npos) throw Exception("unclosed [ in the host");
        url.Host = hostPort.substr(1, close - 1);
        std::string_view rest = hostPort.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') throw Exception("unexpected text after the host");
            url.Port = ParsePort(rest.substr(1));
        }
    } else {
        const size_t colon = hostPort.rfind(':');
        url.Host = hostPort.substr(0, colon);
        if (colon != std::string_view::npos) url.Port = ParsePort(hostPort.substr(colon + 1));
        if (url.Host.find(':') != std::string::npos) throw Exception("an IPv6 host must stand in brackets");
    }
    if (url.Host.empty()) throw Exception("the account address names no host");
    for (char c : url.Host)
        if (!IsHostCharacter(c)) throw Exception("bad character in the host name");
    return url;
}

bool IsLoopbackHost(std::string_view host) {
    if (host == "localhost") return true;
    const std::string text(host);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

}  // namespace brindle
