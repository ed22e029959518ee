#pragma once
// Read-only bytes of a file or of memory, addressed by offset. A file is opened for reading
// only and mapped into memory when it can be; the store never changes. When another program
// cuts a mapped file short, the pages past its new end read as zeros and the source counts as
// damaged: every later Read and every CheckIntact throws EReadError instead of the process
// ending on SIGBUS.
#include "platform/ReadingPolicy.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace brindle {

// Memory that files are read into, kept from file to file so that its pages are mapped once.
// Large buffers ask for huge pages: on some systems every page mapped costs as much as
// reading several KiB. A source read into the buffer holds a lease on its block: while one
// does, Room() neither frees that block nor hands it out again, so the source's bytes stay.
class TReadBuffer {
public:
    TReadBuffer() = default;
    TReadBuffer(const TReadBuffer&) = delete;
    TReadBuffer& operator=(const TReadBuffer&) = delete;
    // Room for at least size bytes: the block kept when it is large enough and not leased,
    // else a new one; what the buffer held before is not kept.
    char* Room(uint64_t size);
    // A lease on the block that Room() last gave.
    std::shared_ptr<const char> Lease() const { return bytes_; }

private:
    std::shared_ptr<char> bytes_;
    uint64_t capacity_ = 0;
};

class TByteSource {
public:
    virtual ~TByteSource() = default;
    TByteSource(const TByteSource&) = delete;
    TByteSource& operator=(const TByteSource&) = delete;

    // Opens a file for reading; throws EFOpenError ("Cannot open file %s") when it cannot.
    static std::unique_ptr<TByteSource> OpenFile(const std::string& path);
    // Opens a file of up to maxRead bytes by reading it into buffer, whose block the source
    // leases (for a reader that goes through every byte once: the buffer, kept from file to
    // file, is mapped memory already, while each page of a mapped file is mapped anew); a
    // larger file as OpenFile does. A file that the reading policy splits is read in two halves
    // side by side. Throws EReadError naming the file when reading fails midway.
    static std::unique_ptr<TByteSource> OpenFile(const std::string& path, TReadBuffer& buffer, uint64_t maxRead);
    // Owns a copy of the bytes.
    static std::unique_ptr<TByteSource> FromMemory(std::string bytes);
    // Borrows the bytes; they must outlive the source (fuzzers, tests).
    static std::unique_ptr<TByteSource> FromView(std::string_view bytes);

    uint64_t Size() const { return bytes_.size(); }

    // True when n bytes from off lie within the source.
    bool Has(uint64_t off, uint64_t n) const { return off <= Size() && n <= Size() - off; }

    // Exactly n bytes from off; throws EReadError ("Stream read error") when the source
    // ends first. The view stays valid while the source lives.
    std::string_view Read(uint64_t off, uint64_t n) const;

    // Whatever lies from off on, at most n bytes (empty when off is past the end).
    std::string_view ReadUpTo(uint64_t off, uint64_t n) const;

    // The whole source.
    std::string_view All() const { return bytes_; }

    // False once reading met pages that the file no longer has.
    virtual bool Intact() const { return true; }
    // Throws EReadError ("Stream read error") when the source is no longer intact; readers call
    // it after copying bytes out of All().
    void CheckIntact() const;

    // Tells the system that a range will not be needed soon. A mapped file gives back the
    // memory of those pages; the bytes stay readable and are read again on the next access.
    // Memory sources keep their bytes.
    virtual void ReleasePages(uint64_t off, uint64_t n) const;
    // Tells the system that a range will be read soon: a mapped file maps its pages at once
    // (fewer page faults for a scan). Nothing else changes.
    virtual void PrefetchPages(uint64_t off, uint64_t n) const;
    // The end of a pass over a range: its pages are given back as ReleasePages does unless the
    // reading policy keeps them for the pass that follows (TReadingPolicy::KeepsPagesAfterPass).
    void EndPass(uint64_t off, uint64_t n, TFollowingPass next) const;

    // Asks the processor to load the cache lines of a range (no page is faulted in, nothing
    // can fail): for reads that follow soon but not in a pattern the processor foresees.
    void PrefetchBytes(uint64_t off, uint64_t n) const {
        if (off >= Size()) return;
        const char* end = bytes_.data() + off + std::min<uint64_t>(n, Size() - off);
        for (const char* line = bytes_.data() + off; line < end; line += kCacheLine) __builtin_prefetch(line);
    }

protected:
    static constexpr uint64_t kCacheLine = 64;
    TByteSource() = default;
    std::string_view bytes_;
};

}  // namespace brindle
