// The same work with GMime 3: parse the message, decode the subject and sender, take every
// text part as UTF-8 text and decode every other leaf part's content.
#include "BenchInput.h"

#include "GMimeWalk.h"

int main(int argc, char** argv) {
    g_mime_init();
    int rc = bench::Run(bench::ReadInput(argc, argv), [](std::string text) {
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
        std::string().swap(text);  // the stream holds its own copy
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        unsigned long long check = 0;
        if (message != nullptr) {
            check = bench::DecodeMessage(message);
            g_object_unref(message);
        }
        g_object_unref(parser);
        g_object_unref(stream);
        return check;
    });
    g_mime_shutdown();
    return rc;
}
