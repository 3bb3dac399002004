#include "editor/Player.h"

#include <algorithm>
#include <cmath>

#include "media/AudioMixer.h"
#include "media/FrameSource.h"
#include "media/ThreadName.h"

namespace vorpix::editor {

namespace {

constexpr std::size_t kAudioBlockFrames = 512;  // about 11 ms at 48 kHz
constexpr double kIndexSlack = 1e-6;            // a time on a frame boundary shows that frame
constexpr std::int64_t kCatchUpLead = 2;        // frames: about one decode and render ahead

}  // namespace

Player::Player(VideoSink& sink, std::unique_ptr<AudioOutput> audio)
    : sink_(sink), audio_(std::move(audio)), compositor_(std::make_unique<media::StudioCompositor>()) {
    decoder_ = std::thread([this] { decodeLoop(); });
    presenter_ = std::thread([this] { presentLoop(); });
    if (audio_) audioThread_ = std::thread([this] { audioLoop(); });
}

Player::~Player() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    compositor_->cancelAllPendingVideoCompositionRequests();
    decoder_.join();
    presenter_.join();
    if (audioThread_.joinable()) audioThread_.join();
    compositor_.reset();  // finishes what is queued (as cancelled) while the state still exists
}

// --- Time --------------------------------------------------------------------

double Player::clockLocked(Clock::time_point now) const {
    if (!playing_) return position_;
    const double t = position_ + std::chrono::duration<double>(now - anchorTime_).count() * rate_;
    return item_ ? std::min(t, item_->duration().seconds()) : t;
}

std::int64_t Player::frameCountLocked() const {
    if (!item_) return 0;
    const double frames = item_->duration().seconds() * item_->videoComposition.fps;
    return std::max<std::int64_t>(static_cast<std::int64_t>(std::ceil(frames - kIndexSlack)), 1);
}

std::int64_t Player::indexAtLocked(double seconds) const {
    if (!item_) return 0;
    const auto k = static_cast<std::int64_t>(std::floor(seconds * item_->videoComposition.fps + kIndexSlack));
    return std::clamp<std::int64_t>(k, 0, frameCountLocked() - 1);
}

void Player::publishClockLocked() {
    const std::uint64_t sequence = share_.sequence.load(std::memory_order_relaxed);
    share_.sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    share_.position.store(position_, std::memory_order_relaxed);
    share_.rate.store(rate_, std::memory_order_relaxed);
    share_.duration.store(item_ ? item_->duration().seconds() : 0.0, std::memory_order_relaxed);
    share_.anchor.store(anchorTime_.time_since_epoch().count(), std::memory_order_relaxed);
    share_.playing.store(playing_, std::memory_order_relaxed);
    share_.sequence.store(sequence + 2, std::memory_order_release);
}

