#include "TargetFolder.h"

#include "Exceptions.h"
#include "FileNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace brindle {
namespace {

constexpr mode_t kFileMode = 0644;
// NextFreeName gives up after this many taken numbers for one name.
constexpr size_t kMaxNumber = 1'000'000;
// Attempts at a free temporary name for Replace.
constexpr int kTemporaryAttempts = 100;
constexpr mode_t kFolderMode = 0755;
// Pieces of a new file are gathered up to this size before they are written.
constexpr size_t kNewFileBuffer = 1 << 20;
// A piece of this size or more that meets an empty buffer is written as it is.
constexpr size_t kDirectWrite = 64 << 10;
// Bytes moved at a time by TakeOut.
constexpr size_t kMoveBuffer = 256 << 10;

using TFileIdentity = std::pair<dev_t, ino_t>;

struct TKeptFiles {
    std::mutex lock;
    std::set<TFileIdentity> identities;
};

TKeptFiles& KeptFiles() {
    static TKeptFiles kept;
    return kept;
}

bool IsKept(const struct stat& entry) {
    TKeptFiles& kept = KeptFiles();
    std::lock_guard<std::mutex> guard(kept.lock);
    return kept.identities.count({entry.st_dev, entry.st_ino}) != 0;
}

bool IsAcceptableName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// The names of the levels of path that are missing, the deepest first, and the nearest parent
// that is there; the parent is "." for a relative path whose first level is missing.
struct TMissingPart {
    std::vector<std::string> Names;
    std::string Parent;
};

TMissingPart FindMissingPart(const std::string& path) {
    TMissingPart part;
    std::string rest = path;
    // Each round takes one level off rest, so the walk ends within the path's length.
    while (true) {
        while (rest.size() > 1 && rest.back() == '/') rest.pop_back();
        const size_t slash = rest.find_last_of('/');
        std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") throw EFCreateError(path);
        part.Names.push_back(std::move(name));
        rest = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : rest.substr(0, slash);
        struct stat entry {};
        if (::lstat(rest.c_str(), &entry) == 0) break;
        if (errno != ENOENT || rest == "." || rest == "/") throw EFCreateError(path);
    }
    part.Parent = rest;
    return part;
}

}  // namespace

