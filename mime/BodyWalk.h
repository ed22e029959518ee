#pragma once
// The walk over a message's body: it decides, part by part, what joins the text body and
// what becomes an attachment. Parts are byte ranges of the message's raw text; nothing is
// copied until text is appended or content decoded.
#include "mime/LineSpan.h"
#include "platform/Charset.h"

#include <optional>
#include <string>
#include <vector>

namespace brindle {

class TAttachedFile;
class TMoxMsg;

// Multiparts inside multiparts and embedded messages nest at most this deep; deeper
// content joins the text as it stands.
constexpr int kMaxNesting = 64;

// The content fields of a part, looked up in its own header block.
struct TPartHeaders {
    std::string ContentType = "TEXT/PLAIN";  // upper case, without parameters, UTF-8
    std::string TransferEncoding = "7BIT";   // upper case, UTF-8
    std::string Name;                        // the file-name parameter, UTF-8
    std::string MediaType = "text/plain";    // lower case, without parameters
    std::string Charset;                     // the "charset" parameter; empty when none
    std::string ContentID;                   // without angle brackets; empty when none
};

// The file name is read with the hints where its charset is not given.
TPartHeaders GetPartHeaders(TLineSpan lines, const TCharsetHints& hints = {});

// The lines without the header block and the blank lines after it: the leading lines up to
// the first blank one go, then the blank lines that follow. A part without a blank line
// loses all its lines.
TLineSpan StripPartHeader(TLineSpan lines);

// A line that begins a uuencoded block: longer than 10 characters, beginning with "begin" in
// any case, with a number from 1 to 776 (read as decimal) at positions 7 to 9.
struct TUUBegin {
    TLineRange::iterator Line;
    std::string FileName;  // the line from its 11th character on, at most 64 bytes, UTF-8
};
// The first begin line of lines at from or after it.
std::optional<TUUBegin> FindUUBegin(TLineSpan lines, TLineRange::iterator from);
inline std::optional<TUUBegin> FindUUBegin(TLineSpan lines) { return FindUUBegin(lines, lines.begin()); }
// The line that ends a uuencoded block: "end" in any case, with blanks around it.
bool IsUUEndLine(std::string_view line);

// True when the line is the delimiter, or the delimiter followed only by spaces or tabs.
bool IsDelimiterLine(std::string_view line, std::string_view delimiter);

// Which choice of a multipart/alternative a part belongs to: the innermost such multipart
// above it, numbered from 1 in document order (0: the part is no choice), and the place of
// the choice among its siblings, from 0.
struct TAlternativePlace {
    size_t Alternative = 0;
    size_t Choice = 0;
};

// A leaf part of a multipart tree, its nesting depth and its place among alternatives.
struct TLeafPart {
    TLineSpan Lines;
    int Depth = 0;
    TAlternativePlace Place;
};

// Appends the part, or the leaf parts of the multipart tree that it is, in document order.
// Preambles and epilogues are dropped; each leaf keeps its header block. Leaves outside any
// multipart/alternative of the tree keep the place given; alternatives counts the
// multipart/alternative parts numbered so far.
void SplitMultipart(std::vector<TLeafPart>& parts, TLineSpan lines, int depth, TAlternativePlace place,
                    size_t& alternatives);
inline void SplitMultipart(std::vector<TLeafPart>& parts, TLineSpan lines, int depth) {
    size_t alternatives = 0;
    SplitMultipart(parts, lines, depth, {}, alternatives);
}

// The bytes of an attachment that is written as text: its lines joined with CR LF, without a
// final line end.
std::string TextAttachmentData(const TLineRuns& lines);

// Appends a part's text to the message and its attachments to the message's items.
class TBodyWalk {
public:
    // Text without a usable declared charset is read with the hints, which must outlive the walk.
    TBodyWalk(TMoxMsg& msg, const TCharsetHints& hints) : msg_(msg), hints_(hints) {}

    void ParsePart(TLineSpan lines, int depth);

private:
    // Adds an item named by the cleaned name and decodes the body into its Data. A uuencoded
    // block that fails to decode keeps the bytes decoded before the bad line. uuBlock says that
    // the body is a block found in a text part, whose empty lines do not count.
    void AddAttachment(const TLineRuns& body, const std::string& encoding, const std::string& name,
                       const TPartHeaders& headers, bool uuBlock = false);
    // Appends the files that a TNEF attachment carries after it; a stream that cannot be
    // unpacked is told to the message's warnings and the attachment stays alone.
    void UnpackTnefInto(const TAttachedFile& container);
    void ParseTextPart(TLineSpan body, const TPartHeaders& headers);
    // Moves uuencoded blocks into attachments; kept receives the runs of the other lines. True
    // when a block was found.
    bool PullUUBlocks(TLineSpan body, TLineRuns& kept);
    void AppendText(const std::string& bytes, const TPartHeaders& headers);
    void AppendTextLines(const TLineRuns& lines, const TPartHeaders& headers);
    // Notes the part that begins at this line of the text body.
    void NoteTextPart(size_t firstLine, const TPartHeaders& headers);

    TMoxMsg& msg_;
    const TCharsetHints& hints_;
    TAlternativePlace place_;
    size_t alternatives_ = 0;
};

}  // namespace brindle
