#include "cli/Cli.h"

#include <unistd.h>

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    return brindle::RunCli(args, std::cout, std::cerr, {isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1});
}
