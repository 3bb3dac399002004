#include "app/SampleRecording.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "app/SampleScene.h"
#include "app/SampleScript.h"
#include "media/FFmpeg.h"
#include "media/MovieWriter.h"
#include "model/AtomicFile.h"

namespace vorpix::app {

namespace fs = std::filesystem;

namespace {

constexpr int kAudioRate = 48000;
constexpr double kPi = 3.14159265358979323846;
constexpr const char* kSentence = "Welcome to Vorpix. Watch the camera follow every click.";

Error sampleError(const std::string& message) {
    return makeError(domain::kVorpix, 20, message);
}

// Mono 16-bit PCM from a RIFF WAVE file, as espeak-ng writes it.
std::vector<float> readWave(const fs::path& path, int& rate) {
    auto bytes = model::readWholeFile(path);
    if (!bytes || bytes->size() < 44 || bytes->compare(0, 4, "RIFF") != 0 ||
        bytes->compare(8, 4, "WAVE") != 0) {
        return {};
    }
    const std::string& b = *bytes;
    auto u16 = [&b](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(b[at]) |
                                     (static_cast<unsigned char>(b[at + 1]) << 8));
    };
    auto u32 = [&](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
    std::size_t at = 12;
    unsigned channels = 1;
    unsigned bits = 16;
    while (at + 8 <= b.size()) {
        const std::string id = b.substr(at, 4);
        const std::size_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 16 <= b.size()) {
            channels = std::max(1u, u16(body + 2));
            rate = static_cast<int>(u32(body + 4));
            bits = u16(body + 14);
        } else if (id == "data") {
            if (bits != 16) return {};
            const std::size_t end = std::min(b.size(), body + size);
            std::vector<float> out;
            for (std::size_t i = body; i + 2 * channels <= end; i += 2 * channels) {
                out.push_back(static_cast<float>(static_cast<std::int16_t>(u16(i))) / 32768.0f);
            }
            return out;
        }
        at = body + size + (size & 1);
    }
    return {};
}

std::vector<float> speak(const char* sentence) {
    const QString espeak = QStandardPaths::findExecutable("espeak-ng");
    if (espeak.isEmpty()) return {};
    QTemporaryDir dir;
    if (!dir.isValid()) return {};
    const QString wav = dir.filePath("speech.wav");
    QProcess process;
    process.start(espeak, {"-v", "en-us", "-s", "150", "-w", wav, QString::fromUtf8(sentence)});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
    int rate = 0;
    std::vector<float> voice = readWave(wav.toStdString(), rate);
    if (voice.empty() || rate <= 0) return {};
    // Linear resampling is plenty for speech under music.
    const double step = static_cast<double>(rate) / kAudioRate;
    const auto count = static_cast<std::size_t>(static_cast<double>(voice.size()) / step);
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = static_cast<double>(i) * step;
        const auto k = static_cast<std::size_t>(x);
        const double f = x - static_cast<double>(k);
        const float next = k + 1 < voice.size() ? voice[k + 1] : voice[k];
        out[i] = static_cast<float>(voice[k] * (1 - f) + next * f);
    }
    return out;
}

// The sound track: a quiet melody, a tick at every click, and a spoken
// sentence near the start. Interleaved stereo at 48 kHz.
std::vector<float> soundTrack(const sample::Script& script, bool speech, std::uint64_t seed) {
    const auto frames = static_cast<std::size_t>(std::ceil(script.duration * kAudioRate));
    std::vector<float> mono(frames, 0.0f);
    std::mt19937_64 random(seed ^ 0xA5A5A5A5ull);

    const double scale[] = {261.63, 293.66, 329.63, 392.00, 440.00, 523.25};
    for (double t = 0.25; t < script.duration - 0.3; t += 0.5) {
        const double hz = scale[std::uniform_int_distribution<int>(0, 5)(random)];
        const auto start = static_cast<std::size_t>(t * kAudioRate);
        for (std::size_t i = 0; i < static_cast<std::size_t>(0.45 * kAudioRate) && start + i < frames; ++i) {
            const double s = static_cast<double>(i) / kAudioRate;
            const double envelope = std::min(s / 0.01, 1.0) * std::exp(-s * 6.0);
            mono[start + i] += static_cast<float>(
                0.06 * envelope * (std::sin(2 * kPi * hz * s) + 0.3 * std::sin(4 * kPi * hz * s)));
        }
    }
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (const auto& click : script.clicks) {
        const auto start = static_cast<std::size_t>(click.t * kAudioRate);
        for (std::size_t i = 0; i < static_cast<std::size_t>(0.03 * kAudioRate) && start + i < frames; ++i) {
            const double s = static_cast<double>(i) / kAudioRate;
            const double envelope = std::exp(-s * 260.0);
            mono[start + i] +=
                static_cast<float>(envelope * (0.25 * noise(random) + 0.3 * std::sin(2 * kPi * 2200 * s)));
        }
    }
    if (speech) {
        const std::vector<float> voice = speak(kSentence);
        const auto start = static_cast<std::size_t>(0.7 * kAudioRate);
        for (std::size_t i = 0; i < voice.size() && start + i < frames; ++i)
            mono[start + i] += 0.8f * voice[i];
    }
    std::vector<float> stereo(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const float v = std::clamp(mono[i], -0.98f, 0.98f);
        stereo[2 * i] = v;
        stereo[2 * i + 1] = v;
    }
    return stereo;
}

