#pragma once

// Writes a composition to an MP4 file: H.264 (libx264, High profile,
// yuv420p, BT.709, constant-quality CRF) and AAC 48 kHz stereo, index at the
// front. Decoding, rendering and encoding overlap on three threads with a
// bounded number of frames between them, so memory stays flat whatever the
// length:
//
//   "tavorin.decode"      source frames by composition time -> requests
//                         (FrameSource::decodeAt)
//   "tavorin.compositor"  the StudioCompositor renders each request
//                         (composeFrame), into buffers of its one context
//   the caller of run()   audio mix, encode, mux (and RGBA -> YUV 4:2:0 for
//                         renderers that cannot write 4:2:0 themselves),
//                         progress
//
// Nothing polls: every wait is on one condition that frames, failures and
// cancel() signal, so a cancel ends the export as soon as the frame being
// encoded is done, with ExportEnd::cancelled and no file.
//
// The movie is written under a unique hidden temporary name in the target
// folder (model::SafeOutput) and renamed to the target only when complete;
// a failed or cancelled export leaves an existing target as it was.
//
// Thread safety: run() on one thread; cancel(), progress() and status() from
// any thread, the progress callback included.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/CompositionBuilder.h"
#include "media/MediaCodes.h"
#include "media/VideoReader.h"
#include "model/Result.h"
#include "model/SafeOutput.h"

namespace vorpix::media {

struct ExportSettings {
    // x264 speed preset: the slowest that still exports 1080p60 faster than
    // real time on a two-core machine (see bench/media).
    std::string preset = "veryfast";
    int crf = 18;
    // Further x264 options ("key=value:key=value"), after those chosen by
    // frame size (see encoderThreading).
    std::string x264Params;
    // Encoder threads; 0 chooses by frame size (see encoderThreading).
    int encoderThreads = 0;
    std::int64_t audioBitRate = 192000;
    // Frames between decoding and encoding (requests in flight). Two keep
    // the decode, render and encode threads busy; each more holds a source
    // frame (20 MB as BGRA at 2880 x 1800) and an output frame.
    int framesInFlight = 2;
    // The decode thread runs beside the encoder; FFmpeg's frame threads
    // would add a decoded-picture set each (40 MB at 2880 x 1800) for
    // parallelism the encoder already uses up.
    DecodeThreads decodeThreads = DecodeThreads::single;
    // An existing file at the target is replaced, or (for the default
    // names) kept while the movie takes the first free numbered name.
    model::OnExisting onExisting = model::OnExisting::replace;
};

// How the encoder spreads its work, chosen by frame size. Up to
// kFullThreadingPixels (1920 x 1200) x264 picks for itself, as ffmpeg does
// by default: 1.5 threads per core and a lookahead on a thread of its own,
// which keeps every core busy while the decode and render threads wait
// (held to one thread per core and a synchronous lookahead, ffmpeg's own
// 1080p60 transcode takes a third longer). Larger frames take one thread
// per core (at most 8) and a synchronous lookahead: each thread and each
// frame of lookahead holds a frame set (30 MB at 2880 x 1800), and x264's
// own choice takes the export past 800 MB there (570 MB this way).
struct EncoderThreading {
    static constexpr std::int64_t kFullThreadingPixels = 1920 * 1200;
    int threads = 0;         // 0: x264's own choice
    std::string x264Params;  // "key=value:..." or empty
};
EncoderThreading encoderThreading(int width, int height, unsigned cores);

enum class ExportStatus { waiting, exporting, completed, failed, cancelled };
enum class ExportEnd { completed, cancelled };

class ExportSession {
public:
    // Fails with code 4 when the composition cannot be exported (no renderer,
    // a canvas under 2 × 2 pixels, nothing to show), and with
    // model::checkOutputFile's error when `output` cannot name a file.
    static Result<std::unique_ptr<ExportSession>> create(StudioComposition composition,
                                                         std::filesystem::path output,
                                                         ExportSettings settings = {});
    ~ExportSession();
    ExportSession(const ExportSession&) = delete;
    ExportSession& operator=(const ExportSession&) = delete;

    // Called on run()'s thread with the fraction of frames written, each
    // time it passes a whole percent, and with 1.0 once the movie is in
    // place (never after a failure or cancel).
    using ProgressCallback = std::function<void(double fraction)>;

    // Exports, blocking until the movie is complete, cancelled or failed.
    // Failures keep the domain and code of what failed (MediaCodes.h) and
    // its one-line description. Runs once.
    Result<ExportEnd> run(const ProgressCallback& onProgress = {});

    // Wakes run() at once; it ends cancelled after the frame in hand.
    void cancel();
    // Fraction of frames written, 0 ... 1.
    double progress() const { return progress_.load(); }
    ExportStatus status() const { return status_.load(); }

    // The encoded frame size: the renderer's output rounded down to even
    // numbers, as 4:2:0 needs.
    int width() const { return width_; }
    int height() const { return height_; }
    std::int64_t frameCount() const { return frames_; }
    // The file written: the target, or its numbered name once run() has
    // completed with OnExisting::number.
    const std::filesystem::path& output() const { return output_; }

private:
    ExportSession(StudioComposition composition, std::filesystem::path output, ExportSettings settings);
    Result<ExportEnd> write(const std::filesystem::path& temporary, const ProgressCallback& onProgress);

    StudioComposition composition_;
    std::filesystem::path output_;
    ExportSettings settings_;
    int width_ = 0;
    int height_ = 0;
    std::int64_t frames_ = 0;
    std::atomic<double> progress_{0};
    std::atomic<ExportStatus> status_{ExportStatus::waiting};
    // The pipeline's waits and cancel() share these.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> cancelled_{false};  // written under mutex_, read anywhere
};

}  // namespace vorpix::media
