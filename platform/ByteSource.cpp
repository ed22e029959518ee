#include "ByteSource.h"

#include "Exceptions.h"
#include "ParallelWork.h"
#include "ReadingPolicy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>

namespace brindle {
namespace {

class MemorySource final : public TByteSource {
public:
    explicit MemorySource(std::string bytes) : owned_(std::move(bytes)) { bytes_ = owned_; }

private:
    std::string owned_;
};

class ViewSource final : public TByteSource {
public:
    explicit ViewSource(std::string_view bytes) { bytes_ = bytes; }
};

// Bytes in a read buffer's block, which stays while the source holds its lease.
class LeasedSource final : public TByteSource {
public:
    LeasedSource(std::string_view bytes, std::shared_ptr<const char> lease) : lease_(std::move(lease)) {
        bytes_ = bytes;
    }

private:
    std::shared_ptr<const char> lease_;
};

// The mappings that a SIGBUS may come from. A file cut short by another program makes every
// access to its pages past the new end raise SIGBUS; the handler puts a page of zeros in the
// faulting page's place, so the access completes, and marks the mapping damaged. A mapping
// made while all kMaxGuardedMappings slots are taken is not used: the file is read whole into
// memory instead (MapOrReadWhole), so no unguarded mapping is ever read.
struct TMappedRange {
    std::atomic<uintptr_t> Begin{0};
    std::atomic<uintptr_t> End{0};
    std::atomic<bool> Damaged{false};
};
constexpr size_t kMaxGuardedMappings = 256;
TMappedRange gMappings[kMaxGuardedMappings];
std::mutex gMappingsLock;
struct sigaction gPreviousBusAction;
// Read once when the handler is installed: sysconf is not async-signal-safe by the letter
// of POSIX.
uintptr_t gPageSize = 0;

void ForwardToPreviousHandler(int signal, siginfo_t* info, void* context) {
    if (gPreviousBusAction.sa_flags & SA_SIGINFO) {
        if (gPreviousBusAction.sa_sigaction) {
            gPreviousBusAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (gPreviousBusAction.sa_handler != SIG_DFL && gPreviousBusAction.sa_handler != SIG_IGN) {
        gPreviousBusAction.sa_handler(signal);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
    raise(SIGBUS);
}

// Runs on the thread that touched the page, whichever thread that is. mmap is not on POSIX's
// list of async-signal-safe functions; the handler relies on Linux, where it is a plain
// system call that takes no lock of the C library, and on lock-free atomics for the slots.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (TMappedRange& range : gMappings) {
        if (address < range.Begin.load() || address >= range.End.load()) continue;
        const uintptr_t page = gPageSize;
        void* start = reinterpret_cast<void*>(address / page * page);
        if (mmap(start, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
        range.Damaged.store(true);
        return;
    }
    ForwardToPreviousHandler(signal, info, context);
}

void InstallBusHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        gPageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPreviousBusAction);
    });
}

// A free slot for a mapping, or null when all are taken.
TMappedRange* GuardMapping(const void* map, size_t size) {
    InstallBusHandler();
    std::lock_guard lock(gMappingsLock);
    for (TMappedRange& range : gMappings) {
        if (range.End.load() != 0) continue;
        range.Damaged.store(false);
        range.Begin.store(reinterpret_cast<uintptr_t>(map));
        range.End.store(reinterpret_cast<uintptr_t>(map) + size);
        return &range;
    }
    return nullptr;
}

void ReleaseGuard(TMappedRange* range) {
    std::lock_guard lock(gMappingsLock);
    range->End.store(0);
    range->Begin.store(0);
}

class MappedFileSource final : public TByteSource {
public:
    MappedFileSource(void* map, size_t size, TMappedRange* guard) : map_(map), size_(size), guard_(guard) {
        bytes_ = std::string_view(static_cast<const char*>(map), size);
    }
    ~MappedFileSource() override {
        ReleaseGuard(guard_);
        munmap(map_, size_);
    }

    bool Intact() const override { return !guard_->Damaged.load(); }

    void PrefetchPages(uint64_t off, uint64_t n) const override {
#ifdef MADV_POPULATE_READ
        if (off >= size_) return;
        n = std::min<uint64_t>(n, size_ - off);
        const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        const uint64_t first = off / page * page;
        // Fails harmlessly on systems without it, and on pages past a cut-short end.
        madvise(static_cast<char*>(map_) + first, static_cast<size_t>(off + n - first), MADV_POPULATE_READ);
#else
        (void)off;
        (void)n;
#endif
    }

    void ReleasePages(uint64_t off, uint64_t n) const override {
        if (off >= size_) return;
        n = std::min<uint64_t>(n, size_ - off);
        const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        const uint64_t first = off / page * page;
        const uint64_t end = std::min<uint64_t>((off + n + page - 1) / page * page, size_);
        madvise(static_cast<char*>(map_) + first, static_cast<size_t>(end - first), MADV_DONTNEED);
    }

private:
    void* map_;
    size_t size_;
    TMappedRange* guard_;
};

class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0) close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

constexpr uint64_t kHugePage = uint64_t{2} << 20;

