#pragma once
// What an IMAP server confirmed of an upload (tagged OK, with APPENDUID where it has
// UIDPLUS), kept in a small file so that a run after an interruption appends only the rest.
// Each entry is keyed by the mailbox, its UIDVALIDITY, the SHA-256 of the text as sent and
// the occurrence of that text in the folder (a folder may hold the same text twice). A new
// UIDVALIDITY makes the old entries of that mailbox count for nothing.
//
// One line per entry, appended and flushed as soon as the server confirmed:
//   "a UIDVALIDITY OCCURRENCE SHA256HEX UID MAILBOX\n"  (UID 0 when the server gave none)
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace brindle {

class TUploadJournal {
public:
    // Reads path when it exists (lines it cannot read are left out) and opens it for
    // appending, making its folder. Throws Exception when it cannot be opened.
    explicit TUploadJournal(std::string path);
    ~TUploadJournal();
    TUploadJournal(const TUploadJournal&) = delete;
    TUploadJournal& operator=(const TUploadJournal&) = delete;

    // The journal of an account: XDG_STATE_HOME (else ~/.local/state) /brindle/upload-KEY,
    // KEY made of the user, host and port in characters safe in a file name.
    static std::string DefaultPath(const std::string& user, const std::string& host, uint16_t port);

    bool Has(std::string_view mailbox, uint32_t uidValidity, std::string_view sha256Hex, uint32_t occurrence) const;
    // Throws Exception when the entry cannot be written.
    void Record(std::string_view mailbox, uint32_t uidValidity, std::string_view sha256Hex, uint32_t occurrence,
                uint32_t uid);

    const std::string& Path() const { return path_; }

private:
    static std::string Key(std::string_view mailbox, uint32_t uidValidity, std::string_view sha256Hex,
                           uint32_t occurrence);

    std::string path_;
    FILE* file_ = nullptr;
    mutable std::mutex lock_;
    std::unordered_set<std::string> entries_;
};

}  // namespace brindle
