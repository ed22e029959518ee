#pragma once
// Text rules of the message viewer that need no GUI: which links go to the desktop, how the
// text body becomes the HTML view's document, and how raw bytes become shown text.
#include "platform/StringList.h"

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

// The lines as shown text: each line is UTF-8 when it is valid UTF-8 and Windows-1252
// otherwise; the lines are joined by the separator, which also follows the last line when
// trailingSeparator is set.
std::string DisplayText(const TStringList& lines, std::string_view separator, bool trailingSeparator);

}  // namespace brindle
