#pragma once
// The GMime 3 side of the benchmarks: decode every leaf part of a parsed message, as the
// message object does: text parts as UTF-8 text, every other leaf part's content.
#include <gmime/gmime.h>

#include <cstring>

namespace bench {

inline unsigned long long DecodeLeaf(GMimeObject* part) {
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

inline unsigned long long Walk(GMimeObject* object) {
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

// Subject, sender and every part of a message; a sum of their sizes.
inline unsigned long long DecodeMessage(GMimeMessage* message) {
    unsigned long long check = 0;
    const char* subject = g_mime_message_get_subject(message);
    check += subject ? strlen(subject) : 0;
    InternetAddressList* from = g_mime_message_get_from(message);
    char* sender = from ? internet_address_list_to_string(from, nullptr, FALSE) : nullptr;
    check += sender ? strlen(sender) : 0;
    g_free(sender);
    GMimeObject* body = g_mime_message_get_mime_part(message);
    if (body != nullptr) check += Walk(body);
    return check;
}

}  // namespace bench
