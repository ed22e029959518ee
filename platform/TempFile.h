#pragma once
// A temporary file that exists while its owner lives. It is created exclusively (never by
// deleting a fresh name and creating it again), readable and writable by the owner only,
// named with the prefix "mox" in $TMPDIR or /tmp, and removed when the object is destroyed.
#include <string>
#include <string_view>

namespace brindle {

class TTempFile {
public:
    // Creates the file; throws EFCreateError when it cannot.
    TTempFile();
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    const std::string& Path() const { return path_; }

    // Appends bytes; throws EWriteError.
    void Write(std::string_view bytes);
    // The whole content; throws EReadError.
    std::string ReadAll() const;

    // The folder of temporary files: $TMPDIR when it is set and not empty, else /tmp.
    static std::string Directory();

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace brindle
