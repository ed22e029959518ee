#include "mime/Decoders.h"

#include "platform/TextRules.h"

#include <array>
#include <bit>
#include <cstring>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace brindle {
namespace {

constexpr uint8_t kSkip = 0xFF;
constexpr uint8_t kPad = 64;
constexpr size_t kUUFullLineBytes = 45;
constexpr size_t kUUFullLineChars = 60;

constexpr std::array<uint8_t, 256> MakeBase64Table() {
    std::array<uint8_t, 256> table{};
    for (auto& value : table) value = kSkip;
    for (int i = 0; i < 26; ++i) {
        table['A' + i] = static_cast<uint8_t>(i);
        table['a' + i] = static_cast<uint8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<uint8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    table['='] = kPad;
    return table;
}

constexpr std::array<uint8_t, 256> kBase64 = MakeBase64Table();

// For the fast path: per place in a group, each character's bits already moved to where its
// bytes go in memory order (first byte lowest); characters that are no data (pad, skipped
// ones) set kNotData.
constexpr uint32_t kNotData = 0x01000000;

struct TPlaceTables {
    std::array<uint32_t, 256> place[4];
};

constexpr TPlaceTables MakePlaceTables() {
    TPlaceTables tables{};
    for (int ch = 0; ch < 256; ++ch) {
        uint32_t v = kBase64[static_cast<size_t>(ch)];
        if (v >= kPad) {
            for (auto& place : tables.place) place[static_cast<size_t>(ch)] = kNotData;
            continue;
        }
        tables.place[0][static_cast<size_t>(ch)] = v << 2;
        tables.place[1][static_cast<size_t>(ch)] = (v >> 4) | ((v & 0x0F) << 12);
        tables.place[2][static_cast<size_t>(ch)] = ((v >> 2) << 8) | ((v & 0x03) << 22);
        tables.place[3][static_cast<size_t>(ch)] = v << 16;
    }
    return tables;
}

constexpr TPlaceTables kPlaces = MakePlaceTables();

// Writes the three bytes of a fast-path group; writes a fourth byte of scratch after them.
inline void StoreGroup(char* out, uint32_t bytes) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &bytes, 4);
    } else {
        out[0] = static_cast<char>(bytes);
        out[1] = static_cast<char>(bytes >> 8);
        out[2] = static_cast<char>(bytes >> 16);
    }
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Length of the soft line break at text[pos] (just after an "="): optional spaces or tabs,
// then CR LF, CR or LF. 0 when there is none.
size_t SoftBreakLength(std::string_view text, size_t pos) {
    size_t i = pos;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == text.size() || !IsLineEnd(text[i])) return 0;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') return i + 2 - pos;
    return i + 1 - pos;
}

// Decodes one group of four values (pads marked kPad) into out; returns the byte count: none
// when the first or second value is a pad, one when the third is, two when the fourth is.
size_t DecodeGroup(const uint8_t group[4], char* out) {
    uint8_t a = group[0], b = group[1], c = group[2], d = group[3];
    if (a == kPad || b == kPad) return 0;
    size_t length = c == kPad ? 1 : d == kPad ? 2 : 3;
    if (c == kPad) c = 0;
    if (d == kPad) d = 0;
    out[0] = static_cast<char>((a << 2) | (b >> 4));
    out[1] = static_cast<char>(((b & 0x0F) << 4) | (c >> 2));
    out[2] = static_cast<char>(((c & 0x03) << 6) | d);
    return length;
}

// Asks for large pages behind a large buffer about to be written: one fault per 2 MiB instead
// of one per 4 KiB. Only the whole large pages inside the buffer are asked for.
void AdviseLargePages(std::string& buffer) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    auto first = (reinterpret_cast<uintptr_t>(buffer.data()) + kLargePage - 1) & ~(kLargePage - 1);
    auto end = (reinterpret_cast<uintptr_t>(buffer.data()) + buffer.capacity()) & ~(kLargePage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)buffer;
#endif
}

[[noreturn]] void InvalidStreamOperation() { throw EStreamError("Invalid stream operation"); }

}  // namespace

char* TBase64DecodingStream::DecodeInto(std::string_view text, char* out) {
    const auto* in = reinterpret_cast<const uint8_t*>(text.data());
    const size_t count = text.size();
    // The group state lives in locals here: stores through out could alias the members and
    // would make the compiler reload them for every character.
    uint8_t group[4] = {group_[0], group_[1], group_[2], group_[3]};
    int groupCount = groupCount_;
    size_t i = 0;
    while (i < count) {
        // Whole groups of four data characters, the usual case, go in one step.
        if (groupCount == 0) {
            while (count - i >= 4) {
                uint32_t bytes = kPlaces.place[0][in[i]] | kPlaces.place[1][in[i + 1]] | kPlaces.place[2][in[i + 2]] |
                                 kPlaces.place[3][in[i + 3]];
                if (bytes & kNotData) break;
                StoreGroup(out, bytes);
                out += 3;
                i += 4;
            }
            if (i == count) break;
        }
        uint8_t value = kBase64[in[i++]];
        if (value == kSkip) continue;
        group[groupCount++] = value;
        if (groupCount == 4) {
            groupCount = 0;
            out += DecodeGroup(group, out);
        }
    }
    for (int k = 0; k < 4; ++k) group_[k] = group[k];
    groupCount_ = groupCount;
    return out;
}

