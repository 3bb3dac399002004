#pragma once

// The preview player: plays a composition through the export's frame path
// (media::FrameSource decodes ahead on its own thread, the compositor draws
// through the instruction's renderer, which the caller built at the view's
// size), with its sound mixed and sent to an audio output whose clock the
// video follows. Exact seeks call back once the frame of the time is shown;
// play, pause and rate; at the end of the item it pauses itself.
//
// Threads: "tavorin.decode" (decode ahead, feeds the compositor),
// "tavorin.compositor", "tavorin.present" (a 60 Hz display clock that hands
// due frames to the sink) and "tavorin.audio.out" (mixes and writes the
// sound; its position is the master clock). Every public member may be
// called from any thread and returns without waiting for decoding;
// currentTime() and rate() take no lock at all.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "editor/AudioOutput.h"
#include "editor/PreviewPlayer.h"
#include "media/FFmpeg.h"
#include "media/StudioCompositor.h"

namespace vorpix::editor {

// One composed frame: RGBA (premultiplied), the renderer's output size. The
// view paints `image` as it is (a QImage over its planes, no copy).
struct PlayerFrame {
    std::int64_t index = 0;  // frame number in the composition
    double seconds = 0;      // its composition time
    media::FramePtr image;
};

class VideoSink {
public:
    virtual ~VideoSink() = default;
    // Called on the display-clock thread; must return quickly (keep the
    // pointer, paint later).
    virtual void present(std::shared_ptr<const PlayerFrame> frame) = 0;
};

struct PlayerStats {
    std::int64_t shown = 0;    // frames handed to the sink while playing
    std::int64_t dropped = 0;  // frames of the composition skipped while playing
    double maxAvOffset = 0;    // seconds, |frame time - audio clock| at presentation
    double meanAvOffset = 0;
    std::vector<double> seekLatencies;  // seconds from seek() to its frame on the sink
    bool audioFailed = false;
};

class Player : public PreviewPlayer {
public:
    static constexpr int kFramesAhead = 6;  // decoded and rendered before they are due
    static constexpr double kDisplayRate = 60;

    Player(VideoSink& sink, std::unique_ptr<AudioOutput> audio);
    ~Player() override;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void replaceItem(std::shared_ptr<const media::StudioComposition> composition) override;
    void seek(double outputSeconds, std::function<void()> done) override;
    void play() override;
    void pause() override;
    double currentTime() const override;
    double rate() const override;
    void replaceRenderer(std::shared_ptr<const media::CompositionRenderer> renderer) override;

    // Playback speed while playing (above 0); sound plays only at 1.
    void setRate(double rate);
    double duration() const;
    PlayerStats stats() const;
    void resetStats();

private:
    struct PendingSeek {
        double target = 0;
        std::int64_t index = 0;
        std::function<void()> done;
        std::chrono::steady_clock::time_point started;
    };
    using Clock = std::chrono::steady_clock;

    // The clock's inputs, copied for readers that must not wait for mutex_
    // (a sequence lock: one writer, under mutex_; readers retry while the
    // sequence is odd or changed under them).
    struct ClockShare {
        std::atomic<std::uint64_t> sequence{0};
        std::atomic<double> position{0};
        std::atomic<double> rate{1};
        std::atomic<double> duration{0};
        std::atomic<Clock::rep> anchor{0};
        std::atomic<bool> playing{false};
    };
    struct ClockReading {
        double position;
        double rate;
        double duration;
        Clock::time_point anchor;
        bool playing;
    };
    void publishClockLocked();
    ClockReading readClock() const;

    void decodeLoop();
    void presentLoop();
    void audioLoop();
    // With mutex_ held.
    double clockLocked(Clock::time_point now) const;
    std::int64_t frameCountLocked() const;
    std::int64_t indexAtLocked(double seconds) const;
    // What a restart leaves behind, released after mutex_ is let go: frames
    // to free and the completion of a seek it superseded.
    struct Discarded {
        std::deque<std::shared_ptr<const PlayerFrame>> frames;
        std::function<void()> superseded;
        void release();
    };
    [[nodiscard]] Discarded restartAtLocked(double seconds, std::function<void()> done);

    VideoSink& sink_;
    const std::unique_ptr<AudioOutput> audio_;
    std::unique_ptr<media::StudioCompositor> compositor_;
    ClockShare share_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // guarded by mutex_
    std::shared_ptr<const media::StudioComposition> item_;
    std::shared_ptr<const media::StudioCompositionInstruction> instruction_;
    std::shared_ptr<const media::RenderContext> context_;
    std::uint64_t itemVersion_ = 0;     // replaceItem
    std::uint64_t contextVersion_ = 0;  // replaceItem and replaceRenderer
    std::uint64_t generation_ = 0;      // every restart of decoding: frames of older ones are dropped
    std::int64_t decodeNext_ = 0;
    int inFlight_ = 0;
    std::deque<std::shared_ptr<const PlayerFrame>> ready_;
    std::optional<PendingSeek> seek_;
    bool playing_ = false;
    bool audioRunning_ = false;  // the audio thread has started at the current position
    double rate_ = 1.0;
    double position_ = 0;  // seconds at anchorTime_ (the clock while paused)
    Clock::time_point anchorTime_ = Clock::now();
    std::int64_t lastShown_ = -1;
    PlayerStats stats_;
    double avOffsetSum_ = 0;
    bool stop_ = false;

    std::thread decoder_;
    std::thread presenter_;
    std::thread audioThread_;
};

}  // namespace vorpix::editor
