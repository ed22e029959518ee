#pragma once
// The reading pane below the message list: the focused message itself, with sender,
// receivers, subject, date, its text rendered under the viewer's safety rules (see HTMLViewer and HtmlGuard) and
// its attachments. Moving through the list must never wait for a message: a request is
// served from a zero-time timer, so that a burst of key repeats reads only the last message,
// and the message is parsed and its document prepared on a worker thread.
#include "mailbox/MailboxSession.h"
#include "mime/MoxMsg.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace brindle {

class THTMLViewer;
class TTextView;

class TReadingPane : public QWidget {
    Q_OBJECT
public:
    explicit TReadingPane(QWidget* parent = nullptr);
    ~TReadingPane() override;

    // Shows the message, as soon as the event loop is free again; a later request replaces one
    // that has not been served yet. Its text is read then, on the GUI thread, with its notice
    // and code page; a handle that is gone or a message without text shows nothing.
    void ShowMessage(TMessageHandle message);
    // Shows no message.
    void Clear();
    // A message was asked for and is not shown yet.
    bool Busy() const;
    // The message shown, or none.
    const TMoxMsg* Message() const { return message_.get(); }

    QLineEdit* eFrom = nullptr;
    QLineEdit* eTo = nullptr;
    QLineEdit* eCc = nullptr;
    QLineEdit* eSubject = nullptr;
    QLineEdit* eSent = nullptr;
    QLabel* lNotice = nullptr;
    THTMLViewer* HTMLViewer = nullptr;
    TTextView* Text = nullptr;
    QListWidget* List = nullptr;
    QPushButton* bSave = nullptr;

signals:
    // The message asked for last is shown (or found to be missing).
    void MessageShown();
    // Save... wrote attachments: what it wrote and what it could not, in a line for a status bar.
    void AttachmentsSaved(const QString& text);

private:
    struct TPrepared;
    void Serve();
    void Present(const std::shared_ptr<TPrepared>& prepared);
    void ShowFields(const TMoxMsg* message, const QString& notice);
    void ShowNothing(const QString& notice);
    void SaveClick();
    void OpenItem(int row);

    std::optional<TMessageHandle> pending_;
    QLabel* ccLabel_ = nullptr;
    QTimer* timer_ = nullptr;
    QStackedWidget* body_ = nullptr;
    QWidget* attachments_ = nullptr;
    std::unique_ptr<TMoxMsg> message_;
    std::vector<std::string> saveNames_;  // of message_'s attachments
    // Counts requests; a prepared message is shown only when it answers the last one.
    uint64_t generation_ = 0;
    uint64_t shownGeneration_ = 0;
};

}  // namespace brindle
