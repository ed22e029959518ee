#pragma once
// The entry into the message viewer: shows one message in a modal dialog and returns when the
// user has closed it. The handle gives the text, the code page that reads its 8-bit text of no
// declared charset, and the notice shown above the text (how a recovered text was found, what
// of it is lost); a handle that is gone shows nothing and raises EMessageGone.
#include "mailbox/MailboxSession.h"
#include "mailbox/MessageStep.h"

class QWidget;

namespace brindle {

// step, when given, lets the viewer move to the previous and next message of the list.
void ShowMessageView(const TMessageHandle& message, QWidget* parent = nullptr, const TMessageStep& step = {});

}  // namespace brindle
