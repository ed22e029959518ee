#include "platform/TempFile.h"

#include "platform/Exceptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace brindle {

std::string TTempFile::Directory() {
    const char* dir = std::getenv("TMPDIR");
    if (dir != nullptr && *dir != '\0') return dir;
    return "/tmp";
}

TTempFile::TTempFile() {
    std::string dir = Directory();
    if (dir.back() != '/') dir += '/';
    std::string pattern = dir + "moxXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemp creates the file with O_EXCL and mode 0600.
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) throw EFCreateError(pattern);
    path_ = name.data();
}

TTempFile::~TTempFile() {
    close(fd_);
    unlink(path_.c_str());
}

void TTempFile::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError();
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

std::string TTempFile::ReadAll() const {
    struct stat st {};
    if (fstat(fd_, &st) != 0) throw EReadError();
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = pread(fd_, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EReadError();
        done += static_cast<size_t>(n);
    }
    return data;
}

}  // namespace brindle
