// brindle-cli upload into a Dovecot server of its own, read back through a plain IMAP client.
#include "DovecotServer.h"
#include "ImapProbe.h"
#include "StoreWriter.h"
#include "TempDir.h"
#include "cli/Cli.h"
#include "mailbox/StoreFolder.h"
#include "platform/ModifiedUtf7.h"
#include "remote/ImapSession.h"
#include "store/FolderList.h"
#include "store/MessageFlags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace brindle {
namespace {

using test::TDovecotOptions;
using test::TDovecotServer;
using test::TImapProbe;
using test::TProbedMessage;
using test::TTempDir;
using testsupport::FileTimeOf;
using testsupport::MessageText;
using testsupport::TDbxWriter;
using testsupport::TStoreMessage;
using testsupport::WriteFolderList;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "wonderland";
// FILETIME ticks per second and from 1601 to 1970.
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
const std::string kCyrillic = "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82\xD1\x8B";  // "Проекты"

struct TCliRun {
    int status;
    std::string out;
    std::string err;
};

TStoreMessage Message(uint32_t index, uint32_t flags, bool withMessageId = true, size_t bodyBytes = 40) {
    TStoreMessage message;
    std::vector<std::string> header = {"From: Ann <ann@example.org>", "Subject: message " + std::to_string(index),
                                       "Date: Tue, 1 Jul 2003 10:52:37 +0200"};
    if (withMessageId) header.push_back("Message-ID: <m" + std::to_string(index) + "@example.org>");
    message.Text = MessageText(header, std::string(bodyBytes, 'x') + "\r\nline " + std::to_string(index) + "\r\n");
    message.Index = index;
    message.Flags = flags;
    message.Received = FileTimeOf(2004, 2, 3, 4, 5, index % 60);
    message.Subject = "message " + std::to_string(index);
    return message;
}

int64_t UnixTime(uint64_t fileTime) {
    return static_cast<int64_t>((fileTime - kUnixEpochTicks) / kTicksPerSecond);
}

void WriteStore(const std::string& path, const std::vector<TStoreMessage>& messages, const std::string& name) {
    testsupport::TDbxOptions options;
    options.FolderName = name;
    TDbxWriter writer(path, options);
    for (const TStoreMessage& message : messages) writer.Add(message);
    writer.Finish();
}

// A store folder: Inbox (3 messages), below it "Проекты" (a Cyrillic name) and below that
// "v1.2/beta" (both delimiters in one name), Sent Items and an empty Drafts.
struct TTestStores {
    TTempDir dir;
    std::map<std::string, std::vector<TStoreMessage>> byFolder;  // names from the top, "/"-joined

