#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "media/MovieWriter.h"

namespace vorpix::testing {

namespace {

constexpr int kBits = 10;

// FFmpeg's chatter about the deliberately broken files would bury the test
// output.
class QuietFFmpeg : public ::testing::Environment {
public:
    void SetUp() override { media::setFFmpegLogLevel(media::FFmpegLogLevel::quiet); }
};
[[maybe_unused]] ::testing::Environment* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietFFmpeg);

}  // namespace

void paintFlat(AVFrame& frame, int luma) {
    for (int y = 0; y < frame.height; ++y) {
        std::fill_n(frame.data[0] + y * frame.linesize[0], frame.width, static_cast<std::uint8_t>(luma));
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < (frame.height + 1) / 2; ++y) {
            std::fill_n(frame.data[plane] + y * frame.linesize[plane], (frame.width + 1) / 2,
                        std::uint8_t{128});
        }
    }
}

void paintFrameIndex(AVFrame& frame, int index) {
    paintFlat(frame, 16);
    const int band = frame.width / kBits;
    for (int bit = 0; bit < kBits; ++bit) {
        if (((index >> (kBits - 1 - bit)) & 1) == 0) continue;
        for (int y = 0; y < frame.height; ++y) {
            std::fill_n(frame.data[0] + y * frame.linesize[0] + bit * band, band, std::uint8_t{235});
        }
    }
}

int readFrameIndex(const media::VideoFrame& frame) {
    const AVFrame& f = frame.av();
    if (f.width < kBits || f.data[0] == nullptr) return -1;
    const int band = f.width / kBits;
    const int y = f.height / 2;
    int index = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int x = bit * band + band / 2;
        index = (index << 1) | (f.data[0][y * f.linesize[0] + x] > 128 ? 1 : 0);
    }
    return index;
}

double centreLuma(const AVFrame& frame) {
    double sum = 0;
    int count = 0;
    for (int y = frame.height / 4; y < frame.height * 3 / 4; ++y) {
        for (int x = frame.width / 4; x < frame.width * 3 / 4; ++x) {
            sum += frame.data[0][y * frame.linesize[0] + x];
            ++count;
        }
    }
    return count > 0 ? sum / count : 0;
}

Result<void> writeTestMovie(const std::filesystem::path& path, const TestMovieRecipe& recipe) {
    std::optional<media::VideoStreamSettings> video;
    if (recipe.frames > 0) {
        media::VideoStreamSettings v;
        v.codec = recipe.videoCodec;
        v.width = recipe.width;
        v.height = recipe.height;
        v.fps = recipe.fps;
        v.preset = recipe.videoCodec == "libx264" || recipe.videoCodec == "libx265" ? "ultrafast" : "";
        v.crf = recipe.videoCodec == "libx264" || recipe.videoCodec == "libx265" ? 18 : -1;
        v.profile = "";
        v.gopFrames = 30;
        v.threads = 1;
        v.options = recipe.videoOptions;
        if (recipe.videoCodec == "libx265") v.options.emplace_back("x265-params", "log-level=error");
        video = v;
    }
    std::optional<media::AudioStreamSettings> audio;
    if (recipe.audioSeconds > 0) {
        media::AudioStreamSettings a;
        a.codec = recipe.audioCodec;
        a.sampleRate = recipe.sampleRate;
        a.channels = recipe.channels;
        a.bitRate = recipe.audioCodec == "pcm_s16le" ? 0 : 128000;
        a.startOffset = recipe.audioStartOffset;
        audio = a;
    }
    auto writer = media::MovieWriter::create(path, recipe.container, video, audio);
    if (!writer) return writer.error();

    std::function<float(double, int)> sound = recipe.sound;
    if (!sound) {
        sound = [](double t, int) {
            return static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * t));
        };
    }
    std::function<void(AVFrame&, int)> paint = recipe.paint ? recipe.paint : paintFrameIndex;
    const std::int64_t totalSamples =
        audio ? static_cast<std::int64_t>(std::llround(recipe.audioSeconds * recipe.sampleRate)) : 0;
    std::int64_t samplesDone = 0;
    auto writeAudioUntil = [&](double seconds) -> Result<void> {
        const std::int64_t until =
            std::min<std::int64_t>(totalSamples, std::llround(seconds * recipe.sampleRate));
        std::vector<float> block;
        while (samplesDone < until) {
            const std::int64_t n = std::min<std::int64_t>(until - samplesDone, 1024);
            block.resize(static_cast<std::size_t>(n * recipe.channels));
            for (std::int64_t i = 0; i < n; ++i) {
                const double t = static_cast<double>(samplesDone + i) / recipe.sampleRate;
                for (int c = 0; c < recipe.channels; ++c) {
                    block[static_cast<std::size_t>(i * recipe.channels + c)] = sound(t, c);
                }
            }
            if (auto ok = (*writer)->writeAudio(block); !ok) return ok;
            samplesDone += n;
        }
        return {};
    };
    for (int i = 0; i < recipe.frames; ++i) {
        auto frame = (*writer)->makeVideoFrame();
        if (!frame) return frame.error();
        paint(**frame, i);
        if (auto ok = (*writer)->writeVideo(std::move(*frame), recipe.tick ? recipe.tick(i) : i); !ok) return ok;
        if (audio) {
            if (auto ok = writeAudioUntil(static_cast<double>(i + 1) / recipe.fps); !ok) return ok;
        }
    }
    if (audio) {
        if (auto ok = writeAudioUntil(recipe.audioSeconds); !ok) return ok;
    }
    return (*writer)->finish();
}

}  // namespace vorpix::testing

// LeakSanitizer reads this when the tests run under it: libx265 (used only
// to make the HEVC test file) keeps a few small blocks per encoder it opens.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}

// ThreadSanitizer reads this when the tests run under it. FFmpeg's codec
// threads (frame-threaded decoding, x264 and x265 workers) hand buffers over
// with atomics inside the uninstrumented libraries, which the sanitizer
// cannot see; every report it makes there names a frame in one of them.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libavcodec.so\n"
           "race:libavutil.so\n"
           "race:libx264.so\n"
           "race:libx265.so\n";
}
