#pragma once
// brindle-cli as a function, so that tests can run it without a process.
#include <ostream>
#include <string>
#include <vector>

namespace brindle {

enum : int {
    kExitSuccess = 0,
    kExitFailure = 1,  // an error; its message went to err
    kExitUsage = 2,    // the command line does not fit the interface
};

// Which of the two streams are terminals (isatty): text from messages reaches a terminal only
// escaped (cli/TerminalText.h), except the bytes that text and header write and JSON, which
// escapes on its own.
struct TTerminals {
    bool Out = false;
    bool Err = false;
};

// Runs the tool with the arguments after the program name. Results go to out; errors go to
// err as "brindle-cli: " and the message.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, TTerminals terminals = {});

}  // namespace brindle
