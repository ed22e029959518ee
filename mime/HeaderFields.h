#pragma once
// Reading header fields: finding and unfolding a field, taking its value or a parameter,
// removing quotes, decoding encoded words (RFC 2047), rewriting address lists, and reading
// the multipart boundary and a part's file name. Plain functions over text without state;
// none of them fails. Results that are shown as text are UTF-8.
#include "mime/LineSpan.h"
#include "platform/Charset.h"

#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// The field whose name (upper case, with colon, e.g. "SUBJECT:") begins a line of the header
// block: the block starts after any empty lines at the start and ends before the next empty
// line. The first such line counts. The result is that line unchanged, with every following
// continuation line (one that begins with a space or a tab) trimmed and appended after one
// space. Nothing when the field is missing.
std::optional<std::string> FindHeader(std::string_view name, TLineSpan lines);
std::optional<std::string> FindHeader(std::string_view name, const TStringList& lines);

// The text after the first occurrence of key (upper case) in the upper-cased text, trimmed and
// cut before its first ";", trimmed again. Empty when the key does not occur. With a parameter
// name as key the letters may stand inside another word ("NAME" in "FILENAME").
std::string GetHeaderParam(std::string_view key, std::string_view text);

// The whole value of a field after its name (upper case, with colon), trimmed; a ";" in it
// is kept. Empty when the name does not occur.
std::string GetHeaderValue(std::string_view name, std::string_view field);

// Drops one leading and then one trailing quote character (double or single); the two need
// not match.
std::string Unquote(std::string_view text);

// The text without any occurrence of c.
std::string RemoveChar(std::string_view text, char c);

// The text with its encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") decoded from their
// charsets to UTF-8; words with another letter vanish. Every "=?" takes the next "?" and the
// next "?=" after it as its own; without them the rest of the text stays as it is. Whitespace
// between two encoded words is dropped. Text outside encoded words, and words in an unknown
// charset, are read as UndeclaredToUtf8 reads them with the hints (valid UTF-8 stays). Zero
// bytes are dropped. Decoded text is not searched again.
std::string DecodeEncodedWords(std::string_view text, const TCharsetHints& hints = {});

// The address of a mailbox: comments in parentheses removed, trimmed, and the text between
// "<" and ">" when there is one. withBrackets puts it between "<" and ">".
std::string ExtractAddress(std::string_view mailbox, bool withBrackets);

// The display name of a mailbox: the "<...>" part removed, a comment in parentheses taken as
// the name when there is one, quotes removed, trimmed. withQuotes puts it between double quotes.
std::string ExtractDisplayName(std::string_view mailbox, bool withQuotes);

// An address list rewritten as "name" <address> entries separated by ", ". Quoted strings are
// removed first, so the list splits at every remaining ",". Display names have their encoded
// words decoded with the hints; the result is UTF-8.
std::string NormalizeAddressList(std::string_view value, const TCharsetHints& hints = {});

// The delimiter line of a multipart Content-Type field: "--" and the boundary. Empty when the
// field has no boundary, so that no line matches.
std::string ExtractBoundary(std::string_view contentTypeField);

// The value of a parameter ("charset") of a field, without quotes; nothing when missing.
std::optional<std::string> GetParameter(std::string_view field, std::string_view attribute);

// An RFC 2231 parameter (attribute*=charset'lang'%XX, continuations attribute*0*=,
// attribute*1=, ...), decoded to UTF-8 (with the hints when its charset is missing or
// unknown). Nothing when the field has no such form of it.
std::optional<std::string> GetExtendedParameter(std::string_view field, std::string_view attribute,
                                                const TCharsetHints& hints = {});

// The name of a part from its Content-Type and Content-Disposition fields (either may be
// missing): an RFC 2231 "name*" of the Content-Type field; else its "NAME" found as
// GetHeaderParam finds it; else likewise "filename*" and "FILENAME" of the
// Content-Disposition field. A plain value loses its first character (the "="), then
// Unquote and DecodeEncodedWords apply. Empty when none is given. UTF-8.
std::string PartFileName(const std::optional<std::string>& contentType,
                         const std::optional<std::string>& contentDisposition, const TCharsetHints& hints = {});

// The first charset declared by a Content-Type field anywhere in the lines (header blocks of
// the message and its parts) that is fit to read undeclared text (ReadsUndeclaredText); empty
// when there is none. Looks at no more than a bounded number of lines.
std::string FirstDeclaredCharset(TLineSpan lines);

// The media type of a Content-Type field, lower case, without parameters ("text/html").
std::string MediaTypeOf(std::string_view contentTypeField);

// The top-level type of a media type, upper case ("TEXT" of "text/html").
std::string TopLevelType(std::string_view mediaType);

}  // namespace brindle
