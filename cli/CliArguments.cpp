#include "cli/CliArguments.h"

#include "cli/Commands.h"
#include "mailbox/CodePage.h"

#include <charconv>
#include <limits>
#include <optional>

namespace brindle {
namespace {

constexpr std::string_view kProgram = "brindle-cli";

const std::vector<TCommandSpec> kCommands = {
    {"info", "FILE [--json]", "kind, folder name and message count of a store",
     "Prints the store's kind (1: version 4 folder .mbx, 2: version 5/6 folder .dbx), its\n"
     "folder name and its message count. With --json: {\"kind\", \"folder\", \"codepage\"\n"
     "(the code page the summaries are read in), \"count\"}.\n",
     kOptionJson | kOptionCodePage, 1, 1, RunInfo},
    {"list", "FILE [--json]", "one row per message summary",
     "Prints one line per message summary, tab-separated: index (from 0), flags in hex,\n"
     "received time (ISO 8601, UTC) or the stored date text, size in bytes, sender, subject.\n"
     "With --json: an array of objects holding every summary field; \"Received\" is the\n"
     "date-time value (days since 1899-12-30) as a number. Where a summary shows \"?\" for\n"
     "characters its code page lacked, the subject or sender is taken from the header.\n",
     kOptionJson | kOptionCodePage, 1, 1, RunList},
    {"header", "FILE INDEX", "the header block of one message, bytes unchanged",
     "Writes the header block of message INDEX (from 0) to standard output, byte for byte.\n", 0, 2, 2, RunHeader},
    {"text", "FILE INDEX", "the raw text of one message, bytes unchanged",
     "Writes the raw text of message INDEX (from 0) to standard output, byte for byte.\n", 0, 2, 2, RunText},
    {"export", "FILE|DIR OUT [--format FORMAT] [--index N[,N...]] [--skip-duplicates[=message-id]]",
     "save messages as .eml, mbox or Maildir",
     "FORMAT is eml (the default), mbox or maildir.\n"
     "FILE: saves every message of the store, or those listed by --index. As eml into\n"
     "the folder OUT (made when missing, below an existing parent) as \"INDEX_SUBJECT.eml\" (characters unsafe in file names\n"
     "become spaces; the name is kept within 255 bytes), every line ended by CR LF. As\n"
     "mbox or maildir, as one folder named after the file.\n"
     "DIR: a store folder; every folder of its tree (see \"folders\") is saved into OUT:\n"
     "  eml      nested folders of .eml files, each dated with the message's received time\n"
     "  mbox     one mbox file per folder, sub-folders in \"NAME.sbd/\" (the layout of\n"
     "           Thunderbird's Local Folders); From lines with the sender and the received\n"
     "           time (UTC), mboxrd quoting, LF line ends, flags as X-Mozilla-Status/Status\n"
     "  maildir  Maildir++: OUT/cur, new, tmp and \".Folder.Sub/\" per folder, messages in\n"
     "           cur/ named with their flags (:2,FPRS) and dated with the received time\n"
     "A folder or message that cannot be read or written is told on standard error and the\n"
     "others go on; a summary line (folders, messages, errors) ends the output, and the\n"
     "exit status is 1 when there were errors. Nothing in OUT is replaced or followed: a\n"
     "name that is taken gets \" (2)\", \" (3)\"... instead.\n"
     "--skip-duplicates leaves out each message whose text is byte for byte that of one\n"
     "written before in the same run (copies are decided in tree order, so the first\n"
     "copy in the tree stays); --skip-duplicates=message-id leaves out each message\n"
     "whose Message-ID and Date equal those of one written before. Lines before the\n"
     "summary tell how many copies each folder left out and where their first copies went.\n",
     kOptionIndexList | kOptionFormat | kOptionCodePage | kOptionSkipDuplicates, 2, 2, RunExport},
    {"folders", "DIR [--json]", "the folder tree of a store folder",
     "Reads the folder list (Folders.dbx) of the store folder DIR and the headers of its\n"
     "store files (.dbx; .mbx for version 4 folders) and prints the tree, indented, with\n"
     "each folder's message count. Store files that the list does not name come last at\n"
     "the top; without a readable list every store file stands at the top. File names are\n"
     "matched without regard to case. With --json: an array in tree order (parents first)\n"
     "of objects with \"Id\", \"ParentId\" (null at the top), \"Name\", \"File\" (as on disk,\n"
     "or null), \"Count\" (from the file's header, or null), \"Unread\", \"Special\"\n"
     "(\"inbox\", \"outbox\", \"sent\", \"deleted\", \"drafts\" or null) and \"Depth\".\n",
     kOptionJson | kOptionCodePage, 1, 1, RunFolders},
    {"addresses", "FILE", "the sender and receiver addresses, sorted, each once",
     "Prints \"NAME = ADDRESS\" in upper case for the sender and the receiver of every\n"
     "message, sorted byte-wise, each entry once.\n",
     kOptionCodePage, 1, 1, RunAddresses},
    {"show", "FILE [INDEX] [--json]", "the decoded fields, text and attachments of a message",
     "FILE is an .eml file (by its extension, in any case) or a store with INDEX. Prints\n"
     "From, Subject, Date, To, CC, the text body and the attachment list. With --json:\n"
     "the header fields, \"Text\" as an array of lines and \"Attachments\" with file name,\n"
     "content type, size, SHA-256, content id and media type.\n",
     kOptionJson | kOptionCodePage, 1, 2, RunShow},
    {"attachments", "FILE [INDEX] DIR | FILE|DIR OUT --all", "save the attachments of a message, or of all",
     "Saves every attachment of the message (an .eml file, or message INDEX of a store)\n"
     "into the folder DIR (made when missing) under its file name. A missing name becomes\n"
     "\"attachment-N\" with an extension from its media type; a name taken twice, or taken\n"
     "in DIR by any entry (nothing there is replaced or followed), gets \" (2)\", \" (3)\"...\n"
     "before its extension. Control and bidirectional characters become \"_\"; a name\n"
     "that starts with \".\" or is a device name such as CON gets \"_\" in front. Prints\n"
     "the path of each file written. The files that a TNEF attachment (winmail.dat)\n"
     "carries are saved beside it, with their own names and dates.\n"
     "With --all: every attachment of every message of the store FILE, or of every folder\n"
     "of the store folder DIR, into OUT (made when missing): one folder per store folder,\n"
     "nested as the tree is, named as export names them; the files are named as above\n"
     "(unique within their folder) and dated with their own date, else the message's\n"
     "received time. A folder, message or attachment that cannot be read or written is\n"
     "told on standard error and the others go on; a summary line ends the output, and\n"
     "the exit status is 1 when anything was not saved.\n",
     kOptionAll | kOptionCodePage, 2, 3, RunAttachments},
    {"search", "PATH QUERY [--json]", "the messages that hold a text",
     "PATH is a store, a store folder (every folder of its tree) or an .eml file. Lists\n"
     "every message whose subject, sender, recipients, text (HTML reduced to its text) or\n"
     "attachment names hold QUERY, in any case of its letters (full Unicode case folding:\n"
     "\"STRASSE\" finds \"Straße\"); the content of attachments does not count. One line\n"
     "per message, tab-separated: file, index (from 0), sender, subject, received time.\n"
     "With --json: an array of objects with \"File\", \"Index\" (the position from 0, as show\n"
     "takes it), \"Subject\", \"SenderName\", \"SenderAddress\" and \"Received\" (as list --json\n"
     "gives them). Finding nothing is no\n"
     "error: the output is empty (\"[]\" with --json) and the exit status 0.\n",
     kOptionJson | kOptionCodePage, 2, 2, RunSearch},
    {"scan", "FILE [--json]", "every message text the file holds, indexed or not",
     "Reads the whole store file, also one that cannot be opened, and lists every message\n"
     "text it still holds: offset of the first block (hex), kind (indexed, orphaned: live\n"
     "blocks that no summary reaches, deleted: freed blocks, partial: a chain that breaks\n"
     "off), summary index or \"-\", size, lost bytes, and Date, From and Subject from the\n"
     "message's own header. With --json: an array of objects with \"Offset\", \"Kind\",\n"
     "\"Index\", \"Size\", \"LostBytes\", \"Subject\", \"From\", \"Date\", \"MessageID\".\n",
     kOptionJson | kOptionCodePage, 1, 1, RunScan},
    {"recover", "FILE DIR", "write every message text the file holds as .eml files",
     "Writes every message that scan finds, indexed ones too, into the folder DIR (made\n"
     "when missing) as \"KIND_OFFSET_SUBJECT.eml\" (offset in 8 hex digits), its bytes\n"
     "as found. A byte the file lost is replaced by one byte: in a base64 body the line\n"
     "end where it belongs or \"A\", elsewhere a space. Nothing in DIR is replaced or\n"
     "followed: a name that is taken gets \" (2)\", \" (3)\"... The store is only read.\n",
     0, 2, 2, RunRecover},
    {"check", "FILE|DIR [--json]", "a health report of a store or a store folder",
     "Reads each store (every store of the store folder DIR) through its index and scans its\n"
     "whole file, and tells per store: kind, code page, the header's message count, the\n"
     "messages the index reaches, texts that read whole, chains that break off, deleted\n"
     "messages still recoverable, messages no summary reaches, lost bytes, the file's size\n"
     "against the format's 2 GB limit and, for version 4, problems of the .idx file. For a\n"
     "store folder also: stores the folder list names that are missing, store files it\n"
     "does not name (strays, backup copies), damage of the list and groups of identical\n"
     "messages. Ends with one verdict line per store (\"healthy\", or what is damaged).\n"
     "With --json: one object {\"StoreFolder\" (or null), \"Stores\", \"Healthy\"}.\n"
     "Exit status 0 when everything is healthy, 1 when damage was found (the report is\n"
     "printed all the same).\n",
     kOptionJson | kOptionCodePage, 1, 1, RunCheck},
    {"duplicates", "PATH [--json]", "groups of identical messages across a store folder",
     "PATH is a store folder (every store of its tree) or one store. Lists each group of\n"
     "messages whose texts are byte for byte the same, one line per copy, tab-separated:\n"
     "group number, folder, index (\"found N\" for a message found by a scan of a store\n"
     "whose index cannot be read), subject; then one summary line. A group's first copy\n"
     "is the one export --skip-duplicates keeps. With --json: {\"Messages\", \"Groups\": an\n"
     "array of arrays of {\"Folder\", \"File\", \"Index\", \"Scanned\", \"Subject\"}}.\n",
     kOptionJson | kOptionCodePage, 1, 1, RunDuplicates},
    {"upload", "FILE|DIR URL [--folder NAME] [--special-folders] [--index N[,N...]]\n"
     "       [--skip-duplicates[=message-id]]\n"
     "       [--password-file F | --password-command CMD | --oauth2-command CMD]\n"
     "       [--certificate-fingerprint SHA256] [--dry-run] [--json]",
     "upload a store or a store folder's tree into an IMAP account",
     "URL is imaps://USER@HOST[:PORT] (TLS, port 993) or imap://USER@HOST[:PORT] (STARTTLS,\n"
     "port 143; only a loopback address may do without it). The tree of the store folder DIR\n"
     "(or the one store FILE) becomes the same tree of folders under --folder NAME (default\n"
     "\"Imported mail\"); --special-folders puts the inbox into INBOX and the sent, deleted\n"
     "and drafts folders into the server's special-use folders, the others at the top.\n"
     "Existing folders are used, new ones created and subscribed. Every message goes in\n"
     "as the store holds it (CR LF line ends), with its read, replied and flagged state\n"
     "and its received time. Run again after an interruption, the same command uploads\n"
     "only what the server does not hold yet (a journal under XDG_STATE_HOME/brindle/\n"
     "remembers what the server confirmed). --skip-duplicates and\n"
     "--skip-duplicates=message-id leave out copies as export does (the first copy in the\n"
     "tree goes up), told per folder before the summary. --dry-run logs in and tells what\n"
     "it would create and append. The password comes from --password-file, --password-command\n"
     "(its first line), BRINDLE_IMAP_PASSWORD or a prompt; --oauth2-command prints an\n"
     "OAuth2 access token (XOAUTH2). A certificate that does not verify is shown with its\n"
     "SHA-256 fingerprint, which --certificate-fingerprint accepts. Ends with one summary\n"
     "line (--json: one object); exit status 1 when any message failed.\n",
     kOptionJson | kOptionIndexList | kOptionCodePage | kOptionUpload | kOptionSkipDuplicates, 2, 2, RunUpload},
};

bool IsOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

// The value of option name, given as "name VALUE" (i then steps over VALUE) or "name=VALUE";
// none when arg is another option.
std::optional<std::string_view> OptionValue(std::string_view name, std::string_view arg,
                                            const std::vector<std::string>& args, size_t& i) {
    if (arg == name) {
        if (i + 1 >= args.size()) throw EUsageError("option " + std::string(name) + " needs a value");
        return args[++i];
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=')
        return arg.substr(name.size() + 1);
    return std::nullopt;
}

// The options of upload; false for another option.
bool ApplyUploadOption(TUploadArguments& upload, std::string_view arg, const std::vector<std::string>& args,
                       size_t& i) {
    struct TFlag {
        std::string_view name;
        bool TUploadArguments::*field;
    };
    static constexpr TFlag kFlags[] = {{"--special-folders", &TUploadArguments::specialFolders},
                                       {"--dry-run", &TUploadArguments::dryRun}};
    for (const TFlag& flag : kFlags)
        if (arg == flag.name) return upload.*flag.field = true;
    struct TValue {
        std::string_view name;
        std::string TUploadArguments::*field;
    };
    static constexpr TValue kValues[] = {{"--folder", &TUploadArguments::folder},
                                         {"--password-file", &TUploadArguments::passwordFile},
                                         {"--password-command", &TUploadArguments::passwordCommand},
                                         {"--oauth2-command", &TUploadArguments::oauth2Command},
                                         {"--certificate-fingerprint", &TUploadArguments::certificateFingerprint}};
    for (const TValue& option : kValues)
        if (std::optional<std::string_view> value = OptionValue(option.name, arg, args, i)) {
            if (value->empty()) throw EUsageError("option " + std::string(option.name) + " needs a value");
            upload.*option.field = *value;
            return true;
        }
    return false;
}

void ApplyOption(TCliArguments& parsed, std::string_view arg, const std::vector<std::string>& args, size_t& i) {
    const TCommandSpec* command = parsed.command;
    if (arg == "--help" || arg == "-h") {
        parsed.help = true;
        return;
    }
    if (command && arg == "--verbose") {
        parsed.verbose = true;
        return;
    }
    if (command && command->Accepts(kOptionJson) && arg == "--json") {
        parsed.json = true;
        return;
    }
    std::optional<std::string_view> value;
    if (command && command->Accepts(kOptionIndexList) && (value = OptionValue("--index", arg, args, i))) {
        std::vector<int32_t> indexes = ParseIndexList(*value);
        parsed.indexList.insert(parsed.indexList.end(), indexes.begin(), indexes.end());
        parsed.hasIndexList = true;
        return;
    }
    if (command && command->Accepts(kOptionFormat) && (value = OptionValue("--format", arg, args, i))) {
        parsed.format = *value;
        if (parsed.format != "eml" && parsed.format != "mbox" && parsed.format != "maildir")
            throw EUsageError("unknown format " + parsed.format + " (eml, mbox or maildir)");
        return;
    }
    if (command && command->Accepts(kOptionCodePage) && (value = OptionValue("--codepage", arg, args, i))) {
        parsed.codePage = ParseCodePageOption(*value);
        return;
    }
    if (command && command->Accepts(kOptionSkipDuplicates) &&
        (arg == "--skip-duplicates" || arg.starts_with("--skip-duplicates="))) {
        const std::string_view mode = arg == "--skip-duplicates" ? "text" : arg.substr(arg.find('=') + 1);
        if (mode != "text" && mode != "message-id")
            throw EUsageError("unknown duplicate test " + std::string(mode) + " (text or message-id)");
        parsed.skipDuplicates = mode;
        return;
    }
    if (command && command->Accepts(kOptionAll) && arg == "--all") {
        parsed.all = true;
        return;
    }
    if (command && command->Accepts(kOptionUpload) && ApplyUploadOption(parsed.upload, arg, args, i)) return;
    throw EUsageError("unknown option " + std::string(arg));
}

}  // namespace

const std::vector<TCommandSpec>& CommandSpecs() { return kCommands; }

const TCommandSpec* FindCommand(std::string_view name) {
    for (const auto& command : kCommands)
        if (command.name == name) return &command;
    return nullptr;
}

int32_t ParseIndex(std::string_view text) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    if (!digitsOnly || error != std::errc() || end != text.data() + text.size())
        throw EUsageError("invalid message index " + std::string(text));
    return value;
}

std::string ParseCodePageOption(std::string_view name) {
    if (name == "auto") return {};
    const TCodePage* page = FindCodePage(name);
    if (page == nullptr)
        throw EUsageError("unknown code page " + std::string(name) +
                          " (a Windows code page such as windows-1251, cp1251 or 1251, or auto)");
    return std::string(page->Label);
}

std::vector<int32_t> ParseIndexList(std::string_view text) {
    std::vector<int32_t> indexes;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        indexes.push_back(ParseIndex(text.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return indexes;
}

TCliArguments ParseArguments(const std::vector<std::string>& args) {
    TCliArguments parsed;
    size_t i = 0;
    if (args.empty()) throw EUsageError("no command given");
    if (IsOption(args[0])) {
        if (args[0] != "--help" && args[0] != "-h") throw EUsageError("unknown option " + args[0]);
        parsed.help = true;
        return parsed;
    }
    parsed.command = FindCommand(args[0]);
    if (!parsed.command) throw EUsageError("unknown command " + args[0]);
    bool optionsEnded = false;
    for (i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (!optionsEnded && IsOption(arg))
            ApplyOption(parsed, arg, args, i);
        else
            parsed.operands.push_back(arg);
    }
    if (parsed.help) return parsed;
    if (parsed.operands.size() < parsed.command->minOperands)
        throw EUsageError("missing operand for " + std::string(parsed.command->name));
    if (parsed.operands.size() > parsed.command->maxOperands)
        throw EUsageError("too many operands for " + std::string(parsed.command->name));
    return parsed;
}

std::string UsageLine(const TCommandSpec& command) {
    return "Usage: " + std::string(kProgram) + " " + std::string(command.name) + " " + std::string(command.synopsis) +
           "\n";
}

std::string CommandHelp(const TCommandSpec& command) {
    std::string help = UsageLine(command) + "\n" + std::string(command.description);
    if (command.Accepts(kOptionCodePage))
        help +=
            "--codepage NAME reads the summaries in that Windows code page (windows-1251, cp1251,\n"
            "1251...); auto, the default, decides it from the store.\n";
    return help;
}

std::string ToolHelp() {
    std::string help = "Usage: " + std::string(kProgram) +
                       " COMMAND ARGUMENTS...\n"
                       "Reads mail folder files (.dbx, .mbx with .idx) and .eml messages; never writes to them.\n"
                       "A store's kind comes from its first bytes, not from its extension.\n\n"
                       "Commands:\n";
    for (const auto& command : kCommands) {
        std::string line = "  " + std::string(command.name) + " " + std::string(command.synopsis);
        if (line.size() < 40)
            line.append(40 - line.size(), ' ');
        else
            line += "  ";
        help += line + std::string(command.summary) + "\n";
    }
    help += "\n\"" + std::string(kProgram) +
            " COMMAND --help\" describes one command. With --verbose, every command\n"
            "also tells on standard error the damage that reading a store tolerated.\n"
            "--codepage NAME reads a store's summaries in that Windows code page (windows-1251,\n"
            "cp1251, 1251...) instead of the one decided from the store (auto, the default).\n"
            "Exit status: 0 done, 1 error (message on standard error), 2 wrong usage.\n";
    return help;
}

}  // namespace brindle
