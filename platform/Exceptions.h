#pragma once
// The common exception base and the file layer's own errors. Every error carries one
// English message and no code, and may carry where in a file it was met.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace brindle {

// Where an error or a warning was met: the kind of structure being read, its file offset and
// the message it belongs to, each where known.
struct TErrorContext {
    std::string Structure;  // "index node", "message info", "data block"...
    std::optional<uint64_t> Offset;
    std::optional<int64_t> MessageIndex;

    bool Empty() const { return Structure.empty() && !Offset && !MessageIndex; }
    // "message info at 0x0001E254, message 5"; empty when nothing is known.
    std::string Describe() const;
};

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

    const TErrorContext& Context() const noexcept { return context_; }
    // Fills in what the context does not know yet; what an inner reader set first stays.
    void AddContext(const TErrorContext& outer);

private:
    std::string message_;
    TErrorContext context_;
};

// Runs read and adds the context to any error of ours that leaves it.
template <typename Read>
decltype(auto) WithContext(const TErrorContext& context, Read read) {
    try {
        return read();
    } catch (Exception& error) {
        error.AddContext(context);
        throw;
    }
}

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
    // The file that could not be written, where known; the message stays the same.
    explicit EWriteError(std::string path = {}) : EStreamError("Stream write error"), path_(std::move(path)) {}
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
};

// A fixed-size read that runs past the end, or a file that fails midway: "Stream read error".
class EReadError : public EStreamError {
public:
    // The file that could not be read, where known; the message stays the same.
    explicit EReadError(std::string path = {}) : EStreamError("Stream read error"), path_(std::move(path)) {}
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
};

// "Stream read error: PATH" or "Stream write error: PATH" for an error of the file layer that
// knows its file; any other error's message as it is.
std::string DescribeWithPath(const std::exception& error);

}  // namespace brindle
