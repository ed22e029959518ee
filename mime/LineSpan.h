#pragma once
// The parts of a message are runs of its raw lines (byte ranges of the raw text held by the
// message), so that walking a message's parts never copies or indexes the lines themselves.
#include "platform/StringList.h"

#include <string>
#include <vector>

namespace brindle {

using TLineSpan = TLineRange;

// Lines that are not one run: the runs in order (a text part with its uuencoded blocks taken
// out). There is one run more than there are blocks taken out.
using TLineRuns = std::vector<TLineRange>;

// The text of runs: every line followed by CR LF, the last one included.
std::string JoinRuns(const TLineRuns& runs);

// True when none of the runs holds a line.
bool AllEmpty(const TLineRuns& runs);

// Copies of the lines.
TStringList CopyLines(TLineSpan lines);

}  // namespace brindle
