#include "mailbox/Duplicates.h"

#include "mailbox/CodePage.h"
#include "mailbox/Rescue.h"
#include "platform/ByteSource.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/ParallelWork.h"
#include "store/StoreOpener.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <system_error>

namespace brindle {
namespace {

// Stores up to this size are read into a buffer each thread keeps; larger ones are mapped.
constexpr uint64_t kStoreReadLimit = uint64_t{16} << 20;
// A header block is looked for in this much of a text at most.
constexpr size_t kHeaderLimit = size_t{64} << 10;
// Stores read side by side by FindDuplicates.
constexpr unsigned kSurveyThreads = 2;

constexpr size_t kDigestKeyBytes = 32;
// Room made ahead for at most this many keys: the counts it comes from are the stores' own
// claims.
constexpr size_t kMaxExpectedKeys = size_t{1} << 17;

// Poly1305 and the process's key for it, made once.
struct TDigestAlgorithm {
    EVP_MAC* Mac = nullptr;
    std::array<unsigned char, kDigestKeyBytes> Key{};

    TDigestAlgorithm() {
        // The library's clean-up at exit costs a short export more than its digests do; the
        // process ends right after it anyway.
        OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
        Mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_POLY1305, nullptr);
        if (!Mac || getentropy(Key.data(), Key.size()) != 0)
            throw Exception("The message digest (Poly1305) is not available.");
    }
};

const TDigestAlgorithm& DigestAlgorithm() {
    static const TDigestAlgorithm algorithm;
    return algorithm;
}

struct TMacContextFree {
    void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};

TMessageDigest DigestOf(std::string_view bytes) {
    const TDigestAlgorithm& algorithm = DigestAlgorithm();
    // One context per thread, set up again with the key for each text.
    thread_local std::unique_ptr<EVP_MAC_CTX, TMacContextFree> context(EVP_MAC_CTX_new(algorithm.Mac));
    TMessageDigest digest;
    size_t length = 0;
    if (!context || EVP_MAC_init(context.get(), algorithm.Key.data(), algorithm.Key.size(), nullptr) != 1 ||
        EVP_MAC_update(context.get(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1 ||
        EVP_MAC_final(context.get(), digest.data(), &length, digest.size()) != 1 || length != digest.size())
        throw Exception("A message digest cannot be made.");
    return digest;
}

// A digest that cannot be set up there throws again when it is first asked for; without a
// thread to spare it is set up then.
std::future<void> PrepareDigestAside() {
    try {
        return std::async(std::launch::async, [] { DigestAlgorithm(); });
    } catch (const std::system_error&) {
        return {};
    }
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Appends text with its white space trimmed and each run of it as one space.
void AppendCollapsed(std::string& out, std::string_view text) {
    bool space = false;
    for (char c : Trimmed(text)) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            space = true;
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
}

// Where a field's value lies in the header: from after its colon to the end of its last
// continuation line.
struct TFieldRange {
    size_t Begin = 0;
    size_t End = 0;
};

// In one pass over the header block of header (cut to kHeaderLimit before): for each of names,
// where the value of the first field of that name (any case) lies. Each line is looked at for
// every name not found yet, continuation lines too, as a pass for each name alone would.
void FindFirstFields(std::string_view header, std::span<const std::string_view> names,
                     std::span<std::optional<TFieldRange>> found) {
    size_t missing = names.size();
    size_t pos = 0;
    while (pos < header.size() && missing > 0) {
        size_t end = header.find('\n', pos);
        if (end == std::string_view::npos) end = header.size();
        std::string_view line = header.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return;  // the header block ends
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view name = Trimmed(line.substr(0, colon));
            for (size_t i = 0; i < names.size(); ++i) {
                if (found[i] || !SameNameIgnoringCase(name, names[i])) continue;
                TFieldRange range{pos + colon + 1, end};
                // Continuation lines begin with white space.
                for (size_t next = end + 1; next < header.size() && (header[next] == ' ' || header[next] == '\t');) {
                    range.End = std::min(header.find('\n', next), header.size());
                    next = range.End + 1;
                }
                found[i] = range;
                --missing;
            }
        }
        pos = end + 1;
    }
}

std::string_view HeaderOf(std::string_view text) { return text.substr(0, std::min(text.size(), kHeaderLimit)); }

std::string_view ValueIn(std::string_view header, const TFieldRange& range) {
    return header.substr(range.Begin, range.End - range.Begin);
}

}  // namespace

std::optional<TDuplicateMode> DuplicateModeNamed(std::string_view name) {
    if (name == "text") return TDuplicateMode::Text;
    if (name == "message-id") return TDuplicateMode::MessageId;
    return std::nullopt;
}

size_t TMessageDigestHash::operator()(const TMessageDigest& digest) const noexcept {
    // The digest is uniform already: its first bytes make a good hash.
    size_t value = 0;
    std::memcpy(&value, digest.data(), sizeof value);
    return value;
}

std::optional<std::string> HeaderBlockField(std::string_view text, std::string_view name) {
    const std::string_view header = HeaderOf(text);
    std::optional<TFieldRange> found;
    FindFirstFields(header, std::span(&name, 1), std::span(&found, 1));
    if (!found) return std::nullopt;
    std::string value;
    AppendCollapsed(value, ValueIn(header, *found));
    return value;
}

std::optional<TMessageDigest> DuplicateKeyOf(std::string_view text, TDuplicateMode mode) {
    if (mode == TDuplicateMode::Text) return DigestOf(text);
    static constexpr std::string_view kKeyFields[] = {"Message-ID", "Date"};
    const std::string_view header = HeaderOf(text);
    std::optional<TFieldRange> found[std::size(kKeyFields)];
    FindFirstFields(header, kKeyFields, found);
    if (!found[0]) return std::nullopt;
    // Made again for each message in the same room.
    thread_local std::string key;
    key.clear();
    AppendCollapsed(key, ValueIn(header, *found[0]));
    if (key.empty()) return std::nullopt;
    // NUL cannot stand in a header field, so the pair cannot be read two ways.
    key += '\0';
    if (found[1]) AppendCollapsed(key, ValueIn(header, *found[1]));
    return DigestOf(key);
}

TDuplicateFilter::TDuplicateFilter(TDuplicateMode mode) : mode_(mode), digestReady_(PrepareDigestAside()) {}

bool TDuplicateFilter::Admit(std::string_view text, std::string_view folder, int32_t index) {
    return Admit(KeyOf(text), folder, index);
}

bool TDuplicateFilter::Admit(const std::optional<TMessageDigest>& key, std::string_view folder, int32_t index) {
    if (!key) return true;
    const std::lock_guard<std::mutex> guard(lock_);
    return AdmitLocked(*key, FolderNumber(folder), index);
}

void TDuplicateFilter::AdmitRun(std::span<TRunMessage> run, std::string_view folder) {
    const std::lock_guard<std::mutex> guard(lock_);
    const uint32_t number = FolderNumber(folder);
    for (TRunMessage& message : run) message.Admitted = !*message.Key || AdmitLocked(**message.Key, number, message.Index);
}

bool TDuplicateFilter::AdmitLocked(const TMessageDigest& key, uint32_t number, int32_t index) {
    bool inserted = false;
    const TFirst first = first_.Insert(key, TFirst{number, index}, inserted);
    if (inserted) return true;
    ++skippedCount_;
    const uint64_t pair = (uint64_t{number} << 32) | first.Folder;
    const auto [at, newPair] = skippedPairs_.try_emplace(pair, skipped_.size());
    if (newPair) skipped_.push_back({folders_[number], folders_[first.Folder], 0});
    ++skipped_[at->second].Count;
    return false;
}

void TDuplicateFilter::Expect(size_t messages) {
    const std::lock_guard<std::mutex> guard(lock_);
    first_.Reserve(std::min(messages, kMaxExpectedKeys));
}

TDuplicateFilter::TFirst TDuplicateFilter::TFirstCopies::Insert(const TMessageDigest& key, TFirst place,
                                                               bool& inserted) {
    if (2 * (used_ + 1) > tags_.size()) Rehash(std::max(kFirstSlots, 2 * tags_.size()));
    const size_t mask = tags_.size() - 1;
    const size_t hash = TMessageDigestHash()(key);
    const uint32_t tag = TagOf(hash);
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        if (tags_[at] == 0) {
            slots_[at] = {key, place};
            tags_[at] = tag;
            ++used_;
            inserted = true;
            return place;
        }
        if (tags_[at] == tag && slots_[at].Key == key) {
            inserted = false;
            return slots_[at].First;
        }
    }
}

void TDuplicateFilter::TFirstCopies::Reserve(size_t keys) {
    size_t slots = std::max(kFirstSlots, tags_.size());
    while (slots < 2 * keys) slots *= 2;
    if (slots > tags_.size()) Rehash(slots);
}

void TDuplicateFilter::TFirstCopies::Rehash(size_t slots) {
    std::vector<uint32_t> tags(slots);
    // Left unset: a slot is read only once its tag is set.
    std::unique_ptr<TSlot[]> fresh(new TSlot[slots]);
    const size_t mask = slots - 1;
    for (size_t i = 0; i < tags_.size(); ++i) {
        if (tags_[i] == 0) continue;
        size_t at = TMessageDigestHash()(slots_[i].Key) & mask;
        while (tags[at] != 0) at = (at + 1) & mask;
        tags[at] = tags_[i];
        fresh[at] = slots_[i];
    }
    tags_.swap(tags);
    slots_ = std::move(fresh);
}

uint32_t TDuplicateFilter::FolderNumber(std::string_view folder) {
    // Messages come folder after folder: the last one is asked for most.
    if (!folders_.empty() && folders_.back() == folder) return static_cast<uint32_t>(folders_.size() - 1);
    const auto [at, inserted] = folderNumbers_.try_emplace(std::string(folder), static_cast<uint32_t>(folders_.size()));
    if (inserted) folders_.emplace_back(folder);
    return at->second;
}

size_t TDuplicateFilter::Skipped() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return skippedCount_;
}

