#include "viewer/ReadingPane.h"

#include "components/BackgroundJob.h"
#include "components/DefaultHandler.h"
#include "mime/SaveNames.h"
#include "viewer/AttachmentOpen.h"
#include "viewer/HTMLViewer.h"
#include "viewer/Icons.h"
#include "viewer/MessageBody.h"
#include "viewer/TextLines.h"
#include "viewer/TextView.h"
#include "viewer/ViewerHooks.h"
#include "viewer/ViewerText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace brindle {
namespace {

constexpr int kListHeight = 44;
// An HTML body larger than this shows as its text: the HTML control parses and lays out a
// document on the GUI thread at about a second per megabyte.
constexpr size_t kLargeHtmlBytes = 128 * 1024;
const QString kLargeHtmlNotice =
    QStringLiteral("This large message shows here as plain text; Message View (Return) shows it formatted.");

// A caption beside its value: bold and in a colour between the text's and the background's,
// so that the eye finds the values.
QLabel* MakeCaption(const char* caption) {
    auto* label = new QLabel(QLatin1String(caption));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    const QColor ink = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    palette.setColor(QPalette::WindowText,
                     QColor((ink.red() * 3 + window.red() * 2) / 5, (ink.green() * 3 + window.green() * 2) / 5,
                            (ink.blue() * 3 + window.blue() * 2) / 5));
    label->setPalette(palette);
    return label;
}

QLineEdit* MakeField(const char* name) {
    auto* box = new QLineEdit;
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setFrame(false);
    box->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    return box;
}

}  // namespace

// A message on its way from the worker thread: everything that takes time with its size.
struct TReadingPane::TPrepared {
    uint64_t generation = 0;
    std::string raw;
    std::string codePage;
    QString notice;
    std::unique_ptr<TMoxMsg> message;
    std::shared_ptr<const TTextLines> text;
    bool html = false;
    std::string document;
    std::vector<std::string> saveNames;
    QString error;

    void Run() {
        try {
            message = std::make_unique<TMoxMsg>();
            message->StoreCodePage = codePage;
            message->SetRawText(std::move(raw));
            message->ClearRawMailAfterParse = true;
            message->Parse();
            TViewBody body = HtmlViewBody(*message);
            html = body.html;
            if (html && body.text.size() > kLargeHtmlBytes) {
                html = false;
                body.text = MessageBodyText(*message);
                notice = notice.isEmpty() ? kLargeHtmlNotice : notice + u'\n' + kLargeHtmlNotice;
            }
            if (html)
                document = BodyDocument(body);
            else
                text = std::make_shared<const TTextLines>(std::move(body.text));
            saveNames = AttachmentSaveNames(message->AttachedFiles);
        } catch (const std::exception& failure) {
            message.reset();
            error = MessageForDisplay(QString::fromUtf8(failure.what()));
        }
    }
};

TReadingPane::TReadingPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReadingPane"));
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, [this] { Serve(); });

    auto* fields = new QGridLayout;
    fields->setContentsMargins(4, 2, 4, 2);
    fields->setVerticalSpacing(0);
    constexpr int kRows = 5;
    const std::array<const char*, kRows> captions = {"From:", "To:", "Cc:", "Subject:", "Date:"};
    const std::array<const char*, kRows> names = {"eFrom", "eTo", "eCc", "eSubject", "eSent"};
    std::array<QLineEdit*, kRows> boxes{};
    std::array<QLabel*, kRows> labels{};
    for (int row = 0; row < kRows; ++row) {
        labels[row] = MakeCaption(captions[row]);
        boxes[row] = MakeField(names[row]);
        labels[row]->setBuddy(boxes[row]);
        fields->addWidget(labels[row], row, 0);
        fields->addWidget(boxes[row], row, 1);
    }
    fields->setColumnStretch(1, 1);
    eFrom = boxes[0];
    eTo = boxes[1];
    eCc = boxes[2];
    eSubject = boxes[3];
    eSent = boxes[4];
    ccLabel_ = labels[2];
    QFont bold = eSubject->font();
    bold.setBold(true);
    eSubject->setFont(bold);

    lNotice = NewNoticeLabel();

    HTMLViewer = new THTMLViewer;
    HTMLViewer->setObjectName(QStringLiteral("PaneHTMLViewer"));
    HTMLViewer->OnHotSpotClick = [this](THTMLViewer*, const QString& target, bool& handled) {
        RunGuarded([&] { OpenDesktopLink(target, handled); }, this);
    };
    HTMLViewer->SetInlineImageSource([this](const QString& contentId) {
        return message_ ? InlineImageOf(*message_, contentId.toStdString()) : std::string_view();
    });
    Text = new TTextView;
    Text->setObjectName(QStringLiteral("PaneText"));
    Text->SetWordWrap(true);
    body_ = new QStackedWidget;
    body_->addWidget(Text);
    body_->addWidget(HTMLViewer);

    List = NewAttachmentList(QStringLiteral("PaneList"));
    List->setFixedHeight(kListHeight);
    List->setToolTip(QStringLiteral("Double-click to open"));
    bSave = new QPushButton(QStringLiteral("Save..."));
    bSave->setObjectName(QStringLiteral("bPaneSave"));
    bSave->setToolTip(QStringLiteral("Save the selected attachment, or all of them, into a folder"));
    bSave->setAutoDefault(false);
    attachments_ = new QWidget;
    auto* attachmentRow = new QHBoxLayout(attachments_);
    attachmentRow->setContentsMargins(0, 2, 0, 0);
    attachmentRow->addWidget(List, 1);
    attachmentRow->addWidget(bSave, 0, Qt::AlignTop);
    attachments_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(fields);
    layout->addWidget(lNotice);
    layout->addWidget(body_, 1);
    layout->addWidget(attachments_);

    connect(bSave, &QPushButton::clicked, this, [this] { RunGuarded([this] { SaveClick(); }, this); });
    connect(List, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { RunGuarded([this, item] { OpenItem(List->row(item)); }, this); });
}

