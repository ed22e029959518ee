#pragma once
// Text from a message on its way to a terminal: control characters, escape sequences and
// bidirectional controls would act on the terminal instead of being shown, so they are shown
// as escapes ("\x1b", "\u202e"). Tab and line feed stay.
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace brindle {

// True for the code points that reorder text: U+061C, U+200E, U+200F, U+202A to U+202E and
// U+2066 to U+2069.
bool IsBidiControl(uint32_t codePoint);

// The text with C0 controls but tab and line feed, DEL and bytes that begin no valid UTF-8
// sequence as "\xNN", and C1 controls and bidirectional controls as "\uNNNN".
std::string EscapedForTerminal(std::string_view text);

// A stream buffer that passes whole lines on to another one, each escaped as above.
class TTerminalStreamBuf : public std::streambuf {
public:
    explicit TTerminalStreamBuf(std::ostream& target) : target_(target) {}
    ~TTerminalStreamBuf() override;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void PassLines(bool all);

    std::ostream& target_;
    std::string pending_;
};

}  // namespace brindle
