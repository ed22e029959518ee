#pragma once
// The list of recently opened files: kept in the per-user settings, shown as numbered
// entries "&%x %s" at the end of a menu, newest first. Everything program-specific comes
// from the properties that the owner sets.
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QAction;

namespace brindle {

class Korvane_MRUList : public QObject {
    Q_OBJECT

public:
    explicit Korvane_MRUList(QObject* owner = nullptr);
    ~Korvane_MRUList() override;

    // Second part of the settings key (the product).
    QString Application() const { return application_; }
    void SetApplication(const QString& value);
    // First part of the settings key (the maker); while empty, nothing is read or written.
    QString Manufacturer() const { return manufacturer_; }
    void SetManufacturer(const QString& value);
    // Third part of the settings key.
    QString Version() const { return version_; }
    void SetVersion(const QString& value);
    // Most entries that AddFile leaves in the list; at least 1.
    int Capacity() const { return capacity_; }
    void SetCapacity(int value);
    // A popup menu whose items are replaced by the entries (their Tag stays 0).
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu);
    // The menu under which the entries appear (their Tag is their index into Items).
    QMenu* MainMenuItem() const { return mainMenuItem_; }
    void SetMainMenuItem(QMenu* menu);
    // Whether two names that differ in letter case are two files. When false, names are
    // lower-cased as they are added. True where file systems distinguish case.
    bool CaseSensitiveFileNames() const { return caseSensitiveFileNames_; }
    void SetCaseSensitiveFileNames(bool value) { caseSensitiveFileNames_ = value; }

    // Puts a file at the front of the list and rebuilds the menus. The settings are written
    // when the component is destroyed.
    void AddFile(const QString& fileName);
    // The file names, newest first; read from the settings on first use.
    const QStringList& Items();
    // "SOFTWARE\%s\%s\%s\Recent Files" with Manufacturer, Application and Version.
    virtual QString GetRegistryKey() const;

    // The caption of entry index: "&%x %s" (index in upper-case hexadecimal).
    static QString EntryCaption(int index, const QString& fileName);

signals:
    void OnMenuItemClick(QAction* Sender);
    void OnPopupMenuClick(QAction* Sender);

private:
    void SetKeyPart(QString& part, const QString& value);
    void LoadFromRegistry();
    void SaveToRegistry();
    void BuildMainMenu();
    void BuildPopupMenu();
    void RemoveTrailingEntries(QMenu* menu);
    QAction* NewEntry(QMenu* menu, int index, const QString& fileName);
    int IndexOf(const QString& fileName) const;

    QString application_;
    QString manufacturer_;
    QString version_;
    int capacity_ = 5;
    QPointer<QMenu> popupMenu_;
    QPointer<QMenu> mainMenuItem_;
    bool caseSensitiveFileNames_;
    QStringList fileList_;
    bool listLoaded_ = false;
};

}  // namespace brindle
