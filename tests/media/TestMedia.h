#pragma once

// Small media files made by the tests themselves with the libav* encoders:
// frames that carry their own index as a bar code, tones, beeps and white
// flashes at known times.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "media/FFmpeg.h"
#include "media/VideoFrame.h"
#include "model/Result.h"

namespace vorpix::testing {

struct TestMovieRecipe {
    int width = 320;
    int height = 200;
    int fps = 30;
    int frames = 60;  // 0: no video stream
    std::string container = "mov";
    std::string videoCodec = "libx264";
    std::vector<std::pair<std::string, std::string>> videoOptions;
    // Paints frame `index` (a writable YUV 4:2:0 frame). Default: the index
    // as a bar code (see readFrameIndex).
    std::function<void(AVFrame&, int index)> paint;
    // The time of frame `index` in 1 / fps ticks. Default: the index (a
    // constant rate); skipping ticks makes a capture that dropped frames.
    std::function<std::int64_t(int index)> tick;

    double audioSeconds = 0;  // 0: no audio stream
    std::string audioCodec = "aac";
    int sampleRate = 48000;
    int channels = 2;
    std::int64_t audioStartOffset = 0;  // samples of nothing before the first one
    // Sample value of `channel` at `seconds`. Default: a 440 Hz sine at 0.5.
    std::function<float(double seconds, int channel)> sound;
};

Result<void> writeTestMovie(const std::filesystem::path& path, const TestMovieRecipe& recipe);

// The bar code: 10 vertical bands, white for a set bit (most significant
// first), on the luma plane; chroma neutral.
void paintFrameIndex(AVFrame& frame, int index);
// Reads the bar code of a decoded frame (any YUV layout); -1 if unreadable.
int readFrameIndex(const media::VideoFrame& frame);

// Fills a YUV 4:2:0 frame with one luma value and neutral chroma.
void paintFlat(AVFrame& frame, int luma);
// Mean luma of a decoded frame's centre area, 0...255.
double centreLuma(const AVFrame& frame);

}  // namespace vorpix::testing
