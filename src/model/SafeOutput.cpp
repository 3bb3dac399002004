#include "model/SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "model/OutputCheck.h"

namespace vorpix::model {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffix = ".part";
constexpr std::size_t kRandomDigits = 8;
// Room for the rest of the temporary's name within a file name's 255 bytes.
constexpr std::size_t kNameBytes = 200;

// The live temporaries, for the signal handler. This is the one process-wide
// table in the program: a handler can reach nothing else, and may only read
// fixed memory and call unlink(). A slot is claimed (kFilling), filled, then
// published (kLive); the handler only touches published slots.
constexpr int kSlots = 64;
enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };
struct Slot {
    std::atomic<int> state{kFree};
    char path[4096];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");
Slot registry[kSlots];

int registerTemporary(const fs::path& path) {
    const std::string& text = path.native();
    if (text.size() >= sizeof(Slot::path)) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!registry[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(registry[i].path, text.c_str(), text.size() + 1);
        registry[i].state.store(kLive, std::memory_order_release);
        return i;
    }
    return -1;  // more live temporaries than slots: these are not removed on a signal
}

void unregisterTemporary(int slot) {
    if (slot >= 0) registry[slot].state.store(kFree, std::memory_order_release);
}

extern "C" void removeTemporariesAndEnd(int signal) {
    const int saved = errno;
    for (Slot& slot : registry) {
        if (slot.state.load(std::memory_order_acquire) == kLive) ::unlink(slot.path);
    }
    errno = saved;
    // SA_RESETHAND restored the default action; the signal is blocked until
    // this handler returns, and then ends the process as it would have.
    ::raise(signal);
}

Error fileError(int code, const fs::path& path) {
    return makeError(domain::kFile, code, "Could not write " + path.string() + ": " + std::strerror(code));
}

std::string randomDigits() {
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::uint64_t bits = (std::uint64_t{device()} << 32) | device();
    std::string text;
    for (std::size_t i = 0; i < kRandomDigits; ++i, bits >>= 4) text += kHex[bits & 15];
    return text;
}

// The pid in ".<name>.<pid>-<random>.part", or 0 when `name` is no temporary.
pid_t temporaryOwner(const std::string& name) {
    if (name.size() < 1 + kSuffix.size() || name[0] != '.' ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
        return 0;
    }
    const std::string stem = name.substr(0, name.size() - kSuffix.size());
    const auto dot = stem.rfind('.');
    const auto dash = stem.rfind('-');
    if (dot == 0 || dot == std::string::npos || dash == std::string::npos || dash < dot + 2 ||
        stem.size() - dash - 1 != kRandomDigits ||
        stem.find_first_not_of("0123456789abcdef", dash + 1) != std::string::npos) {
        return 0;
    }
    const std::string digits = stem.substr(dot + 1, dash - dot - 1);
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<pid_t>(std::stol(digits));
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

fs::path folderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// Renames without replacing: fails with EEXIST when `to` exists.
int renameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a hard link is just as exclusive.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

fs::path numbered(const fs::path& target, int n) {
    if (n == 1) return target;
    return target.parent_path() /
           (target.stem().string() + " " + std::to_string(n) + target.extension().string());
}

}  // namespace

SafeOutput::SafeOutput(fs::path target, fs::path temporary, int fd, int slot)
    : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd), slot_(slot), live_(true) {}

SafeOutput::SafeOutput(SafeOutput&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(other.fd_),
      slot_(other.slot_),
      live_(other.live_) {
    other.fd_ = -1;
    other.slot_ = -1;
    other.live_ = false;
}

SafeOutput::~SafeOutput() {
    discard();
}

Result<SafeOutput> SafeOutput::create(const fs::path& target) {
    if (auto ok = checkOutputFile(target); !ok) return ok.error();
    const fs::path folder = folderOf(target);
    removeStaleTemporaries(folder);
    const std::string name = target.filename().string().substr(0, kNameBytes);
    for (int attempt = 0;; ++attempt) {
        const fs::path temporary = folder / ("." + name + "." + std::to_string(::getpid()) + "-" +
                                             randomDigits() + std::string(kSuffix));
        // Registered before it exists, so that no signal finds it unlisted.
        const int slot = registerTemporary(temporary);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return SafeOutput(target, temporary, fd, slot);
        const int code = errno;
        unregisterTemporary(slot);
        if (code != EEXIST || attempt == 8) return fileError(code, target);
    }
}

Result<void> SafeOutput::write(std::string_view bytes) {
    if (!live_ || fd_ < 0) return fileError(EBADF, target_);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            discard();
            return fileError(code, target_);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

Result<fs::path> SafeOutput::commit(OnExisting existing) {
    if (!live_) return fileError(EBADF, target_);
    // fsync through our descriptor flushes the file whoever wrote it.
    int code = ::fsync(fd_) == 0 ? 0 : errno;
    if (::close(fd_) != 0 && code == 0) code = errno;
    fd_ = -1;
    fs::path placed = target_;
    if (code == 0 && existing == OnExisting::replace) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) code = errno;
    } else if (code == 0) {
        code = EEXIST;
        for (int n = 1; n <= 9999 && code == EEXIST; ++n) {
            placed = numbered(target_, n);
            code = renameNoReplace(temporary_, placed);
        }
    }
    if (code != 0) {
        discard();
        return fileError(code, target_);
    }
    live_ = false;
    unregisterTemporary(slot_);
    slot_ = -1;
    // A failure to flush the folder cannot be undone and the file is in
    // place, so it is not reported.
    syncFolder(folderOf(target_));
    return placed;
}

void SafeOutput::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (live_) ::unlink(temporary_.c_str());
    live_ = false;
    unregisterTemporary(slot_);
    slot_ = -1;
}

void SafeOutput::removeTemporariesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

void SafeOutput::removeStaleTemporaries(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return;
    for (const auto& entry : it) {
        const pid_t owner = temporaryOwner(entry.path().filename().string());
        // ESRCH: no such process. EPERM means alive under another user.
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) fs::remove(entry.path(), ec);
    }
}

}  // namespace vorpix::model
