#include "capture/V4l2Camera.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "capture/HostClock.h"
#include "capture/WebcamRecorder.h"
#include "media/ThreadName.h"

namespace vorpix::capture {

namespace {

constexpr int kPreferredWidth = 1280;
constexpr int kPreferredHeight = 720;
constexpr unsigned kBufferCount = 4;
constexpr int kFramesPerSecond = 30;

// Closes the descriptor it holds.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Unmaps the driver's buffer it holds.
class MappedBuffer {
public:
    MappedBuffer(void* data, std::size_t length) : data_(data), length_(length) {}
    ~MappedBuffer() {
        if (data_ != MAP_FAILED) ::munmap(data_, length_);
    }
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(data_); }
    std::size_t length() const { return length_; }

private:
    void* data_;
    std::size_t length_;
};

// ioctl, retried when a signal interrupts it.
int xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

Error cameraError(int code, const std::string& message) { return makeError(domain::kTavorin, code, message); }

Error ioctlError(const std::string& name, const char* what) {
    const int err = errno;
    if (err == EBUSY) return cameraError(kCameraNotAdded, "The camera " + name + " is busy: another program is using it.");
    if (err == ENODEV || err == ENXIO) return cameraError(kCameraNotAdded, "The camera " + name + " was unplugged.");
    return cameraError(kCameraNotAdded, "Could not add camera " + name + " (" + what + ": " + std::strerror(err) + ").");
}

std::uint32_t deviceCaps(const v4l2_capability& cap) {
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? cap.device_caps : cap.capabilities;
}

// Every (format, size) the device offers; a stepwise range offers the size
// inside it nearest the preferred one.
std::vector<V4l2Offer> offersOf(int fd) {
    std::vector<V4l2Offer> offers;
    v4l2_fmtdesc desc{};
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (desc.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0; ++desc.index) {
        v4l2_frmsizeenum size{};
        size.pixel_format = desc.pixelformat;
        for (size.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                offers.push_back({desc.pixelformat, static_cast<int>(size.discrete.width),
                                  static_cast<int>(size.discrete.height)});
                continue;
            }
            const auto& s = size.stepwise;
            auto fit = [](int want, std::uint32_t lo, std::uint32_t hi, std::uint32_t step) {
                const int v = std::clamp(want, static_cast<int>(lo), static_cast<int>(hi));
                const int st = std::max(1, static_cast<int>(step));
                return static_cast<int>(lo) + (v - static_cast<int>(lo)) / st * st;
            };
            offers.push_back({desc.pixelformat, fit(kPreferredWidth, s.min_width, s.max_width, s.step_width),
                              fit(kPreferredHeight, s.min_height, s.max_height, s.step_height)});
            break;
        }
    }
    return offers;
}

class V4l2Camera final : public CameraSource {
public:
    V4l2Camera(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
    ~V4l2Camera() override { stop(); }

    // Settles the format and maps the buffers; the busy check happens here.
    Result<void> configure() {
        const int fd = fd_.get();
        const auto offers = offersOf(fd);
        const auto choice = chooseV4l2Format(offers);
        if (!choice) return cameraError(kWebcamFormatUnsupported, "This webcam video format is not supported.");
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        fmt.fmt.pix.width = static_cast<std::uint32_t>(choice->width);
        fmt.fmt.pix.height = static_cast<std::uint32_t>(choice->height);
        fmt.fmt.pix.pixelformat = choice->fourcc;
        fmt.fmt.pix.field = V4L2_FIELD_NONE;
        if (xioctl(fd, VIDIOC_S_FMT, &fmt) < 0) return ioctlError(name_, "setting the format");
        const auto format = cameraPixelFormat(fmt.fmt.pix.pixelformat);
        if (!format) return cameraError(kWebcamFormatUnsupported, "This webcam video format is not supported.");
        format_ = *format;
        width_ = static_cast<int>(fmt.fmt.pix.width);
        height_ = static_cast<int>(fmt.fmt.pix.height);
        stride_ = static_cast<int>(fmt.fmt.pix.bytesperline);
        if (stride_ == 0) stride_ = width_ * 2;

        v4l2_streamparm parm{};  // a wish: drivers that cannot keep their own rate
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe = {1, kFramesPerSecond};
        xioctl(fd, VIDIOC_S_PARM, &parm);

        v4l2_requestbuffers req{};
        req.count = kBufferCount;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (xioctl(fd, VIDIOC_REQBUFS, &req) < 0) return ioctlError(name_, "requesting buffers");
        for (std::uint32_t i = 0; i < req.count; ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            if (xioctl(fd, VIDIOC_QUERYBUF, &buf) < 0) return ioctlError(name_, "mapping buffers");
            void* data = ::mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buf.m.offset);
            auto mapped = std::make_unique<MappedBuffer>(data, buf.length);
            if (data == MAP_FAILED) return ioctlError(name_, "mapping buffers");
            buffers_.push_back(std::move(mapped));
        }
        return {};
    }

    Result<void> start(FrameHandler onFrame, FailureHandler onFailure) override {
        stop();
        const int fd = fd_.get();
        for (std::uint32_t i = 0; i < buffers_.size(); ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            if (xioctl(fd, VIDIOC_QBUF, &buf) < 0) return ioctlError(name_, "queueing buffers");
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_STREAMON, &type) < 0) return ioctlError(name_, "starting the stream");
        wake_ = std::make_unique<FileDescriptor>(::eventfd(0, EFD_CLOEXEC));
        if (wake_->get() < 0) {
            xioctl(fd, VIDIOC_STREAMOFF, &type);
            return ioctlError(name_, "starting the stream");
        }
        thread_ = std::thread([this, onFrame = std::move(onFrame), onFailure = std::move(onFailure)] {
            run(onFrame, onFailure);
        });
        return {};
    }

    void stop() override {
        if (!thread_.joinable()) return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake_->get(), &one, sizeof one);
        thread_.join();
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(fd_.get(), VIDIOC_STREAMOFF, &type);
    }