// Converts RGB32 pictures into the writer's YUV 4:2:0 frames.
class PictureConverter {
public:
    PictureConverter(int width, int height)
        : sws_(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                              nullptr, nullptr, nullptr)),
          width_(width),
          height_(height) {
        if (sws_) {
            // Full-range RGB into limited-range BT.709, matching the stream's tags.
            const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(sws_.get(), coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
        }
    }
    bool valid() const { return sws_ != nullptr; }

    void convert(const QImage& image, AVFrame& frame) {
        const uint8_t* src[] = {image.constBits()};
        const int stride[] = {static_cast<int>(image.bytesPerLine())};
        sws_scale(sws_.get(), src, stride, 0, height_, frame.data, frame.linesize);
    }
    int width() const { return width_; }

private:
    media::SwsPtr sws_;
    int width_;
    int height_;
};

// Writes one movie to a hidden partial name and renames it into place only
// when complete.
class PartialFile {
public:
    explicit PartialFile(fs::path target)
        : target_(std::move(target)),
          partial_(target_.parent_path() / ("." + target_.filename().string() + ".partial")) {}
    ~PartialFile() {
        if (!committed_) {
            std::error_code ec;
            fs::remove(partial_, ec);
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const fs::path& path() const { return partial_; }
    Result<void> commit() {
        std::error_code ec;
        fs::rename(partial_, target_, ec);
        if (ec) return sampleError("Could not save " + target_.filename().string() + ": " + ec.message());
        committed_ = true;
        return {};
    }

private:
    fs::path target_;
    fs::path partial_;
    bool committed_ = false;
};

Result<void> copyPicture(media::MovieWriter& writer, const AVFrame& picture, std::int64_t index) {
    auto frame = writer.makeVideoFrame();
    if (!frame) return frame.error();
    if (av_frame_copy(frame->get(), &picture) < 0) return sampleError("Could not copy a sample frame.");
    return writer.writeVideo(std::move(*frame), index);
}

Result<void> writeScreenMovie(const SampleOptions& o, const sample::Layout& layout,
                              const sample::Script& script, const std::vector<float>& audio,
                              double progressShare) {
    PartialFile file(o.folder / "raw.mov");
    media::VideoStreamSettings video;
    video.width = o.width;
    video.height = o.height;
    video.fps = o.fps;
    video.preset = "veryfast";  // what a live capture can afford
    video.crf = 20;
    // A key frame every half second, as the screen recorder writes: an exact
    // seek in the editor then decodes at most that much.
    video.gopFrames = std::max(1, o.fps / 2);
    media::AudioStreamSettings sound;
    auto writer = media::MovieWriter::create(file.path(), "mov", video, sound);
    if (!writer) return writer.error();

    PictureConverter converter(o.width, o.height);
    if (!converter.valid()) return sampleError("Could not set up the picture conversion.");
    media::FramePtr picture = media::makeFrame();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = o.width;
    picture->height = o.height;
    if (av_frame_get_buffer(picture.get(), 0) < 0) return sampleError("Out of memory for a sample frame.");

    QImage image(o.width, o.height, QImage::Format_RGB32);
    const auto frames = static_cast<std::int64_t>(std::floor(script.duration * o.fps));
    std::optional<sample::SceneState> shown;
    std::size_t audioDone = 0;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / o.fps;
        const sample::SceneState state = sample::stateAt(script, layout, t);
        if (!shown || !(*shown == state)) {
            sample::paintScene(image, layout, state);
            converter.convert(image, *picture);
            shown = state;
        }
        if (auto ok = copyPicture(**writer, *picture, i); !ok) return ok.error();
        // Keep the audio up with the picture so the file interleaves well.
        const std::size_t audioDue =
            std::min(audio.size(), static_cast<std::size_t>((t + 1.0 / o.fps) * kAudioRate) * 2);
        if (audioDue > audioDone) {
            if (auto ok = (*writer)->writeAudio(std::span(audio).subspan(audioDone, audioDue - audioDone));
                !ok) {
                return ok.error();
            }
            audioDone = audioDue;
        }
        if (o.progress && i % 30 == 0)
            o.progress(progressShare * static_cast<double>(i) / static_cast<double>(frames));
    }
    if (audioDone < audio.size()) {
        if (auto ok = (*writer)->writeAudio(std::span(audio).subspan(audioDone)); !ok) return ok.error();
    }
    if (auto ok = (*writer)->finish(); !ok) return ok.error();
    return file.commit();
}

Result<void> writeWebcamMovie(const SampleOptions& o, double duration, double progressStart) {
    constexpr int kWidth = 640;
    constexpr int kHeight = 360;
    constexpr int kFps = 30;
    PartialFile file(o.folder / "webcam.mov");
    media::VideoStreamSettings video;
    video.width = kWidth;
    video.height = kHeight;
    video.fps = kFps;
    video.preset = "veryfast";
    video.crf = 23;
    video.gopFrames = kFps / 2;
    auto writer = media::MovieWriter::create(file.path(), "mov", video, std::nullopt);
    if (!writer) return writer.error();
    PictureConverter converter(kWidth, kHeight);
    if (!converter.valid()) return sampleError("Could not set up the picture conversion.");
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    const auto frames = static_cast<std::int64_t>(std::floor(duration * kFps));
    for (std::int64_t i = 0; i < frames; ++i) {
        sample::paintWebcam(image, static_cast<double>(i) / kFps);
        auto frame = (*writer)->makeVideoFrame();
        if (!frame) return frame.error();
        converter.convert(image, **frame);
        if (auto ok = (*writer)->writeVideo(std::move(*frame), i); !ok) return ok.error();
        if (o.progress && i % 30 == 0) {
            o.progress(progressStart +
                       (1 - progressStart) * static_cast<double>(i) / static_cast<double>(frames));
        }
    }
    if (auto ok = (*writer)->finish(); !ok) return ok.error();
    return file.commit();
}

}  // namespace

