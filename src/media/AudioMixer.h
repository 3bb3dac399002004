#pragma once

// The composition's audio, rendered: every audio track decoded along its
// segments (sped-up segments through TempoFilter, pitch kept), scaled by its
// volume from the audio mix and summed, sample-accurately, into 48 kHz
// stereo float. Streams: memory does not grow with the length. Serves
// sequential export and, with seek, random access. Single-threaded.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "media/AudioReader.h"
#include "media/Composition.h"
#include "media/CompositionBuilder.h"
#include "media/TempoFilter.h"
#include "model/Result.h"

namespace vorpix::media {

class AudioMixer {
public:
    static constexpr AudioFormat kFormat = kMixFormat;

    // Tracks not named in `mix` play at volume 1. Files are opened when they
    // first play.
    AudioMixer(std::shared_ptr<const Composition> composition, const std::vector<AudioMixParameters>& mix);
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    // The next read starts at composition time `t`.
    void seek(MediaTime t);

    // The next out.size() / 2 frames of the mix, interleaved stereo, limited
    // to -1 ... 1; silence where no track plays. Fails when a file that
    // should play cannot be opened or decoded.
    Result<void> read(std::span<float> out);

    // Output sample index (48 kHz) of the next read.
    std::int64_t position() const { return position_; }
    bool hasTracks() const { return !tracks_.empty(); }

private:
    struct Track;
    Result<void> renderTrack(Track& track, std::int64_t first, std::size_t frames);
    Result<void> setUp(Track& track, std::size_t segment, std::int64_t sample);
    Result<void> produce(Track& track, float* out, std::size_t frames);

    std::shared_ptr<const Composition> composition_;
    std::vector<std::unique_ptr<Track>> tracks_;
    std::vector<float> sum_;
    std::int64_t position_ = 0;
};

}  // namespace vorpix::media
