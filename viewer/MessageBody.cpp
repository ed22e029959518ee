#include "viewer/MessageBody.h"

#include "platform/Utf8.h"
#include "viewer/HtmlGuard.h"
#include "viewer/TextLines.h"
#include "viewer/ViewerText.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>

#include <map>

namespace brindle {

namespace {

bool IsPlainType(const std::string& type) { return type == "text/plain"; }
bool IsHtmlType(const std::string& type) { return type == "text/html"; }

// True when the message says where each of its text parts begins.
bool HasTextPlaces(const TMoxMsg& message) {
    return !message.TextParts.empty() && message.TextParts.size() == message.TextTypes.size();
}

// The text of each part, every line followed by LF. A message that does not say where its
// parts begin is one part.
std::vector<std::string> PartTexts(const TMoxMsg& message) {
    const size_t count = HasTextPlaces(message) ? message.TextParts.size() : 1;
    std::vector<std::string> texts(count);
    size_t part = 0;
    size_t line = 0;
    for (std::string_view text : message.Text) {
        while (part + 1 < count && message.TextParts[part + 1].FirstLine <= line) ++part;
        texts[part] += text;
        texts[part] += '\n';
        ++line;
    }
    for (std::string& text : texts) text = Utf8OrCp1252(text);
    return texts;
}

// The type of each part of PartTexts: a message without places is HTML when one of its parts is.
std::vector<std::string> PartTypes(const TMoxMsg& message) {
    if (HasTextPlaces(message)) return message.TextTypes;
    return {HasHtmlPart(message.TextTypes) ? "text/html" : "text/plain"};
}

// How well a part serves a view: its own type best, the other one next.
int Fitness(const std::string& type, TBodyStyle style) {
    const bool plain = IsPlainType(type);
    const bool html = IsHtmlType(type);
    if (!plain && !html) return 0;
    return plain == (style == TBodyStyle::Plain) ? 2 : 1;
}

struct TChoice {
    size_t choice = 0;
    int fitness = -1;
};

}  // namespace

std::vector<bool> ShownTextParts(const TMoxMsg& message, TBodyStyle style) {
    if (!HasTextPlaces(message)) return std::vector<bool>(1, true);
    const auto& places = message.TextParts;
    std::map<size_t, TChoice> chosen;
    for (size_t i = 0; i < places.size(); ++i) {
        if (places[i].Alternative == 0) continue;
        TChoice& best = chosen[places[i].Alternative];
        const int fitness = Fitness(message.TextTypes[i], style);
        if (fitness >= best.fitness) best = {places[i].Choice, fitness};
    }
    std::vector<bool> shown(places.size(), true);
    for (size_t i = 0; i < places.size(); ++i) {
        const std::string& type = message.TextTypes[i];
        if (places[i].Alternative == 0 || (!IsPlainType(type) && !IsHtmlType(type))) continue;
        shown[i] = chosen[places[i].Alternative].choice == places[i].Choice;
    }
    return shown;
}

std::string MessageBodyText(const TMoxMsg& message) {
    const std::vector<std::string> texts = PartTexts(message);
    const std::vector<std::string> types = PartTypes(message);
    const std::vector<bool> shown = ShownTextParts(message, TBodyStyle::Plain);
    std::string body;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!shown[i]) continue;
        if (!IsHtmlType(types[i])) {
            body += texts[i];
            continue;
        }
        std::string reduced = HtmlAsPlainText(texts[i]);
        if (reduced.empty()) continue;
        if (reduced.back() != '\n') reduced += '\n';
        body += reduced;
    }
    return body;
}

TViewBody HtmlViewBody(const TMoxMsg& message) {
    std::vector<std::string> texts = PartTexts(message);
    const std::vector<std::string> types = PartTypes(message);
    const std::vector<bool> shown = ShownTextParts(message, TBodyStyle::Html);
    TViewBody body;
    for (size_t i = 0; i < texts.size(); ++i)
        if (shown[i] && IsHtmlType(types[i])) body.html = true;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!shown[i]) continue;
        if (body.html && !IsHtmlType(types[i]))
            body.text += PlainTextAsHtmlBlock(texts[i]);
        else
            body.text += texts[i];
    }
    return body;
}

std::string BodyDocument(const TViewBody& body) {
    return body.html ? GuardHtml(body.text) : PlainTextToHtml(body.text);
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
