#include "StringList.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {
namespace {

constexpr size_t kBlock = 16;

// The position of the first CR or LF in [pos, size), or npos; adds the bytes it looked at
// to examined.
size_t FindLineEndCounting(std::string_view text, size_t pos, size_t& examined) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = pos;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + kBlock <= n; i += kBlock) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto hits = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        if (hits != 0) {
            examined += i + kBlock - pos;
            return i + static_cast<size_t>(__builtin_ctz(hits));
        }
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' || p[i] == '\n') {
            examined += i + 1 - pos;
            return i;
        }
    }
    examined += n - pos;
    return std::string_view::npos;
}

// Where the line after the one ended at end begins.
size_t AfterLineEnd(std::string_view text, size_t end) {
    return end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
}

// Calls onLine(line) for every line of the text up to its first NUL.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine onLine) {
    ForEachLineOfBytes(UpToNul(text), onLine);
}

std::string WithCrLfAfterEveryLine(std::string_view text, bool keepNul) {
    std::string out;
    out.reserve(text.size() + 2);
    auto append = [&](std::string_view line) {
        out += line;
        out += "\r\n";
    };
    if (keepNul)
        ForEachLineOfBytes(text, append);
    else
        ForEachLine(text, append);
    return out;
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

std::string_view UpToNul(std::string_view text) {
    size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

size_t FindLineEnd(std::string_view text, size_t pos) {
    size_t examined = 0;
    return FindLineEndCounting(text, pos, examined);
}

bool TLineReader::Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = FindLineEndCounting(text_, pos_, examined_);
    if (end == std::string_view::npos) {
        line = text_.substr(pos_);
        pos_ = text_.size();
    } else {
        line = text_.substr(pos_, end - pos_);
        pos_ = AfterLineEnd(text_, end);
    }
    return true;
}

void TLineRange::iterator::Find() {
    if (pos_ >= text_.size()) {
        pos_ = lineEnd_ = next_ = text_.size();
        return;
    }
    size_t end = FindLineEnd(text_, pos_);
    if (end == std::string_view::npos) {
        lineEnd_ = next_ = text_.size();
    } else {
        lineEnd_ = end;
        next_ = AfterLineEnd(text_, end);
    }
}

TStringList::TStringList(std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines) push_back(line);
}

TStringList::TStringList(size_t count, std::string_view line) {
    for (size_t i = 0; i < count; ++i) push_back(line);
}

std::string_view TStringList::operator[](size_t index) const {
    if (index >= size()) throw std::out_of_range("string list index out of range");
    TLineRange::iterator it(bytes_, checkpoints_[index / kCheckpointStride]);
    for (size_t skip = index % kCheckpointStride; skip > 0; --skip) ++it;
    return *it;
}

TStringList::TStringList(const TStringList& other)
    : own_(other.own_),
      keeper_(other.keeper_),
      release_(other.release_),
      indexedTo_(other.indexedTo_),
      count_(other.count_),
      checkpoints_(other.checkpoints_) {
    Rebind(other.bytes_);
}

TStringList::TStringList(TStringList&& other) noexcept
    : own_(std::move(other.own_)),
      keeper_(std::move(other.keeper_)),
      release_(std::move(other.release_)),
      indexedTo_(other.indexedTo_),
      count_(other.count_),
      checkpoints_(std::move(other.checkpoints_)) {
    Rebind(other.bytes_);
    other.clear();
}

TStringList& TStringList::operator=(const TStringList& other) {
    if (this != &other) *this = TStringList(other);
    return *this;
}

TStringList& TStringList::operator=(TStringList&& other) noexcept {
    if (this == &other) return *this;
    own_ = std::move(other.own_);
    keeper_ = std::move(other.keeper_);
    release_ = std::move(other.release_);
    indexedTo_ = other.indexedTo_;
    count_ = other.count_;
    checkpoints_ = std::move(other.checkpoints_);
    Rebind(other.bytes_);
    other.clear();
    return *this;
}

void TStringList::Rebind(std::string_view borrowed) { bytes_ = keeper_ ? borrowed : std::string_view(own_); }

