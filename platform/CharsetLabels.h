#pragma once
// The table of charset labels (platform/CharsetLabels.cpp, written by
// tools/make_charset_labels.py). Labels are lower case and sorted byte-wise.
#include <cstddef>
#include <string_view>

namespace brindle {

struct TCharsetLabel {
    std::string_view Label;      // as written in mail, lower case
    std::string_view Encoding;   // the standard's name of the encoding
    std::string_view Converter;  // the system converter's name; empty when none is used
};

extern const TCharsetLabel kCharsetLabels[];
extern const size_t kCharsetLabelCount;
// How many of the labels come from the standard's list; the rest are old mail spellings.
extern const size_t kStandardLabelCount;

}  // namespace brindle
