#include "ByteSource.h"

#include "Exceptions.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

class MappedFileSource final : public TByteSource {
public:
    MappedFileSource(void* map, size_t size) : map_(map), size_(size) {
        bytes_ = std::string_view(static_cast<const char*>(map), size);
    }
    ~MappedFileSource() override { munmap(map_, size_); }

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
};

class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Files that cannot be mapped are read whole.
std::string ReadWhole(int fd, const std::string& path) {
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw EFOpenError(path);
        }
        if (got == 0) break;
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

}  // namespace

// Only regular files are opened: a pipe would wait for a writer and a device such as
// /dev/zero would never end. O_NONBLOCK keeps the open itself from waiting on a pipe.
std::unique_ptr<TByteSource> TByteSource::OpenFile(const std::string& path) {
    FdGuard fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) throw EFOpenError(path);
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw EFOpenError(path);
    if (st.st_size > 0) {
        size_t size = static_cast<size_t>(st.st_size);
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (map != MAP_FAILED) return std::make_unique<MappedFileSource>(map, size);
    }
    return std::make_unique<MemorySource>(ReadWhole(fd.get(), path));
}

std::unique_ptr<TByteSource> TByteSource::FromMemory(std::string bytes) {
    return std::make_unique<MemorySource>(std::move(bytes));
}

std::unique_ptr<TByteSource> TByteSource::FromView(std::string_view bytes) {
    return std::make_unique<ViewSource>(bytes);
}

void TByteSource::ReleasePages(uint64_t, uint64_t) const {}

std::string_view TByteSource::Read(uint64_t off, uint64_t n) const {
    if (!Has(off, n)) throw EReadError();
    return bytes_.substr(static_cast<size_t>(off), static_cast<size_t>(n));
}

std::string_view TByteSource::ReadUpTo(uint64_t off, uint64_t n) const {
    if (off >= Size()) return {};
    uint64_t avail = Size() - off;
    return bytes_.substr(static_cast<size_t>(off), static_cast<size_t>(n < avail ? n : avail));
}

}  // namespace brindle
