// GMime 3 as a whole process, beside `brindle-cli show FILE --json`: parse one message file
// read through a file stream, decode subject, sender and every part, print a check sum.
// Usage: gmime_show FILE
#include "GMimeWalk.h"

#include <fcntl.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    g_mime_init();
    GMimeStream* stream = g_mime_stream_fs_new(fd);  // owns fd
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    unsigned long long check = 0;
    if (message != nullptr) {
        check = bench::DecodeMessage(message);
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    g_mime_shutdown();
    std::printf("check=%llu\n", check);
    return message != nullptr ? 0 : 1;
}
