#pragma once
// Records of varying length, millions of them, in little memory: the bytes of each record lie
// in pieces of 1 MiB that never move once made (no copy while the records grow), and those of
// 256 records in a row are found from one 64-bit start and a 32-bit offset per record.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Numbers in records: 7 bits a byte, the low ones first, the top bit set on all but the last.
void AppendPackedNumber(std::string& out, uint64_t value);
// Reads the number at `at` in bytes and moves at past it; a number cut short by the end of
// bytes ends there.
uint64_t ReadPackedNumber(std::string_view bytes, size_t& at);

class TPackedRecords {
public:
    // Room for count records, none put yet.
    void Reset(size_t count);
    void Clear();

    size_t Count() const { return offsets_.size(); }
    // Stores record i (i < Count()), of at most kMaxRecordBytes. Records are best put in
    // rising order: one put again takes new room. Throws std::length_error for a record too
    // long, or one put so far out of order that its run's offsets no longer reach it.
    void Put(size_t i, std::string_view bytes);
    // The bytes from record i's start to the end of its piece (the record knows its own
    // length); none for a record not put.
    std::optional<std::string_view> Get(size_t i) const;
    // Gives back the last piece's spare room once every record is in.
    void Seal();

    size_t MemoryUsage() const;

    static constexpr size_t kMaxRecordBytes = size_t{1} << 20;

private:
    std::vector<uint32_t> offsets_;  // from the start of the record's run; kNone when none
    std::vector<uint64_t> runStarts_;
    std::vector<std::string> pieces_;  // each filled up to its size, never past kMaxRecordBytes
};

}  // namespace brindle
