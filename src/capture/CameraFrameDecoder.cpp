#include "capture/CameraFrameDecoder.h"

#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace vorpix::capture {

namespace {

Error badFrame(const std::string& why) {
    return makeError(domain::kTavorin, 13, "A webcam frame could not be read: " + why + ".");
}

// JPEG's "j" formats are the plain ones in full range; naming the range
// instead keeps swscale from warning about deprecated formats.
AVPixelFormat plainFormat(AVPixelFormat f, bool& fullRange) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
        default: return f;
    }
}

}  // namespace

Result<void> CameraFrameDecoder::decode(const CameraFrame& frame, AVFrame& out) {
    if (frame.width < 2 || frame.height < 2) return badFrame("its size is " + std::to_string(frame.width) + "x" + std::to_string(frame.height));
    if (frame.format == CameraPixelFormat::mjpeg) {
        if (!jpeg_) {
            const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
            if (codec == nullptr) return badFrame("this FFmpeg has no MJPEG decoder");
            jpeg_.reset(avcodec_alloc_context3(codec));
            if (!jpeg_) return badFrame("out of memory");
            jpeg_->thread_count = 1;
            if (const int err = avcodec_open2(jpeg_.get(), codec, nullptr); err < 0) {
                jpeg_.reset();
                return badFrame(media::ffmpegErrorText(err));
            }
            packet_ = media::makePacket();
            picture_ = media::makeFrame();
            if (!packet_ || !picture_) return badFrame("out of memory");
        }
        // The decoder reads a few bytes past the end; the camera's buffer
        // has no such padding, so the picture is copied.
        av_packet_unref(packet_.get());
        if (av_new_packet(packet_.get(), static_cast<int>(frame.data.size())) < 0) return badFrame("out of memory");
        std::memcpy(packet_->data, frame.data.data(), frame.data.size());
        int err = avcodec_send_packet(jpeg_.get(), packet_.get());
        if (err >= 0) err = avcodec_receive_frame(jpeg_.get(), picture_.get());
        if (err < 0) return badFrame("the JPEG picture is damaged (" + media::ffmpegErrorText(err) + ")");
        bool fullRange = picture_->color_range == AVCOL_RANGE_JPEG;
        const AVPixelFormat format = plainFormat(static_cast<AVPixelFormat>(picture_->format), fullRange);
        auto result = scale(picture_->data, picture_->linesize, format, fullRange, picture_->width,
                            picture_->height, out);
        av_frame_unref(picture_.get());
        return result;
    }

    const int bytesPerPixel = frame.format == CameraPixelFormat::bgra ? 4 : 2;
    if (frame.stride < frame.width * bytesPerPixel ||
        frame.data.size() < static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height))
        return badFrame("it holds " + std::to_string(frame.data.size()) + " bytes, short of its size");
    const std::uint8_t* planes[4] = {frame.data.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {frame.stride, 0, 0, 0};
    return scale(planes, strides,
                 frame.format == CameraPixelFormat::bgra ? AV_PIX_FMT_BGRA : AV_PIX_FMT_YUYV422,
                 frame.format == CameraPixelFormat::bgra, frame.width, frame.height, out);
}

Result<void> CameraFrameDecoder::scale(const std::uint8_t* const planes[], const int strides[],
                                       AVPixelFormat format, bool fullRange, int width, int height,
                                       AVFrame& out) {
    const auto outFormat = static_cast<AVPixelFormat>(out.format);
    sws_.reset(sws_getCachedContext(sws_.release(), width, height, format, out.width, out.height, outFormat,
                                    SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_) return badFrame(std::string("cannot convert ") + av_get_pix_fmt_name(format));
    // Cameras deliver BT.601 pictures; the movie is tagged BT.709.
    const int* from = sws_getCoefficients(SWS_CS_ITU601);
    const int* to = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(sws_.get(), from, fullRange ? 1 : 0, to, out.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                             0, 1 << 16, 1 << 16);
    if (av_frame_make_writable(&out) < 0) return badFrame("out of memory");
    sws_scale(sws_.get(), planes, strides, 0, height, out.data, out.linesize);
    return {};
}

}  // namespace vorpix::capture
