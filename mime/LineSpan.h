#pragma once
// Lines as views into text held elsewhere (the message's raw lines), so that walking a
// message's parts never copies the lines themselves.
#include "platform/StringList.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

using TLineSpan = std::span<const std::string_view>;
using TLineViews = std::vector<std::string_view>;

// Views of every line of a list; valid while the list is unchanged.
TLineViews ViewsOf(const TStringList& list);

// The text of lines: every line followed by CR LF, the last one included.
std::string JoinLines(TLineSpan lines);

// Copies of the lines.
TStringList CopyLines(TLineSpan lines);

}  // namespace brindle
