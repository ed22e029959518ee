#pragma once
// How a message viewer moves through the list it was opened from, without closing.
#include <QString>

#include <functional>
#include <string>

namespace brindle {

// Moves to the message step rows away in the list's order (-1 the previous, +1 the next).
// Gives false when there is none; otherwise rawText and notice describe the message now shown.
using TMessageStep = std::function<bool(int step, std::string& rawText, QString& notice)>;

}  // namespace brindle
