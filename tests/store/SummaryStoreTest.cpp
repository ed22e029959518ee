// The packed summaries: every field comes back as it was put, whichever way a number or a text
// is kept, across pieces and with places in the sources.
#include "store/SummaryStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace brindle {

std::string Shown(const TMessageInfo& info) {
    std::ostringstream out;
    out << "{" << info.Index << " " << info.Flags << " " << info.DataOffset << " " << info.Size << " "
         << info.Priority << " " << info.Received << " [" << info.MessageID << "][" << info.Subject << "]["
         << info.Server << "][" << info.SenderName << "][" << info.SenderAddress << "][" << info.DateText << "]["
         << info.ReceiverName << "][" << info.ReceiverAddress << "][" << info.AccountName << "]}";
    return out.str();
}

namespace {

// The record that Get has to give back for a draft put at position i.
TMessageInfo Expected(const TSummaryDraft& draft) {
    auto text = [&](TInfoText field) {
        std::string_view value = draft.Texts[static_cast<size_t>(field)];
        return std::string(value.substr(0, std::min(value.size(), kShortStringMax)));
    };
    TMessageInfo info;
    info.Index = draft.Index;
    info.Flags = draft.Flags;
    info.DataOffset = draft.DataOffset;
    info.Size = draft.Size;
    info.Priority = draft.Priority;
    info.Received = draft.Received;
    info.MessageID = text(TInfoText::MessageID);
    info.Subject = text(TInfoText::Subject);
    info.Server = text(TInfoText::Server);
    info.SenderName = text(TInfoText::SenderName);
    info.SenderAddress = text(TInfoText::SenderAddress);
    info.DateText = text(TInfoText::DateText);
    info.ReceiverName = text(TInfoText::ReceiverName);
    info.ReceiverAddress = text(TInfoText::ReceiverAddress);
    info.AccountName = text(TInfoText::AccountName);
    return info;
}

struct TCase {
    const char* label;
    uint32_t index;  // kPosition: the draft's position
    uint32_t number;
    double received;
    std::string text;
};

constexpr uint32_t kPosition = 0xFFFFFFFE;

TEST(SummaryStore, EveryFieldComesBackAsPutWhateverItsValue) {
    const std::vector<TCase> cases = {
        {"all zero, no texts", 0, 0, 0, ""},
        {"index of its position", kPosition, 1, 0, "x"},
        {"largest numbers", std::numeric_limits<uint32_t>::max(), std::numeric_limits<uint32_t>::max(), -1e300,
         "Subject"},
        {"a decimal text", 7, 128, 45000.25, "1234567"},
        {"zero as text", 7, 128, 45000.25, "0"},
        {"leading zero", 3, 300, 1, "0123"},
        {"plus sign", 3, 300, 1, "+12"},
        {"19 digits", 3, 300, 1, "9999999999999999999"},
        {"20 digits", 3, 300, 1, "12345678901234567890"},
        {"longer than a short string", 2, 65536, 2, std::string(400, 'L')},
        {"bytes of every value", 9, 1u << 31, std::nan(""), std::string("\x01\x80\xFF\x00z", 5)},
    };
    const auto source = TByteSource::FromMemory(std::string(100000, 's'));
    TSummaryStore store;
    store.Reset(cases.size() + 1, {source.get()});
    for (size_t i = 0; i < cases.size(); ++i) {
        const TCase& c = cases[i];
        TSummaryDraft draft;
        draft.Index = c.index == kPosition ? static_cast<uint32_t>(i) : c.index;
        draft.Flags = c.number;
        draft.DataOffset = c.number / 3;
        draft.Size = c.number ^ 0x5A5A5A5A;
        draft.Priority = c.number % 7;
        draft.Received = c.received;
        for (size_t field = 0; field < kInfoTextCount; ++field)
            draft.Texts[field] = field % 2 ? std::string_view(c.text) : std::string_view(c.text).substr(0, field);
        store.Put(i, draft);
        const TMessageInfo got = store.Get(static_cast<int64_t>(i));
        TMessageInfo want = Expected(draft);
        if (std::isnan(c.received)) {
            EXPECT_TRUE(std::isnan(got.Received)) << c.label;
            want.Received = got.Received;
        }
        EXPECT_EQ(Shown(got), Shown(want)) << c.label;
        EXPECT_EQ(store.SizeOf(i), draft.Size) << c.label;
        EXPECT_EQ(store.DataOffsetOf(i), draft.DataOffset) << c.label;
    }
    store.Seal();
    // The position never put, and those outside, are empty records.
    EXPECT_EQ(store.Get(static_cast<int64_t>(cases.size())), TMessageInfo{});
    EXPECT_EQ(store.SizeOf(cases.size()), 0u);
    EXPECT_EQ(store.Get(-1), TMessageInfo{});
    EXPECT_EQ(store.Get(static_cast<int64_t>(cases.size() + 1)), TMessageInfo{});
    EXPECT_FALSE(store.RefersTo(source.get()));
}

// Past the copy budget (the sources' size), texts that lie in a source are kept as places in
// it; other texts are still copied. Summaries fill several pieces and skip positions.
TEST(SummaryStore, ManySummariesKeepTheirTextsAsCopiesOrPlacesInTheSource) {
    constexpr size_t kCount = 6000;
    std::string bytes;
    for (size_t i = 0; i < 600; ++i) bytes += "Subject number " + std::to_string(i) + "|";
    const auto source = TByteSource::FromMemory(bytes);
    const std::string_view all = source->All();
    TSummaryStore store;
    store.Reset(kCount, {source.get()});
    std::vector<TMessageInfo> wanted(kCount);
    std::vector<std::string> own(kCount), ids(kCount);
    for (size_t i = 0; i < kCount; i += 1 + i % 3) {
        const size_t at = (i * 37) % (all.size() - 300);
        own[i] = "own text " + std::to_string(i) + std::string(i % 250, 'o');
        TSummaryDraft draft;
        draft.Index = static_cast<uint32_t>(i % 5 ? i : 0);
        draft.DataOffset = static_cast<uint32_t>(i * 1000);
        draft.Text(TInfoText::Subject) = all.substr(at, 200 + i % 50);
        draft.Text(TInfoText::SenderName) = all.substr(at / 2, 40);
        draft.Text(TInfoText::AccountName) = own[i];
        ids[i] = std::to_string(i);
        draft.Text(TInfoText::MessageID) = ids[i];
        store.Put(i, draft);
        wanted[i] = Expected(draft);
    }
    store.Seal();
    EXPECT_TRUE(store.RefersTo(source.get()));
    for (size_t i = 0; i < kCount; ++i) ASSERT_EQ(Shown(store.Get(static_cast<int64_t>(i))), Shown(wanted[i])) << i;
    // A few bytes per summary beyond the copied texts: far less than a record of fixed fields.
    EXPECT_LT(store.MemoryUsage(), source->Size() + kCount * 300);
}

}  // namespace
}  // namespace brindle
