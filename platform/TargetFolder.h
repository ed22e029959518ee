#pragma once
// The folder that saved messages and attachments go into. The folder is opened once and every
// file is created relative to it: a name never leads out of it, a symbolic link in it is never
// followed, and an existing entry is never written into.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace brindle {

// What Write does when an entry of the name exists (a file, a link, even a dangling one, a
// named pipe, a folder...).
enum class TIfExists {
    Fail,          // throw EFCreateError
    NextFreeName,  // write under "name (2).ext", "name (3).ext"... instead (NumberedFileName)
    Replace,       // write a new file and rename it over the entry; a link is replaced, not followed
};

class TTargetFolder {
public:
    // Opens the folder. When it cannot be opened, every Write throws EFCreateError naming the
    // file's path.
    explicit TTargetFolder(std::string path);
    ~TTargetFolder();
    TTargetFolder(const TTargetFolder&) = delete;
    TTargetFolder& operator=(const TTargetFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The folder's path joined with name, for messages.
    std::string PathOf(std::string_view name) const;
    // Whether the folder holds an entry of that name (links are not followed).
    bool Exists(std::string_view name) const;

    // Writes the bytes into a new regular file (mode 0644 before the umask) and returns the name
    // written. A name that is empty, holds a "/" or a NUL, or is "." or "..", is refused. With
    // Replace, a folder or a file kept by KeepFromReplacing is never replaced. Throws
    // EFCreateError ("Cannot create file %s") or EWriteError ("Stream write error"); a file left
    // unfinished by a write error is removed.
    std::string Write(std::string_view name, std::string_view bytes, TIfExists ifExists);

    // The files that Write tried to create so far, for checking that numbering stays linear.
    size_t CreateAttempts() const { return attempts_; }

private:
    int CreateExclusive(const std::string& name) const;
    std::string WriteNextFree(const std::string& name, std::string_view bytes);
    void ReplaceEntry(const std::string& name, std::string_view bytes);
    void WriteNew(int fd, const std::string& name, std::string_view bytes) const;

    std::string path_;
    int fd_ = -1;
    // Per name as cut to kMaxFileNameBytes, the number NextFreeName tries next, so that many
    // long names that end up the same are numbered in linear time.
    std::unordered_map<std::string, size_t> nextNumber_;
    mutable size_t attempts_ = 0;
};

// The file (the store or message that the program has open) is never replaced by a Write with
// TIfExists::Replace, under any name that leads to it (compared by device and inode).
void KeepFromReplacing(const std::string& path);

}  // namespace brindle
