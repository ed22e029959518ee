#pragma once
// Find in Messages: a query box that searches every message of a store or store folder (the
// core search, on a worker thread, with a progress bar and Cancel) and lists the hits with
// folder, sender, subject and date, in the order found until a column's header is clicked.
// A double-click or Enter on a hit opens it.
#include "mailbox/Search.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include "components/BackgroundJob.h"

#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace brindle {

class TFindDialog : public QDialog {
    Q_OBJECT

public:
    // path: a store file or a store folder.
    explicit TFindDialog(const std::string& path, QWidget* parent = nullptr);
    ~TFindDialog() override;

    // Opens a hit; by default the message is read from its store and shown in the viewer.
    std::function<void(const TSearchHit& hit)> OpenHit;

    // The name each store file (by its path as the search gives it) is shown under in the
    // folder column, as the window lists it; a file not named here shows its folder name from
    // the search, else its file name.
    void SetFolderNames(std::map<std::string, QString> names) { folderNames_ = std::move(names); }

    // Starts a search for the text (the query box's text is set to it).
    void Find(const QString& text);
    bool Searching() const { return job_ && job_->Running(); }
    const std::vector<TSearchHit>& Hits() const { return hits_; }

signals:
    // A search ended (finished or cancelled) and its hits are listed.
    void SearchEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StartSearch();
    void StopSearch();
    void ShowProgress(quint64 done, quint64 total);
    void SearchFinished();
    void ShowHits(std::vector<TSearchHit> hits, bool cancelled, QString error);
    void OpenItem(QTreeWidgetItem* item);
    QString FolderOf(const TSearchHit& hit) const;
    void SortByColumn(int column);

    std::string path_;
    QLineEdit* query_ = nullptr;
    QPushButton* findButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::vector<TSearchHit> hits_;
    std::map<std::string, QString> folderNames_;
    int sortColumn_ = -1;  // none: the order found
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    // The running or last search; a search that a newer one replaces goes with its reports.
    std::unique_ptr<TBackgroundJob> job_;
};

// The message of a hit read from its store (or .eml file), as raw text; throws as the
// readers do.
std::string ReadHitText(const TSearchHit& hit);

}  // namespace brindle