char* TBase64DecodingStream::FinishInto(char* out) {
    int groupCount = groupCount_;
    groupCount_ = 0;
    if (groupCount < 2) return out;
    for (int k = groupCount; k < 4; ++k) group_[k] = kPad;
    return out + DecodeGroup(group_, out);
}

size_t TBase64DecodingStream::Finish() {
    char bytes[3];
    size_t produced = static_cast<size_t>(FinishInto(bytes) - bytes);
    output_.append(bytes, produced);
    return produced;
}

size_t TBase64DecodingStream::Write(const void* buffer, size_t count) {
    size_t before = output_.size();
    output_.resize(before + MaxDecodedSize(count));
    char* first = output_.data() + before;
    char* end = DecodeInto(std::string_view(static_cast<const char*>(buffer), count), first);
    size_t produced = static_cast<size_t>(end - first);
    output_.resize(before + produced);
    return produced;
}

size_t TBase64DecodingStream::Read(void*, size_t) { InvalidStreamOperation(); }
int64_t TBase64DecodingStream::Seek(int64_t, int) { InvalidStreamOperation(); }
int64_t TBase64DecodingStream::Size() const { InvalidStreamOperation(); }
int64_t TBase64DecodingStream::Position() const { InvalidStreamOperation(); }

std::string DecodeQuotedPrintable(std::string_view text, bool underscoreAsSpace) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '_' && underscoreAsSpace) {
            out += ' ';
            ++i;
            continue;
        }
        if (c != '=') {
            out += c;
            ++i;
            continue;
        }
        if (size_t soft = SoftBreakLength(text, i + 1); soft > 0) {
            i += 1 + soft;
            continue;
        }
        if (text.size() - i < 3) break;
        int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            out.append(text.substr(i, 3));
            i += 3;
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}

uint8_t UUCharValue(char c) {
    auto code = static_cast<uint8_t>(c);
    if (code == '`' || code == ' ') return 0;
    if (code >= 33 && code <= 95) return static_cast<uint8_t>(code - 32);
    throw EUUDecodeError();
}

void UUDecodeLine(std::string_view line, std::string& out) {
    if (line.empty()) return;
    size_t count = UUCharValue(line[0]);
    std::string_view chars = line.substr(1);
    if (count == kUUFullLineBytes && chars.size() < kUUFullLineChars) throw EUUDecodeError();
    chars = chars.substr(0, kUUFullLineChars);
    char bytes[kUUFullLineBytes] = {};
    size_t bits = 0;
    uint32_t buffer = 0;
    size_t produced = 0;
    for (char c : chars) {
        buffer = (buffer << 6) | UUCharValue(c);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes[produced++] = static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    out.append(bytes, count < kUUFullLineBytes ? count : kUUFullLineBytes);
}

void DecodeBase64Attachment(const TLineRuns& lines, std::string& data,
                            const std::function<void(std::string_view)>& done) {
    // The decoded bytes go to their final buffer through a small one that stays in the cache,
    // so that the final buffer is neither zero-filled first nor copied afterwards.
    constexpr size_t kStep = 16384;
    constexpr size_t kDonePiece = size_t{1} << 20;
    char step[TBase64DecodingStream::MaxDecodedSize(kStep)];
    size_t encoded = 0;
    for (const TLineRange& run : lines) encoded += run.Bytes().size();
    std::string decoded;
    decoded.reserve(encoded / 4 * 3 + 3);
    AdviseLargePages(decoded);
    std::string unused;
    TBase64DecodingStream decoder(unused);
    for (const TLineRange& run : lines) {
        std::string_view bytes = run.Bytes();
        size_t reported = 0;
        for (size_t at = 0; at < bytes.size(); at += kStep) {
            char* end = decoder.DecodeInto(bytes.substr(at, kStep), step);
            decoded.append(step, static_cast<size_t>(end - step));
            if (done && at + kStep - reported >= kDonePiece) {
                done(bytes.substr(reported, at + kStep - reported));
                reported = at + kStep;
            }
        }
        if (done && reported < bytes.size()) done(bytes.substr(reported));
    }
    char* end = decoder.FinishInto(step);
    decoded.append(step, static_cast<size_t>(end - step));
    data = std::move(decoded);
}

void DecodeUUAttachment(const TLineRuns& lines, std::string& data, TUUEmptyLines empty) {
    data.clear();
    size_t index = 0;
    for (const TLineRange& run : lines) {
        for (std::string_view line : run) {
            if (empty == TUUEmptyLines::Skip && line.empty()) continue;
            if (index > 1 && (line == "end" || line == "`")) return;
            if (index > 0) UUDecodeLine(line, data);
            ++index;
        }
    }
}

}  // namespace brindle
