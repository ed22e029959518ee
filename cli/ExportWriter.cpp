#include "cli/ExportWriter.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {
namespace {

const char* Find(const char* from, const char* end, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)));
}

// Checks bytes one by one: no NUL, and a LF exactly after every CR. carriedCr says that the
// byte before the first one was a CR; on return it says the same of the last byte.
bool CrLfOnlyScalar(const unsigned char* p, size_t n, bool& carriedCr) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = p[i];
        if (c == 0 || (c == '\n') != carriedCr) return false;
        carriedCr = c == '\r';
    }
    return true;
}

// True when the text holds no NUL and every CR is followed by a LF and every LF preceded by a
// CR, the last line included. One pass, sixteen bytes at a time where the machine allows.
bool HasOnlyCrLfLineEnds(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    bool carriedCr = false;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        uint32_t crBits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)));
        uint32_t lfBits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, nul)) != 0) return false;
        // A LF stands exactly one place after each CR, the CR before this chunk included.
        if (lfBits != (((crBits << 1) | (carriedCr ? 1u : 0u)) & 0xFFFFu)) return false;
        carriedCr = (crBits & 0x8000u) != 0;
    }
#endif
    return CrLfOnlyScalar(p + i, n - i, carriedCr) && !carriedCr && n >= 2 && p[n - 1] == '\n';
}

}  // namespace

std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch) {
    if (text.empty() || HasOnlyCrLfLineEnds(text)) return text;
    if (const char* nul = Find(text.data(), text.data() + text.size(), '\0'))
        text = text.substr(0, static_cast<size_t>(nul - text.data()));
    scratch.clear();
    scratch.reserve(text.size() + text.size() / 16 + 2);
    const char* pos = text.data();
    const char* end = pos + text.size();
    while (pos < end) {
        const char* lf = Find(pos, end, '\n');
        const char* lineEnd = Find(pos, lf ? lf : end, '\r');
        if (!lineEnd) lineEnd = lf ? lf : end;
        scratch.append(pos, lineEnd);
        scratch += "\r\n";
        if (lineEnd == end) break;
        pos = lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
    }
    return scratch;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw EFCreateError(path);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            ::close(fd);
            throw EWriteError();
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    if (::close(fd) != 0) throw EWriteError();
}

}  // namespace brindle
