#pragma once
// How a view of one message moves through the list it was opened from, without closing.
#include "mailbox/MailboxSession.h"

#include <functional>

namespace brindle {

struct TMessageStep {
    // Moves to the message step rows away in the list's order (-1 the previous, +1 the next)
    // and gives it; a handle that is not Valid() when there is none, and then nothing moves.
    std::function<TMessageHandle(int step)> Move;
    // Whether Move(step) would find a message, without moving.
    std::function<bool(int step)> Has;

    explicit operator bool() const { return Move && Has; }
};

}  // namespace brindle