private:
    void run(const FrameHandler& onFrame, const FailureHandler& onFailure) {
        media::setCurrentThreadName("tavorin.webcam");
        const int fd = fd_.get();
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_->get(), POLLIN, 0}};
        auto lost = [&](const char* what) {
            if (onFailure) onFailure(ioctlError(name_, what));
        };
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return lost("waiting for frames");
            }
            if ((fds[1].revents & POLLIN) != 0) return;
            if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (fds[0].revents & POLLIN) == 0) {
                errno = ENODEV;
                return lost("waiting for frames");
            }
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            if (xioctl(fd, VIDIOC_DQBUF, &buf) < 0) {
                if (errno == EAGAIN) continue;
                return lost("reading a frame");
            }
            const bool monotonic = (buf.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
            CameraFrame frame;
            frame.format = format_;
            frame.width = width_;
            frame.height = height_;
            frame.stride = stride_;
            frame.hostTime = monotonic ? static_cast<double>(buf.timestamp.tv_sec) +
                                             static_cast<double>(buf.timestamp.tv_usec) * 1e-6
                                       : hostSeconds();
            const MappedBuffer& mapped = *buffers_.at(buf.index);
            frame.data = {mapped.data(), std::min<std::size_t>(buf.bytesused, mapped.length())};
            if ((buf.flags & V4L2_BUF_FLAG_ERROR) == 0 && !frame.data.empty()) onFrame(frame);
            if (xioctl(fd, VIDIOC_QBUF, &buf) < 0) return lost("returning a frame");
        }
    }

    const std::string name_;
    FileDescriptor fd_;
    std::vector<std::unique_ptr<MappedBuffer>> buffers_;
    std::unique_ptr<FileDescriptor> wake_;
    std::thread thread_;
    CameraPixelFormat format_ = CameraPixelFormat::yuyv;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
};

// The stable name udev gives a camera under /dev/v4l/by-id, when there is one.
std::string stableId(const std::filesystem::path& device) {
    std::error_code ec;
    for (const auto& link : std::filesystem::directory_iterator("/dev/v4l/by-id", ec)) {
        std::error_code ec2;
        if (std::filesystem::equivalent(link.path(), device, ec2)) return link.path().string();
    }
    return device.string();
}

class V4l2Cameras final : public CameraBackend {
public:
    std::vector<CameraDevice> devices() const override {
        std::vector<std::pair<int, std::filesystem::path>> nodes;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("video", 0) != 0 || name.size() == 5) continue;
            char* end = nullptr;
            const long n = std::strtol(name.c_str() + 5, &end, 10);
            if (*end == '\0') nodes.emplace_back(static_cast<int>(n), entry.path());
        }
        std::sort(nodes.begin(), nodes.end());
        std::vector<CameraDevice> cameras;
        for (const auto& [n, path] : nodes) {
            FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
            v4l2_capability cap{};
            if (fd.get() < 0 || xioctl(fd.get(), VIDIOC_QUERYCAP, &cap) < 0) continue;
            const std::uint32_t caps = deviceCaps(cap);
            // UVC cameras also show metadata nodes, which cannot capture video.
            if ((caps & V4L2_CAP_VIDEO_CAPTURE) == 0 || (caps & V4L2_CAP_STREAMING) == 0) continue;
            cameras.push_back({stableId(path), reinterpret_cast<const char*>(cap.card)});
        }
        return cameras;
    }

    Result<std::unique_ptr<CameraSource>> open(const CameraDevice& device) override {
        const int fd = ::open(device.id.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return ioctlError(device.name, "opening it");
        auto camera = std::make_unique<V4l2Camera>(device.name, fd);
        if (auto ok = camera->configure(); !ok) return ok.error();
        return std::unique_ptr<CameraSource>(std::move(camera));
    }
};

}  // namespace

std::optional<CameraPixelFormat> cameraPixelFormat(std::uint32_t fourcc) {
    switch (fourcc) {
        case V4L2_PIX_FMT_MJPEG:
        case V4L2_PIX_FMT_JPEG: return CameraPixelFormat::mjpeg;
        case V4L2_PIX_FMT_YUYV: return CameraPixelFormat::yuyv;
        default: return std::nullopt;
    }
}

std::optional<V4l2Offer> chooseV4l2Format(std::span<const V4l2Offer> offers) {
    constexpr long long kPreferredArea = static_cast<long long>(kPreferredWidth) * kPreferredHeight;
    std::optional<V4l2Offer> best;
    auto rank = [&](const V4l2Offer& o) {
        const long long area = static_cast<long long>(o.width) * o.height;
        const bool exact = o.width == kPreferredWidth && o.height == kPreferredHeight;
        // Smaller is better: exact size, nearness, larger of equals, MJPEG.
        return std::tuple(exact ? 0 : 1, std::llabs(area - kPreferredArea), -area,
                          cameraPixelFormat(o.fourcc) == CameraPixelFormat::mjpeg ? 0 : 1);
    };
    for (const V4l2Offer& o : offers) {
        if (!cameraPixelFormat(o.fourcc) || o.width < 2 || o.height < 2) continue;
        if (!best || rank(o) < rank(*best)) best = o;
    }
    return best;
}

std::shared_ptr<CameraBackend> makeV4l2Cameras() { return std::make_shared<V4l2Cameras>(); }

}  // namespace vorpix::capture