// Reads [from, to) of the file into room at the same offsets; returns the bytes read, fewer
// when the file was cut short meanwhile.
uint64_t ReadRange(int fd, char* room, uint64_t from, uint64_t to, const std::string& path) {
    uint64_t at = from;
    while (at < to) {
        const ssize_t n = pread(fd, room + at, static_cast<size_t>(to - at), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        // The file was opened: a failure now is one of reading, at this offset.
        if (n < 0) throw EReadError(path);
        if (n == 0) break;
        at += static_cast<uint64_t>(n);
    }
    return at - from;
}

// Files that cannot be mapped are read whole.
std::string ReadWhole(int fd, const std::string& path) {
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw EReadError(path);
        }
        if (got == 0) break;
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

// Only regular files are opened: a pipe would wait for a writer and a device such as
// /dev/zero would never end. O_NONBLOCK keeps the open itself from waiting on a pipe.
int OpenRegularFile(const std::string& path, struct stat& st) {
    FdGuard fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) throw EFOpenError(path);
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw EFOpenError(path);
    return fd.release();
}

std::unique_ptr<TByteSource> MapOrReadWhole(const FdGuard& fd, const struct stat& st, const std::string& path) {
    if (st.st_size > 0) {
        size_t size = static_cast<size_t>(st.st_size);
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (map != MAP_FAILED) {
            if (TMappedRange* guard = GuardMapping(map, size))
                return std::make_unique<MappedFileSource>(map, size, guard);
            munmap(map, size);
        }
    }
    return std::make_unique<MemorySource>(ReadWhole(fd.get(), path));
}

}  // namespace

std::unique_ptr<TByteSource> TByteSource::OpenFile(const std::string& path) {
    struct stat st {};
    const FdGuard fd(OpenRegularFile(path, st));
    return MapOrReadWhole(fd, st, path);
}

char* TReadBuffer::Room(uint64_t size) {
    if (size <= capacity_ && bytes_ && bytes_.use_count() == 1) return bytes_.get();
    // Grown by half again, in whole huge pages, so that a run of growing files grows it
    // seldom.
    const uint64_t wanted = std::max<uint64_t>(size + size / 2, 1);
    const uint64_t capacity = (wanted + kHugePage - 1) / kHugePage * kHugePage;
    bytes_.reset();
    capacity_ = 0;
    char* bytes = static_cast<char*>(std::aligned_alloc(kHugePage, static_cast<size_t>(capacity)));
    if (!bytes) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(bytes, static_cast<size_t>(capacity), MADV_HUGEPAGE);  // a hint; fails harmlessly
#endif
    bytes_.reset(bytes, [](char* block) { std::free(block); });
    capacity_ = capacity;
    return bytes;
}

std::unique_ptr<TByteSource> TByteSource::OpenFile(const std::string& path, TReadBuffer& buffer, uint64_t maxRead) {
    struct stat st {};
    const FdGuard fd(OpenRegularFile(path, st));
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size > maxRead) return MapOrReadWhole(fd, st, path);
    char* room = buffer.Room(size);
    std::shared_ptr<const char> lease = buffer.Lease();
    if (!ReadingPolicy().ReadsInHalves(size))
        return std::make_unique<LeasedSource>(std::string_view(room, ReadRange(fd.get(), room, 0, size, path)),
                                              std::move(lease));
    const uint64_t middle = size / 2;
    const uint64_t bounds[] = {0, middle, size};
    uint64_t got[2] = {0, 0};
    TParallelRun run;
    RunShares(2, run, [&](size_t half) { got[half] = ReadRange(fd.get(), room, bounds[half], bounds[half + 1], path); });
    return std::make_unique<LeasedSource>(std::string_view(room, got[0] < middle ? got[0] : middle + got[1]),
                                          std::move(lease));
}

std::unique_ptr<TByteSource> TByteSource::FromMemory(std::string bytes) {
    return std::make_unique<MemorySource>(std::move(bytes));
}

std::unique_ptr<TByteSource> TByteSource::FromView(std::string_view bytes) {
    return std::make_unique<ViewSource>(bytes);
}

void TByteSource::ReleasePages(uint64_t, uint64_t) const {}

void TByteSource::EndPass(uint64_t off, uint64_t n, TFollowingPass next) const {
    if (!ReadingPolicy().KeepsPagesAfterPass(Size(), next)) ReleasePages(off, n);
}

void TByteSource::PrefetchPages(uint64_t, uint64_t) const {}

void TByteSource::CheckIntact() const {
    if (!Intact()) throw EReadError();
}

std::string_view TByteSource::Read(uint64_t off, uint64_t n) const {
    if (!Has(off, n) || !Intact()) throw EReadError();
    return bytes_.substr(static_cast<size_t>(off), static_cast<size_t>(n));
}

std::string_view TByteSource::ReadUpTo(uint64_t off, uint64_t n) const {
    if (off >= Size()) return {};
    uint64_t avail = Size() - off;
    return bytes_.substr(static_cast<size_t>(off), static_cast<size_t>(n < avail ? n : avail));
}

}  // namespace brindle
