// Writes the benchmark stores Bench.dbx and Bench.mbx + Bench.idx: by default 50,000
// messages, 90% text mails of about 2 KB and 10% mails of about 200 KB with a base64
// attachment, in 512-byte data blocks.
#include "SampleStores.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "Usage: %s DIR [COUNT]\n", argv[0]);
        return 2;
    }
    unsigned long count = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 50000;
    try {
        brindle::samples::WriteBenchStores(argv[1], static_cast<uint32_t>(count));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
