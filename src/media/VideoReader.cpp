#include "media/VideoReader.h"

namespace vorpix::media {

namespace {

// Timestamps converted from other time bases can land a tick or so off the
// composition's frame grid.
constexpr MediaTime kSlack{30};
// Without a container index, jumps further ahead than this seek.
constexpr MediaTime kBlindSeekDistance{2 * MediaTime::kTicksPerSecond};

}  // namespace

VideoReader::VideoReader(std::unique_ptr<StreamDecoder> decoder)
    : decoder_(std::move(decoder)), scratch_(makeFrame()) {
    // Two frame periods: only a gap longer than that after a dropped frame
    // makes the answer unsure (and costs a second pass).
    const double rate = track().nominalFrameRate;
    dropMargin_ = rate > 0 ? MediaTime::fromSeconds(2.0 / rate) : MediaTime::fromSeconds(0.1);
}

Result<std::unique_ptr<VideoReader>> VideoReader::open(const std::filesystem::path& path, int ordinal,
                                                       DecodeThreads threads) {
    auto decoder =
        StreamDecoder::open(path, TrackKind::video, ordinal, threads == DecodeThreads::single ? 1 : 0);
    if (!decoder) return decoder.error();
    std::unique_ptr<VideoReader> reader(new VideoReader(std::move(*decoder)));
    if (!reader->scratch_) return ffmpegError(AVERROR(ENOMEM), "Could not allocate a frame");
    return reader;
}

Result<bool> VideoReader::decodeOne() {
    auto got = decoder_->next(*scratch_);
    if (!got) return got.error();
    if (!*got) {
        atEnd_ = true;
        return false;
    }
    const MediaTime t = decoder_->timeOf(*scratch_);
    pending_ = VideoFrame::take(*scratch_, t);
    if (!pending_) return ffmpegError(AVERROR(ENOMEM), "Could not keep a decoded frame");
    ++decoded_;
    return true;
}

bool VideoReader::shouldSeek(MediaTime target) const {
    if (!started_) return target > track().range.start + kBlindSeekDistance;
    const VideoFramePtr& newest = pending_ ? pending_ : current_;
    if (!newest) return true;
    if (current_ && target < current_->time()) return true;
    if (target <= newest->time()) return false;
    // Forward: a seek pays only when it lands on a key frame past what has
    // already been decoded.
    if (auto key = decoder_->keyFrameAtOrBefore(target)) return *key > newest->time() + kSlack;
    return target > newest->time() + kBlindSeekDistance;
}

Result<void> VideoReader::seekTo(MediaTime t) {
    auto sought = decoder_->seek(t);
    if (!sought) return sought;
    ++seeks_;
    current_.reset();
    pending_.reset();
    atEnd_ = false;
    return {};
}

Result<bool> VideoReader::decodeTo(MediaTime target, bool dropEarly) {
    if (dropEarly) decoder_->dropUnreferencedBefore(target - dropMargin_);
    Result<void> ok;
    for (;;) {
        if (pending_) {
            if (pending_->time() > target) break;
            current_ = std::move(pending_);
            pending_.reset();
        }
        if (atEnd_) break;
        auto got = decodeOne();
        if (!got) {
            ok = got.error();
            break;
        }
    }
    decoder_->dropUnreferencedBefore(std::nullopt);
    const auto dropped = decoder_->takeLatestDroppable();
    if (!ok) return ok.error();
    // Frames come out in time order, so a dropped one later than the frame
    // kept may have been the one at the target.
    return dropped && (!current_ || *dropped > current_->time());
}

Result<VideoFramePtr> VideoReader::frameAt(MediaTime t) {
    const MediaTime target = t + kSlack;
    if (shouldSeek(target)) {
        if (auto sought = seekTo(t); !sought) return sought.error();
    }
    started_ = true;
    auto unsure = decodeTo(target, true);
    if (!unsure) return unsure.error();
    if (*unsure) {
        if (auto sought = seekTo(t); !sought) return sought.error();
        auto again = decodeTo(target, false);
        if (!again) return again.error();
    }
    if (current_) return current_;
    if (pending_) return pending_;  // before the first frame
    return makeError(
        kFFmpegDomain, 0,
        "The " + track().codecName + " track has no frame at " + std::to_string(t.seconds()) + " s");
}

}  // namespace vorpix::media
