#pragma once
// Finding mail: which messages hold a text, matched without regard to case (full Unicode case
// folding) as a substring of what a reader sees of the message: subject, sender and recipients
// (decoded header fields), the text parts (decoded to UTF-8; HTML reduced to its text) and the
// names of attachments. The content of attachments does not count.
#include "mailbox/StoreFolder.h"
#include "platform/Warnings.h"
#include "store/MessageInfo.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Finds a text in bytes, ASCII letters compared without regard to case, without lowering a
// copy of the bytes first (SSE2 compares sixteen places at once; Horspool's skips elsewhere).
class TAsciiNoCaseFinder {
public:
    explicit TAsciiNoCaseFinder(std::string_view needle);
    // The position of the first occurrence at or after from; npos when there is none.
    size_t Find(std::string_view haystack, size_t from = 0) const;

private:
    bool MatchesAt(const uint8_t* text) const;

    std::string needle_;  // lowered
    uint8_t shift_[256];
};

// A query, folded once, with what the matching of many messages needs.
class TSearchQuery {
public:
    explicit TSearchQuery(std::string_view utf8);

    bool Empty() const { return folded_.empty(); }
    const std::string& Folded() const { return folded_; }
    // True when the folded query occurs in the folded text.
    bool FoundIn(std::string_view foldedText) const;
    // False when the raw text of a message lacks a piece of the query that decoding could not
    // have made: then a message of 7-bit bytes without encodings cannot hold the query.
    bool MayBeIn(std::string_view raw) const;
    bool RawPrefilterApplies() const { return !pieces_.empty(); }
    // The position of the whole folded query in bytes, ASCII letters compared without regard
    // to case; npos when it is not there.
    size_t FindRaw(std::string_view raw, size_t from) const { return whole_.Find(raw, from); }

private:
    std::string folded_;
    // The pieces of the folded query between characters that decoding a header field may
    // add or drop (spaces, quotes, brackets...).
    std::vector<TAsciiNoCaseFinder> pieces_;
    TAsciiNoCaseFinder whole_;
};

// True when the message, given by its raw text, holds the query. Without the prefilter every
// message is decoded and searched whole (slower, the same answer: tests compare the two).
bool MessageMatches(std::string_view rawText, const TSearchQuery& query, bool prefilter = true);

struct TSearchHit {
    std::string File;    // the store file (or .eml file) as given or found on disk
    std::string Folder;  // the folder's name in the tree of a store folder; else empty
    int32_t Index = 0;   // the message's index in its store; 0 for an .eml file
    // The summary, its subject and sender in UTF-8 (for an .eml file: subject, sender and
    // date text).
    TMessageInfo Info;
};

struct TSearchControl {
    // Worker threads; 0: one per core.
    unsigned Threads = 0;
    // Set from any thread to stop; the hits found so far are returned.
    const std::atomic<bool>* Cancel = nullptr;
    // Messages looked at so far and in all (of the current store). Called from the worker
    // threads, one call at a time, at most every few hundred messages and once at the end of
    // each store.
    std::function<void(uint64_t done, uint64_t total)> Progress;
    // Damage that reading tolerated. Called from the worker threads too, one call at a time
    // (never while Progress runs).
    TWarningSink Warnings;
    // Stores and messages that could not be searched, each with its reason, one call at a time;
    // without it they are told to Warnings.
    TWarningSink Skipped;
    // The code page of the summaries (a label); empty: a store folder's, else each store's own.
    std::string CodePage;
};

// Every message of the store at path that holds the query, in store order. A store whose index
// cannot be read is searched in what a scan of the whole file finds (all but the deleted
// messages, numbered in file order, told to Warnings); throws as OpenStore does when the scan
// finds nothing either.
std::vector<TSearchHit> SearchStoreFile(const std::string& path, const TSearchQuery& query,
                                        const TSearchControl& control = {}, const std::string& folderName = {});

// Every folder of the tree, in tree order; a store that cannot be opened is told to the
// warnings and skipped.
std::vector<TSearchHit> SearchStoreFolder(const TStoreFolder& folder, const TSearchQuery& query,
                                          const TSearchControl& control = {});

// A store folder (a directory), an .eml file (by its extension) or a store file.
std::vector<TSearchHit> SearchPath(const std::string& path, const TSearchQuery& query,
                                   const TSearchControl& control = {});

// The summary fields of an .eml message: Subject, SenderName, SenderAddress (decoded, UTF-8)
// and DateText.
TMessageInfo EmlSummary(std::string_view rawText);

}  // namespace brindle