    TTestStores() {
        WriteFolderList(dir / "Folders.dbx", {
                                                 {1, 0xFFFFFFFF, "Inbox", "Inbox.dbx", 0, 3, 1, kSpecialInbox},
                                                 {2, 1, kCyrillic, "Projects.dbx"},
                                                 {3, 2, "v1.2/beta", "Beta.dbx"},
                                                 {4, 0xFFFFFFFF, "Sent Items", "Sent Items.dbx", 0, 1, 0, kSpecialSent},
                                                 {5, 0xFFFFFFFF, "Drafts", "Drafts.dbx", 0, 0, 0, kSpecialDrafts},
                                             });
        Add("Inbox", "Inbox.dbx", {Message(0, kFlagRead), Message(1, kFlagRead | kFlagReplied),
                                   Message(2, kFlagFlagged, false)});
        Add("Inbox/" + kCyrillic, "Projects.dbx", {Message(3, kFlagRead), Message(4, 0)});
        Add("Inbox/" + kCyrillic + "/v1.2/beta", "Beta.dbx", {Message(5, kFlagRead | kFlagFlagged)});
        Add("Sent Items", "Sent Items.dbx", {Message(6, kFlagRead)});
        Add("Drafts", "Drafts.dbx", {});
    }
    void Add(const std::string& shown, const std::string& file, std::vector<TStoreMessage> messages) {
        WriteStore(dir / file, messages, file);
        byFolder[shown] = std::move(messages);
    }
};

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TDovecotServer::Available()) GTEST_SKIP() << "dovecot is not installed (Debian dovecot-imapd): skipped";
        setenv("XDG_STATE_HOME", state_.Path().c_str(), 1);
        std::ofstream(state_ / "password") << kPassword << "\n";
    }

    void StartServer(TDovecotOptions options = {}) {
        server_ = std::make_unique<TDovecotServer>(std::move(options));
        server_->Start();
    }

    std::string ImapsUrl() const { return std::string("imaps://") + kUser + "@127.0.0.1:" + std::to_string(server_->ImapsPort()); }

    TCliRun Upload(const std::string& source, std::vector<std::string> extra = {}, bool trusted = true,
                   bool password = true) {
        std::vector<std::string> args = {"upload", source, ImapsUrl()};
        if (password) args.insert(args.end(), {"--password-file", state_ / "password"});
        if (trusted) {
            args.push_back("--certificate-fingerprint");
            args.push_back(server_->CertificateFingerprint());
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }

    static TCliRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = RunCli(args, out, err);
        return {status, out.str(), err.str()};
    }

    TImapProbe Probe(const std::string& user = kUser, const std::string& password = kPassword) {
        return TImapProbe(server_->ImapPort(), user, password);
    }

    // Every message of a mailbox must be one of the store's, in order, with flags and date.
    static void ExpectMessages(const std::vector<TProbedMessage>& stored, const std::vector<TStoreMessage>& wanted,
                               const std::string& mailbox) {
        ASSERT_EQ(stored.size(), wanted.size()) << mailbox;
        for (size_t i = 0; i < wanted.size(); ++i) {
            EXPECT_EQ(stored[i].Text, wanted[i].Text) << mailbox << " message " << i;
            std::vector<std::string> flags;
            if (wanted[i].Flags & kFlagReplied) flags.push_back("\\Answered");
            if (wanted[i].Flags & kFlagFlagged) flags.push_back("\\Flagged");
            if (wanted[i].Flags & kFlagRead) flags.push_back("\\Seen");
            EXPECT_EQ(stored[i].Flags, flags) << mailbox << " message " << i;
            EXPECT_EQ(stored[i].InternalDate, UnixTime(wanted[i].Received)) << mailbox << " message " << i;
        }
    }

    // The mailbox of each folder of the tree, as the store folder reads it (the tree that
    // brindle-cli folders prints), under parent with the server's delimiter.
    static std::map<std::string, std::string> ExpectedMailboxes(const std::string& storeDir, const std::string& parent,
                                                                char delimiter) {
        const TStoreFolder folder = ReadStoreFolder(storeDir);
        std::map<std::string, std::string> mailboxes;
        std::vector<std::string> shown, names;
        for (const TFolderNode& node : folder.Nodes) {
            shown.resize(node.Depth);
            names.resize(node.Depth);
            shown.push_back(node.Name);
            std::string level = node.Name;
            for (char& c : level)
                if (c == delimiter || c == '/') c = '_';
            names.push_back(level);
            std::string shownPath, mailbox = parent;
            for (size_t i = 0; i < shown.size(); ++i) {
                shownPath += (i ? "/" : "") + shown[i];
                mailbox += delimiter + names[i];
            }
            mailboxes[shownPath] = mailbox;
        }
        return mailboxes;
    }

    TTempDir state_;
    std::unique_ptr<TDovecotServer> server_;
};

class UploadTreeTest : public UploadTest, public ::testing::WithParamInterface<char> {};

