#include "store/PackedRecords.h"

#include <limits>
#include <stdexcept>

namespace brindle {
namespace {

constexpr size_t kRunShift = 8;  // 256 records per run
constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
constexpr uint64_t kNoStart = std::numeric_limits<uint64_t>::max();
constexpr size_t kPieceSize = TPackedRecords::kMaxRecordBytes;

}  // namespace

void AppendPackedNumber(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

uint64_t ReadPackedNumber(std::string_view bytes, size_t& at) {
    uint64_t value = 0;
    for (unsigned shift = 0; at < bytes.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) break;
    }
    return value;
}

void TPackedRecords::Reset(size_t count) {
    Clear();
    offsets_.assign(count, kNone);
    runStarts_.assign((count >> kRunShift) + 1, kNoStart);
}

void TPackedRecords::Clear() {
    std::vector<uint32_t>().swap(offsets_);
    std::vector<uint64_t>().swap(runStarts_);
    std::vector<std::string>().swap(pieces_);
}

void TPackedRecords::Put(size_t i, std::string_view bytes) {
    if (bytes.size() > kPieceSize) throw std::length_error("packed record too long");
    if (pieces_.empty() || pieces_.back().size() + bytes.size() > kPieceSize) pieces_.emplace_back().reserve(kPieceSize);
    const uint64_t position = uint64_t{pieces_.size() - 1} * kPieceSize + pieces_.back().size();
    uint64_t& runStart = runStarts_[i >> kRunShift];
    if (runStart == kNoStart) runStart = position;
    if (position - runStart >= kNone) throw std::length_error("packed records put out of order");
    pieces_.back().append(bytes);
    offsets_[i] = static_cast<uint32_t>(position - runStart);
}

std::optional<std::string_view> TPackedRecords::Get(size_t i) const {
    if (i >= offsets_.size() || offsets_[i] == kNone) return std::nullopt;
    const uint64_t position = runStarts_[i >> kRunShift] + offsets_[i];
    return std::string_view(pieces_[static_cast<size_t>(position / kPieceSize)]).substr(position % kPieceSize);
}

void TPackedRecords::Seal() {
    if (!pieces_.empty()) pieces_.back().shrink_to_fit();
}

size_t TPackedRecords::MemoryUsage() const {
    size_t bytes = offsets_.capacity() * sizeof(uint32_t) + runStarts_.capacity() * sizeof(uint64_t);
    for (const std::string& piece : pieces_) bytes += piece.capacity();
    return bytes;
}

}  // namespace brindle
