#include "components/MRUList.h"

#include "components/MenuTag.h"
#include "components/SettingsKey.h"

#include <QAction>
#include <QMenuBar>

#include <algorithm>

namespace brindle {
namespace {

constexpr int kSeparatorTag = -1;

#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
constexpr bool kFileSystemDistinguishesCase = false;
#else
constexpr bool kFileSystemDistinguishesCase = true;
#endif

QString LowerCaseAscii(QString text) {
    for (QChar& c : text)
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() - u'A' + u'a');
    return text;
}

QString ValueName(int index) { return QStringLiteral("File %1").arg(index); }

// The number of a value named "File %d", or -1 for any other name.
int FileValueNumber(const QString& name) {
    static const QString prefix = QStringLiteral("File ");
    if (!name.startsWith(prefix) || name.size() == prefix.size()) return -1;
    bool ok = false;
    int number = name.mid(prefix.size()).toInt(&ok);
    return ok && number >= 0 && QString::number(number) == name.mid(prefix.size()) ? number : -1;
}

// The settings file keeps its values sorted by name, so "File 10" would come before
// "File 2"; the numbered values go first in the order of their numbers, the others after.
void OrderValueNames(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        int na = FileValueNumber(a), nb = FileValueNumber(b);
        if (na < 0 || nb < 0) return na >= 0 && nb < 0;
        return na < nb;
    });
}

// Takes an entry out of the menu; an entry of the list's own is freed once control is back in
// the event loop, since the menu is rebuilt while the entry's own click is being handled
// (opening a recent file adds it to the list again).
void DiscardEntry(QMenu* menu, QAction* action, const QObject* list) {
    menu->removeAction(action);
    if (action->parent() == list) action->deleteLater();
}

// True for a menu that is a title of a menu bar (such as File), as opposed to a submenu.
bool IsMenuBarTitle(const QMenu* menu) {
    const auto owners = menu->menuAction()->associatedObjects();
    return std::any_of(owners.begin(), owners.end(),
                       [](QObject* owner) { return qobject_cast<QMenuBar*>(owner) != nullptr; });
}

}  // namespace

Korvane_MRUList::Korvane_MRUList(QObject* owner)
    : QObject(owner), caseSensitiveFileNames_(kFileSystemDistinguishesCase) {}

Korvane_MRUList::~Korvane_MRUList() { SaveToRegistry(); }

void Korvane_MRUList::SetKeyPart(QString& part, const QString& value) {
    if (part == value) return;
    SaveToRegistry();
    part = value;
    listLoaded_ = false;
}

void Korvane_MRUList::SetApplication(const QString& value) { SetKeyPart(application_, value); }
void Korvane_MRUList::SetManufacturer(const QString& value) { SetKeyPart(manufacturer_, value); }
void Korvane_MRUList::SetVersion(const QString& value) { SetKeyPart(version_, value); }

void Korvane_MRUList::SetCapacity(int value) { capacity_ = std::max(1, value); }

void Korvane_MRUList::SetPopupMenu(QMenu* menu) {
    if (popupMenu_ == menu) return;
    popupMenu_ = menu;
    BuildPopupMenu();
}

void Korvane_MRUList::SetMainMenuItem(QMenu* menu) {
    if (mainMenuItem_ == menu) return;
    mainMenuItem_ = menu;
    BuildMainMenu();
}

QString Korvane_MRUList::GetRegistryKey() const {
    return QStringLiteral("SOFTWARE\\%1\\%2\\%3\\Recent Files").arg(manufacturer_, application_, version_);
}

QString Korvane_MRUList::EntryCaption(int index, const QString& fileName) {
    return u'&' + QString::number(index, 16).toUpper() + u' ' + fileName;
}

const QStringList& Korvane_MRUList::Items() {
    LoadFromRegistry();
    return fileList_;
}

int Korvane_MRUList::IndexOf(const QString& fileName) const {
    Qt::CaseSensitivity cs = caseSensitiveFileNames_ ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < fileList_.size(); ++i)
        if (fileList_[i].compare(fileName, cs) == 0) return i;
    return -1;
}

void Korvane_MRUList::AddFile(const QString& fileName) {
    QString name = caseSensitiveFileNames_ ? fileName : LowerCaseAscii(fileName);
    LoadFromRegistry();
    if (int existing = IndexOf(name); existing >= 0) fileList_.removeAt(existing);
    while (fileList_.size() >= capacity_) fileList_.removeLast();
    fileList_.prepend(name);
    BuildPopupMenu();
    BuildMainMenu();
}

void Korvane_MRUList::LoadFromRegistry() {
    if (listLoaded_) return;
    fileList_.clear();
    if (!manufacturer_.isEmpty()) {
        auto settings = OpenSettingsKey(GetRegistryKey());
        QStringList names = settings->childKeys();
        OrderValueNames(names);
        for (const QString& name : names) {
            QVariant value = settings->value(name);
            if (value.typeId() == QMetaType::QString) fileList_.append(value.toString());
        }
    }
    listLoaded_ = true;
}

void Korvane_MRUList::SaveToRegistry() {
    if (manufacturer_.isEmpty() || !listLoaded_) return;
    auto settings = OpenSettingsKey(GetRegistryKey());
    if (fileList_.isEmpty()) {
        settings->remove(QString());
        return;
    }
    for (int i = 0; i < fileList_.size(); ++i) settings->setValue(ValueName(i), fileList_[i]);
    // Entries beyond the list would come back as recent files at the next start.
    for (const QString& name : settings->childKeys())
        if (FileValueNumber(name) >= fileList_.size()) settings->remove(name);
}

QAction* Korvane_MRUList::NewEntry(QMenu* menu, int index, const QString& fileName) {
    auto* entry = new QAction(EntryCaption(index, fileName), this);
    menu->addAction(entry);
    return entry;
}

void Korvane_MRUList::RemoveTrailingEntries(QMenu* menu) {
    const QList<QAction*> actions = menu->actions();
    auto first = std::find_if(actions.begin(), actions.end(),
                              [](QAction* a) { return a->isSeparator() && Tag(a) == kSeparatorTag; });
    for (auto it = first; it != actions.end(); ++it) DiscardEntry(menu, *it, this);
}

void Korvane_MRUList::BuildMainMenu() {
    QMenu* menu = mainMenuItem_;
    if (!menu) return;
    const QStringList& items = Items();
    if (IsMenuBarTitle(menu)) {
        RemoveTrailingEntries(menu);
        if (!items.isEmpty() && !menu->actions().isEmpty()) {
            // A separator with a text draws that text in some styles.
            auto* separator = new QAction(this);
            separator->setSeparator(true);
            SetTag(separator, kSeparatorTag);
            menu->addAction(separator);
        }
    } else {
        for (QAction* action : menu->actions()) DiscardEntry(menu, action, this);
        menu->menuAction()->setEnabled(!items.isEmpty());
    }
    for (int i = 0; i < items.size(); ++i) {
        QAction* entry = NewEntry(menu, i, items[i]);
        SetTag(entry, i);
        connect(entry, &QAction::triggered, this, [this, entry] { emit OnMenuItemClick(entry); });
    }
}

void Korvane_MRUList::BuildPopupMenu() {
    QMenu* menu = popupMenu_;
    if (!menu) return;
    for (QAction* action : menu->actions()) DiscardEntry(menu, action, this);
    const QStringList& items = Items();
    for (int i = 0; i < items.size(); ++i) {
        QAction* entry = NewEntry(menu, i, items[i]);
        connect(entry, &QAction::triggered, this, [this, entry] { emit OnPopupMenuClick(entry); });
    }
}

}  // namespace brindle
