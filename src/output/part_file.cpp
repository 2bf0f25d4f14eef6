#include "output/part_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/run_messages.h"

namespace {

// A new file gets these permission bits less the umask, as a shell redirect creates it.
constexpr mode_t new_file_mode = 0666;

}  // namespace

PartFile::~PartFile() {
    close_descriptor();
}

void PartFile::close_descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

int PartFile::open(const std::string& name, std::int64_t size, MessageSink& messages) {
    close_descriptor();
    name_ = name;
    // Looked at before opening: opening a FIFO or a device may wait or act on the device.
    struct stat status;
    if (::stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        report_part_needs_regular_file(messages);
        return 1;
    }
    // Not emptied: the other parts' bytes may already be there. Without blocking, so that a
    // FIFO put in place since the look above fails at once (ENXIO) instead of waiting.
    descriptor_ = name.empty() ? -1
                               : ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK,
                                        new_file_mode);
    if (descriptor_ < 0) {
        if (errno == ENXIO) {
            report_part_needs_regular_file(messages);
        } else {
            report_cannot_open(messages, name.c_str());
        }
        return 1;
    }
    if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
        close_descriptor();
        report_part_needs_regular_file(messages);
        return 1;
    }
    if (::fcntl(descriptor_, F_SETFL, 0) != 0 || ::ftruncate(descriptor_, size) != 0) {
        abandon(messages);
        return 1;
    }
    return 0;
}

int PartFile::finish(MessageSink& messages) {
    const bool is_closed = ::close(descriptor_) == 0;
    descriptor_ = -1;
    if (is_closed) return 0;
    report_cannot_write(messages, name_.c_str());
    return 1;
}

void PartFile::abandon(MessageSink& messages) {
    close_descriptor();
    report_cannot_write(messages, name_.c_str());
}

int write_at(int descriptor, std::int64_t position, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::pwrite(descriptor, bytes, length, position);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return 1;
        bytes += written;
        length -= static_cast<std::size_t>(written);
        position += written;
    }
    return 0;
}
