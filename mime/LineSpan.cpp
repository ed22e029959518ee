#include "mime/LineSpan.h"

namespace brindle {

std::string JoinRuns(const TLineRuns& runs) {
    if (runs.size() == 1) return JoinRange(runs.front());
    std::string text;
    for (const TLineRange& run : runs) text += JoinRange(run);
    return text;
}

bool AllEmpty(const TLineRuns& runs) {
    for (const TLineRange& run : runs)
        if (!run.empty()) return false;
    return true;
}

TStringList CopyLines(TLineSpan lines) {
    TStringList list;
    list.AppendRange(lines);
    return list;
}

}  // namespace brindle
