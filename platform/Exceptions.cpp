#include "platform/Exceptions.h"

#include <cstdio>

namespace brindle {

std::string TErrorContext::Describe() const {
    std::string text = Structure;
    if (Offset) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%08llX", static_cast<unsigned long long>(*Offset));
        text += text.empty() ? "offset " : " at ";
        text += hex;
    }
    if (MessageIndex) {
        if (!text.empty()) text += ", ";
        text += "message " + std::to_string(*MessageIndex);
    }
    return text;
}

void Exception::AddContext(const TErrorContext& outer) {
    if (context_.Structure.empty() && !context_.Offset) {
        context_.Structure = outer.Structure;
        context_.Offset = outer.Offset;
    }
    if (!context_.MessageIndex) context_.MessageIndex = outer.MessageIndex;
}

std::string DescribeWithPath(const std::exception& error) {
    const std::string* path = nullptr;
    if (const auto* read = dynamic_cast<const EReadError*>(&error)) path = &read->Path();
    if (const auto* write = dynamic_cast<const EWriteError*>(&error)) path = &write->Path();
    if (!path || path->empty()) return error.what();
    return std::string(error.what()) + ": " + *path;
}

}  // namespace brindle
