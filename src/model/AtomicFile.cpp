#include "model/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "model/Uuid.h"

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
    // Closes now and reports the error close() gave, which matters for writes.
    int close() {
        if (fd_ < 0) return 0;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? 0 : errno;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

void removeStaleTemporaries(const fs::path& folder, const std::string& prefix) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
            fs::remove(entry.path(), ec);
        }
    }
}

}  // namespace

std::string temporaryPrefixFor(const fs::path& path) {
    // Built by appending: GCC 12 warns (wrongly) about the concatenation.
    std::string prefix(".");
    prefix += path.filename().string();
    prefix += ".tmp-";
    return prefix;
}

Result<std::string> readWholeFile(const fs::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return fileError(errno, "Could not open", path);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return fileError(errno, "Could not read", path);
    if (S_ISDIR(info.st_mode)) return fileError(EISDIR, "Could not read", path);
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
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string prefix = temporaryPrefixFor(path);
    removeStaleTemporaries(folder, prefix);

    const fs::path temporary = folder / (prefix + Uuid::random().toString());
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid()) return fileError(errno, "Could not write", path);

    auto fail = [&](int code) {
        fd.reset();
        ::unlink(temporary.c_str());
        return fileError(code, "Could not write", path);
    };

    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (const int code = fd.close(); code != 0) {
        ::unlink(temporary.c_str());
        return fileError(code, "Could not write", path);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return fileError(code, "Could not write", path);
    }
    // Make the rename itself durable. A failure here cannot be undone and the
    // new file is in place, so it is not reported.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
    return {};
}

}  // namespace vorpix::model
