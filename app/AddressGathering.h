#pragma once
// Gather E-mail Addresses: the "NAME = ADDRESS" line of every sender and receiver, each
// present once under the user locale's comparison that ignores case, sorted by it.
#include "store/OEReader.h"

#include <QCollator>
#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;

namespace brindle {

// Sorts the lines by collator (keys computed once per line) and keeps, of every group that
// compares equal, the line that came first.
void SortUniqueByCollator(std::vector<std::string>& lines, const QCollator& collator);

// The gathered list of a store under the user's locale.
std::vector<std::string> GatherAddressLines(TOEReader& reader, const std::string& codePage = {});

// The gathered list where the user sees it: the lines, a button that copies them all to the
// clipboard and one that saves them as a text file.
class TAddressesDialog : public QDialog {
public:
    TAddressesDialog(const std::vector<std::string>& lines, QWidget* parent = nullptr);

    // The lines as the list shows them, each followed by LF.
    QString Text() const;
    void Copy() const;
    // Writes the lines (UTF-8) into path after the replace question for a taken name; the
    // status line of the dialog says what was written. Throws the file layer's errors.
    void SaveTo(const QString& path);

private:
    void ChooseAndSave();

    QPlainTextEdit* list_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace brindle
