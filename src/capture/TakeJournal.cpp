#include "capture/TakeJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>

#include "capture/CaptureErrors.h"
#include "media/ThreadName.h"
#include "model/AtomicFile.h"

namespace vorpix::capture {

namespace fs = std::filesystem;

namespace {

constexpr auto kFlushInterval = std::chrono::milliseconds(250);
constexpr const char* kMagic = "vorpix-take 1";

void put(std::string& line, double value) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    line += ' ';
    line.append(text, end);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

Result<std::unique_ptr<TakeJournal>> TakeJournal::create(const fs::path& folder, const TakeFacts& facts,
                                                         const fs::path& movie) {
    std::unique_ptr<TakeJournal> j(new TakeJournal());
    j->path_ = folder / kJournalFileName;
    j->movie_ = movie;
    j->fd_ = ::open(j->path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (j->fd_ < 0) {
        const int e = errno;
        return makeError(domain::kFile, e, "Could not create the take's journal: " + std::string(std::strerror(e)));
    }
    std::string head = std::string(kMagic) + "\nsize " + std::to_string(facts.pixelWidth) + ' ' +
                       std::to_string(facts.pixelHeight);
    put(head, facts.scaleFactor);
    head += '\n';
    if (!writeAll(j->fd_, head) || ::fdatasync(j->fd_) != 0) {
        const int e = errno;
        return makeError(domain::kFile, e, "Could not write the take's journal: " + std::string(std::strerror(e)));
    }
    syncFolder(folder);
    j->thread_ = std::thread([self = j.get()] { self->run(); });
    return j;
}

TakeJournal::~TakeJournal() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    flush();
    if (fd_ >= 0) ::close(fd_);
    if (movieFd_ >= 0) ::close(movieFd_);
}

void TakeJournal::append(std::string line) {
    line += '\n';
    std::lock_guard lock(mutex_);
    if (!failed_) pending_ += line;
}

void TakeJournal::firstFrame(double hostTime) {
    std::string line = "first";
    put(line, hostTime);
    append(std::move(line));
}

void TakeJournal::sample(const model::MouseSample& s) {
    std::string line = "s";
    put(line, s.t);
    put(line, s.x);
    put(line, s.y);
    append(std::move(line));
}

void TakeJournal::click(const model::ClickEvent& c) {
    std::string line = "c";
    put(line, c.t);
    put(line, c.x);
    put(line, c.y);
    line += ' ' + std::to_string(c.button);
    append(std::move(line));
}

void TakeJournal::flush() {
    std::lock_guard write(writeMutex_);
    std::string text;
    {
        std::lock_guard lock(mutex_);
        if (failed_ || fd_ < 0) return;
        text.swap(pending_);
    }
    // The movie's fragments and the journal reach the disk together, so a
    // power loss keeps both up to (about) the same moment.
    if (movieFd_ < 0) movieFd_ = ::open(movie_.c_str(), O_RDONLY | O_CLOEXEC);
    if (movieFd_ >= 0) ::fdatasync(movieFd_);
    if (!text.empty() && (!writeAll(fd_, text) || ::fdatasync(fd_) != 0)) {
        std::lock_guard lock(mutex_);
        failed_ = true;  // a full disk: the movie writer reports it
    }
}

void TakeJournal::remove() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        failed_ = true;
        pending_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::error_code ec;
    fs::remove(path_, ec);
}

void TakeJournal::run() {
    media::setCurrentThreadName("tavorin.journal");
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, kFlushInterval, [&] { return stopping_; });
        if (stopping_) break;
        lock.unlock();
        flush();
        lock.lock();
    }
}

Result<JournalContents> readJournal(const fs::path& folder) {
    auto text = model::readWholeFile(folder / kJournalFileName);
    if (!text) return text.error();
    JournalContents contents;
    std::string_view rest = *text;
    bool first = true;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        if (end == std::string_view::npos) break;  // cut short by the crash
        std::istringstream line{std::string(rest.substr(0, end))};
        rest.remove_prefix(end + 1);
        if (first) {
            if (line.str() != kMagic) break;
            first = false;
            continue;
        }
        std::string kind;
        line >> kind;
        if (kind == "size") {
            line >> contents.facts.pixelWidth >> contents.facts.pixelHeight >> contents.facts.scaleFactor;
        } else if (kind == "first") {
            double t = 0;
            if (line >> t) contents.firstPTS = t;
        } else if (kind == "s") {
            model::MouseSample s;
            if (line >> s.t >> s.x >> s.y) contents.input.samples.push_back(s);
        } else if (kind == "c") {
            model::ClickEvent c;
            if (line >> c.t >> c.x >> c.y >> c.button) contents.input.clicks.push_back(c);
        }
    }
    if (first) {
        return makeError(domain::kTavorin, codes::kJournal,
                         "The take's journal in " + folder.filename().string() + " is not readable.");
    }
    return contents;
}

}  // namespace vorpix::capture