Player::ClockReading Player::readClock() const {
    while (true) {
        const std::uint64_t before = share_.sequence.load(std::memory_order_acquire);
        if (before & 1U) continue;  // a writer is between its two stores
        ClockReading r{share_.position.load(std::memory_order_relaxed), share_.rate.load(std::memory_order_relaxed),
                       share_.duration.load(std::memory_order_relaxed),
                       Clock::time_point(Clock::duration(share_.anchor.load(std::memory_order_relaxed))),
                       share_.playing.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if (share_.sequence.load(std::memory_order_relaxed) == before) return r;
    }
}

double Player::currentTime() const {
    // Read 60 times a second by the interface thread: never waits for mutex_.
    const ClockReading r = readClock();
    if (!r.playing) return r.position;
    return std::min(r.position + std::chrono::duration<double>(Clock::now() - r.anchor).count() * r.rate, r.duration);
}

double Player::rate() const {
    const ClockReading r = readClock();
    return r.playing ? r.rate : 0.0;
}

double Player::duration() const {
    std::lock_guard lock(mutex_);
    return item_ ? item_->duration().seconds() : 0.0;
}

// --- Control -------------------------------------------------------------------

Player::Discarded Player::restartAtLocked(double seconds, std::function<void()> done) {
    Discarded discarded;
    ++generation_;
    discarded.frames.swap(ready_);
    position_ = std::clamp(seconds, 0.0, item_ ? item_->duration().seconds() : 0.0);
    anchorTime_ = Clock::now();
    publishClockLocked();
    audioRunning_ = false;
    decodeNext_ = indexAtLocked(position_);
    lastShown_ = decodeNext_ - 1;
    if (seek_) discarded.superseded = std::move(seek_->done);
    seek_ = PendingSeek{position_, decodeNext_, std::move(done), Clock::now()};
    return discarded;
}

void Player::Discarded::release() {
    frames.clear();
    if (superseded) superseded();
}

void Player::replaceItem(std::shared_ptr<const media::StudioComposition> composition) {
    compositor_->cancelAllPendingVideoCompositionRequests();  // before the restart, as in seek()
    Discarded discarded;
    {
        std::lock_guard lock(mutex_);
        item_ = std::move(composition);
        instruction_ = item_ ? item_->videoComposition.instruction : nullptr;
        context_ = instruction_ && instruction_->renderer
                       ? std::make_shared<media::RenderContext>(instruction_->renderer->outputWidth(),
                                                                instruction_->renderer->outputHeight(),
                                                                media::StudioCompositor::kOutputPixelFormat)
                       : nullptr;
        ++itemVersion_;
        ++contextVersion_;
        playing_ = false;
        discarded = restartAtLocked(0, nullptr);  // publishes the clock
    }
    discarded.release();
    changed_.notify_all();
}

void Player::replaceRenderer(std::shared_ptr<const media::CompositionRenderer> renderer) {
    compositor_->cancelAllPendingVideoCompositionRequests();  // before the restart, as in seek()
    Discarded discarded;
    {
        std::lock_guard lock(mutex_);
        if (!instruction_ || !renderer) return;
        auto instruction = std::make_shared<media::StudioCompositionInstruction>(*instruction_);
        instruction->renderer = renderer;
        instruction_ = std::move(instruction);
        context_ = std::make_shared<media::RenderContext>(renderer->outputWidth(), renderer->outputHeight(),
                                                          media::StudioCompositor::kOutputPixelFormat);
        ++contextVersion_;
        discarded = restartAtLocked(clockLocked(Clock::now()), nullptr);
    }
    discarded.release();
    changed_.notify_all();
}

void Player::seek(double outputSeconds, std::function<void()> done) {
    // Cancel first: a request the decoder queues after the restart must not
    // be caught by it (the seek's own frame would be lost).
    compositor_->cancelAllPendingVideoCompositionRequests();
    Discarded discarded;
    {
        std::lock_guard lock(mutex_);
        discarded = restartAtLocked(std::isfinite(outputSeconds) ? outputSeconds : 0.0, std::move(done));
    }
    discarded.release();
    changed_.notify_all();
}

void Player::play() {
    {
        std::lock_guard lock(mutex_);
        if (playing_ || !item_) return;
        position_ = clockLocked(Clock::now());
        anchorTime_ = Clock::now();
        playing_ = true;
        publishClockLocked();
        audioRunning_ = false;
    }
    changed_.notify_all();
}

void Player::pause() {
    {
        std::lock_guard lock(mutex_);
        position_ = clockLocked(Clock::now());
        anchorTime_ = Clock::now();
        playing_ = false;
        publishClockLocked();
        audioRunning_ = false;
    }
    changed_.notify_all();
}

void Player::setRate(double rate) {
    if (!(rate > 0) || !std::isfinite(rate)) return;
    {
        std::lock_guard lock(mutex_);
        position_ = clockLocked(Clock::now());
        anchorTime_ = Clock::now();
        rate_ = rate;
        publishClockLocked();
        audioRunning_ = false;
    }
    changed_.notify_all();
}

PlayerStats Player::stats() const {
    std::lock_guard lock(mutex_);
    PlayerStats s = stats_;
    s.meanAvOffset = s.shown > 0 ? avOffsetSum_ / static_cast<double>(s.shown) : 0.0;
    return s;
}

void Player::resetStats() {
    std::lock_guard lock(mutex_);
    const bool audioFailed = stats_.audioFailed;
    stats_ = {};
    stats_.audioFailed = audioFailed;
    avOffsetSum_ = 0;
}

// --- Threads ----------------------------------------------------------------------

void Player::decodeLoop() {
    media::setCurrentThreadName(media::kDecodeThreadName);
    std::unique_ptr<media::FrameSource> source;
    std::uint64_t providerVersion = 0;
    std::uint64_t compositorContext = 0;
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] {
            return stop_ || (item_ && decodeNext_ < frameCountLocked() &&
                             static_cast<int>(ready_.size()) + inFlight_ < kFramesAhead);
        });
        if (stop_) return;
        if (providerVersion != itemVersion_ || compositorContext != contextVersion_) {
            const auto item = item_;
            const auto context = context_;
            const std::uint64_t itemVersion = itemVersion_, contextVersion = contextVersion_;
            const bool newItem = providerVersion != itemVersion;
            lock.unlock();
            if (newItem) source = std::make_unique<media::FrameSource>(*item);
            compositor_->renderContextChanged(context);
            lock.lock();
            providerVersion = itemVersion;
            compositorContext = contextVersion;
            continue;  // the item may have changed again meanwhile
        }
        if (playing_ && !seek_) {
            // Behind the clock: skip to what will be due when this frame is
            // ready instead of rendering frames nobody will see.
            const double fps = item_->videoComposition.fps;
            const auto due = static_cast<std::int64_t>(std::floor(clockLocked(Clock::now()) * fps + 0.5));
            if (decodeNext_ < due) decodeNext_ = std::min(due + kCatchUpLead, frameCountLocked() - 1);
        }
        const std::int64_t k = decodeNext_++;
        const std::uint64_t generation = generation_;
        const media::MediaTime t = item_->videoComposition.frameTime(k);
        media::FrameRequest request;
        request.instruction = instruction_;
        request.compositionTime = t;
        request.renderContext = context_;
        ++inFlight_;
        lock.unlock();
        auto frames = source->decodeAt(t);
        if (frames) {
            request.sourceFrames = std::move(*frames);
            request.finish = [this, generation, k, t](media::FrameResult r) {
                std::lock_guard guard(mutex_);
                --inFlight_;
                if (generation == generation_ && r.outcome == media::FrameOutcome::composed)
                    ready_.push_back(std::make_shared<const PlayerFrame>(PlayerFrame{k, t.seconds(), std::move(r.frame)}));
                changed_.notify_all();
            };
            compositor_->startRequest(std::move(request));
        }
        lock.lock();
        if (!frames) {
            --inFlight_;  // an unreadable frame: decoding of this run ends here
            if (generation == generation_) decodeNext_ = frameCountLocked();
        }
    }
}

