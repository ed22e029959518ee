#include "viewer/MessageBody.h"

#include "platform/Utf8.h"
#include "viewer/HtmlGuard.h"
#include "viewer/TextLines.h"
#include "viewer/ViewerText.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>

namespace brindle {

std::string MessageBodyText(const TMoxMsg& message) {
    size_t size = 0;
    for (std::string_view line : message.Text) size += line.size() + 1;
    std::string text;
    text.reserve(size);
    for (std::string_view line : message.Text) {
        text += line;
        text += '\n';
    }
    return text;
}

std::string BodyDocument(const TTextLines& text, bool html) {
    const std::string body = text.ShownText(0, text.Bytes().size());
    return html ? GuardHtml(body) : PlainTextToHtml(body);
}

std::string_view InlineImageOf(const TMoxMsg& message, std::string_view contentId) {
    if (contentId.empty()) return {};
    for (size_t i = 0; i < message.AttachedFiles.Count(); ++i) {
        const TAttachedFile& file = message.AttachedFiles.Items(i);
        if (file.ContentID == contentId) return file.Data;
    }
    return {};
}

bool IsAttachedMessage(const TAttachedFile& file) {
    return file.MediaType == "message/rfc822" || file.ContentType == "message/rfc822";
}

QString ShownBytes(std::string_view bytes) { return QString::fromStdString(Utf8OrCp1252(bytes)); }

void SetNotice(QLabel* label, const QString& notice) {
    label->setText(notice);
    label->setVisible(!notice.isEmpty());
}

void SetBoxText(QLineEdit* box, const QString& text) {
    box->setText(text);
    box->setCursorPosition(0);
    box->setToolTip(text);
}

QLabel* NewNoticeLabel() {
    static const QColor kNoticeColor(255, 244, 190);
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("lNotice"));
    label->setWordWrap(true);
    label->setMargin(4);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kNoticeColor);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->hide();
    return label;
}

QListWidget* NewAttachmentList(const QString& objectName) {
    constexpr int kIconSize = 16;
    auto* list = new QListWidget;
    list->setObjectName(objectName);
    list->setViewMode(QListView::ListMode);
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setIconSize(QSize(kIconSize, kIconSize));
    list->setMovement(QListView::Static);
    list->setResizeMode(QListView::Adjust);
    list->setTextElideMode(Qt::ElideNone);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

}  // namespace brindle
