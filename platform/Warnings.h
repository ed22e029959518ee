#pragma once
// Damage that a reader tolerates (a record skipped, an unreadable index file) is reported
// through a warning sink instead of being dropped: the command line prints it with --verbose,
// the desktop program shows it in its status bar.
#include "platform/Exceptions.h"

#include <functional>
#include <string>

namespace brindle {

struct TWarning {
    std::string Text;
    TErrorContext Context;

    // The text followed by its context in parentheses, when there is one.
    std::string Describe() const { return Context.Empty() ? Text : Text + " (" + Context.Describe() + ")"; }
};

using TWarningSink = std::function<void(const TWarning&)>;

}  // namespace brindle
