#pragma once
// The command line of brindle-cli: the command, its operands and its options.
#include "platform/Exceptions.h"
#include "platform/Warnings.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// A command line that does not fit the interface; the tool exits with status 2.
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

struct TCliArguments;
// Runs a command: writes its result to out, throws on failure.
using TCommandRunner = void (*)(const TCliArguments& args, std::ostream& out);

// The options a command may accept besides --help and --verbose, which every command takes.
enum TCommandOption : uint32_t {
    kOptionJson = 1u << 0,       // --json
    kOptionIndexList = 1u << 1,  // --index N[,N...]
    kOptionFormat = 1u << 2,     // --format eml|mbox|maildir
    kOptionCodePage = 1u << 3,   // --codepage NAME|auto: the store's code page
    kOptionUpload = 1u << 4,     // the options of upload (see TUploadArguments)
    kOptionSkipDuplicates = 1u << 5,  // --skip-duplicates[=text|message-id]
    kOptionAll = 1u << 6,        // --all: every message
};

// The options of upload.
struct TUploadArguments {
    std::string folder;  // --folder NAME; empty: the default parent folder
    bool specialFolders = false;
    bool dryRun = false;
    std::string passwordFile;
    std::string passwordCommand;
    std::string oauth2Command;
    std::string certificateFingerprint;
};

// One command of the tool: what its help says, what it accepts and what runs it.
struct TCommandSpec {
    std::string_view name;
    std::string_view synopsis;     // operands and options after the command name
    std::string_view summary;      // one line for the tool's help
    std::string_view description;  // the command's own help, after the usage line
    uint32_t options;              // TCommandOption bits
    size_t minOperands;
    size_t maxOperands;
    TCommandRunner run;

    bool Accepts(TCommandOption option) const { return (options & option) != 0; }
};

// Every command, in the order the tool's help lists them.
const std::vector<TCommandSpec>& CommandSpecs();
const TCommandSpec* FindCommand(std::string_view name);

struct TCliArguments {
    const TCommandSpec* command = nullptr;  // none: the tool itself (help only)
    std::vector<std::string> operands;
    bool json = false;
    bool help = false;
    bool verbose = false;  // tell the damage that reading tolerated, on standard error
    bool hasIndexList = false;
    std::vector<int32_t> indexList;
    std::string format;  // --format; empty when not given
    // --codepage: the label of the code page chosen ("windows-1251"); empty for automatic.
    std::string codePage;
    TUploadArguments upload;
    // --skip-duplicates: "text" (also when given without a value) or "message-id"; empty when
    // not given.
    std::string skipDuplicates;
    bool all = false;  // --all
    // Where the readers tell tolerated damage: standard error with --verbose, else nowhere.
    TWarningSink warnings;
    // Standard error, for what a command tells besides its result (damage it worked around).
    std::ostream* err = nullptr;
};

// Parses the arguments after the program name; throws EUsageError. Operand counts are
// checked against the command's bounds unless help was asked for.
TCliArguments ParseArguments(const std::vector<std::string>& args);

// A message index: a decimal number from 0 to 2147483647.
int32_t ParseIndex(std::string_view text);
// The label of the code page that --codepage names; empty for "auto". Throws EUsageError.
std::string ParseCodePageOption(std::string_view name);
// "N[,N...]"
std::vector<int32_t> ParseIndexList(std::string_view text);

std::string ToolHelp();
std::string CommandHelp(const TCommandSpec& command);
std::string UsageLine(const TCommandSpec& command);

}  // namespace brindle
