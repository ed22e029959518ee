#include "remote/ImapSession.h"
#include "remote/ImapUrl.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

TEST(ImapUrl, ReadsUserHostPortAndTransport) {
    struct TCase {
        const char* text;
        bool tls;
        const char* user;
        const char* host;
        uint16_t port;
    };
    const TCase cases[] = {
        {"imaps://alice@mail.example.org", true, "alice", "mail.example.org", 993},
        {"imap://bob@127.0.0.1:1143", false, "bob", "127.0.0.1", 1143},
        {"imaps://ann.lee@example.com@imap.gmail.com", true, "ann.lee@example.com", "imap.gmail.com", 993},
        {"imaps://ann%40example.com@outlook.office365.com:993/", true, "ann@example.com", "outlook.office365.com",
         993},
        {"imap://carol@[::1]:2143", false, "carol", "::1", 2143},
        {"imap://dave@localhost", false, "dave", "localhost", 143},
    };
    for (const TCase& c : cases) {
        const TImapUrl url = ParseImapUrl(c.text);
        EXPECT_EQ(url.ImplicitTls, c.tls) << c.text;
        EXPECT_EQ(url.User, c.user) << c.text;
        EXPECT_EQ(url.Host, c.host) << c.text;
        EXPECT_EQ(url.Port, c.port) << c.text;
    }
}

TEST(ImapUrl, RefusesMalformedAddresses) {
    for (const char* text : {"http://a@b", "imaps://host.only", "imaps://@host", "imaps://a@", "imaps://a@host:0",
                             "imaps://a@host:70000", "imaps://a@host:12x", "imap://a@[::1", "imap://a@::1",
                             "imaps://a@ho st", "imaps://a%4@host"})
        EXPECT_THROW(ParseImapUrl(text), Exception) << text;
}

TEST(ImapUrl, LoopbackHosts) {
    for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "localhost"}) EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : {"128.0.0.1", "192.0.2.1", "10.0.0.1", "::2", "localhost.example.org", "0.0.0.0",
                             "imap.gmail.com"})
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
}

TEST(ImapTransport, ImapNeedsStartTlsBeyondLoopback) {
    EXPECT_EQ(TransportFor(ParseImapUrl("imaps://a@192.0.2.1")), TImapTransport::ImplicitTls);
    EXPECT_EQ(TransportFor(ParseImapUrl("imap://a@192.0.2.1")), TImapTransport::StartTls);
    EXPECT_EQ(TransportFor(ParseImapUrl("imap://a@127.0.0.1")), TImapTransport::StartTlsIfOffered);
}

// The refusal comes before any connection: these addresses are never reached.
TEST(ImapTransport, PlainTextBeyondLoopbackIsRefusedBeforeConnecting) {
    const TImapUrl remote = ParseImapUrl("imap://a@192.0.2.1");
    for (TImapTransport transport : {TImapTransport::Plain, TImapTransport::StartTlsIfOffered}) {
        try {
            CheckTransportAllowed(remote, transport);
            ADD_FAILURE() << "plain text to 192.0.2.1 was allowed";
        } catch (const EImapError& error) {
            EXPECT_EQ(error.Failure(), TImapFailure::Refused);
            EXPECT_NE(error.Message().find("without encryption"), std::string::npos) << error.Message();
        }
    }
    EXPECT_NO_THROW(CheckTransportAllowed(remote, TImapTransport::StartTls));
    EXPECT_NO_THROW(CheckTransportAllowed(ParseImapUrl("imap://a@127.0.0.1"), TImapTransport::Plain));
}

TEST(ImapTransport, FingerprintsCompareWithoutCaseAndColons) {
    EXPECT_TRUE(SameFingerprint("AB:cd:01", "abCD01"));
    EXPECT_FALSE(SameFingerprint("AB:CD:01", "AB:CD:02"));
    EXPECT_FALSE(SameFingerprint("", ""));  // no fingerprint given accepts nothing
}

}  // namespace
}  // namespace brindle
