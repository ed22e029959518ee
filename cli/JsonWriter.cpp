#include "cli/JsonWriter.h"

#include "cli/TerminalText.h"
#include "platform/Utf8.h"

#include <charconv>
#include <cmath>

namespace brindle {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

template <typename N>
void AppendNumber(std::string& out, N value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

}  // namespace

void TJsonWriter::Indent() {
    text_ += '\n';
    text_.append(levels_.size() * 2, ' ');
}

void TJsonWriter::BeginValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (!levels_.back().empty) text_ += ',';
    levels_.back().empty = false;
    Indent();
}

void TJsonWriter::Open(char bracket) {
    BeginValue();
    text_ += bracket;
    levels_.push_back({});
}

void TJsonWriter::Close(char bracket) {
    bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) Indent();
    text_ += bracket;
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::BeginObject() { Open('{'); }
void TJsonWriter::EndObject() { Close('}'); }
void TJsonWriter::BeginArray() { Open('['); }
void TJsonWriter::EndArray() { Close(']'); }

void TJsonWriter::Key(std::string_view name) {
    BeginValue();
    AppendEscaped(name);
    text_ += ": ";
    afterKey_ = true;
}

void TJsonWriter::Bool(bool value) {
    BeginValue();
    text_ += value ? "true" : "false";
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::Null() {
    BeginValue();
    text_ += "null";
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::String(std::string_view text) {
    BeginValue();
    if (IsValidUtf8(text))
        AppendEscaped(text);
    else
        AppendEscaped(Cp1252ToUtf8(text));
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::FileNameMember(std::string_view name, std::string_view fileName) {
    Member(name, fileName);
    if (IsValidUtf8(fileName)) return;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(fileName.size() * 2);
    for (unsigned char c : fileName) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0xF];
    }
    Member(std::string(name) + "Bytes", hex);
}

void TJsonWriter::Number(int64_t value) {
    BeginValue();
    AppendNumber(text_, value);
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::Number(uint64_t value) {
    BeginValue();
    AppendNumber(text_, value);
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::Number(double value) {
    BeginValue();
    if (std::isfinite(value))
        AppendNumber(text_, value);
    else
        text_ += "null";
    if (levels_.empty()) text_ += '\n';
}

void TJsonWriter::AppendEscaped(std::string_view utf8) {
    text_ += '"';
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        // DEL, C1 controls and bidirectional controls are valid in JSON strings, but would act
        // on a terminal that shows them: they are written as escapes too.
        if (static_cast<unsigned char>(c) >= 0x7F) {
            const TCodePoint cp = c == 0x7F ? TCodePoint{0x7F, 1} : DecodeUtf8At(utf8, i);
            if (cp.length > 0 && (cp.value == 0x7F || (cp.value >= 0x80 && cp.value <= 0x9F) || IsBidiControl(cp.value))) {
                text_ += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4) text_ += kHexDigits[(cp.value >> shift) & 15];
                i += cp.length - 1;
                continue;
            }
        }
        switch (c) {
            case '"': text_ += "\\\""; break;
            case '\\': text_ += "\\\\"; break;
            case '\b': text_ += "\\b"; break;
            case '\f': text_ += "\\f"; break;
            case '\n': text_ += "\\n"; break;
            case '\r': text_ += "\\r"; break;
            case '\t': text_ += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    text_ += "\\u00";
                    text_ += kHexDigits[(c >> 4) & 15];
                    text_ += kHexDigits[c & 15];
                } else {
                    text_ += c;
                }
        }
    }
    text_ += '"';
}

void TJsonWriter::FlushTo(std::ostream& out) {
    out.write(text_.data(), static_cast<std::streamsize>(text_.size()));
    text_.clear();
}

std::string JsonQuoted(std::string_view text) {
    TJsonWriter writer;
    writer.String(text);
    std::string quoted = writer.Text();
    quoted.pop_back();
    return quoted;
}

}  // namespace brindle
