#include "model/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "model/SafeOutput.h"

namespace vorpix::model {
namespace fs = std::filesystem;

namespace {

Error fileError(int code, std::string_view action, const fs::path& path) {
    return makeError(domain::kFile, code,
                     std::string(action) + " " + path.string() + ": " + std::strerror(code));
}

// Owns a POSIX file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

}  // namespace

Result<std::string> readWholeFile(const fs::path& path) {
    // Non-blocking, so that a FIFO or device under a document's name fails at
    // once instead of waiting for a writer; regular files ignore the flag.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return fileError(errno, "Could not open", path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return fileError(errno, "Could not read", path);
    if (S_ISDIR(info.st_mode)) return fileError(EISDIR, "Could not read", path);
    if (!S_ISREG(info.st_mode)) return fileError(EINVAL, "Could not read (not a regular file)", path);
    std::string contents;
    if (info.st_size > 0) contents.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return fileError(errno, "Could not read", path);
        }
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    return contents;
}

Result<void> writeFileAtomically(const fs::path& path, std::string_view contents) {
    auto output = SafeOutput::create(path);
    if (!output) return output.error();
    if (auto ok = output->write(contents); !ok) return ok;
    if (auto done = output->commit(); !done) return done.error();
    return {};
}

}  // namespace vorpix::model
