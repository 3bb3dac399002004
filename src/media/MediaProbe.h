#pragma once

// What a media file holds: its video and audio tracks with their time ranges
// in stream time (the file's own clock), frame rates and formats. This is
// the "load the track properties" step of building a composition.

#include <filesystem>
#include <string>
#include <vector>

#include "media/MediaTime.h"
#include "model/Result.h"

namespace vorpix::media {

enum class TrackKind { video, audio };

struct TrackInfo {
    TrackKind kind = TrackKind::video;
    int streamIndex = -1;  // FFmpeg's stream index in the file
    TimeSpan range;        // first timestamp and length, stream time
    std::string codecName;
    // Video only. The rate frame times were captured at (for a variable
    // frame rate, the cadence, not the average); 0 when the file does not say.
    double nominalFrameRate = 0;
    int width = 0;
    int height = 0;
    // Audio only.
    int sampleRate = 0;
    int channels = 0;
};

struct MediaInfo {
    std::filesystem::path path;
    MediaTime duration;            // the container's length
    std::vector<TrackInfo> video;  // cover pictures are not video tracks
    std::vector<TrackInfo> audio;
    bool stillImage = false;  // an image file (PNG, JPEG, ...), whatever its name
};

// Reads the container header and stream information. Fails with a one-line
// message naming the file when it is missing, unreadable or not media.
Result<MediaInfo> probeMedia(const std::filesystem::path& path);

}  // namespace vorpix::media
