#pragma once
// The entry into the message viewer: shows one message, given as its raw text, in a modal
// dialog and returns when the user has closed it. A notice (how the text was recovered, what
// of it is lost) shows above the text; none for a message read as the store holds it. The
// store's code page (a label) reads 8-bit text of no declared charset; empty for none.
#include "components/MessageStep.h"

#include <QString>

#include <string>

class QWidget;

namespace brindle {

// step, when given, lets the viewer move to the previous and next message of the list.
void ShowMessageView(const std::string& rawText, QWidget* parent = nullptr, const QString& notice = QString(),
                     const std::string& storeCodePage = {}, const TMessageStep& step = {});

}  // namespace brindle