TEST_P(UploadTreeTest, TreeTextsFlagsAndDatesArriveAndASecondRunAddsNothing) {
    const char delimiter = GetParam();
    TDovecotOptions options;
    options.Separator = delimiter;
    StartServer(options);
    TTestStores stores;

    const TCliRun first = Upload(stores.dir.Path());
    ASSERT_EQ(first.status, 0) << first.err << server_->Log();
    EXPECT_EQ(first.out, "Folders created: 6, messages uploaded: 7, already there: 0, skipped: 0, failed: 0.\n");

    TImapProbe probe = Probe();
    std::map<std::string, std::string> listed;  // decoded name -> name on the server
    for (const test::TProbedMailbox& mailbox : probe.Mailboxes()) {
        EXPECT_EQ(mailbox.Delimiter, delimiter);
        listed[DecodeModifiedUtf7(mailbox.Name).value_or(mailbox.Name)] = mailbox.Name;
    }
    const std::map<std::string, std::string> expected = ExpectedMailboxes(stores.dir.Path(), "Imported mail", delimiter);
    ASSERT_EQ(expected.size(), stores.byFolder.size());
    const std::vector<std::string> subscribed = probe.Subscribed();
    for (const auto& [shown, mailbox] : expected) {
        ASSERT_TRUE(listed.contains(mailbox)) << "missing " << mailbox;
        EXPECT_TRUE(std::binary_search(subscribed.begin(), subscribed.end(), listed[mailbox])) << mailbox;
        ExpectMessages(probe.Messages(listed[mailbox]), stores.byFolder.at(shown), mailbox);
    }
    EXPECT_TRUE(listed.contains("Imported mail"));

    const TCliRun second = Upload(stores.dir.Path());
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "Folders created: 0, messages uploaded: 0, already there: 7, skipped: 0, failed: 0.\n");
    // Without the journal the server's own record (Message-ID, else size and date) still tells.
    std::filesystem::remove_all(state_ / "brindle");
    const TCliRun third = Upload(stores.dir.Path(), {"--json"});
    EXPECT_EQ(third.status, 0) << third.err;
    EXPECT_NE(third.out.find("\"Uploaded\": 0"), std::string::npos) << third.out;
    EXPECT_NE(third.out.find("\"AlreadyThere\": 7"), std::string::npos) << third.out;
    for (const auto& [shown, mailbox] : expected)
        EXPECT_EQ(Probe().Messages(listed[mailbox]).size(), stores.byFolder.at(shown).size()) << mailbox;
}

INSTANTIATE_TEST_SUITE_P(Delimiters, UploadTreeTest, ::testing::Values('/', '.'));

TEST_F(UploadTest, SpecialFoldersGoIntoTheServersOwn) {
    StartServer();
    TTestStores stores;
    const TCliRun run = Upload(stores.dir.Path(), {"--special-folders"});
    ASSERT_EQ(run.status, 0) << run.err << server_->Log();
    TImapProbe probe = Probe();
    ExpectMessages(probe.Messages("INBOX"), stores.byFolder.at("Inbox"), "INBOX");
    ExpectMessages(probe.Messages("Sent"), stores.byFolder.at("Sent Items"), "Sent");
    ExpectMessages(probe.Messages("INBOX/" + EncodeModifiedUtf7(kCyrillic)), stores.byFolder.at("Inbox/" + kCyrillic),
                   "INBOX/Проекты");
    for (const test::TProbedMailbox& mailbox : probe.Mailboxes())
        EXPECT_EQ(mailbox.Name.find("Imported mail"), std::string::npos) << mailbox.Name;
}

