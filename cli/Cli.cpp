#include "cli/Cli.h"

#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "platform/Exceptions.h"

#include <new>

namespace brindle {
namespace {

void ReportError(std::ostream& err, const std::string& message) { err << "brindle-cli: " << message << '\n'; }

int ReportUsageError(std::ostream& err, const std::string& message, const TCommandSpec* command) {
    ReportError(err, message);
    if (command)
        err << UsageLine(*command) << "Try 'brindle-cli " << command->name << " --help'.\n";
    else
        err << "Try 'brindle-cli --help'.\n";
    return kExitUsage;
}

const TCommandSpec* CommandNamedBy(const std::vector<std::string>& args) {
    return args.empty() ? nullptr : FindCommand(args.front());
}

// Whether a command's result is message bytes that must come out unchanged, or JSON.
bool EscapesItsOwnOutput(const TCliArguments& args) {
    const std::string_view name = args.command ? std::string_view(args.command->name) : std::string_view();
    return args.json || name == "text" || name == "header";
}

int RunParsed(TCliArguments& parsed, std::ostream& plainOut, std::ostream& err, bool outIsTerminal) {
    try {
        parsed.err = &err;
        if (parsed.verbose)
            parsed.warnings = [&err](const TWarning& warning) {
                err << "brindle-cli: warning: " << warning.Describe() << '\n';
            };
        TTerminalStreamBuf outFilter(plainOut);
        std::ostream escapedOut(&outFilter);
        std::ostream& out = outIsTerminal && !EscapesItsOwnOutput(parsed) ? escapedOut : plainOut;
        parsed.command->run(parsed, out);
        out.flush();
        if (!out || !plainOut) throw EWriteError();
        return kExitSuccess;
    } catch (const EUsageError& error) {
        return ReportUsageError(err, error.Message(), parsed.command);
    } catch (const Exception& error) {
        ReportError(err, DescribeWithPath(error));
        if (parsed.verbose && !error.Context().Empty()) err << "brindle-cli: (" << error.Context().Describe() << ")\n";
    } catch (const std::bad_alloc&) {
        ReportError(err, "Out of memory");
    } catch (const std::exception& error) {
        ReportError(err, error.what());
    }
    return kExitFailure;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& plainErr, TTerminals terminals) {
    TTerminalStreamBuf errFilter(plainErr);
    std::ostream escapedErr(&errFilter);
    std::ostream& err = terminals.Err ? escapedErr : plainErr;
    TCliArguments parsed;
    int status = kExitSuccess;
    try {
        parsed = ParseArguments(args);
    } catch (const EUsageError& error) {
        status = ReportUsageError(err, error.Message(), CommandNamedBy(args));
        err.flush();
        return status;
    }
    if (parsed.help) {
        out << (parsed.command ? CommandHelp(*parsed.command) : ToolHelp());
        return kExitSuccess;
    }
    status = RunParsed(parsed, out, err, terminals.Out);
    err.flush();
    return status;
}

}  // namespace brindle
