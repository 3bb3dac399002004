#include "media/AudioMixer.h"

#include <algorithm>
#include <limits>

namespace vorpix::media {

namespace {

constexpr int kRate = kMixFormat.sampleRate;
constexpr std::size_t kChannels = static_cast<std::size_t>(kMixFormat.channels);
constexpr std::size_t kFeedFrames = 1024;

std::int64_t sampleOf(MediaTime t) {
    return t.samplesAt(kRate);
}

}  // namespace

struct AudioMixer::Track {
    const CompositionTrack* track = nullptr;
    float gain = 1;
    std::unique_ptr<AudioReader> reader;
    std::unique_ptr<TempoFilter> tempo;
    std::ptrdiff_t segment = -1;   // the segment set up for reading
    std::int64_t nextSample = -1;  // where reading it continues (output samples)
    std::int64_t sourceLeft = 0;   // source frames still to feed a sped-up segment
    std::vector<float> block;      // the track's samples of one read
    std::vector<float> feed;
};

AudioMixer::AudioMixer(std::shared_ptr<const Composition> composition,
                       const std::vector<AudioMixParameters>& mix)
    : composition_(std::move(composition)) {
    for (const auto& t : composition_->tracks()) {
        if (t.kind != TrackKind::audio || t.segments.empty()) continue;
        auto track = std::make_unique<Track>();
        track->track = &t;
        for (const auto& p : mix) {
            if (p.trackID == t.id) track->gain = p.volume;
        }
        tracks_.push_back(std::move(track));
    }
}

AudioMixer::~AudioMixer() = default;

void AudioMixer::seek(MediaTime t) {
    position_ = sampleOf(t);
    for (auto& track : tracks_) track->segment = -1;
}

Result<void> AudioMixer::setUp(Track& track, std::size_t index, std::int64_t sample) {
    const Segment& segment = track.track->segments[index];
    if (!track.reader) {
        auto reader = AudioReader::open(track.track->file, track.track->ordinal, kFormat);
        if (!reader) return reader.error();
        track.reader = std::move(*reader);
    }
    const MediaTime sourceTime =
        std::max(segment.sourceTimeAt(MediaTime::fromSamples(sample, kRate)), segment.source.start);
    if (auto ok = track.reader->seek(sourceTime); !ok) return ok;
    track.tempo.reset();
    if (segment.source.duration != segment.target.duration) {
        const double tempo = static_cast<double>(segment.source.duration.ticks) /
                             static_cast<double>(segment.target.duration.ticks);
        auto filter = TempoFilter::create(tempo, kRate, kFormat.channels);
        if (!filter) return filter.error();
        track.tempo = std::move(*filter);
        track.sourceLeft = std::max<std::int64_t>(sampleOf(segment.source.end()) - sampleOf(sourceTime), 0);
    }
    track.segment = static_cast<std::ptrdiff_t>(index);
    track.nextSample = sample;
    return {};
}

Result<void> AudioMixer::produce(Track& track, float* out, std::size_t frames) {
    std::size_t done = 0;
    if (!track.tempo) {
        auto got = track.reader->read(out, frames);
        if (!got) return got.error();
        done = *got;
    } else {
        while (done < frames) {
            auto pulled =
                track.tempo->pull(std::span<float>(out + done * kChannels, (frames - done) * kChannels));
            if (!pulled) return pulled.error();
            done += *pulled;
            if (*pulled > 0) continue;
            if (track.sourceLeft > 0) {
                const std::size_t n =
                    std::min<std::size_t>(kFeedFrames, static_cast<std::size_t>(track.sourceLeft));
                track.feed.resize(n * kChannels);
                auto got = track.reader->read(track.feed.data(), n);
                if (!got) return got.error();
                if (*got == 0) {
                    track.sourceLeft = 0;
                    continue;
                }
                track.sourceLeft -= static_cast<std::int64_t>(*got);
                if (auto ok = track.tempo->push(std::span<const float>(track.feed.data(), *got * kChannels));
                    !ok) {
                    return ok;
                }
            } else {
                if (auto ok = track.tempo->finish(); !ok) return ok;
                auto last =
                    track.tempo->pull(std::span<float>(out + done * kChannels, (frames - done) * kChannels));
                if (!last) return last.error();
                done += *last;
                break;
            }
        }
    }
    std::fill(out + done * kChannels, out + frames * kChannels, 0.0f);
    return {};
}

Result<void> AudioMixer::renderTrack(Track& track, std::int64_t first, std::size_t frames) {
    const auto& segments = track.track->segments;
    track.block.assign(frames * kChannels, 0.0f);
    std::size_t i = 0;
    while (i < frames) {
        const std::int64_t s = first + static_cast<std::int64_t>(i);
        // The last segment starting at or before s.
        auto it = std::upper_bound(
            segments.begin(), segments.end(), s,
            [](std::int64_t value, const Segment& seg) { return value < sampleOf(seg.target.start); });
        std::size_t count = 0;
        if (it != segments.begin() && s < sampleOf(std::prev(it)->target.end())) {
            const std::size_t index = static_cast<std::size_t>(std::prev(it) - segments.begin());
            count = std::min<std::size_t>(
                frames - i, static_cast<std::size_t>(sampleOf(segments[index].target.end()) - s));
            if (track.segment != static_cast<std::ptrdiff_t>(index) || track.nextSample != s) {
                if (auto ok = setUp(track, index, s); !ok) return ok;
            }
            if (auto ok = produce(track, track.block.data() + i * kChannels, count); !ok) return ok;
            track.nextSample = s + static_cast<std::int64_t>(count);
        } else {
            const std::int64_t next =
                it == segments.end() ? std::numeric_limits<std::int64_t>::max() : sampleOf(it->target.start);
            count = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(frames - i), next - s));
        }
        i += count;
    }
    return {};
}

Result<void> AudioMixer::read(std::span<float> out) {
    const std::size_t frames = out.size() / kChannels;
    sum_.assign(frames * kChannels, 0.0f);
    for (auto& track : tracks_) {
        if (auto ok = renderTrack(*track, position_, frames); !ok) return ok;
        for (std::size_t k = 0; k < frames * kChannels; ++k) sum_[k] += track->gain * track->block[k];
    }
    for (std::size_t k = 0; k < frames * kChannels; ++k) out[k] = std::clamp(sum_[k], -1.0f, 1.0f);
    position_ += static_cast<std::int64_t>(frames);
    return {};
}

}  // namespace vorpix::media