TEST_F(UploadTest, DryRunCreatesNothing) {
    StartServer();
    TTestStores stores;
    const TCliRun run = Upload(stores.dir.Path(), {"--dry-run"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("would create Imported mail/Inbox/" + kCyrillic + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("would append 3 messages to Imported mail/Inbox\n"), std::string::npos) << run.out;
    for (const test::TProbedMailbox& mailbox : Probe().Mailboxes())
        EXPECT_EQ(mailbox.Name.find("Imported"), std::string::npos) << mailbox.Name;
    // The login is checked.
    std::ofstream(state_ / "password") << "wrong\n";
    EXPECT_EQ(Upload(stores.dir.Path(), {"--dry-run"}).status, 1);
}

// Copies are left out as export leaves them out (the same filter): the first in tree order
// goes up, a copy in the same folder is a copy too, and the summary tells where each went.
TEST_F(UploadTest, SkipDuplicatesLeavesOutCopiesAsExportDoes) {
    StartServer();
    TTempDir dir;
    const TStoreMessage sameIdOtherBody = Message(2, 0, true, 80);
    WriteStore(dir / "A.dbx", {Message(0, 0), Message(1, 0), Message(0, 0)}, "A");
    WriteStore(dir / "B.dbx", {Message(1, 0), Message(2, 0), sameIdOtherBody}, "B");
    struct TCase {
        std::string Option;
        std::string Parent;
        size_t InA, InB;
        std::string Told;
    };
    const TCase cases[] = {
        {"--skip-duplicates", "Text", 2, 2,
         "Left out 1 copy in A of messages written to A.\n"
         "Left out 1 copy in B of messages written to A.\n"
         "Folders created: 3, messages uploaded: 4, already there: 0, skipped: 2 duplicates, failed: 0.\n"},
        {"--skip-duplicates=message-id", "Ids", 2, 1,
         "Left out 1 copy in A of messages written to A.\n"
         "Left out 1 copy in B of messages written to A.\n"
         "Left out 1 copy in B of messages written to B.\n"
         "Folders created: 3, messages uploaded: 3, already there: 0, skipped: 3 duplicates, failed: 0.\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Option);
        const TCliRun run = Upload(dir.Path(), {c.Option, "--folder", c.Parent});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.Told);
        TImapProbe probe = Probe();
        const std::vector<TProbedMessage> a = probe.Messages(c.Parent + "/A");
        const std::vector<TProbedMessage> b = probe.Messages(c.Parent + "/B");
        ASSERT_EQ(a.size(), c.InA);
        ASSERT_EQ(b.size(), c.InB);
        EXPECT_EQ(a[0].Text, Message(0, 0).Text);
        EXPECT_EQ(a[1].Text, Message(1, 0).Text);
        EXPECT_EQ(b[0].Text, Message(2, 0).Text);
        if (c.InB > 1) {
            EXPECT_EQ(b[1].Text, sameIdOtherBody.Text);
        }
    }
}

TEST_F(UploadTest, WrongPasswordIsTheServersAnswer) {
    StartServer();
    TTestStores stores;
    std::ofstream(state_ / "password") << "not-the-password\n";
    const TCliRun run = Upload(stores.dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("login as alice failed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("AUTHENTICATIONFAILED"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("not-the-password"), std::string::npos) << "the password was shown";
}

TEST_F(UploadTest, CertificateRefusedUnlessItsFingerprintIsGivenOrItIsTrusted) {
    StartServer();
    TTestStores stores;
    const TCliRun refused = Upload(stores.dir.Path(), {}, false);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("not trusted"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("CN = brindle-test"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(server_->CertificateFingerprint()), std::string::npos) << refused.err;
    EXPECT_TRUE(std::filesystem::is_empty(server_->Folder() + "/home")) << "a login was made";

    const std::string other(95, 'A');
    EXPECT_EQ(Upload(stores.dir.Path(), {"--certificate-fingerprint", other}, false).status, 1);

    // The certificate made trusted: it verifies for 127.0.0.1 without a fingerprint.
    setenv("SSL_CERT_FILE", server_->CertificateFile().c_str(), 1);
    const TCliRun trusted = Upload(stores.dir.Path(), {}, false);
    unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(trusted.status, 0) << trusted.err;
    EXPECT_NE(trusted.out.find("messages uploaded: 7"), std::string::npos) << trusted.out;
}

TEST_F(UploadTest, StartTlsBeforeTheLogin) {
    TDovecotOptions options;
    options.PlainNeedsTls = true;  // the server takes no password before STARTTLS
    StartServer(options);
    TTestStores stores;
    const std::string url = std::string("imap://") + kUser + "@127.0.0.1:" + std::to_string(server_->ImapPort());
    const std::vector<std::string> base = {"upload", stores.dir.Path(), url, "--password-file", state_ / "password"};
    // The certificate is checked after STARTTLS, so TLS was set up.
    const TCliRun refused = Run(base);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("not trusted"), std::string::npos) << refused.err;
    std::vector<std::string> accepted = base;
    accepted.insert(accepted.end(), {"--certificate-fingerprint", server_->CertificateFingerprint()});
    const TCliRun run = Run(accepted);
    EXPECT_EQ(run.status, 0) << run.err << server_->Log();
    EXPECT_NE(run.out.find("messages uploaded: 7"), std::string::npos) << run.out;
}

// Dovecot checks an XOAUTH2 token through its passdb like a password: the user's password
// stands for the token here.
TEST_F(UploadTest, OAuth2TokenThroughXoauth2) {
    StartServer();
    TTempDir dir;
    WriteStore(dir / "A.dbx", {Message(0, kFlagRead)}, "A");
    const TCliRun run = Upload(dir / "A.dbx", {"--oauth2-command", std::string("echo ") + kPassword}, true, false);
    EXPECT_EQ(run.status, 0) << run.err << server_->Log();
    EXPECT_EQ(Probe().Messages("Imported mail/A").size(), 1u);
    const TCliRun wrong = Upload(dir / "A.dbx", {"--oauth2-command", "echo expired-token"}, true, false);
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("XOAUTH2"), std::string::npos) << wrong.err;
}

// Batches of APPENDs sent without waiting: every answer belongs to its own message, in order,
// with flags and dates as sent; a refusal in the middle names the server's code and leaves
// the others alone.
TEST_F(UploadTest, PipelinedAppendsAnswerEachMessageInOrder) {
    TDovecotOptions options;
    options.QuotaStorage = "12K";
    StartServer(options);
    TImapConnectOptions connect;
    connect.Url = ParseImapUrl(ImapsUrl());
    connect.Login.Password = kPassword;
    connect.AcceptedFingerprint = server_->CertificateFingerprint();
    TImapSession session(connect);
    ASSERT_TRUE(session.PipelinesAppends()) << "Dovecot offers LITERAL+";
    session.Create("Batch");

    struct TCase {
        size_t bodyBytes;
        bool seen;
        std::vector<std::string> keywords;
    };
    // The fourth message alone is larger than the quota's room.
    const std::vector<TCase> cases = {{100, true, {}}, {200, false, {"$Recovered"}}, {300, true, {}},
                                      {20000, false, {}}, {400, false, {}}};
    std::vector<std::string> texts;
    for (size_t i = 0; i < cases.size(); ++i) texts.push_back(Message(static_cast<uint32_t>(i), 0, true, cases[i].bodyBytes).Text);
    std::vector<TAppendMessage> batch;
    for (size_t i = 0; i < cases.size(); ++i) {
        TAppendMessage message;
        message.Text = texts[i];
        message.Seen = cases[i].seen;
        message.Keywords = cases[i].keywords;
        message.InternalDate = 1100000000 + static_cast<int64_t>(i) * 86400;
        batch.push_back(message);
    }
    const std::vector<TAppendAnswer> answers = session.AppendPipelined("Batch", batch);
    ASSERT_EQ(answers.size(), cases.size());
    EXPECT_TRUE(session.Usable());
    std::vector<uint32_t> uids;
    for (size_t i = 0; i < cases.size(); ++i) {
        const bool tooBig = cases[i].bodyBytes > 10000;
        EXPECT_EQ(answers[i].Confirmed, !tooBig) << i << ": " << answers[i].Refusal;
        if (tooBig) EXPECT_NE(answers[i].Refusal.find("[OVERQUOTA]"), std::string::npos) << answers[i].Refusal;
        if (!tooBig) uids.push_back(answers[i].Appended.Uid);
    }
    EXPECT_TRUE(std::is_sorted(uids.begin(), uids.end()));
    EXPECT_EQ(std::set<uint32_t>(uids.begin(), uids.end()).size(), uids.size());

    const std::vector<TProbedMessage> stored = Probe().Messages("Batch");
    ASSERT_EQ(stored.size(), uids.size());
    for (size_t i = 0, k = 0; i < cases.size(); ++i) {
        if (cases[i].bodyBytes > 10000) continue;
        EXPECT_EQ(stored[k].Uid, uids[k]);
        EXPECT_EQ(stored[k].Text, texts[i]);
        EXPECT_EQ(stored[k].InternalDate, *batch[i].InternalDate);
        std::vector<std::string> flags = cases[i].keywords;
        if (cases[i].seen) flags.push_back("\\Seen");
        std::sort(flags.begin(), flags.end());
        EXPECT_EQ(stored[k].Flags, flags) << i;
        ++k;
    }
    // The session goes on with ordinary commands afterwards.
    EXPECT_EQ(session.Status("Batch").Messages, uids.size());

    // A batch that fits goes as one APPEND of all (MULTIAPPEND): one UID each, after the others.
    std::vector<TAppendMessage> fitting(batch.begin(), batch.begin() + 3);
    const std::vector<TAppendAnswer> together = session.AppendPipelined("Batch", fitting);
    ASSERT_EQ(together.size(), fitting.size());
    for (size_t i = 0; i < together.size(); ++i) {
        EXPECT_TRUE(together[i].Confirmed) << together[i].Refusal;
        EXPECT_EQ(together[i].Appended.Uid, uids.back() + 1 + i);
    }
    const std::vector<TProbedMessage> after = Probe().Messages("Batch");
    ASSERT_EQ(after.size(), uids.size() + fitting.size());
    for (size_t i = 0; i < fitting.size(); ++i) {
        EXPECT_EQ(after[uids.size() + i].Text, texts[i]);
        EXPECT_EQ(after[uids.size() + i].Uid, together[i].Appended.Uid);
    }
}

TEST_F(UploadTest, OverQuotaCountsOnlyWhatTheServerHolds) {
    TDovecotOptions options;
    options.QuotaStorage = "12K";
    StartServer(options);
    TTempDir dir;
    std::vector<TStoreMessage> messages;
    for (uint32_t i = 0; i < 8; ++i) messages.push_back(Message(i, 0, true, 3000));
    WriteStore(dir / "Big.dbx", messages, "Big");
    const TCliRun run = Upload(dir / "Big.dbx");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("[OVERQUOTA]"), std::string::npos) << run.err;
    const size_t stored = Probe().Messages("Imported mail/Big").size();
    EXPECT_GT(stored, 0u);
    EXPECT_LT(stored, messages.size());
    EXPECT_NE(run.out.find("messages uploaded: " + std::to_string(stored) + ","), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("failed: " + std::to_string(messages.size() - stored) + "."), std::string::npos) << run.out;
}

size_t FilesBelow(const std::string& dir) {
    size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        const std::string parent = it->path().parent_path().filename().string();
        if (it->is_regular_file(error) && (parent == "cur" || parent == "new")) ++count;
    }
    return count;
}

TEST_F(UploadTest, ServerKilledMidwayThenRerunHasEveryMessageOnce) {
    StartServer();
    TTempDir dir;
    std::vector<TStoreMessage> messages;
    for (uint32_t i = 0; i < 150; ++i) messages.push_back(Message(i, i % 2 ? kFlagRead : 0, i % 3 != 0));
    WriteStore(dir / "Many.dbx", messages, "Many");

    std::atomic<bool> killed{false};
    std::thread killer([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            if (FilesBelow(server_->MailDir(kUser)) >= 40) {
                server_->Kill();
                killed = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const TCliRun interrupted = Upload(dir / "Many.dbx");
    killer.join();
    ASSERT_TRUE(killed) << "the upload ended before the server was killed";
    EXPECT_EQ(interrupted.status, 1);
    EXPECT_NE(interrupted.err.find("connection"), std::string::npos) << interrupted.err;

    server_->Start();
    const TCliRun rerun = Upload(dir / "Many.dbx");
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    ExpectMessages(Probe().Messages("Imported mail/Many"), messages, "Imported mail/Many");
}

// The listening sockets of the server's ports, from /proc/net: local address and state.
std::vector<std::string> ListenersOf(uint16_t port) {
    std::vector<std::string> found;
    char hexPort[8];
    std::snprintf(hexPort, sizeof hexPort, "%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream file(table);
        std::string line;
        std::getline(file, line);  // the column names
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            const size_t colon = local.find(':');
            if (state == "0A" && colon != std::string::npos && local.substr(colon + 1) == hexPort)
                found.push_back(local.substr(0, colon));
        }
    }
    return found;
}

TEST_F(UploadTest, ServerListensOnLoopbackOnly) {
    StartServer();
    for (uint16_t port : {server_->ImapPort(), server_->ImapsPort()}) {
        const std::vector<std::string> listeners = ListenersOf(port);
        ASSERT_FALSE(listeners.empty()) << "nothing listens on " << port;
        for (const std::string& address : listeners) EXPECT_EQ(address, "0100007F") << "port " << port;
    }
}

}  // namespace
}  // namespace brindle
