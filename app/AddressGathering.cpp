#include "app/AddressGathering.h"

#include "app/Collation.h"
#include "mailbox/AddressList.h"

#include "app/AppHooks.h"
#include "components/DefaultHandler.h"
#include "components/ReplaceQuestion.h"
#include "platform/TargetFolder.h"

#include <QClipboard>
#include <QCollatorSortKey>
#include <QDir>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace brindle {

void SortUniqueByCollator(std::vector<std::string>& lines, const QCollator& collator) {
    std::vector<QCollatorSortKey> keys;
    keys.reserve(lines.size());
    for (const std::string& line : lines) keys.push_back(LocaleSortKey(collator, QString::fromStdString(line)));

    std::vector<size_t> order(lines.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
    order.erase(
        std::unique(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) == 0; }),
        order.end());

    std::vector<std::string> unique;
    unique.reserve(order.size());
    for (size_t i : order) unique.push_back(std::move(lines[i]));
    lines = std::move(unique);
}

std::vector<std::string> GatherAddressLines(TOEReader& reader, const std::string& codePage) {
    std::vector<std::string> lines = CollectAddressLines(reader, codePage);
    SortUniqueByCollator(lines, LocaleCollator(false));
    return lines;
}

TAddressesDialog::TAddressesDialog(const std::vector<std::string>& lines, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgAddresses"));
    setWindowTitle(QStringLiteral("E-mail Addresses (%1)").arg(lines.size()));
    QString text;
    for (const std::string& line : lines) text += QString::fromStdString(line) + u'\n';
    list_ = new QPlainTextEdit(this);
    list_->setObjectName(QStringLiteral("AddressList"));
    list_->setReadOnly(true);
    list_->setLineWrapMode(QPlainTextEdit::NoWrap);
    list_->setPlainText(text);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lAddressesStatus"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("bCopy"));
    QPushButton* save = buttons->addButton(QStringLiteral("&Save..."), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("bSave"));
    copy->setEnabled(!lines.empty());
    save->setEnabled(!lines.empty());
    connect(copy, &QPushButton::clicked, this, [this] { Copy(); });
    connect(save, &QPushButton::clicked, this, [this] { RunGuarded([this] { ChooseAndSave(); }, this); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    resize(480, 360);
}

QString TAddressesDialog::Text() const { return list_->toPlainText(); }

void TAddressesDialog::Copy() const {
    QGuiApplication::clipboard()->setText(Text());
    status_->setText(QStringLiteral("Copied %1 lines").arg(list_->blockCount() - (Text().endsWith(u'\n') ? 1 : 0)));
}

void TAddressesDialog::ChooseAndSave() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save addresses"),
                                                      QStringLiteral("addresses.txt"),
                                                      QStringLiteral("Text files (*.txt);;All files (*)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) SaveTo(path);
}

void TAddressesDialog::SaveTo(const QString& path) {
    const QFileInfo chosen(path);
    TTargetFolder folder(QFile::encodeName(chosen.absolutePath()).toStdString());
    const std::string name = QFile::encodeName(chosen.fileName()).toStdString();
    TReplaceAsker asker(folder, AppHooks().AskReplace, this, false);
    const std::optional<TIfExists> how = asker.HowToWrite(name);
    if (!how) return;
    const std::string written = folder.Write(name, Text().toStdString(), *how);
    status_->setText(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(
        chosen.absoluteDir().filePath(QFile::decodeName(QByteArray::fromStdString(written))))));
}

}  // namespace brindle
