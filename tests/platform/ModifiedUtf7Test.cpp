// Mailbox names in modified UTF-7, with the examples of the IMAP standard.
#include "platform/ModifiedUtf7.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

TEST(ModifiedUtf7Test, EncodesAndDecodesBothWays) {
    struct TCase {
        const char* Utf8;
        const char* Encoded;
    };
    const TCase cases[] = {
        {"INBOX", "INBOX"},
        {"", ""},
        {"~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"\xE2\x98\xBA!", "&Jjo-!"},
        {"Caf\xC3\xA9 \xC2\xABR\xC3\xA9sum\xC3\xA9s\xC2\xBB", "Caf&AOk- &AKs-R&AOk-sum&AOk-s&ALs-"},
        {"Tom & Jerry", "Tom &- Jerry"},
        {"&&", "&-&-"},
        {"\xF0\x9F\x98\x80", "&2D3eAA-"},  // outside the BMP: a surrogate pair
        {"a-b", "a-b"},
        {"Tab\there", "Tab&AAk-here"},  // a control character is not printable ASCII
        {"Entw\xC3\xBC" "rfe", "Entw&APw-rfe"},
        {"\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5", "&BBIERQQ+BDQETwRJBDgENQ-"},
        {"\xF0\x9F\x93\xA7 mail", "&2D3c5w- mail"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(EncodeModifiedUtf7(c.Utf8), c.Encoded) << c.Utf8;
        EXPECT_EQ(DecodeModifiedUtf7(c.Encoded), std::optional<std::string>(c.Utf8)) << c.Encoded;
    }
}

TEST(ModifiedUtf7Test, BytesThatAreNotUtf8AreReadAsWindows1252) {
    EXPECT_EQ(EncodeModifiedUtf7("Caf\xE9"), "Caf&AOk-");
    EXPECT_EQ(EncodeModifiedUtf7("Entw\xFCrfe"), "Entw&APw-rfe");
}

TEST(ModifiedUtf7Test, RefusesWhatIsNotInTheForm) {
    const char* bad[] = {
        "&Jjo!",                 // a run without its end
        "&Jjo",
        "&U,BTFw-&ZeVnLIqe-",   // two runs side by side
        "&AGE-",                 // "a" must stand for itself
        "&2D0-",                 // a lone high surrogate
        "&3gA-",                 // a lone low surrogate
        "&AO-",                  // bits left over that make no whole unit
        "&AOl-",                 // padding bits that are not zero
        "&A/k-",                 // "/" is not in the modified alphabet
        "caf\xC3\xA9",           // 8-bit bytes
        "new\nline",
    };
    for (const char* name : bad) EXPECT_EQ(DecodeModifiedUtf7(name), std::nullopt) << name;
}

}  // namespace
}  // namespace brindle
