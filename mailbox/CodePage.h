#pragma once
// The code page of a store: summaries (.dbx message-info texts, .idx texts, folder names) hold
// bytes in the ANSI code page of the Windows that wrote them, with no label. It is decided per
// store (or per store folder) from evidence, strongest first: the message's own header lines
// decoded, the charsets the messages declare, then statistics of the summary bytes.
#include "store/MessageInfo.h"
#include "store/OEReader.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// One Windows ANSI code page, with the charset label under which it is read.
struct TCodePage {
    uint16_t Number;
    std::string_view Label;   // "windows-1251"; the double-byte pages: "shift_jis", "gbk", ...
    std::string_view Script;  // "Cyrillic"
};

// What a store's summaries are read as when nothing tells otherwise.
inline constexpr std::string_view kDefaultCodePage = "windows-1252";

// Every code page that a store may be written in, in the order a menu lists them.
const std::vector<TCodePage>& CodePages();

// The code page that a name gives: a charset label of one ("windows-1251", "cp1251",
// "shift_jis") or its number ("1251", "932"); nullptr for other names.
const TCodePage* FindCodePage(std::string_view name);

// "Cyrillic (Windows-1251)".
std::string CodePageTitle(const TCodePage& page);

// The code page of the script that a declared charset writes: the code page itself, or the
// one of the same script (KOI8-R → 1251, EUC-JP → 932, ISO-8859-2 → 1250...); nullptr for
// charsets of no one script (UTF-8, ASCII) or of none of these.
const TCodePage* CodePageOfCharset(std::string_view charset);

// Collects evidence over one store or several (a store folder) and decides.
class TCodePageEvidence {
public:
    // Looks at the store's summaries (ReadMessageInfos done) and reads the header blocks of at
    // most maxHeaders messages: first of those whose subject or sender holds 8-bit bytes,
    // spread over the store, then of others for their declared charsets.
    void AddStore(TOEReader& reader, size_t maxHeaders = kDefaultHeaderSample);
    // Summary-like bytes of no message (folder names) for the statistics.
    void AddText(std::string_view bytes);
    // The label of the code page decided; kDefaultCodePage without evidence.
    std::string Decide() const;

    static constexpr size_t kDefaultHeaderSample = 24;

private:
    void AddHeaderEvidence(const TMessageInfo& info, std::string_view header);

    // Votes per code page number.
    std::map<uint16_t, int> headerVotes_;
    std::map<uint16_t, int> declaredVotes_;       // of messages with 8-bit summaries
    std::map<uint16_t, int> plainDeclaredVotes_;  // of the others, taken when those have none
    std::string eightBitText_;
};

// The code page of one store, decided from its own evidence.
std::string DecideStoreCodePage(TOEReader& reader);

// A summary text as UTF-8: valid UTF-8 stays; else it is read in the code page (a label; an
// empty one is kDefaultCodePage). A text of 255 bytes or more was cut without regard to
// characters: a character cut in two at its end is dropped.
std::string SummaryToUtf8(std::string_view bytes, std::string_view codePage);

// True when a summary text (UTF-8) is what the header's text (UTF-8) became in a code page
// that lacked some of its characters: equal, except that each run of "?" in the summary stands
// for a run of one or more non-ASCII characters of the header (or for as many "?"). A summary
// cut at 255 bytes needs to match only the header's start.
bool SummaryStandsFor(std::string_view summary, std::string_view header, bool summaryWasCut);

// Subject and sender of a message as shown (UTF-8).
struct TShownSummary {
    std::string Subject;
    std::string Sender;  // SenderName, or SenderAddress when the name is empty
};

// True when the shown texts of a summary may need the message's header: its subject or sender
// holds a "?".
bool MayHaveLostCharacters(const TMessageInfo& info);

// The summary's subject and sender in the code page; where one holds "?" that the decoded
// Subject or From line of the header block explains (SummaryStandsFor), the header's text.
// header is the message's header block; an empty one leaves the summary's texts.
TShownSummary ShownSummary(const TMessageInfo& info, std::string_view header, std::string_view codePage);
// The same for message index of the reader, whose header is read only when the summary may
// have lost characters (a header that cannot be read leaves the summary's texts).
TShownSummary ShownSummaryOf(TOEReader& reader, int32_t index, const TMessageInfo& info, std::string_view codePage);

}  // namespace brindle
