#pragma once
// The entry into the message viewer: shows one message, given as its raw text, in a modal
// dialog and returns when the user has closed it.
#include <string>

class QWidget;

namespace brindle {

void ShowMessageView(const std::string& rawText, QWidget* parent = nullptr);

}  // namespace brindle
