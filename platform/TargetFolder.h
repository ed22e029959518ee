#pragma once
// The folder that saved messages and attachments go into. The folder is opened once and every
// file is created relative to it: a name never leads out of it, a symbolic link in it is never
// followed, and an existing entry is never written into.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace brindle {

// What Write does when an entry of the name exists (a file, a link, even a dangling one, a
// named pipe, a folder...).
enum class TIfExists {
    Fail,          // throw EFCreateError
    NextFreeName,  // write under "name (2).ext", "name (3).ext"... instead (NumberedFileName)
    Replace,       // write a new file and rename it over the entry; a link is replaced, not followed
};

class TNewFile;

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
    // Removes the file of that name (a link is removed, never followed; a folder is kept), for
    // a file written here before. False when it cannot be removed.
    bool RemoveFile(std::string_view name) const;

    // Writes the bytes into a new regular file (mode 0644 before the umask) and returns the name
    // written. A name that is empty, holds a "/" or a NUL, or is "." or "..", is refused. With
    // Replace, a folder or a file kept by KeepFromReplacing is never replaced. Throws
    // EFCreateError ("Cannot create file %s") or EWriteError ("Stream write error"); a file left
    // unfinished by a write error is removed.
    std::string Write(std::string_view name, std::string_view bytes, TIfExists ifExists);

    // Creates a new regular file to be written piece by piece (ifExists: Fail or NextFreeName;
    // Replace is refused). Throws EFCreateError. The folder must outlive the file.
    std::unique_ptr<TNewFile> Create(std::string_view name, TIfExists ifExists);

    // Creates the folder name inside this one (mkdirat relative to this folder) and opens it
    // without following a link. With existingAllowed, a folder of that name that is there
    // already is opened instead (a link in its place is still refused). Throws EFCreateError.
    std::unique_ptr<TTargetFolder> CreateSubFolder(std::string_view name, bool existingAllowed = false);
    // Creates the folder name inside this one without opening it. Throws EFCreateError.
    void MakeSubFolder(std::string_view name);
    // As MakeSubFolder, but false instead of an error when an entry of that name is there (a
    // link is not followed): one call both tests and takes the name.
    bool MakeSubFolderIfFree(std::string_view name);
    // Opens the folder name inside this one, made before, without following a link. Safe to
    // call from several threads at once. Throws EFCreateError.
    std::unique_ptr<TTargetFolder> OpenSubFolder(std::string_view name) const;

    // Another handle on the same folder (the descriptor duplicated, no path looked up again), for
    // writing on a second thread: each handle keeps its own numbering, and a number that the
    // other took is skipped as any taken name is. Throws EFCreateError.
    std::unique_ptr<TTargetFolder> Duplicate() const;

    // The files that Write tried to create so far, for checking that numbering stays linear.
    size_t CreateAttempts() const { return attempts_; }

private:
    TTargetFolder(std::string path, int fd);
    // The new file's descriptor and the name it got; throws EFCreateError.
    int CreateNamed(const std::string& name, TIfExists ifExists, std::string& written);
    int CreateExclusive(const std::string& name) const;
    std::string WriteNextFree(const std::string& name, std::string_view bytes);
    int CreateNextFree(const std::string& name, std::string& written);
    void ReplaceEntry(const std::string& name, std::string_view bytes);
    void WriteNew(int fd, const std::string& name, std::string_view bytes) const;

    std::string path_;
    int fd_ = -1;
    // Per name as cut to kMaxFileNameBytes that was met taken, the number NextFreeName tries
    // next, so that many long names that end up the same are numbered in linear time.
    std::unordered_map<std::string, size_t> nextNumber_;
    mutable size_t attempts_ = 0;
};

// A new file in a target folder, written in pieces through a buffer. Dropped before Finish
// (or after a write error), the file is removed; with KeepAfterWriteError, a write error leaves
// it open for FinishAt instead.
class TNewFile {
public:
    ~TNewFile();
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;

    const std::string& Name() const { return name_; }
    // Throws EWriteError. A piece of 64 KiB or more meeting an empty buffer is written at once.
    void Append(std::string_view bytes);
    // Writes what is buffered, sets the modification time (seconds since 1970-01-01 UTC) when
    // one is given, and closes the file. Throws EWriteError.
    void Finish(std::optional<int64_t> modified = std::nullopt);

    // A write error no longer removes the file: it stays open, with what reached the disk, until
    // FinishAt or the file is dropped. The bytes buffered at the error are dropped.
    void KeepAfterWriteError() { keepAfterError_ = true; }
    // Bytes that reached the file so far (a write cut short counts what it wrote).
    uint64_t Written() const { return written_; }
    // Writes what is buffered when it can, cuts the file to its first size bytes and closes it
    // (for a file whose later bytes are incomplete). Throws EWriteError, the file removed.
    void FinishAt(uint64_t size);
    // Takes the byte ranges [first, second) out of what was appended: the bytes after each move
    // down and the file ends that much sooner; later appends follow on. What is buffered is
    // written first, so that Written tells the file's size after. The ranges are in
    // increasing order, apart and within the bytes appended. Throws EWriteError, the file
    // removed (a half-moved file is of no use).
    void TakeOut(std::span<const std::pair<uint64_t, uint64_t>> ranges);

private:
    friend class TTargetFolder;
    TNewFile(int folderFd, int fd, std::string name) : folderFd_(folderFd), fd_(fd), name_(std::move(name)) {}
    void Flush();
    // Writes all of bytes; on an error drops the buffer, removes the file (or keeps it, see
    // KeepAfterWriteError) and throws EWriteError.
    void WriteOut(std::string_view bytes);
    void Fail();
    bool MoveDown(uint64_t from, uint64_t to, uint64_t at, std::string& buffer) const;

    int folderFd_;
    int fd_;
    std::string name_;
    std::string buffer_;
    uint64_t written_ = 0;
    bool keepAfterError_ = false;
    bool failed_ = false;  // a write failed and the file was kept
};

// How much of a missing target folder MakeTargetFolder makes.
enum class TMissingLevels {
    LastOnly,  // the folder itself; its parent must be there
    All,       // every missing level below the nearest folder that is there
};

// Makes the folder at path when it is not there yet: the missing levels below the nearest
// existing parent, each made with mkdirat in the level above it and opened without following a
// link, so that nothing is made through a link (the parent it starts from is not a link
// either). A path that names a folder is left as it is. Throws EFCreateError naming path when a
// level cannot be made, when more than the last level is missing with LastOnly, or when a
// missing part is "." or "..".
void MakeTargetFolder(const std::string& path, TMissingLevels levels);

// The file (the store or message that the program has open) is never replaced by a Write with
// TIfExists::Replace, under any name that leads to it (compared by device and inode).
void KeepFromReplacing(const std::string& path);

}  // namespace brindle
