// Writes the demo files of samples/: tools/make-samples.sh runs it.
#include "SampleStores.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s DIR\nWrites Demo.dbx, Demo.mbx, Demo.idx, Welcome.eml and Mailbox/ into DIR.\n",
                     argv[0]);
        return 2;
    }
    try {
        brindle::samples::WriteSamples(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
