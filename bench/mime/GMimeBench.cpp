// The same work with GMime 3: parse the message, decode the subject and sender, take every
// text part as UTF-8 text and decode every other leaf part's content.
#include "BenchInput.h"

#include <gmime/gmime.h>

namespace {

unsigned long long DecodeLeaf(GMimeObject* part) {
    if (GMIME_IS_TEXT_PART(part)) {
        char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
        unsigned long long size = text ? strlen(text) : 0;
        g_free(text);
        return size;
    }
    if (!GMIME_IS_PART(part)) return 0;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (content == nullptr) return 0;
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, out);
    unsigned long long size = g_mime_stream_length(out);
    g_object_unref(out);
    return size;
}

unsigned long long Walk(GMimeObject* object) {
    if (GMIME_IS_MULTIPART(object)) {
        unsigned long long sum = 0;
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) sum += Walk(g_mime_multipart_get_part(multipart, i));
        return sum;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        return inner ? Walk(g_mime_message_get_mime_part(inner)) : 0;
    }
    return DecodeLeaf(object);
}

}  // namespace

int main(int argc, char** argv) {
    g_mime_init();
    int rc = bench::Run(bench::ReadInput(argc, argv), [](std::string text) {
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
        std::string().swap(text);  // the stream holds its own copy
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        unsigned long long check = 0;
        if (message != nullptr) {
            const char* subject = g_mime_message_get_subject(message);
            check += subject ? strlen(subject) : 0;
            InternetAddressList* from = g_mime_message_get_from(message);
            char* sender = from ? internet_address_list_to_string(from, nullptr, FALSE) : nullptr;
            check += sender ? strlen(sender) : 0;
            g_free(sender);
            GMimeObject* body = g_mime_message_get_mime_part(message);
            if (body != nullptr) check += Walk(body);
            g_object_unref(message);
        }
        g_object_unref(parser);
        g_object_unref(stream);
        return check;
    });
    g_mime_shutdown();
    return rc;
}
