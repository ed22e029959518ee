#pragma once
// The filter of the message list: a row stays when its sender name, sender address or subject
// holds the filter text, compared as people expect: without regard to case, and with accents
// set aside ("resume" finds "Résumé").
#include <QString>
#include <QStringMatcher>

#include <cstdint>
#include <vector>

namespace brindle {

// The text in the form that filter texts and row texts are compared in: decomposed (NFD),
// combining marks removed, case folded.
QString FilterFolded(const QString& text);

// The key of a row: its three texts folded and joined by a character that no filter text
// holds, so that no match runs from one text into the next.
QString FilterKey(const QString& senderName, const QString& senderAddress, const QString& subject);

// The keys of many rows in one text, so that a filter text is looked for in all of them in
// one pass.
class TFilterKeys {
public:
    void Clear();
    bool Empty() const { return starts_.empty(); }
    size_t Count() const { return starts_.size(); }
    void Add(const QString& key);
    // shown[i] becomes 1 for every key i that holds the matcher's pattern, 0 for the others.
    void Mark(const QStringMatcher& matcher, std::vector<uint8_t>& shown) const;

private:
    QString text_;
    std::vector<qsizetype> starts_;
};

}  // namespace brindle
