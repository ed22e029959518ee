#pragma once
// The filter of the message list: a row stays when its sender name, sender address or subject
// holds the filter text, compared as people expect: without regard to case, and with accents
// set aside ("resume" finds "Résumé").
#include <QString>

namespace brindle {

// The text in the form that filter texts and row texts are compared in: decomposed (NFD),
// combining marks removed, case folded.
QString FilterFolded(const QString& text);

// The key of a row: its three texts folded and joined by a character that no filter text
// holds, so that no match runs from one text into the next.
QString FilterKey(const QString& senderName, const QString& senderAddress, const QString& subject);

}  // namespace brindle
