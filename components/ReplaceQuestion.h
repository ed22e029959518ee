#pragma once
// Asking before a saved file takes the name of an entry that is already in the target folder.
// The choices follow what mail viewers commonly offer: replace the entry, keep both (the new
// file gets the next free name "name (2).ext"), or skip this file; with several files the
// answer can be kept for the remaining ones, and Cancel stops the whole save.
#include "platform/TargetFolder.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace brindle {

enum class TReplaceAnswer { Replace, KeepBoth, Skip, Cancel };

struct TReplaceChoice {
    TReplaceAnswer answer = TReplaceAnswer::Cancel;
    bool forAll = false;  // the same answer for the remaining names that are taken
};

// Asks about one taken name in a folder; several tells whether more files follow.
using TAskReplace =
    std::function<TReplaceChoice(QWidget* parent, const QString& name, const QString& folder, bool several)>;

// The question as a message box: Replace, Keep Both, Skip and Cancel, and with several files a
// check box "Do this for the remaining files".
TReplaceChoice AskReplaceInMessageBox(QWidget* parent, const QString& name, const QString& folder, bool several);

// Decides, file by file, how a save into one folder writes: a free name is written new, a
// taken one only after asking (or as answered for all before).
class TReplaceAsker {
public:
    TReplaceAsker(const TTargetFolder& folder, TAskReplace ask, QWidget* parent, bool several);

    // How to write the name; std::nullopt when it is skipped or the save was cancelled.
    std::optional<TIfExists> HowToWrite(const std::string& name);
    bool Cancelled() const { return cancelled_; }

private:
    const TTargetFolder& folder_;
    TAskReplace ask_;
    QWidget* parent_;
    bool several_;
    bool cancelled_ = false;
    std::optional<TReplaceAnswer> answerForAll_;
};

}  // namespace brindle
