#include "store/SummaryStore.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace brindle {
namespace {

// In a sound folder every text of a summary is a distinct part of a file, so copies never need
// more bytes than the files hold; beyond that (records that share their texts) texts are kept
// as places in the files.
constexpr uint64_t kCopyLimit = std::numeric_limits<int32_t>::max();

// The numbers mask.
constexpr uint8_t kIndexIsPosition = 0x01;
constexpr uint8_t kHasIndex = 0x02;
constexpr uint8_t kHasFlags = 0x04;
constexpr uint8_t kHasDataOffset = 0x08;
constexpr uint8_t kHasSize = 0x10;
constexpr uint8_t kHasPriority = 0x20;
constexpr uint8_t kHasReceived = 0x40;
constexpr uint8_t kHasTexts = 0x80;

// How a text is kept: the low two bits of its tag, above them its length.
constexpr uint64_t kTextCopied = 0;
constexpr uint64_t kTextInSource = 1;
constexpr uint64_t kTextDecimal = 2;
constexpr unsigned kTextKindBits = 2;
// Longest decimal text kept as its value (fits 64 bits).
constexpr size_t kMaxDecimalDigits = 19;

std::string_view ShortString(std::string_view text) { return text.substr(0, std::min(text.size(), kShortStringMax)); }

// The value of a text that to_string gives back unchanged ("0", "17", not "017" or "+1").
std::optional<uint64_t> DecimalValue(std::string_view text) {
    if (text.empty() || text.size() > kMaxDecimalDigits || (text[0] == '0' && text.size() > 1)) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

}  // namespace

struct TSummaryStore::TNumbers {
    uint32_t Index = 0;
    uint32_t Flags = 0;
    uint32_t DataOffset = 0;
    uint32_t Size = 0;
    uint32_t Priority = 0;
    TDateTime Received = 0;
    bool HasTexts = false;
};

void TSummaryStore::Reset(size_t count, std::vector<const TByteSource*> sources) {
    Clear();
    records_.Reset(count);
    sources_ = std::move(sources);
    sourceUsed_.assign(sources_.size(), false);
    for (const TByteSource* source : sources_) copyBudget_ += source->Size();
    copyBudget_ = std::min(copyBudget_, kCopyLimit);
}

void TSummaryStore::Clear() {
    records_.Clear();
    std::string().swap(scratch_);
    copiedBytes_ = 0;
    copyBudget_ = 0;
    sources_.clear();
    sourceUsed_.clear();
}

void TSummaryStore::AddSource(const TByteSource* source) {
    sources_.push_back(source);
    sourceUsed_.push_back(false);
    copyBudget_ = std::min(copyBudget_ + source->Size(), kCopyLimit);
}

bool TSummaryStore::RefersTo(const TByteSource* source) const {
    for (size_t k = 0; k < sources_.size(); ++k)
        if (sources_[k] == source && sourceUsed_[k]) return true;
    return false;
}

void TSummaryStore::DropSource(const TByteSource* source) {
    if (!sources_.empty() && sources_.back() == source && !sourceUsed_.back()) {
        sources_.pop_back();
        sourceUsed_.pop_back();
    }
}

void TSummaryStore::Put(size_t i, const TSummaryDraft& draft) {
    uint8_t mask = 0;
    if (draft.Index == i)
        mask |= kIndexIsPosition;
    else if (draft.Index != 0)
        mask |= kHasIndex;
    if (draft.Flags != 0) mask |= kHasFlags;
    if (draft.DataOffset != 0) mask |= kHasDataOffset;
    if (draft.Size != 0) mask |= kHasSize;
    if (draft.Priority != 0) mask |= kHasPriority;
    if (draft.Received != 0) mask |= kHasReceived;
    uint32_t texts = 0;
    for (size_t field = 0; field < kInfoTextCount; ++field)
        if (!draft.Texts[field].empty()) texts |= 1u << field;
    if (texts != 0) mask |= kHasTexts;

    scratch_.clear();
    scratch_.push_back(static_cast<char>(mask));
    if (mask & kHasIndex) AppendPackedNumber(scratch_, draft.Index);
    if (mask & kHasFlags) AppendPackedNumber(scratch_, draft.Flags);
    if (mask & kHasDataOffset) AppendPackedNumber(scratch_, draft.DataOffset);
    if (mask & kHasSize) AppendPackedNumber(scratch_, draft.Size);
    if (mask & kHasPriority) AppendPackedNumber(scratch_, draft.Priority);
    if (mask & kHasReceived) {
        char bytes[sizeof(TDateTime)];
        std::memcpy(bytes, &draft.Received, sizeof bytes);
        scratch_.append(bytes, sizeof bytes);
    }
    if (texts != 0) {
        AppendPackedNumber(scratch_, texts);
        for (size_t field = 0; field < kInfoTextCount; ++field)
            if (texts & (1u << field)) PackText(ShortString(draft.Texts[field]));
    }

    // Nine texts of at most 255 bytes and six numbers take far less than a record's limit.
    records_.Put(i, scratch_);
}

void TSummaryStore::Seal() {
    records_.Seal();
    std::string().swap(scratch_);
}

int TSummaryStore::SourceHolding(std::string_view text) const {
    for (size_t k = 0; k < sources_.size(); ++k) {
        std::string_view all = sources_[k]->All();
        if (all.empty()) continue;
        // Compared as addresses: the text lies inside the source's bytes.
        auto begin = reinterpret_cast<uintptr_t>(all.data());
        auto at = reinterpret_cast<uintptr_t>(text.data());
        if (at >= begin && at - begin <= all.size() && text.size() <= all.size() - (at - begin))
            return static_cast<int>(k);
    }
    return -1;
}

void TSummaryStore::PackText(std::string_view text) {
    const uint64_t length = text.size();
    if (const std::optional<uint64_t> value = DecimalValue(text)) {
        AppendPackedNumber(scratch_, length << kTextKindBits | kTextDecimal);
        AppendPackedNumber(scratch_, *value);
        return;
    }
    const bool withinBudget = copiedBytes_ + length <= copyBudget_;
    const int source = withinBudget ? -1 : SourceHolding(text);
    if (source >= 0) {
        AppendPackedNumber(scratch_, length << kTextKindBits | kTextInSource);
        AppendPackedNumber(scratch_, static_cast<uint64_t>(source));
        AppendPackedNumber(scratch_, static_cast<uint64_t>(text.data() - sources_[source]->All().data()));
        sourceUsed_[source] = true;
        return;
    }
    AppendPackedNumber(scratch_, length << kTextKindBits | kTextCopied);
    scratch_.append(text);
    copiedBytes_ += length;
}

std::optional<TSummaryStore::TNumbers> TSummaryStore::NumbersOf(size_t i, std::string_view* rest) const {
    const std::optional<std::string_view> record = records_.Get(i);
    if (!record) return std::nullopt;
    const std::string_view packed = *record;
    TNumbers numbers;
    const auto mask = static_cast<uint8_t>(packed[0]);
    size_t at = 1;
    if (mask & kIndexIsPosition) numbers.Index = static_cast<uint32_t>(i);
    if (mask & kHasIndex) numbers.Index = static_cast<uint32_t>(ReadPackedNumber(packed, at));
    if (mask & kHasFlags) numbers.Flags = static_cast<uint32_t>(ReadPackedNumber(packed, at));
    if (mask & kHasDataOffset) numbers.DataOffset = static_cast<uint32_t>(ReadPackedNumber(packed, at));
    if (mask & kHasSize) numbers.Size = static_cast<uint32_t>(ReadPackedNumber(packed, at));
    if (mask & kHasPriority) numbers.Priority = static_cast<uint32_t>(ReadPackedNumber(packed, at));
    if (mask & kHasReceived) {
        std::memcpy(&numbers.Received, packed.data() + at, sizeof(TDateTime));
        at += sizeof(TDateTime);
    }
    numbers.HasTexts = (mask & kHasTexts) != 0;
    if (rest) *rest = packed.substr(at);
    return numbers;
}

uint32_t TSummaryStore::SizeOf(size_t i) const {
    const std::optional<TNumbers> numbers = NumbersOf(i, nullptr);
    return numbers ? numbers->Size : 0;
}

uint32_t TSummaryStore::DataOffsetOf(size_t i) const {
    const std::optional<TNumbers> numbers = NumbersOf(i, nullptr);
    return numbers ? numbers->DataOffset : 0;
}

TMessageInfo TSummaryStore::Get(int64_t i) const {
    TMessageInfo info;
    if (i < 0) return info;
    std::string_view packed;
    const std::optional<TNumbers> found = NumbersOf(static_cast<size_t>(i), &packed);
    if (!found) return info;
    const TNumbers& numbers = *found;
    size_t at = 0;
    info.Index = numbers.Index;
    info.Flags = numbers.Flags;
    info.DataOffset = numbers.DataOffset;
    info.Size = numbers.Size;
    info.Priority = numbers.Priority;
    info.Received = numbers.Received;
    if (!numbers.HasTexts) return info;
    std::string* const fields[kInfoTextCount] = {
        &info.MessageID,   &info.Subject,      &info.Server,          &info.SenderName,  &info.SenderAddress,
        &info.DateText,    &info.ReceiverName, &info.ReceiverAddress, &info.AccountName,
    };
    const uint64_t texts = ReadPackedNumber(packed, at);
    for (size_t field = 0; field < kInfoTextCount; ++field) {
        if ((texts & (uint64_t{1} << field)) == 0) continue;
        const uint64_t tag = ReadPackedNumber(packed, at);
        const size_t length = static_cast<size_t>(tag >> kTextKindBits);
        switch (tag & ((1u << kTextKindBits) - 1)) {
            case kTextDecimal: *fields[field] = std::to_string(ReadPackedNumber(packed, at)); break;
            case kTextInSource: {
                const size_t source = static_cast<size_t>(ReadPackedNumber(packed, at));
                const size_t pos = static_cast<size_t>(ReadPackedNumber(packed, at));
                *fields[field] = sources_[source]->All().substr(pos, length);
                break;
            }
            default:
                *fields[field] = packed.substr(at, length);
                at += length;
                break;
        }
    }
    return info;
}

size_t TSummaryStore::MemoryUsage() const {
    return records_.MemoryUsage();
}

}  // namespace brindle
