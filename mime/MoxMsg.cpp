#include "mime/MoxMsg.h"

#include "platform/Exceptions.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace brindle {

void TAttachedFile::SaveToFile(const std::string& fileName) const {
    int fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw EFCreateError(fileName);
    size_t done = 0;
    while (done < Data.size()) {
        ssize_t n = write(fd, Data.data() + done, Data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            throw EFCreateError(fileName);
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
}

TAttachedFile& TAttachedFiles::Add(const std::string& name) {
    auto item = std::make_unique<TAttachedFile>();
    item->PathName = name;
    size_t cut = name.find_last_of("\\:");
    item->FileName = cut == std::string::npos ? name : name.substr(cut + 1);
    item->ContentType = "application/octet-stream";
    items_.push_back(std::move(item));
    return *items_.back();
}

TMoxMsg::TMoxMsg() = default;
TMoxMsg::~TMoxMsg() = default;

void TMoxMsg::Parse() {}

}  // namespace brindle
