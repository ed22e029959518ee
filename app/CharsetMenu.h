#pragma once
// View > Character Set: the code page in which the open store's summaries are read, as the
// session's code-page choice. "Automatic" takes the one decided from the store (or its store
// folder); a choice is remembered per store file (or store folder) path. A small label in the
// status bar names the code page in use.
#include "mailbox/MailboxSession.h"

#include <QObject>
#include <QString>

#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QStatusBar;

namespace brindle {

// The settings key under which the choices are kept, one value per path.
inline constexpr const char* kCharsetSettingsKey = "Software\\Korvane\\Brindle\\1.x\\Character Sets";

class TCharsetMenu : public QObject {
    Q_OBJECT

public:
    // Adds the submenu to menu and the label to the status bar; the choices go to session,
    // which must outlive the menu's use.
    TCharsetMenu(QMenu* menu, QStatusBar* statusBar, TMailboxSession& session, QObject* parent = nullptr);

    // The session's store was opened from path: the choice remembered for it, else automatic,
    // becomes the session's. Checks its action and shows the code page, which it returns. A
    // store of a store folder is opened with the folder's path.
    std::string Open(const QString& path);
    // No store is open: nothing to choose.
    void Close();

    const std::string& CodePage() const { return session_.CodePage(); }
    QMenu* Menu() const { return menu_; }
    QLabel* Label() const { return label_; }

    // The label remembered for a path; empty for automatic.
    static std::string Remembered(const QString& path);
    static void Remember(const QString& path, const std::string& label);

signals:
    // The user chose another code page for the open store.
    void CodePageChanged();

private:
    void Choose(const std::string& label);
    void Show();

    QMenu* menu_ = nullptr;
    QActionGroup* group_ = nullptr;
    QAction* automatic_ = nullptr;
    QLabel* label_ = nullptr;
    QString path_;
    TMailboxSession& session_;
};

}  // namespace brindle
