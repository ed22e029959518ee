#include "app/CharsetMenu.h"

#include "components/SettingsKey.h"
#include "mailbox/CodePage.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QUrl>

namespace brindle {
namespace {

constexpr const char* kCodePageProperty = "codePage";

// Paths hold "/" and "\", which settings take as group separators.
QString SettingsName(const QString& path) { return QString::fromLatin1(QUrl::toPercentEncoding(path)); }

QString LabelText(const std::string& label) {
    const TCodePage* page = FindCodePage(label);
    return QString::fromStdString(page ? CodePageTitle(*page) : label);
}

}  // namespace

TCharsetMenu::TCharsetMenu(QMenu* menu, QStatusBar* statusBar, TMailboxSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    menu_ = menu->addMenu(QStringLiteral("Character &Set"));
    menu_->setObjectName(QStringLiteral("mmCharset"));
    group_ = new QActionGroup(this);
    group_->setExclusive(true);
    auto add = [this](const QString& text, const QString& name, const std::string& label) {
        QAction* action = menu_->addAction(text);
        action->setObjectName(name);
        action->setCheckable(true);
        action->setProperty(kCodePageProperty, QString::fromStdString(label));
        group_->addAction(action);
        connect(action, &QAction::triggered, this, [this, label] { Choose(label); });
        return action;
    };
    automatic_ = add(QStringLiteral("&Automatic"), QStringLiteral("mmCharsetAuto"), std::string());
    menu_->addSeparator();
    for (const TCodePage& page : CodePages())
        add(QString::fromStdString(CodePageTitle(page)), QStringLiteral("mmCharset%1").arg(page.Number),
            std::string(page.Label));
    automatic_->setChecked(true);
    menu_->setEnabled(false);
    label_ = new QLabel(statusBar);
    label_->setObjectName(QStringLiteral("sbCodePage"));
    statusBar->addPermanentWidget(label_);
}

std::string TCharsetMenu::Remembered(const QString& path) {
    auto settings = OpenSettingsKey(QString::fromLatin1(kCharsetSettingsKey));
    return settings->value(SettingsName(path)).toString().toStdString();
}

void TCharsetMenu::Remember(const QString& path, const std::string& label) {
    auto settings = OpenSettingsKey(QString::fromLatin1(kCharsetSettingsKey));
    if (label.empty())
        settings->remove(SettingsName(path));
    else
        settings->setValue(SettingsName(path), QString::fromStdString(label));
}

std::string TCharsetMenu::Open(const QString& path) {
    path_ = path;
    const std::string remembered = Remembered(path);
    const TCodePage* page = remembered.empty() ? nullptr : FindCodePage(remembered);
    session_.SetCodePageChoice(page ? TCodePageChoice::Fixed(std::string(page->Label)) : TCodePageChoice::Automatic());
    for (QAction* action : group_->actions())
        if (action->property(kCodePageProperty).toString().toStdString() == (page ? page->Label : std::string_view()))
            action->setChecked(true);
    menu_->setEnabled(true);
    Show();
    return session_.CodePage();
}

void TCharsetMenu::Close() {
    path_.clear();
    automatic_->setChecked(true);
    menu_->setEnabled(false);
    Show();
}

void TCharsetMenu::Choose(const std::string& label) {
    if (!session_.HasStore()) return;
    Remember(path_, label);
    session_.SetCodePageChoice(label.empty() ? TCodePageChoice::Automatic() : TCodePageChoice::Fixed(label));
    Show();
    emit CodePageChanged();
}

void TCharsetMenu::Show() {
    const std::string& codePage = menu_->isEnabled() ? session_.CodePage() : std::string();
    label_->setText(codePage.empty() ? QString() : LabelText(codePage));
    label_->setToolTip(codePage.empty() ? QString() : QStringLiteral("The code page in which the summaries are read"));
}

}  // namespace brindle