std::vector<TSkippedCopies> TDuplicateFilter::SkippedByFolder() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return skipped_;
}

namespace {

struct TStoreKeys {
    std::vector<std::pair<TMessageDigest, TFoundCopy>> Keys;
    size_t Messages = 0;
    std::optional<std::string> Problem;
};

void KeysFromReader(TOEReader& reader, size_t node, const std::string& codePage, TDuplicateMode mode,
                    TStoreKeys& keys) {
    const int32_t count = std::max(reader.GetMessageCount(), 0);
    keys.Keys.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        std::string text;
        try {
            text = reader.GetMessageText(i);
        } catch (const Exception&) {
            continue;  // an unreadable text has no copy to be found
        }
        ++keys.Messages;
        if (std::optional<TMessageDigest> key = DuplicateKeyOf(text, mode)) {
            const TMessageInfo info = reader.GetMessageInfo(i);
            keys.Keys.push_back({*key, TFoundCopy{node, i, false, SummaryToUtf8(info.Subject, codePage)}});
        }
    }
}

void KeysFromScan(const std::string& path, size_t node, TDuplicateMode mode, TStoreKeys& keys,
                  const std::string& openError) {
    TStoreRescue rescue(path);
    rescue.Run();
    for (size_t i = 0; i < rescue.Messages().size(); ++i) {
        const TRescuedMessage& found = rescue.Messages()[i];
        if (found.Found.Kind == TFoundKind::Deleted) continue;
        ++keys.Messages;
        if (std::optional<TMessageDigest> key = DuplicateKeyOf(rescue.Text(i), mode))
            keys.Keys.push_back({*key, TFoundCopy{node, static_cast<int32_t>(i), true, found.Header.Subject}});
    }
    if (keys.Messages == 0) keys.Problem = openError;
}