TReadingPane::~TReadingPane() = default;

void TReadingPane::ShowMessage(TMessageHandle message) {
    pending_ = std::move(message);
    ++generation_;
    timer_->start();
}

void TReadingPane::Clear() {
    pending_.reset();
    ++generation_;
    shownGeneration_ = generation_;
    timer_->stop();
    ShowNothing(QString());
}

// No message: empty fields, text and attachments, and the notice when there is one.
void TReadingPane::ShowNothing(const QString& notice) {
    message_.reset();
    saveNames_.clear();
    ShowFields(nullptr, notice);
    Text->SetText({});
    HTMLViewer->LoadFromString(QString());
    body_->setCurrentWidget(Text);
    List->clear();
    attachments_->hide();
}

bool TReadingPane::Busy() const { return shownGeneration_ != generation_; }

// The Cc row shows only for a message that has one.
void TReadingPane::ShowFields(const TMoxMsg* message, const QString& notice) {
    const auto shown = [message](const std::string TMoxMsg::*field) {
        return message ? ShownBytes(message->*field) : QString();
    };
    SetBoxText(eFrom, shown(&TMoxMsg::From));
    SetBoxText(eTo, shown(&TMoxMsg::ShownTo));
    SetBoxText(eCc, shown(&TMoxMsg::ShownCc));
    SetBoxText(eSubject, shown(&TMoxMsg::Subject));
    SetBoxText(eSent, shown(&TMoxMsg::Date));
    const bool cc = message && !message->ShownCc.empty();
    ccLabel_->setVisible(cc);
    eCc->setVisible(cc);
    SetNotice(lNotice, notice);
}

void TReadingPane::Serve() {
    if (!pending_) return;
    auto prepared = std::make_shared<TPrepared>();
    prepared->generation = generation_;
    const TMessageHandle message = std::move(*pending_);
    pending_.reset();
    bool found = false;
    try {
        if (message.Valid()) {
            prepared->raw = message.Text();
            prepared->notice = QString::fromStdString(message.Notice());
            prepared->codePage = message.CodePage();
            found = !prepared->raw.empty();
        }
    } catch (const std::exception& failure) {
        prepared->error = MessageForDisplay(QString::fromUtf8(failure.what()));
    }
    if (!found) {
        Present(prepared);
        return;
    }
    // A parse that a newer request overtakes runs to its end and is dropped by Present; the
    // pane waits for those still running when it goes.
    auto* job = new TBackgroundJob(QStringLiteral("Reading"), this);
    connect(job, &TBackgroundJob::Finished, this, [this, job, prepared] {
        job->deleteLater();
        Present(prepared);
    });
    job->Start([prepared](TJobControl&) -> std::any {
        prepared->Run();
        return {};
    });
}

void TReadingPane::Present(const std::shared_ptr<TPrepared>& prepared) {
    if (prepared->generation != generation_) return;
    shownGeneration_ = generation_;
    message_ = std::move(prepared->message);
    if (!message_) {
        ShowNothing(prepared->error);
        emit MessageShown();
        return;
    }
    ShowFields(message_.get(), prepared->notice);
    if (prepared->html) {
        Text->SetText({});
        HTMLViewer->LoadFromString(QString::fromStdString(prepared->document));
        body_->setCurrentWidget(HTMLViewer);
    } else {
        HTMLViewer->LoadFromString(QString());
        Text->SetLines(prepared->text);
        body_->setCurrentWidget(Text);
    }
    List->clear();
    const QIcon icon(AttachmentIcon());
    for (size_t i = 0; i < message_->AttachedFiles.Count(); ++i) {
        auto* item = new QListWidgetItem(icon, QString::fromStdString(prepared->saveNames.at(i)));
        item->setToolTip(QStringLiteral("%1 (%2, %3 B)")
                             .arg(ShownBytes(message_->AttachedFiles.Items(i).FileName),
                                  ShownBytes(message_->AttachedFiles.Items(i).ContentType))
                             .arg(static_cast<qulonglong>(message_->AttachedFiles.Items(i).Data.size())));
        List->addItem(item);
    }
    attachments_->setVisible(message_->AttachedFiles.Count() > 0);
    saveNames_ = std::move(prepared->saveNames);
    emit MessageShown();
}

void TReadingPane::SaveClick() {
    if (!message_ || message_->AttachedFiles.Count() == 0) return;
    const QString chosen = ViewerHooks().ChooseFolder(this, QStringLiteral("Save attachments"));
    if (chosen.isEmpty() || !message_) return;
    std::optional<size_t> only;
    if (const int selected = List->currentRow(); selected >= 0 && List->currentItem()->isSelected())
        only = static_cast<size_t>(selected);
    const TSavedAttachments saved = SaveAttachments(*message_, saveNames_, only, chosen, this);
    emit AttachmentsSaved(SavedAttachmentsText(saved, chosen));
    ThrowIfNotSaved(saved);
}

void TReadingPane::OpenItem(int row) {
    if (!message_ || row < 0 || static_cast<size_t>(row) >= message_->AttachedFiles.Count()) return;
    OpenAttachment(*message_, static_cast<size_t>(row), saveNames_.at(static_cast<size_t>(row)), this);
}

}  // namespace brindle
