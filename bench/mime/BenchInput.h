#pragma once
// The common frame of the parse benchmarks: "<program> <repeat> <file>..." reads the files
// into memory, parses each of them <repeat> times and prints one line
// "seconds=<parse time> bytes=<bytes parsed> check=<a sum over the results>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

struct TInput {
    int repeat = 1;
    std::vector<std::string> messages;
};

inline TInput ReadInput(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <repeat> <file>...\n", argv[0]);
        std::exit(2);
    }
    TInput input;
    input.repeat = std::atoi(argv[1]);
    for (int i = 2; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary | std::ios::ate);
        std::string bytes(static_cast<size_t>(file.tellg()), '\0');
        file.seekg(0);
        file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        input.messages.push_back(std::move(bytes));
    }
    return input;
}

// Runs parse(message) -> check value over every message, repeat times, and prints the line.
// parse receives the message text to own, as the viewer hands over a raw text; with one
// repetition the text is moved in, so that only one copy of the input is in memory.
template <typename Parse>
int Run(TInput input, Parse parse) {
    size_t bytes = 0;
    for (const std::string& message : input.messages) bytes += message.size();
    unsigned long long check = 0;
    double seconds = 0;
    for (int r = 0; r < input.repeat; ++r) {
        for (std::string& message : input.messages) {
            std::string text = input.repeat == 1 ? std::move(message) : message;
            auto start = std::chrono::steady_clock::now();
            check += parse(std::move(text));
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    std::printf("seconds=%.6f bytes=%zu check=%llu\n", seconds, bytes * static_cast<size_t>(input.repeat), check);
    return 0;
}

}  // namespace bench