Result<model::SessionEvents> makeSampleRecording(const SampleOptions& o) {
    if (!(o.duration >= 2.0 && o.duration <= 3600.0)) {
        return sampleError("The sample duration must be between 2 and 3600 seconds.");
    }
    if (o.width < 64 || o.height < 64 || o.width % 2 != 0 || o.height % 2 != 0 || o.fps < 1 || o.fps > 240) {
        return sampleError("The sample size must be even and at least 64 x 64, at 1 to 240 fps.");
    }
    std::error_code ec;
    fs::create_directories(o.folder, ec);
    if (ec) return sampleError("Could not create " + o.folder.string() + ": " + ec.message());
    for (const char* existing : {"raw.mov", "events.json"}) {
        if (fs::exists(o.folder / existing)) {
            return sampleError(o.folder.string() + " already holds a recording; choose an empty folder.");
        }
    }

    const sample::Layout layout =
        sample::Layout::forScreen({static_cast<double>(o.width), static_cast<double>(o.height)});
    const sample::Script script = sample::makeScript(layout, o.duration, o.seed);
    const std::vector<float> audio = soundTrack(script, o.speech, o.seed);

    const double webcamDuration = o.duration - o.webcamOffset;
    const double screenShare = o.webcam ? 0.8 : 1.0;
    if (auto ok = writeScreenMovie(o, layout, script, audio, screenShare); !ok) return ok.error();
    if (o.webcam) {
        if (auto ok = writeWebcamMovie(o, webcamDuration, screenShare); !ok) {
            fs::remove(o.folder / "raw.mov", ec);
            return ok.error();
        }
    }

    model::SessionEvents events;
    events.pixelWidth = o.width;
    events.pixelHeight = o.height;
    events.scaleFactor = 1.0;
    events.duration = std::floor(script.duration * o.fps) / o.fps;
    events.samples = script.samples;
    events.clicks = script.clicks;
    if (o.webcam) {
        events.webcamOffset = o.webcamOffset;
        events.webcamFile = "webcam.mov";
    }
    if (auto ok = model::writeSessionEvents(o.folder, events); !ok) {
        fs::remove(o.folder / "raw.mov", ec);
        fs::remove(o.folder / "webcam.mov", ec);
        return ok.error();
    }
    if (o.progress) o.progress(1.0);
    return events;
}

}  // namespace vorpix::app
