#pragma once
// Text rules of the message viewer that need no GUI: which links go to the desktop, how the
// text body becomes the HTML view's document, and which texts need breaks for laying out.
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// True when the link target begins with the scheme http, https or mailto and its colon, in
// any letter case. Only such targets are ever handed to the desktop.
bool IsDesktopLink(std::string_view target);

// True when one of the parts that made up the text body was HTML.
bool HasHtmlPart(const std::vector<std::string>& textTypes);

// A plain text as an HTML document that shows it unchanged: markup characters escaped,
// every line break and run of blanks kept, long lines wrapped, the document's own font.
std::string PlainTextToHtml(std::string_view utf8Text);
// The same text as one block of such a document, to stand between HTML parts.
std::string PlainTextAsHtmlBlock(std::string_view utf8Text);

// Runs of this many characters without a blank get a break opportunity after them: laying
// out a wrapped line takes time that grows with the square of its longest unbroken run.
constexpr size_t kMaxUnbrokenRun = 256;

// The zero-width space, in UTF-8: a break opportunity that shows nothing.
constexpr std::string_view kZeroWidthSpace = "\xE2\x80\x8B";

// True for the bytes that end a run of characters without a blank.
inline bool IsBlankByte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// True for the bytes that continue a UTF-8 character.
inline bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text with a zero-width space after every kMaxUnbrokenRun characters without a blank.
std::string BreakLongRuns(std::string_view utf8Text);

// The text of an HTML document without its markup, for showing a document too large to lay
// out: scripts, styles and comments left out, blanks collapsed, a line break for every tag
// that starts a block (at most one empty line in a row), the usual entities and numeric
// character references decoded (a code point above U+FFFF or a zero becomes U+FFFD). One
// pass; memory grows with the input only.
std::string HtmlAsPlainText(std::string_view html);

// True when the bytes hold a run of more than kMaxUnbrokenRun characters without a blank.
bool HasLongUnbrokenRun(std::string_view bytes);

}  // namespace brindle
