#pragma once
// The sinks that write an export into a local folder: a tree of folders of .eml files, mbox
// files in the layout of Thunderbird's local folders, or a Maildir++ tree. Each creates only
// new files and folders, each relative to its parent folder and never through a link; the
// folder to write into must exist.
#include "mailbox/ExportSink.h"
#include "store/MessageInfo.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

enum class TExportFormat { Eml, Mbox, Maildir };

// "eml", "mbox", "maildir"; none for another name.
std::optional<TExportFormat> ExportFormatNamed(std::string_view name);

// Folders of .eml files (CR LF line ends) named ExportedMessageFileName, dated by their received
// time; sub-folders inside their parent's folder. Messages are added right after their folder
// is made, since their names share the folder with the sub-folders.
std::unique_ptr<TExportSink> MakeEmlTreeSink(const std::string& outDir);
// One mbox file (mboxrd quoting, LF line ends) per folder; the sub-folders of F in F.sbd.
std::unique_ptr<TExportSink> MakeMboxSink(const std::string& outDir);
// outDir is a Maildir (cur, new, tmp) that holds the inbox's messages; every other folder is a
// Maildir++ sub-folder ".A.B" of it (the inbox's sub-folders ".INBOX.A"), named in modified
// UTF-7 with "." as "_", with its messages in cur/. The messages of the drafts folder carry D.
std::unique_ptr<TExportSink> MakeMaildirSink(const std::string& outDir);
std::unique_ptr<TExportSink> MakeFileSink(TExportFormat format, const std::string& outDir);

// The name as it is, when it holds at most room bytes; else cut (not inside a UTF-8 sequence,
// nor inside a shifted run of modified UTF-7 when modifiedUtf7) and ended by "~" and 8 hex
// digits of a digest of the whole name, room bytes in all.
std::string FittedName(std::string_view name, size_t room, bool modifiedUtf7 = false);

// Seconds since 1970-01-01 UTC of a date-time value; none for 0 (unknown) and for a time
// before 1970 or after 9999.
std::optional<int64_t> UnixTimeOf(TDateTime value);

// "From ADDRESS Www Mmm dd hh:mm:ss yyyy +0000\n": the sender's address (MAILER-DAEMON when it
// is empty or holds white space) and the received time in UTC. Readers that take the time as
// local time without a zone (an IMAP server's received date) honour the zone after the year;
// the others stop reading at the year.
std::string MboxFromLine(const TMessageInfo& info);

// The X-Mozilla-Status value (4 hex digits) of the store's flag bits.
std::string MozillaStatus(uint32_t flags);

// The X-Status value: A (answered), F (flagged), T (draft), in that order. D would mean deleted
// to the readers of mbox files.
std::string MboxXStatus(uint32_t flags, bool draft);

// Appends one mbox entry: the From line, the status lines (X-Mozilla-Status, X-Mozilla-Status2,
// Status, X-Status, and X-Keywords: $Forwarded for a forwarded message), then the text (up to
// its first NUL) with LF line ends and every line that matches ">*From " quoted by one more ">",
// and a blank line. Status lines of the message's own header block are left out.
void AppendMboxEntry(std::string& out, std::string_view text, const TMessageInfo& info, bool draft = false);

// "SECONDS.Mfolder.Pindex.brindle:2,FLAGS": flags from D (draft), F (flagged), P (forwarded),
// R (replied), S (read), in that order.
std::string MaildirFileName(const TMessageInfo& info, size_t folder, int32_t index, bool draft = false);

// The text (up to its first NUL) with every line ended by LF.
std::string WithLfLineEnds(std::string_view text);

}  // namespace brindle
