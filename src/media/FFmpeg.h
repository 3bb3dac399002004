#pragma once

// RAII ownership for every FFmpeg handle the engine touches, and the one
// place where FFmpeg's C macros (error tags, the no-timestamp value) are
// turned into typed constants, so that the rest of the module compiles
// cleanly under -Wold-style-cast.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "media/MediaTime.h"
#include "model/Result.h"

namespace vorpix::media {

// Error domain for failures reported by the FFmpeg libraries; the code is
// the (negative) AVERROR value.
inline constexpr const char* kFFmpegDomain = "ffmpeg";

extern const int kAvErrorEof;
extern const int kAvErrorAgain;
extern const int kAvErrorInvalidData;
extern const std::int64_t kNoPts;

// FFmpeg's description of an AVERROR code ("No such file or directory").
std::string ffmpegErrorText(int averror);

// "<what>: <FFmpeg's description>" in the ffmpeg domain.
Error ffmpegError(int averror, std::string_view what);

// FFmpeg logs to stderr by default. The composition root (and the tests)
// choose how much; the setting is process-wide because FFmpeg's is.
enum class FFmpegLogLevel { quiet, errors, warnings };
void setFFmpegLogLevel(FFmpegLogLevel level);

// Stream time (`value` in units of `timeBase`) to media time and back.
MediaTime fromStreamTime(std::int64_t value, AVRational timeBase);
std::int64_t toStreamTime(MediaTime t, AVRational timeBase);

struct InputFormatDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputFormatDeleter {
    void operator()(AVFormatContext* c) const;  // closes the file, then frees
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
struct SwrDeleter {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct FilterGraphDeleter {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// Allocation helpers; none returns null except on memory exhaustion.
FramePtr makeFrame();
PacketPtr makePacket();

// Picture buffers recycled from frame to frame. A fresh multi-megabyte
// allocation per frame costs a page fault per 4 KiB on first touch, which at
// 1080p60 is more than the conversion that fills it. Thread-safe; frames
// may outlive the pool.
class FramePool {
public:
    FramePool() = default;
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // A writable frame of `format` and size; the pool starts over when they
    // change. Rows are 64-byte aligned.
    Result<FramePtr> get(AVPixelFormat format, int width, int height);

private:
    std::mutex mutex_;
    // guarded by mutex_
    AVBufferPool* pool_ = nullptr;
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    int width_ = 0;
    int height_ = 0;
    int linesizes_[4] = {};
    std::size_t size_ = 0;
};

// Opens `path` for reading and reads its stream information. The message
// names the file by its last path component.
Result<InputFormatPtr> openInput(const std::string& path);

// Opens a decoder for stream `streamIndex` of `format`. `threads` 0 lets
// FFmpeg choose; 1 decodes on the calling thread only.
Result<CodecContextPtr> openDecoder(const AVFormatContext& format, int streamIndex, int threads);

}  // namespace vorpix::media
