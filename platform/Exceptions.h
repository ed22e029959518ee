#pragma once
// The common exception base and the file layer's own errors. Every error carries one
// English message and no code.
#include <exception>
#include <string>

namespace brindle {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// Stream misuse: "Invalid stream operation".
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// "Cannot open file %s"
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& path) : EStreamError("Cannot open file " + path) {}
};

// "Cannot create file %s"
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& path) : EStreamError("Cannot create file " + path) {}
};

// Writing to a file failed: "Stream write error".
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
};

// A fixed-size read that runs past the end: "Stream read error".
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};

}  // namespace brindle
