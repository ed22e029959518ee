#include "mailbox/MailboxSession.h"

#include "mailbox/CodePage.h"
#include "mailbox/MessageFiles.h"
#include "mailbox/Search.h"
#include "mime/HeaderFields.h"
#include "platform/HeaderBlock.h"
#include "store/MessageFlags.h"
#include "store/StoreOpener.h"

#include <algorithm>

namespace brindle {
namespace {

const char* const kClosedText = "The message is no longer open.";

}  // namespace

// What an indexed handle refers to; it lives as long as the store stays open.
struct TMessageHandle::TStore {
    std::unique_ptr<TOEReader> Reader;
    std::string CodePage;  // the session's, kept in step with it
};

struct TMessageHandle::TLoose {
    std::string Text;
    std::string CodePage;
    std::string Notice;
};

TMessageInfo RecoveredSummary(const TRescuedMessage& message) {
    TMessageInfo info;
    info.Flags = kFlagRead;
    info.Priority = kPriorityNormal;
    info.Subject = message.Header.Subject;
    // Split as the index splits a sender: its display name, and its address.
    info.SenderName = ExtractDisplayName(message.Header.From, false);
    info.SenderAddress = ExtractAddress(message.Header.From, false);
    info.MessageID = message.Header.MessageID;
    info.DateText = message.Header.Date;
    info.Size = static_cast<uint32_t>(std::min<uint64_t>(message.Found.Size, UINT32_MAX));
    return info;
}

TMessageHandle::TMessageHandle(std::weak_ptr<TStore> store, int32_t index) : store_(std::move(store)), index_(index) {}

TMessageHandle::TMessageHandle(std::weak_ptr<const TFoundSet> found, size_t position)
    : found_(std::move(found)), recovered_(true), position_(position) {}

TMessageHandle TMessageHandle::OfText(std::string text, std::string codePage, std::string notice) {
    TMessageHandle handle;
    handle.loose_ = std::make_shared<const TLoose>(TLoose{std::move(text), std::move(codePage), std::move(notice)});
    return handle;
}

bool TMessageHandle::Valid() const {
    if (loose_) return true;
    return recovered_ ? !found_.expired() : !store_.expired();
}

std::shared_ptr<TMessageHandle::TStore> TMessageHandle::StoreOrThrow() const {
    std::shared_ptr<TStore> store = store_.lock();
    if (!store) throw EMessageGone(kClosedText);
    return store;
}

std::shared_ptr<const TFoundSet> TMessageHandle::FoundOrThrow() const {
    std::shared_ptr<const TFoundSet> found = found_.lock();
    if (!found) throw EMessageGone(kClosedText);
    return found;
}

const TRescuedMessage& TMessageHandle::Rescued() const {
    if (!recovered_) throw EMessageGone("The message is not one that the scan found.");
    // The records live as long as the found set, which the session keeps until it drops the
    // scan; a caller holds the handle only while it is told nothing closed.
    return FoundOrThrow()->Messages()[position_];
}

TMessageInfo TMessageHandle::Summary() const {
    if (loose_) return EmlSummary(loose_->Text);
    if (recovered_) return RecoveredSummary(Rescued());
    return StoreOrThrow()->Reader->GetMessageInfo(index_);
}

std::string TMessageHandle::Header() const {
    if (recovered_ || loose_) return std::string(HeaderBlockOf(Text()));
    const std::shared_ptr<TStore> store = StoreOrThrow();
    std::string header = store->Reader->GetMessageHeader(index_);
    // A text whose lines end in LF alone has no header block by the store's rule; it is shown
    // as its text reads.
    if (header.empty()) header = std::string(HeaderBlockOf(store->Reader->GetMessageText(index_)));
    return header;
}

std::string TMessageHandle::Text() const {
    if (loose_) return loose_->Text;
    if (recovered_) return FoundOrThrow()->Text(position_);
    return StoreOrThrow()->Reader->GetMessageText(index_);
}

TFoundKind TMessageHandle::Kind() const { return recovered_ ? Rescued().Found.Kind : TFoundKind::Indexed; }

uint32_t TMessageHandle::LostBytes() const { return recovered_ ? Rescued().Found.LostBytes : 0; }

std::optional<int32_t> TMessageHandle::Index() const {
    if (recovered_ || loose_) return std::nullopt;
    StoreOrThrow();
    return index_;
}

std::string TMessageHandle::Notice() const {
    if (loose_) return loose_->Notice;
    return recovered_ ? RecoveryNotice(Rescued().Found) : std::string();
}

std::string TMessageHandle::CodePage() const {
    if (loose_) return loose_->CodePage;
    if (recovered_) return {};
    return StoreOrThrow()->CodePage;
}

std::string TMessageHandle::SaveName(const std::string& codePage) const {
    if (loose_) return SafeFileNamePart(Summary().Subject) + ".eml";
    if (recovered_) return RecoveredFileName(Rescued());
    return SavedMessageFileName(index_, SummaryToUtf8(Summary().Subject, codePage));
}

TMailboxSession::TMailboxSession() = default;

TMailboxSession::~TMailboxSession() {
    // Listeners are views that may already be gone: nothing is told from here.
    listeners_.clear();
    CloseStore();
}

int TMailboxSession::Listen(TListener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void TMailboxSession::Unlisten(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void TMailboxSession::Tell(TChange change) {
    // A listener may add or take away listeners: the list is copied first.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) listener(change);
}

void TMailboxSession::OpenStoreFolder(std::string dir, std::string decidedCodePage) {
    CloseStore();
    folderDir_ = std::move(dir);
    folderCodePage_ = std::move(decidedCodePage);
    Tell(TChange::FolderOpened);
}

void TMailboxSession::CloseStoreFolder() {
    if (folderDir_.empty()) return;
    CloseStore();
    folderDir_.clear();
    folderCodePage_.clear();
    Tell(TChange::FolderClosed);
}

void TMailboxSession::OpenStore(const std::string& path) {
    CloseStore();
    ClearWarnings();
    // The reader outlives no session: its sink may refer to this one. A file of neither kind
    // leaves no store open.
    auto store = std::make_shared<TMessageHandle::TStore>();
    store->Reader = CreateStoreReader(path, [this](const TWarning& warning) { warnings_.push_back(warning.Describe()); });
    store_ = std::move(store);
    try {
        store_->Reader->Open(path);
    } catch (...) {
        if (!warnings_.empty()) Tell(TChange::Warnings);
        Tell(TChange::StoreOpened);
        throw;
    }
    if (!warnings_.empty()) Tell(TChange::Warnings);
    Tell(TChange::StoreOpened);
}

void TMailboxSession::ReadSummaries() {
    if (!store_) return;
    const size_t warnings = warnings_.size();
    try {
        store_->Reader->ReadMessageInfos();
    } catch (...) {
        if (warnings_.size() != warnings) Tell(TChange::Warnings);
        throw;
    }
    if (warnings_.size() != warnings) Tell(TChange::Warnings);
}

void TMailboxSession::AdoptReader(std::unique_ptr<TOEReader> reader) {
    CloseStore();
    store_ = std::make_shared<TMessageHandle::TStore>();
    store_->Reader = std::move(reader);
    Tell(TChange::StoreOpened);
}

void TMailboxSession::CloseStore() {
    if (!store_ && !scan_ && !found_) return;
    Tell(TChange::StoreClosing);
    DropScan();
    store_.reset();
    ownCodePage_.reset();
    choice_ = TCodePageChoice::Automatic();
    const bool hadCodePage = !codePage_.empty();
    codePage_.clear();
    if (hadCodePage) Tell(TChange::CodePage);
}

bool TMailboxSession::HasStore() const { return store_ != nullptr; }

TOEReader* TMailboxSession::Reader() const { return store_ ? store_->Reader.get() : nullptr; }

int32_t TMailboxSession::MessageCount() const { return store_ ? store_->Reader->GetMessageCount() : 0; }

std::string TMailboxSession::DecideOwnCodePage() {
    if (!store_) return {};
    if (!ownCodePage_) ownCodePage_ = DecideStoreCodePage(*store_->Reader);
    return *ownCodePage_;
}

void TMailboxSession::SetCodePageChoice(TCodePageChoice choice) {
    choice_ = std::move(choice);
    std::string label = choice_.For(folderCodePage_, [this] { return DecideOwnCodePage(); });
    codePage_ = std::move(label);
    if (store_) store_->CodePage = codePage_;
    Tell(TChange::CodePage);
}

void TMailboxSession::AddWarning(std::string text) {
    warnings_.push_back(std::move(text));
    Tell(TChange::Warnings);
}

void TMailboxSession::ClearWarnings() {
    if (warnings_.empty()) return;
    warnings_.clear();
    Tell(TChange::Warnings);
}

std::shared_ptr<TStoreRescue> TMailboxSession::StartScan(const std::string& path, bool asResult) {
    if (asResult) {
        CloseStore();
    } else {
        DropScan();
    }
    auto scan = std::make_shared<TStoreRescue>(path);
    scan->SetCodePage(codePage_);
    scan_ = scan;
    scanIsResult_ = asResult;
    scanPath_ = path;
    Tell(TChange::ScanStarted);
    return scan;
}

bool TMailboxSession::FinishScan(const std::shared_ptr<TStoreRescue>& scan, bool ok, std::string error) {
    if (!scan || scan != scan_) return false;
    scan_.reset();
    scanError_ = ok ? std::string() : std::move(error);
    if (ok) {
        auto found = std::make_shared<TFoundSet>();
        found->Scan = scan;
        found->Records = scan->Messages().ToVector();
        found_ = std::move(found);
    }
    Tell(TChange::ScanFinished);
    return true;
}

void TMailboxSession::CancelScan() { DropScan(); }

// What the scan found goes with it: handles to found messages no longer answer.
void TMailboxSession::DropScan() {
    if (found_) Tell(TChange::FoundClosing);
    scan_.reset();
    found_.reset();
    scanIsResult_ = false;
    scanPath_.clear();
    scanError_.clear();
}

void TMailboxSession::AdoptFound(TFoundSet found, bool asResult) {
    if (asResult) CloseStore();
    DropScan();
    found_ = std::make_shared<TFoundSet>(std::move(found));
    scanIsResult_ = asResult;
    Tell(TChange::ScanFinished);
}

size_t TMailboxSession::UnindexedCount() const {
    if (!found_) return 0;
    return static_cast<size_t>(std::count_if(found_->Messages().begin(), found_->Messages().end(),
                                             [](const TRescuedMessage& m) { return m.Found.Kind != TFoundKind::Indexed; }));
}

TMessageHandle TMailboxSession::Indexed(int32_t index) const {
    if (!store_ || index < 0 || index >= store_->Reader->GetMessageCount()) return {};
    return TMessageHandle(store_, index);
}

TMessageHandle TMailboxSession::Recovered(size_t position) const {
    if (!found_ || position >= found_->Messages().size()) return {};
    return TMessageHandle(std::weak_ptr<const TFoundSet>(found_), position);
}

size_t TMailboxSession::RecoveredCount() const { return found_ ? found_->Messages().size() : 0; }

const TRescuedMessage* TMailboxSession::RecoveredAt(size_t position) const {
    return position < RecoveredCount() ? &found_->Messages()[position] : nullptr;
}

}  // namespace brindle