void Player::presentLoop() {
    media::setCurrentThreadName("tavorin.present");
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / kDisplayRate));
    auto tick = Clock::now();
    std::unique_lock lock(mutex_);
    while (true) {
        // A seek's frame is shown as soon as it is ready, not on the next tick.
        changed_.wait_until(lock, tick, [this] { return stop_ || (seek_ && !ready_.empty()); });
        if (stop_) return;
        const auto now = Clock::now();
        std::shared_ptr<const PlayerFrame> show;
        std::function<void()> done;
        if (seek_) {
            if (!ready_.empty()) {
                show = ready_.front();
                ready_.pop_front();
                lastShown_ = show->index;
                stats_.seekLatencies.push_back(std::chrono::duration<double>(now - seek_->started).count());
                done = std::move(seek_->done);
                seek_.reset();
            }
        } else if (playing_ && item_) {
            const double clock = clockLocked(now);
            const double fps = item_->videoComposition.fps;
            // The frame nearest the clock is due.
            const auto due = static_cast<std::int64_t>(std::floor(clock * fps + 0.5));
            while (!ready_.empty() && ready_.front()->index <= due) {
                show = ready_.front();
                ready_.pop_front();
            }
            if (show) {
                stats_.dropped += std::max<std::int64_t>(show->index - lastShown_ - 1, 0);
                lastShown_ = show->index;
                ++stats_.shown;
                const double offset = std::fabs(show->seconds - clock);
                stats_.maxAvOffset = std::max(stats_.maxAvOffset, offset);
                avOffsetSum_ += offset;
            }
            const std::int64_t last = frameCountLocked() - 1;
            if (clock >= item_->duration().seconds() || (lastShown_ >= last && due >= last)) {
                position_ = item_->duration().seconds();  // end of the item: pause there
                anchorTime_ = now;
                playing_ = false;
                publishClockLocked();
                audioRunning_ = false;
            }
        }
        if (show || done) {
            lock.unlock();
            if (show) sink_.present(std::move(show));
            if (done) done();
            lock.lock();
            changed_.notify_all();  // room for the decoder
        }
        tick += period;
        if (tick < now) tick = now + period;  // fell behind: do not try to catch up
    }
}

void Player::audioLoop() {
    media::setCurrentThreadName("tavorin.audio.out");
    std::unique_ptr<media::AudioMixer> mixer;
    std::uint64_t mixerVersion = 0;
    std::uint64_t generation = 0;
    double start = 0;
    std::int64_t written = 0;
    std::vector<float> block(kAudioBlockFrames * AudioOutput::kChannels);
    bool flushed = true;
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] {
            return stop_ || (item_ && playing_ && rate_ == 1.0 && !stats_.audioFailed) || (!playing_ && !flushed);
        });
        if (stop_) return;
        if (!playing_) {  // paused: what is queued would play late
            lock.unlock();
            audio_->flush();
            lock.lock();
            flushed = true;
            continue;
        }
        if (mixerVersion != itemVersion_) {
            mixer = std::make_unique<media::AudioMixer>(
                item_->asset, item_->audioMix.value_or(std::vector<media::AudioMixParameters>{}));
            mixerVersion = itemVersion_;
            audioRunning_ = false;
        }
        if (!audioRunning_ || generation != generation_) {
            start = clockLocked(Clock::now());
            generation = generation_;
            audioRunning_ = true;
            written = 0;
            lock.unlock();
            mixer->seek(media::MediaTime::fromSeconds(start));
            audio_->flush();
            lock.lock();
            continue;
        }
        lock.unlock();
        auto read = mixer->read(block);
        auto wrote = read ? audio_->write(block) : Result<void>(read.error());
        const double latency = audio_->latencySeconds();
        lock.lock();
        flushed = false;
        if (!wrote) {
            stats_.audioFailed = true;  // the picture plays on by the wall clock
            continue;
        }
        written += static_cast<std::int64_t>(kAudioBlockFrames);
        if (generation == generation_ && audioRunning_ && playing_) {
            // The sound being heard now is the master clock.
            const double heard = start + static_cast<double>(written) / AudioOutput::kSampleRate - latency;
            position_ = std::max(heard, start);
            anchorTime_ = Clock::now();
            publishClockLocked();
        }
    }
}

}  // namespace vorpix::editor
