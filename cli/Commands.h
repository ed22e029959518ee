#pragma once
// The commands of brindle-cli. Each writes its result to out and throws on failure.
#include "cli/CliArguments.h"
#include "mailbox/Duplicates.h"
#include "store/OEReader.h"

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace brindle {

void RunInfo(const TCliArguments& args, std::ostream& out);
void RunList(const TCliArguments& args, std::ostream& out);
void RunHeader(const TCliArguments& args, std::ostream& out);
void RunText(const TCliArguments& args, std::ostream& out);
void RunExport(const TCliArguments& args, std::ostream& out);
void RunAddresses(const TCliArguments& args, std::ostream& out);
void RunShow(const TCliArguments& args, std::ostream& out);
void RunAttachments(const TCliArguments& args, std::ostream& out);
void RunAllAttachments(const TCliArguments& args, std::ostream& out);
void RunScan(const TCliArguments& args, std::ostream& out);
void RunRecover(const TCliArguments& args, std::ostream& out);
void RunFolders(const TCliArguments& args, std::ostream& out);
void RunSearch(const TCliArguments& args, std::ostream& out);
void RunUpload(const TCliArguments& args, std::ostream& out);
void RunCheck(const TCliArguments& args, std::ostream& out);
void RunDuplicates(const TCliArguments& args, std::ostream& out);

// Makes the folder that a command writes into when it is not there yet; its parent must be
// (TMissingLevels::LastOnly). Throws EFCreateError.
void MakeOutFolder(const std::string& dir);

// The index when it names one of the store's messages; else EOEReaderException
// "Message index %d is out of range (the store holds %d messages).".
int32_t CheckedMessageIndex(TOEReader& reader, int32_t index);

// The code page that --codepage chose, else the one decided from the store (summaries read).
std::string CodePageFor(const TCliArguments& args, TOEReader& reader);

// A UTF-8 text as one tab-separated cell: control characters (tab and line ends too) become
// spaces.
std::string ControlsAsSpaces(std::string text);
// The filter that --skip-duplicates asks for; none without the option.
std::shared_ptr<TDuplicateFilter> DuplicateFilterFor(const TCliArguments& args);
// "Left out 3 copies in Inbox(1) of messages written to Inbox." per pair of folders, as export
// and upload tell them before their summary line.
void PrintSkippedCopies(std::ostream& out, const TDuplicateFilter& duplicates);
// "1 duplicate", "3 duplicates"
std::string DuplicatesCounted(size_t count);

// A summary text as one such cell: UTF-8 (read as Windows-1252 when it is not), at most as long
// as a summary text may be.
std::string CellText(std::string_view text);

}  // namespace brindle