void MakeTargetFolder(const std::string& path, TMissingLevels levels) {
    if (path.empty()) throw EFCreateError(path);
    struct stat entry {};
    if (::stat(path.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode)) return;
    const TMissingPart missing = FindMissingPart(path);
    if (levels == TMissingLevels::LastOnly && missing.Names.size() > 1) throw EFCreateError(path);
    int fd = ::open(missing.Parent.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw EFCreateError(path);
    for (auto name = missing.Names.rbegin(); name != missing.Names.rend(); ++name) {
        int next = -1;
        if (::mkdirat(fd, name->c_str(), kFolderMode) == 0 || errno == EEXIST)
            next = ::openat(fd, name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        if (next < 0) throw EFCreateError(path);
        fd = next;
    }
    ::close(fd);
}

void KeepFromReplacing(const std::string& path) {
    struct stat entry {};
    if (::stat(path.c_str(), &entry) != 0) return;
    TKeptFiles& kept = KeptFiles();
    std::lock_guard<std::mutex> guard(kept.lock);
    kept.identities.insert({entry.st_dev, entry.st_ino});
}

TTargetFolder::TTargetFolder(std::string path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

TTargetFolder::TTargetFolder(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

std::unique_ptr<TTargetFolder> TTargetFolder::Duplicate() const {
    const int fd = fd_ < 0 ? -1 : ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) throw EFCreateError(path_);
    return std::unique_ptr<TTargetFolder>(new TTargetFolder(path_, fd));
}

TTargetFolder::~TTargetFolder() {
    if (fd_ >= 0) ::close(fd_);
}

std::string TTargetFolder::PathOf(std::string_view name) const {
    if (path_.empty() || path_.back() == '/') return path_ + std::string(name);
    return path_ + "/" + std::string(name);
}

bool TTargetFolder::Exists(std::string_view name) const {
    if (fd_ < 0 || !IsAcceptableName(name)) return false;
    struct stat entry {};
    return ::fstatat(fd_, std::string(name).c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TTargetFolder::RemoveFile(std::string_view name) const {
    if (fd_ < 0 || !IsAcceptableName(name)) return false;
    return ::unlinkat(fd_, std::string(name).c_str(), 0) == 0;
}

// The new file's descriptor, or -1 with errno set (EEXIST when the name is taken). With O_CREAT
// and O_EXCL the open fails on any entry of the name, a link included, so what it opens is
// always a regular file that it has just made.
int TTargetFolder::CreateExclusive(const std::string& name) const {
    ++attempts_;
    return ::openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
}

void TTargetFolder::WriteNew(int fd, const std::string& name, std::string_view bytes) const {
    bool written = WriteAll(fd, bytes);
    if (::close(fd) != 0) written = false;
    if (written) return;
    ::unlinkat(fd_, name.c_str(), 0);
    throw EWriteError(PathOf(name));
}

std::string TTargetFolder::Write(std::string_view name, std::string_view bytes, TIfExists ifExists) {
    std::string wanted(name);
    if (fd_ < 0 || !IsAcceptableName(wanted)) throw EFCreateError(PathOf(wanted));
    if (ifExists == TIfExists::NextFreeName) return WriteNextFree(wanted, bytes);
    int fd = CreateExclusive(wanted);
    if (fd >= 0) {
        WriteNew(fd, wanted, bytes);
        return wanted;
    }
    if (errno != EEXIST || ifExists != TIfExists::Replace) throw EFCreateError(PathOf(wanted));
    ReplaceEntry(wanted, bytes);
    return wanted;
}

std::string TTargetFolder::WriteNextFree(const std::string& name, std::string_view bytes) {
    std::string written;
    const int fd = CreateNextFree(name, written);
    WriteNew(fd, written, bytes);
    return written;
}

// A name that is free at once is not remembered: only names met taken get their next number
// kept, which keeps the numbering linear at one extra attempt per such name.
int TTargetFolder::CreateNextFree(const std::string& name, std::string& written) {
    const std::string first = NumberedFileName(name, 1);
    auto known = nextNumber_.find(first);
    if (known == nextNumber_.end()) {
        const int fd = CreateExclusive(first);
        if (fd >= 0) {
            written = first;
            return fd;
        }
        if (errno != EEXIST) throw EFCreateError(PathOf(name));
        known = nextNumber_.emplace(first, 2).first;
    }
    for (size_t& number = known->second; number <= kMaxNumber; ++number) {
        std::string candidate = NumberedFileName(name, number);
        const int fd = CreateExclusive(candidate);
        if (fd >= 0) {
            ++number;
            written = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) break;
    }
    throw EFCreateError(PathOf(name));
}

int TTargetFolder::CreateNamed(const std::string& name, TIfExists ifExists, std::string& written) {
    if (fd_ < 0 || !IsAcceptableName(name) || ifExists == TIfExists::Replace) throw EFCreateError(PathOf(name));
    if (ifExists == TIfExists::NextFreeName) return CreateNextFree(name, written);
    int fd = CreateExclusive(name);
    if (fd < 0) throw EFCreateError(PathOf(name));
    written = name;
    return fd;
}

std::unique_ptr<TNewFile> TTargetFolder::Create(std::string_view name, TIfExists ifExists) {
    std::string written;
    int fd = CreateNamed(std::string(name), ifExists, written);
    return std::unique_ptr<TNewFile>(new TNewFile(fd_, fd, std::move(written)));
}

std::unique_ptr<TTargetFolder> TTargetFolder::CreateSubFolder(std::string_view name, bool existingAllowed) {
    const std::string wanted(name);
    if (fd_ < 0 || !IsAcceptableName(wanted)) throw EFCreateError(PathOf(wanted));
    if (::mkdirat(fd_, wanted.c_str(), kFolderMode) != 0 && !(existingAllowed && errno == EEXIST))
        throw EFCreateError(PathOf(wanted));
    int fd = ::openat(fd_, wanted.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw EFCreateError(PathOf(wanted));
    return std::unique_ptr<TTargetFolder>(new TTargetFolder(PathOf(wanted), fd));
}

void TTargetFolder::MakeSubFolder(std::string_view name) {
    const std::string wanted(name);
    if (fd_ < 0 || !IsAcceptableName(wanted) || ::mkdirat(fd_, wanted.c_str(), kFolderMode) != 0)
        throw EFCreateError(PathOf(wanted));
}

bool TTargetFolder::MakeSubFolderIfFree(std::string_view name) {
    const std::string wanted(name);
    if (fd_ < 0 || !IsAcceptableName(wanted)) throw EFCreateError(PathOf(wanted));
    if (::mkdirat(fd_, wanted.c_str(), kFolderMode) == 0) return true;
    if (errno == EEXIST) return false;
    throw EFCreateError(PathOf(wanted));
}

std::unique_ptr<TTargetFolder> TTargetFolder::OpenSubFolder(std::string_view name) const {
    const std::string wanted(name);
    if (fd_ < 0 || !IsAcceptableName(wanted)) throw EFCreateError(PathOf(wanted));
    const int fd = ::openat(fd_, wanted.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw EFCreateError(PathOf(wanted));
    return std::unique_ptr<TTargetFolder>(new TTargetFolder(PathOf(wanted), fd));
}

void TTargetFolder::ReplaceEntry(const std::string& name, std::string_view bytes) {
    struct stat old {};
    if (::fstatat(fd_, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(old.st_mode) || IsKept(old))
        throw EFCreateError(PathOf(name));
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < kTemporaryAttempts && fd < 0; ++attempt) {
        temporary = ".brindle-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part";
        fd = CreateExclusive(temporary);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw EFCreateError(PathOf(name));
    WriteNew(fd, temporary, bytes);
    if (::renameat(fd_, temporary.c_str(), fd_, name.c_str()) != 0) {
        ::unlinkat(fd_, temporary.c_str(), 0);
        throw EFCreateError(PathOf(name));
    }
}

TNewFile::~TNewFile() {
    if (fd_ >= 0) Fail();
}

void TNewFile::Fail() {
    ::close(fd_);
    fd_ = -1;
    ::unlinkat(folderFd_, name_.c_str(), 0);
}

void TNewFile::Flush() {
    if (fd_ < 0 || failed_) throw EWriteError(name_);
    WriteOut(buffer_);
    buffer_.clear();
}

void TNewFile::WriteOut(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            buffer_.clear();
            if (keepAfterError_)
                failed_ = true;
            else
                Fail();
            throw EWriteError(name_);
        }
        written_ += static_cast<uint64_t>(written);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

void TNewFile::Append(std::string_view bytes) {
    if (fd_ < 0 || failed_) throw EWriteError(name_);
    if (buffer_.empty() && bytes.size() >= kDirectWrite) {
        // A large piece goes out as it is, without a copy.
        WriteOut(bytes);
        return;
    }
    buffer_.append(bytes);
    if (buffer_.size() >= kNewFileBuffer) Flush();
}

void TNewFile::FinishAt(uint64_t size) {
    if (fd_ < 0) throw EWriteError(name_);
    if (!failed_ && !buffer_.empty()) {
        try {
            Flush();
        } catch (const EWriteError&) {
            if (fd_ < 0) throw;
        }
    }
    const bool cut = ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || !cut) {
        ::unlinkat(folderFd_, name_.c_str(), 0);
        throw EWriteError(name_);
    }
}

// Moves the bytes [from, to) of the file down to at.
bool TNewFile::MoveDown(uint64_t from, uint64_t to, uint64_t at, std::string& buffer) const {
    buffer.resize(static_cast<size_t>(std::min<uint64_t>(kMoveBuffer, to - from)));
    while (from < to) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), to - from));
        const ssize_t got = ::pread(fd_, buffer.data(), want, static_cast<off_t>(from));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        for (size_t done = 0; done < static_cast<size_t>(got);) {
            const ssize_t put = ::pwrite(fd_, buffer.data() + done, static_cast<size_t>(got) - done,
                                         static_cast<off_t>(at + done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += static_cast<size_t>(put);
        }
        from += static_cast<uint64_t>(got);
        at += static_cast<uint64_t>(got);
    }
    return true;
}

void TNewFile::TakeOut(std::span<const std::pair<uint64_t, uint64_t>> ranges) {
    Flush();
    if (ranges.empty()) return;
    const auto fail = [this] {
        Fail();
        throw EWriteError(name_);
    };
    uint64_t at = ranges.front().first;
    std::string buffer;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const auto [first, second] = ranges[i];
        const uint64_t kept = i + 1 < ranges.size() ? ranges[i + 1].first : written_;
        if (second < first || kept < second) fail();
        if (!MoveDown(second, kept, at, buffer)) fail();
        at += kept - second;
    }
    if (::ftruncate(fd_, static_cast<off_t>(at)) != 0 || ::lseek(fd_, static_cast<off_t>(at), SEEK_SET) < 0) fail();
    written_ = at;
}

void TNewFile::Finish(std::optional<int64_t> modified) {
    Flush();
    if (modified) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*modified), 0}};
        if (::futimens(fd_, times) != 0) {
            Fail();
            throw EWriteError(name_);
        }
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        ::unlinkat(folderFd_, name_.c_str(), 0);
        throw EWriteError(name_);
    }
}

}  // namespace brindle
