// What the commands share.
#include "cli/Commands.h"

#include "mailbox/CodePage.h"
#include "platform/TargetFolder.h"
#include "platform/Utf8.h"
#include "store/MessageInfo.h"

namespace brindle {

int32_t CheckedMessageIndex(TOEReader& reader, int32_t index) {
    int32_t count = reader.GetMessageCount();
    if (index < 0 || index >= count)
        throw EOEReaderException("Message index " + std::to_string(index) + " is out of range (the store holds " +
                                 std::to_string(count) + (count == 1 ? " message)." : " messages)."));
    return index;
}

void MakeOutFolder(const std::string& dir) { MakeTargetFolder(dir, TMissingLevels::LastOnly); }

std::string CodePageFor(const TCliArguments& args, TOEReader& reader) {
    return args.codePage.empty() ? DecideStoreCodePage(reader) : args.codePage;
}

std::string ControlsAsSpaces(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return text;
}

std::string CellText(std::string_view text) { return ControlsAsSpaces(Utf8OrCp1252Cut(text, kShortStringMax)); }

std::shared_ptr<TDuplicateFilter> DuplicateFilterFor(const TCliArguments& args) {
    if (args.skipDuplicates.empty()) return nullptr;
    return std::make_shared<TDuplicateFilter>(*DuplicateModeNamed(args.skipDuplicates));
}

void PrintSkippedCopies(std::ostream& out, const TDuplicateFilter& duplicates) {
    for (const TSkippedCopies& pair : duplicates.SkippedByFolder())
        out << "Left out " << pair.Count << (pair.Count == 1 ? " copy" : " copies") << " in "
            << ControlsAsSpaces(pair.Folder) << " of messages written to " << ControlsAsSpaces(pair.FirstFolder)
            << ".\n";
}

std::string DuplicatesCounted(size_t count) {
    return std::to_string(count) + (count == 1 ? " duplicate" : " duplicates");
}

}  // namespace brindle