TStoreKeys KeysOfStore(const TStoreFolder& folder, size_t node, TDuplicateMode mode, TReadBuffer& buffer) {
    TStoreKeys keys;
    const std::string path = JoinPath(folder.Path, *folder.Nodes[node].File);
    std::unique_ptr<TOEReader> reader;
    try {
        reader = CreateStoreReaderFrom(path, TByteSource::OpenFile(path, buffer, kStoreReadLimit));
        reader->SetFollowingPass(TFollowingPass::OverSameRange);
        reader->Open(path);
        reader->ReadMessageInfos();
    } catch (const Exception& error) {
        if (reader && reader->Loaded() && reader->GetMessageCount() == 0) return keys;
        reader.reset();
        try {
            KeysFromScan(path, node, mode, keys, error.Message());
        } catch (const Exception& scanError) {
            keys.Problem = scanError.Message();
        }
        return keys;
    }
    const std::string codePage = folder.CodePage.empty() ? DecideStoreCodePage(*reader) : folder.CodePage;
    KeysFromReader(*reader, node, codePage, mode, keys);
    return keys;
}

}  // namespace

TDuplicateSurvey FindDuplicates(const TStoreFolder& folder, TDuplicateMode mode, const std::function<bool()>& goOn) {
    std::vector<size_t> stores;
    for (size_t k = 0; k < folder.Nodes.size(); ++k)
        if (folder.Nodes[k].File) stores.push_back(k);
    std::vector<TStoreKeys> keys(stores.size());
    std::atomic<bool> cancelled{false};
    TParallelRun run(&cancelled);
    TForEachOptions options;
    options.Threads = kSurveyThreads;
    // Each store is read into a buffer that no other thread uses meanwhile.
    std::mutex buffersLock;
    std::vector<std::unique_ptr<TReadBuffer>> idle;
    ForEachInParallel(stores.size(), run, options, [&](size_t i) {
        if (goOn && !goOn()) cancelled = true;
        std::unique_ptr<TReadBuffer> buffer;
        {
            const std::lock_guard<std::mutex> guard(buffersLock);
            if (!idle.empty()) {
                buffer = std::move(idle.back());
                idle.pop_back();
            }
        }
        if (!buffer) buffer = std::make_unique<TReadBuffer>();
        keys[i] = KeysOfStore(folder, stores[i], mode, *buffer);
        const std::lock_guard<std::mutex> guard(buffersLock);
        idle.push_back(std::move(buffer));
    });
    if (cancelled) return {};
    // Groups are made in tree order, so that each group's first copy is the one an export
    // with duplicates left out keeps.
    TDuplicateSurvey survey;
    std::unordered_map<TMessageDigest, size_t, TMessageDigestHash> groupOf;
    std::vector<std::vector<TFoundCopy>> all;
    for (size_t i = 0; i < stores.size(); ++i) {
        survey.Messages += keys[i].Messages;
        if (keys[i].Problem) survey.Problems.push_back(folder.Nodes[stores[i]].Name + ": " + *keys[i].Problem);
        for (auto& [digest, copy] : keys[i].Keys) {
            const auto [at, inserted] = groupOf.try_emplace(digest, all.size());
            if (inserted) all.emplace_back();
            all[at->second].push_back(std::move(copy));
        }
        keys[i] = {};
    }
    for (std::vector<TFoundCopy>& group : all)
        if (group.size() > 1) survey.Groups.push_back(std::move(group));
    return survey;
}

}  // namespace brindle
