#include "FileWrite.h"

#include "Exceptions.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace brindle {

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw EFCreateError(path);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            ::close(fd);
            throw EWriteError(path);
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    if (::close(fd) != 0) throw EWriteError(path);
}

}  // namespace brindle
