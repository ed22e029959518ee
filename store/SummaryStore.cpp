#include "store/SummaryStore.h"

#include <algorithm>
#include <limits>

namespace brindle {
namespace {

// In a sound folder every text of a summary is a distinct part of a file, so the arena never
// needs more bytes than the files hold; beyond that (records that share their texts) texts
// are kept as places in the files.
constexpr uint64_t kArenaLimit = std::numeric_limits<int32_t>::max();

std::string_view ShortString(std::string_view text) { return text.substr(0, std::min(text.size(), kShortStringMax)); }

}  // namespace

void TSummaryStore::Reset(size_t count, std::vector<const TByteSource*> sources) {
    Clear();
    records_.assign(count, TRecord{});
    sources_ = std::move(sources);
    sourceUsed_.assign(sources_.size(), false);
    for (const TByteSource* source : sources_) arenaBudget_ += source->Size();
    arenaBudget_ = std::min(arenaBudget_, kArenaLimit);
}

void TSummaryStore::Clear() {
    std::vector<TRecord>().swap(records_);
    std::string().swap(arena_);
    arenaBudget_ = 0;
    sources_.clear();
    sourceUsed_.clear();
}

void TSummaryStore::AddSource(const TByteSource* source) {
    sources_.push_back(source);
    sourceUsed_.push_back(false);
    arenaBudget_ = std::min(arenaBudget_ + source->Size(), kArenaLimit);
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
    TRecord record;
    record.Index = draft.Index;
    record.Flags = draft.Flags;
    record.DataOffset = draft.DataOffset;
    record.Size = draft.Size;
    record.Priority = draft.Priority;
    record.Received = draft.Received;
    for (size_t field = 0; field < kInfoTextCount; ++field) StoreText(record, field, ShortString(draft.Texts[field]));
    records_[i] = record;
}

void TSummaryStore::Seal() { arena_.shrink_to_fit(); }

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

void TSummaryStore::StoreText(TRecord& record, size_t field, std::string_view text) {
    if (text.empty()) return;
    const bool withinBudget = arena_.size() + text.size() <= arenaBudget_;
    int source = withinBudget ? -1 : SourceHolding(text);
    if (source >= 0) {
        record.TextPos[field] = static_cast<uint32_t>(text.data() - sources_[source]->All().data());
        record.TextWhere[field] = static_cast<uint8_t>(source + 1);
        sourceUsed_[source] = true;
    } else {
        if (arena_.size() + text.size() > std::numeric_limits<uint32_t>::max()) return;
        record.TextPos[field] = static_cast<uint32_t>(arena_.size());
        arena_.append(text);
    }
    record.TextLen[field] = static_cast<uint8_t>(text.size());
}

std::string_view TSummaryStore::TextOf(const TRecord& record, size_t field) const {
    const uint8_t where = record.TextWhere[field];
    std::string_view bytes = where == 0 ? std::string_view(arena_) : sources_[where - 1]->All();
    return bytes.substr(record.TextPos[field], record.TextLen[field]);
}

TMessageInfo TSummaryStore::Get(int64_t i) const {
    TMessageInfo info;
    if (i < 0 || static_cast<uint64_t>(i) >= records_.size()) return info;
    const TRecord& record = records_[static_cast<size_t>(i)];
    info.Index = record.Index;
    info.Flags = record.Flags;
    info.DataOffset = record.DataOffset;
    info.MessageID = TextOf(record, static_cast<size_t>(TInfoText::MessageID));
    info.Subject = TextOf(record, static_cast<size_t>(TInfoText::Subject));
    info.Server = TextOf(record, static_cast<size_t>(TInfoText::Server));
    info.SenderName = TextOf(record, static_cast<size_t>(TInfoText::SenderName));
    info.SenderAddress = TextOf(record, static_cast<size_t>(TInfoText::SenderAddress));
    info.Received = record.Received;
    info.DateText = TextOf(record, static_cast<size_t>(TInfoText::DateText));
    info.ReceiverName = TextOf(record, static_cast<size_t>(TInfoText::ReceiverName));
    info.ReceiverAddress = TextOf(record, static_cast<size_t>(TInfoText::ReceiverAddress));
    info.AccountName = TextOf(record, static_cast<size_t>(TInfoText::AccountName));
    info.Size = record.Size;
    info.Priority = record.Priority;
    return info;
}

size_t TSummaryStore::MemoryUsage() const { return records_.capacity() * sizeof(TRecord) + arena_.capacity(); }

}  // namespace brindle
