#pragma once
// Opening an attachment from the viewer or the reading pane: an attached message shows in a
// viewer of its own; any other file is saved into a private folder and handed to the
// desktop's program for its type, after a yes/no question for types that can run code.
#include "mime/MoxMsg.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace brindle {

// Whether a file of this name or media type could run code when the desktop opens it:
// programs, installers, scripts, launchers and archives of Java code.
bool CanRunCode(std::string_view fileName, std::string_view mediaType);

// The folder that opened attachments are written into: made on first use with mode 0700,
// the same for the rest of the run, and removed with what it holds when the program ends.
// Empty when it cannot be made.
QString PrivateAttachmentFolder();

// Hands a link that the user clicked to the desktop when it is an http, https or mailto
// address; handled tells whether it was such a link (others are for the control itself).
void OpenDesktopLink(const QString& target, bool& handled);

// Opens attachment index of the message (see above); saveName is the name the file gets in
// the private folder (a taken one gets the next free number). Errors pass to the caller.
void OpenAttachment(const TMoxMsg& message, size_t index, const std::string& saveName, QWidget* parent);

// What saving attachments wrote into its folder.
struct TSavedAttachments {
    size_t Saved = 0;      // files written
    size_t Wanted = 0;     // attachments that were to be saved
    QStringList Failed;    // the error of each attachment that could not be written
    bool Cancelled = false;
};

// Saves attachment `only` of the message, or every one, into folder under its name of names
// (AttachmentSaveNames), asking before a taken name is replaced (with answers for all when
// there are several). An attachment that cannot be written is told in the result and the
// others go on.
TSavedAttachments SaveAttachments(const TMoxMsg& message, const std::vector<std::string>& names,
                                  std::optional<size_t> only, const QString& folder, QWidget* parent);

// "Saved 2 attachments to /path", with what was not saved after it.
QString SavedAttachmentsText(const TSavedAttachments& saved, const QString& folder);

// Throws the errors of the attachments that could not be written, when there were any.
void ThrowIfNotSaved(const TSavedAttachments& saved);

}  // namespace brindle
