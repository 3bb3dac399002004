#pragma once

// Writes a composition to an MP4 file: H.264 (libx264, High profile,
// yuv420p, BT.709, constant-quality CRF) and AAC 48 kHz stereo, index at the
// front. Decoding, rendering and encoding overlap on three threads with a
// bounded number of frames between them, so memory stays flat whatever the
// length:
//
//   "tavorin.decode"      source frames by composition time -> requests
//   "tavorin.compositor"  the StudioCompositor renders each request
//   the caller of run()   audio mix, encode, mux (and RGBA -> YUV 4:2:0 for
//                         renderers that cannot write 4:2:0 themselves)
//
// The movie is written under a unique hidden temporary name in the target
// folder (model::SafeOutput) and renamed to the target only when complete;
// a failed or cancelled export leaves an existing target as it was.
//
// Thread safety: run() on one thread; cancel(), progress() and status() from
// any thread.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "media/CompositionBuilder.h"
#include "media/VideoReader.h"
#include "model/Result.h"
#include "model/SafeOutput.h"

namespace vorpix::media {

inline constexpr int kExportSessionCode = 4;
inline constexpr const char* kExportSessionMessage = "Could not create the export session.";

struct ExportSettings {
    // x264 speed preset: the slowest that still exports 1080p60 faster than
    // real time on a two-core machine (see bench/media).
    std::string preset = "veryfast";
    int crf = 18;
    // Further x264 options ("key=value:key=value"). A synchronous lookahead
    // keeps no frames of its own thread: 120 MB less at 2880 x 1800.
    std::string x264Params = "sync-lookahead=0";
    // Encoder threads; 0: one per core, at most 8 (x264's own choice, 1.5 per
    // core, holds a frame set per thread for little gain on few cores).
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

    // Exports, blocking until the movie is complete, cancelled or failed.
    // Failures carry the media layer's one-line description. Runs once.
    Result<ExportEnd> run();

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
    Result<ExportEnd> write(const std::filesystem::path& temporary);

    StudioComposition composition_;
    std::filesystem::path output_;
    ExportSettings settings_;
    int width_ = 0;
    int height_ = 0;
    std::int64_t frames_ = 0;
    std::atomic<double> progress_{0};
    std::atomic<ExportStatus> status_{ExportStatus::waiting};
    std::atomic<bool> cancelled_{false};
};

}  // namespace vorpix::media
