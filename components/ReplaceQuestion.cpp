#include "components/ReplaceQuestion.h"

#include "components/DefaultHandler.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace brindle {

TReplaceChoice AskReplaceInMessageBox(QWidget* parent, const QString& name, const QString& folder, bool several) {
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                    QStringLiteral("\"%1\" already exists in %2.").arg(name, QDir::toNativeSeparators(folder)),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(QStringLiteral("Replace it, keep both (the new file gets a numbered name) or skip it?"));
    QPushButton* replace = box.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
    QPushButton* keepBoth = box.addButton(QStringLiteral("Keep Both"), QMessageBox::AcceptRole);
    QPushButton* skip = box.addButton(QStringLiteral("Skip"), QMessageBox::RejectRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(keepBoth);
    QCheckBox* forAll = nullptr;
    if (several) {
        forAll = new QCheckBox(QStringLiteral("Do this for the remaining files"), &box);
        box.setCheckBox(forAll);
    }
    box.exec();
    TReplaceChoice choice;
    choice.forAll = forAll != nullptr && forAll->isChecked();
    if (box.clickedButton() == replace)
        choice.answer = TReplaceAnswer::Replace;
    else if (box.clickedButton() == keepBoth)
        choice.answer = TReplaceAnswer::KeepBoth;
    else if (box.clickedButton() == skip)
        choice.answer = TReplaceAnswer::Skip;
    return choice;
}

TReplaceAsker::TReplaceAsker(const TTargetFolder& folder, TAskReplace ask, QWidget* parent, bool several)
    : folder_(folder), ask_(std::move(ask)), parent_(parent), several_(several) {}

std::optional<TIfExists> TReplaceAsker::HowToWrite(const std::string& name) {
    if (cancelled_) return std::nullopt;
    if (!folder_.Exists(name)) return TIfExists::Fail;
    TReplaceAnswer answer = TReplaceAnswer::Cancel;
    if (answerForAll_) {
        answer = *answerForAll_;
    } else {
        TReplaceChoice choice = ask_(parent_, QString::fromUtf8(name),
                                     QFile::decodeName(QByteArray::fromStdString(folder_.Path())), several_);
        answer = choice.answer;
        if (choice.forAll && answer != TReplaceAnswer::Cancel) answerForAll_ = answer;
    }
    switch (answer) {
        case TReplaceAnswer::Replace: return TIfExists::Replace;
        case TReplaceAnswer::KeepBoth: return TIfExists::NextFreeName;
        case TReplaceAnswer::Skip: return std::nullopt;
        case TReplaceAnswer::Cancel: break;
    }
    cancelled_ = true;
    return std::nullopt;
}

}  // namespace brindle
