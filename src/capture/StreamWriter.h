#pragma once

// Writes the screen frames, system audio and microphone of one take, as
// they arrive, into "raw.mov": a fragmented QuickTime movie (a fragment at
// least every 0.5 s, so a crash keeps all but the last one) with H.264 video
// at the take's bit rate and AAC audio tracks. The first frame it accepts
// is t = 0 of the whole recording; every stream is placed on the host clock
// against it.
//
// Threads: frames come from the capture thread, audio from the audio
// sources' threads, finish() and cancel() from the recorder. Encoding and
// muxing run on the writer's own thread "tavorin.writer", fed by a queue
// that holds at most eight frames: a frame that finds it full is dropped,
// never waited for, so the grab loop keeps its pace.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

#include "capture/AudioSource.h"
#include "capture/ScreenSource.h"
#include "media/FFmpeg.h"
#include "media/MovieWriter.h"
#include "model/Result.h"

namespace vorpix::capture {

class StreamWriter {
public:
    struct Callbacks {
        // The first frame was accepted: its time (host seconds). Called once,
        // on the capture thread.
        std::function<void(double firstPTS)> onFirstFrame;
        // Writing failed mid-take (a full disk, ...): no more samples are
        // taken. Called at most once, on the writer's thread.
        std::function<void(const Error&)> onFailure;
    };

    struct Outcome {
        std::optional<double> firstPTS;       // host seconds of the first frame
        std::optional<double> lastPTS;        // host seconds of the last written frame
        std::optional<double> firstHostTime;  // host clock when the first frame was accepted
        std::optional<Error> error;
    };

    struct Stats {
        std::int64_t framesWritten = 0;
        std::int64_t framesDropped = 0;  // found the queue full
        // Where each audio track's samples landed against their own time
        // stamps (seconds, positive: later), at its first and latest chunk.
        std::vector<double> audioOffsetStart;
        std::vector<double> audioOffsetEnd;
    };

    // Creates "raw.mov" at `path` for a captured area of width × height
    // pixels (both even); a system-audio track (stereo) when `systemAudio`,
    // then a microphone track (mono) when `microphoneChannels` is given.
    // Fails with the muxer's or encoder's one-line message.
    static Result<std::unique_ptr<StreamWriter>> create(const std::filesystem::path& path, int width, int height,
                                                        bool systemAudio, std::optional<int> microphoneChannels,
                                                        Callbacks callbacks = {});
    // Cancels a writer that was never finished.
    ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    // max(width × height × 4, 8 000 000) bits per second.
    static std::int64_t bitRateFor(int width, int height);

    // One complete frame grabbed at `hostTime`. Converted at once into the
    // encoder's 4:2:0 input and queued; false when it was dropped (queue
    // full, or finished). Capture thread only.
    bool appendVideo(const BgraView& frame, double hostTime);
    // Audio of the system (stereo track) and the microphone (channel 0,
    // through the limiter, to the mono track). Dropped before the first
    // frame, after finish, or without that track. One thread per source.
    void appendSystemAudio(const AudioChunk& chunk);
    void appendMicrophone(const AudioChunk& chunk);

    // Writes out everything queued, closes the file and reports the take's
    // times; without any frame, removes the file and reports "No frames were
    // captured. ...". Blocks; call once.
    Outcome finish();
    // Abandons the take: nothing more is written and the file is removed.
    void cancel();

    std::optional<double> firstPTS() const;
    Stats stats() const;

private:
    struct VideoItem {
        media::FramePtr frame;
        std::int64_t ticks = 0;
        double hostTime = 0;
    };
    struct AudioItem {
        std::size_t track = 0;
        std::vector<float> samples;  // interleaved in the track's channel count
        double hostTime = 0;
    };
    using Item = std::variant<VideoItem, AudioItem>;

    // A track's placement on the shared clock: samples are written
    // back to back; a chunk that starts well after the last one is preceded by
    // silence, one that overlaps is trimmed.
    struct TrackPlacement {
        int channels = 0;
        std::int64_t written = 0;  // frames placed, from t = 0
        bool started = false;
    };

    StreamWriter() = default;
    void run();
    void enqueueAudio(std::size_t track, std::vector<float> samples, double hostTime);
    Result<void> writeAudio(AudioItem& item);
    void fail(const Error& error);

    std::filesystem::path path_;
    int width_ = 0;
    int height_ = 0;
    Callbacks callbacks_;
    std::optional<std::size_t> systemTrack_;
    std::optional<std::size_t> microphoneTrack_;
    media::FramePool frames_;  // thread-safe

    // Microphone source thread only: the limiter's carried gain.
    float micGain_ = 1.0f;

    // Writer thread only (and finish() after the thread has ended).
    std::unique_ptr<media::MovieWriter> movie_;
    std::vector<TrackPlacement> placement_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // guarded by mutex_
    bool finished_ = false;  // nothing more is accepted
    bool draining_ = false;  // the writer thread empties the queue and ends
    bool cancelled_ = false;
    std::optional<double> firstPTS_;
    std::optional<double> lastPTS_;
    std::optional<double> firstHostTime_;
    std::optional<Error> error_;
    std::deque<Item> queue_;
    int queuedFrames_ = 0;
    Stats stats_;

    std::thread thread_;
};

}  // namespace vorpix::capture
