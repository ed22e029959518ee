#include "remote/UploadJournal.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace brindle {
namespace {

constexpr std::string_view kEntryMark = "a";
constexpr size_t kSha256HexLength = 64;

std::string SafeForFileName(std::string_view text) {
    std::string out;
    for (char c : text) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '-' || c == '_' || c == '@';
        out += safe ? c : '_';
    }
    return out;
}

}  // namespace

std::string TUploadJournal::DefaultPath(const std::string& user, const std::string& host, uint16_t port) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        base = std::string(home) + "/.local/state";
    } else {
        throw Exception("neither XDG_STATE_HOME nor HOME is set: no place for the upload journal");
    }
    return base + "/brindle/upload-" + SafeForFileName(user + "@" + host + "_" + std::to_string(port)) + ".journal";
}

std::string TUploadJournal::Key(std::string_view mailbox, uint32_t uidValidity, std::string_view sha256Hex,
                                uint32_t occurrence) {
    std::string key = std::to_string(uidValidity) + ' ' + std::to_string(occurrence) + ' ';
    key += sha256Hex;
    key += ' ';
    key += mailbox;
    return key;
}

TUploadJournal::TUploadJournal(std::string path) : path_(std::move(path)) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), error);
    {
        std::ifstream in(path_, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string mark, sha;
            uint32_t validity = 0, occurrence = 0, uid = 0;
            if (!(fields >> mark >> validity >> occurrence >> sha >> uid) || mark != kEntryMark ||
                sha.size() != kSha256HexLength)
                continue;
            if (fields.get() != ' ') continue;
            std::string mailbox;
            std::getline(fields, mailbox);
            if (mailbox.empty()) continue;
            entries_.insert(Key(mailbox, validity, sha, occurrence));
        }
    }
    file_ = std::fopen(path_.c_str(), "ab+");
    if (!file_) throw Exception("cannot open the upload journal " + path_ + ": " + std::strerror(errno));
    // A line cut short by a killed process gets its end, so that the next entry stands alone.
    if (std::fseek(file_, -1, SEEK_END) == 0 && std::fgetc(file_) != '\n') {
        std::fseek(file_, 0, SEEK_END);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
}

TUploadJournal::~TUploadJournal() {
    if (file_) std::fclose(file_);
}

bool TUploadJournal::Has(std::string_view mailbox, uint32_t uidValidity, std::string_view sha256Hex,
                         uint32_t occurrence) const {
    const std::lock_guard<std::mutex> guard(lock_);
    return entries_.contains(Key(mailbox, uidValidity, sha256Hex, occurrence));
}

void TUploadJournal::Record(std::string_view mailbox, uint32_t uidValidity, std::string_view sha256Hex,
                            uint32_t occurrence, uint32_t uid) {
    const std::lock_guard<std::mutex> guard(lock_);
    std::string line = std::string(kEntryMark) + ' ' + std::to_string(uidValidity) + ' ' + std::to_string(occurrence) +
                       ' ' + std::string(sha256Hex) + ' ' + std::to_string(uid) + ' ' + std::string(mailbox) + '\n';
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
        throw Exception("cannot write the upload journal " + path_ + ": " + std::strerror(errno));
    entries_.insert(Key(mailbox, uidValidity, sha256Hex, occurrence));
}

}  // namespace brindle
