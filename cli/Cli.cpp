#include "cli/Cli.h"

#include "cli/CliArguments.h"
#include "cli/Commands.h"
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

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCliArguments parsed;
    try {
        parsed = ParseArguments(args);
    } catch (const EUsageError& error) {
        return ReportUsageError(err, error.Message(), CommandNamedBy(args));
    }
    if (parsed.help) {
        out << (parsed.command ? CommandHelp(*parsed.command) : ToolHelp());
        return kExitSuccess;
    }
    try {
        parsed.err = &err;
        if (parsed.verbose)
            parsed.warnings = [&err](const TWarning& warning) {
                err << "brindle-cli: warning: " << warning.Describe() << '\n';
            };
        parsed.command->run(parsed, out);
        out.flush();
        if (!out) throw EWriteError();
        return kExitSuccess;
    } catch (const EUsageError& error) {
        return ReportUsageError(err, error.Message(), parsed.command);
    } catch (const Exception& error) {
        ReportError(err, error.Message());
        if (parsed.verbose && !error.Context().Empty()) err << "brindle-cli: (" << error.Context().Describe() << ")\n";
    } catch (const std::bad_alloc&) {
        ReportError(err, "Out of memory");
    } catch (const std::exception& error) {
        ReportError(err, error.what());
    }
    return kExitFailure;
}

}  // namespace brindle