std::string& TStringList::Own() {
    if (keeper_) {
        own_.assign(bytes_);
        keeper_.reset();
        release_ = nullptr;
    }
    return own_;
}

void TStringList::EndLastLine() {
    // A final CR becomes CR LF and a final unended line gets a LF: the lines stay the same.
    // Lines counted up to the end stay counted: the new LF belongs to the last of them.
    if (own_.empty() || own_.back() == '\n') return;
    bool countedToEnd = indexedTo_ == own_.size();
    own_ += '\n';
    if (countedToEnd) indexedTo_ = own_.size();
}

size_t TStringList::size() const {
    EnsureIndex();
    return count_;
}

void TStringList::EnsureIndex() const {
    if (indexedTo_ >= bytes_.size()) return;
    TLineReader reader(bytes_, indexedTo_);
    std::string_view line;
    for (size_t start = indexedTo_; reader.Next(line); start = reader.Position()) {
        if (count_ % kCheckpointStride == 0) checkpoints_.push_back(start);
        ++count_;
    }
    indexedTo_ = bytes_.size();
}

void TStringList::ReleaseBytes(std::string_view bytes) const {
    if (!release_ || bytes.empty() || bytes.data() < bytes_.data() ||
        bytes.data() + bytes.size() > bytes_.data() + bytes_.size())
        return;
    release_(static_cast<size_t>(bytes.data() - bytes_.data()), bytes.size());
}

void TStringList::push_back(std::string_view line) {
    Own();
    EndLastLine();
    own_ += line;
    own_ += '\n';
    Rebind({});
}

void TStringList::AppendText(std::string_view text) { AppendBytes(UpToNul(text)); }

void TStringList::AppendBytes(std::string_view bytes) {
    if (bytes.empty()) return;
    Own();
    EndLastLine();
    own_ += bytes;
    Rebind({});
}

void TStringList::Assign(std::string text) {
    clear();
    own_ = std::move(text);
    own_.resize(UpToNul(own_).size());
    Rebind({});
}

void TStringList::AssignView(std::string_view text, std::shared_ptr<const void> keeper, TRelease release) {
    AssignAllView(UpToNul(text), std::move(keeper), std::move(release));
}

void TStringList::AssignAll(std::string text) {
    clear();
    own_ = std::move(text);
    Rebind({});
}

void TStringList::AssignAllView(std::string_view text, std::shared_ptr<const void> keeper, TRelease release) {
    clear();
    keeper_ = std::move(keeper);
    release_ = std::move(release);
    Rebind(text);
}

void TStringList::clear() {
    std::string().swap(own_);
    keeper_.reset();
    release_ = nullptr;
    bytes_ = {};
    std::vector<size_t>().swap(checkpoints_);
    count_ = 0;
    indexedTo_ = 0;
}

bool operator==(const TStringList& a, const TStringList& b) {
    if (a.bytes_ == b.bytes_) return true;
    auto left = a.begin(), leftEnd = a.end();
    auto right = b.begin(), rightEnd = b.end();
    for (; left != leftEnd && right != rightEnd; ++left, ++right)
        if (*left != *right) return false;
    return left == leftEnd && right == rightEnd;
}

TStringList SplitLines(std::string_view text) {
    TStringList list;
    list.AppendText(text);
    return list;
}

void AppendLines(TStringList& list, std::string_view text) { list.AppendText(text); }

std::string JoinRange(TLineRange lines) {
    std::string text;
    text.reserve(lines.Bytes().size() + 2);
    for (std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string JoinLines(const TStringList& list) { return JoinRange(list.Lines()); }

std::string NormalizeLineEnds(std::string_view text) { return WithCrLfAfterEveryLine(text, false); }

std::string NormalizeLineEndsKeepingNul(std::string_view text) { return WithCrLfAfterEveryLine(text, true); }

std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch) {
    if (!text.empty() && HasOnlyCrLfLineEnds(text)) return text;
    scratch = NormalizeLineEndsKeepingNul(text);
    return scratch;
}

}  // namespace brindle
