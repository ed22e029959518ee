#pragma once
// What the viewer dialog and the reading pane both make of a parsed message: its text body
// in one piece, the document the HTML control shows for it, and its inline images. Nothing
// here needs the GUI thread, so a large message can be prepared on a worker thread; the widget
// functions at the end are for the GUI thread.
#include "mime/MoxMsg.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

namespace brindle {

// How a view shows a message that offers its text in more than one form: as plain text
// (General, the plain reading) or as HTML (HTML View, the reading pane, printing).
enum class TBodyStyle { Plain, Html };

// Whether each part of the text body (one for every entry of TextTypes) shows in the view. Of
// each multipart/alternative, one choice shows: the one with a part of the view's own type,
// else the one with a part of the other type, else the last. Plain and HTML parts of the other
// choices are left out; text parts of other types stay.
std::vector<bool> ShownTextParts(const TMoxMsg& message, TBodyStyle style);

// The plain text of the body as the text controls take it, every line followed by LF: the
// parts that the plain view shows, HTML parts reduced to their text.
std::string MessageBodyText(const TMoxMsg& message);

// The body as the HTML view shows it: the parts that it shows, as HTML when one of them is
// HTML (plain parts between them as blocks that keep their line breaks), otherwise as the
// plain text.
struct TViewBody {
    std::string text;
    bool html = false;
};
TViewBody HtmlViewBody(const TMoxMsg& message);

// The document for the HTML control: the HTML made safe by GuardHtml, or the plain text as a
// document that shows it unchanged.
std::string BodyDocument(const TViewBody& body);

// The data of the attached part with this Content-ID, or an empty view.
std::string_view InlineImageOf(const TMoxMsg& message, std::string_view contentId);

// Whether an attachment is a whole message of its own (message/rfc822, or a .eml file).
bool IsAttachedMessage(const TAttachedFile& file);

// Message bytes as shown: UTF-8 when they are valid UTF-8, otherwise Windows-1252.
QString ShownBytes(std::string_view bytes);

// The hidden label above a message's text that tells how a recovered text was found.
QLabel* NewNoticeLabel();
// Shows the notice, or hides the label when there is none.
void SetNotice(QLabel* label, const QString& notice);

// Read-only boxes show the start of a text that does not fit, as the text's tool tip shows all.
void SetBoxText(QLineEdit* box, const QString& text);

// The list of a message's attachments: names beside small icons, in columns as wide as the
// longest name, so that none is cut; one item selected at a time.
QListWidget* NewAttachmentList(const QString& objectName);

}  // namespace brindle
