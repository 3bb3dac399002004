#pragma once

// Encodes video frames and interleaved float audio and muxes them into one
// file: the export's MP4 writer, and the tests' generator of small media
// files in other codecs and containers. Single-threaded (the encoders may
// use threads of their own).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "media/FFmpeg.h"
#include "model/Result.h"

namespace vorpix::media {

struct VideoStreamSettings {
    std::string codec = "libx264";
    int width = 0;
    int height = 0;
    int fps = 60;
    // Ticks per second of writeVideo's index; 0: one tick per frame (1 / fps).
    // Live capture stamps frames at their real times on a finer clock.
    int timeBase = 0;
    // Average bits per second; 0 leaves rate control to `crf`.
    std::int64_t bitRate = 0;
    AVPixelFormat pixelFormat = AV_PIX_FMT_YUV420P;
    // Encoder private options; empty strings and negative numbers are left at
    // the encoder's default.
    std::string preset = "veryfast";
    int crf = 18;
    std::string profile = "high";
    std::string tune;
    int gopFrames = -1;
    int maxBFrames = -1;
    int threads = 0;  // 0: the encoder chooses
    // BT.709 limited range, as every HD delivery expects.
    bool tagBt709 = true;
    // Further encoder private options ("x265-params", ...).
    std::vector<std::pair<std::string, std::string>> options;
};

struct AudioStreamSettings {
    std::string codec = "aac";
    int sampleRate = 48000;
    int channels = 2;
    std::int64_t bitRate = 192000;  // 0: the encoder's default
    // Where the first sample sits in the stream, in samples; lets tests make
    // tracks that begin after the video.
    std::int64_t startOffset = 0;
};

enum class FastStart { off, on };

// Every stream of a movie and how the muxer writes them.
struct MovieLayout {
    std::optional<VideoStreamSettings> video;
    // One audio track each, in this order; writeAudio names them by index.
    std::vector<AudioStreamSettings> audio;
    // Options for the header (format and muxer), e.g. {"movflags", "+frag_keyframe"}.
    std::vector<std::pair<std::string, std::string>> muxerOptions;
    std::string displayName;  // names the file in messages; default its own name
};

class MovieWriter {
public:
    // Creates `path` (replacing any file there). `container` is an FFmpeg
    // muxer name ("mp4", "mov", "wav", "ogg", "mp3"); empty guesses from the
    // extension. At least one of the streams must be given. Messages name the
    // file `displayName` (default: its own name).
    static Result<std::unique_ptr<MovieWriter>> create(const std::filesystem::path& path,
                                                       const std::string& container,
                                                       const std::optional<VideoStreamSettings>& video,
                                                       const std::optional<AudioStreamSettings>& audio,
                                                       FastStart fastStart = FastStart::off,
                                                       const std::string& displayName = {});
    static Result<std::unique_ptr<MovieWriter>> create(const std::filesystem::path& path,
                                                       const std::string& container, const MovieLayout& layout);
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // A writable frame in the video stream's pixel format and size for the
    // caller to fill and pass to writeVideo.
    Result<FramePtr> makeVideoFrame();

    // Frame at `index` ticks (presentation time index / timeBase, or index /
    // fps). Takes the frame.
    Result<void> writeVideo(FramePtr frame, std::int64_t index);

    // Appends interleaved float samples to audio track `track` (its rate and
    // channel count); they are encoded as soon as a full codec frame is
    // buffered.
    Result<void> writeAudio(std::span<const float> interleaved, std::size_t track = 0);

    // Samples handed to writeAudio so far for `track`, per channel.
    std::int64_t audioFramesWritten(std::size_t track = 0) const;

    // Flushes the encoders, writes the trailer (and moves the index to the
    // front with FastStart::on) and closes the file. The writer is spent
    // afterwards, whatever the result.
    Result<void> finish();

private:
    MovieWriter() = default;
    Result<void> openVideo(const VideoStreamSettings& settings);
    struct AudioTrack {
        CodecContextPtr codec;
        AVStream* stream = nullptr;  // owned by format_
        SwrPtr convert;
        AudioFifoPtr fifo;
        std::int64_t in = 0;
        std::int64_t encoded = 0;
    };

    Result<void> openAudio(const AudioStreamSettings& settings);
    Result<void> drain(AVCodecContext& codec, AVStream& stream);
    Result<void> encodeAudioFrames(AudioTrack& track, bool flushPartial);
    Error writeError(int averror) const;

    std::string name_;  // the file's last path component, for messages
    OutputFormatPtr format_;
    CodecContextPtr videoCodec_;
    AVStream* videoStream_ = nullptr;  // owned by format_
    std::vector<AudioTrack> audio_;
    PacketPtr packet_;
    FramePool videoFrames_;
    bool finished_ = false;
};

}  // namespace vorpix::media
