#pragma once
// View > Character Set: the code page in which the open store's summaries are read.
// "Automatic" takes the one decided from the store; a choice is remembered per store file (or
// store folder) path. A small label in the status bar names the code page in use.
#include "store/OEReader.h"

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
    // Adds the submenu to menu and the label to the status bar.
    TCharsetMenu(QMenu* menu, QStatusBar* statusBar, QObject* parent = nullptr);

    // A store was opened at path: the code page remembered for it, else the one decided from
    // the reader's summaries. Checks its action and shows it. A store of a store folder is
    // opened with the folder's path and the code page decided for the whole folder.
    std::string Open(const QString& path, TOEReader& reader, const std::string& decided = {});
    // No store is open: nothing to choose.
    void Close();

    const std::string& CodePage() const { return codePage_; }
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
    TOEReader* reader_ = nullptr;
    std::string decided_;   // what automatic gives for the open store
    std::string codePage_;  // in use
};

}  // namespace brindle
