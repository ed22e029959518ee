#pragma once
// A small JSON writer: objects and arrays with one member per line, two spaces per level.
// Strings are written as UTF-8; bytes that are not valid UTF-8 are read as Windows-1252.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class TJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next member of the current object.
    void Key(std::string_view name);

    void String(std::string_view text);
    void Null();
    void Bool(bool value);
    void Number(int64_t value);
    void Number(uint64_t value);
    void Number(uint32_t value) { Number(static_cast<uint64_t>(value)); }
    void Number(int32_t value) { Number(static_cast<int64_t>(value)); }
    // The shortest text that reads back as the same double; null for NaN and infinities.
    void Number(double value);

    // Shorthands for one member.
    template <typename T>
    void Member(std::string_view name, const T& value) {
        Key(name);
        Write(value);
    }

    // A member that names a file: its name as a string; a name that is not valid UTF-8 (which
    // the string would then not give back) also as "<name>Bytes", its bytes in hex digits.
    void FileNameMember(std::string_view name, std::string_view fileName);

    // The document so far, ended by a line break once the outermost value is complete.
    const std::string& Text() const { return text_; }
    // Moves the text written so far to out, so that long documents need not stay in memory.
    void FlushTo(std::ostream& out);

private:
    void Write(std::string_view text) { String(text); }
    void Write(const std::string& text) { String(text); }
    void Write(const char* text) { String(text); }
    void Write(bool value) { Bool(value); }
    template <typename N>
    void Write(N number) {
        Number(number);
    }

    void BeginValue();
    void Open(char bracket);
    void Close(char bracket);
    void Indent();
    void AppendEscaped(std::string_view utf8);

    struct Level {
        bool empty = true;
    };
    std::string text_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

// The text as a JSON string literal, quotes included.
std::string JsonQuoted(std::string_view text);

}  // namespace brindle
