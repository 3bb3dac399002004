#include "media/ExportSession.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <optional>
#include <thread>

#include "media/AudioMixer.h"
#include "media/MovieWriter.h"
#include "media/PixelConversion.h"
#include "media/FrameSource.h"
#include "media/StudioCompositor.h"
#include "media/ThreadName.h"
#include "model/OutputCheck.h"
#include "model/SafeOutput.h"

namespace vorpix::media {

namespace {

Error sessionError() {
    return makeError(domain::kTavorin, kExportSessionCode, kExportSessionMessage);
}

// What the decode thread, the compositor's completions and the encode loop
// share, under the session's mutex and condition (which cancel() also
// takes, so a cancel wakes every waiter at once).
struct Pipeline {
    Pipeline(std::mutex& m, std::condition_variable& c) : mutex(m), changed(c) {}
    std::mutex& mutex;
    std::condition_variable& changed;
    // guarded by mutex
    std::deque<FrameResult> rendered;
    int inFlight = 0;
    bool stop = false;
    bool decodeDone = false;
    std::optional<Error> decodeError;
};

}  // namespace

EncoderThreading encoderThreading(int width, int height, unsigned cores) {
    if (static_cast<std::int64_t>(width) * height <= EncoderThreading::kFullThreadingPixels) return {};
    return {static_cast<int>(std::clamp(cores, 1u, 8u)), "sync-lookahead=0"};
}

ExportSession::ExportSession(StudioComposition composition, std::filesystem::path output,
                             ExportSettings settings)
    : composition_(std::move(composition)), output_(std::move(output)), settings_(std::move(settings)) {}

ExportSession::~ExportSession() = default;

Result<std::unique_ptr<ExportSession>> ExportSession::create(StudioComposition composition,
                                                             std::filesystem::path output,
                                                             ExportSettings settings) {
    const auto& instruction = composition.videoComposition.instruction;
    if (!composition.asset || !instruction || !instruction->renderer) return sessionError();
    const int width = instruction->renderer->outputWidth() & ~1;
    const int height = instruction->renderer->outputHeight() & ~1;
    const MediaTime duration = composition.duration();
    const int fps = composition.videoComposition.fps;
    if (width < 2 || height < 2 || duration <= kZeroTime || fps <= 0) return sessionError();
    if (auto ok = model::checkOutputFile(output); !ok) return ok.error();
    std::unique_ptr<ExportSession> session(
        new ExportSession(std::move(composition), std::move(output), settings));
    session->width_ = width;
    session->height_ = height;
    // Frames at k / fps for every k with k / fps < duration.
    session->frames_ = (duration.ticks * fps + MediaTime::kTicksPerSecond - 1) / MediaTime::kTicksPerSecond;
    return session;
}

void ExportSession::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_.store(true);
    }
    changed_.notify_all();
}

Result<ExportEnd> ExportSession::run(const ProgressCallback& onProgress) {
    ExportStatus expected = ExportStatus::waiting;
    if (!status_.compare_exchange_strong(expected, ExportStatus::exporting)) {
        return makeError(domain::kTavorin, kExportSessionCode, "The export session has already run.");
    }
    // A hidden, unique name beside the target until the movie is complete:
    // the old file stays as it was, and a crash leaves a dot-file that the
    // next write into the folder removes.
    auto file = model::SafeOutput::create(output_);
    if (!file) {
        status_ = ExportStatus::failed;
        return file.error();
    }
    auto result = write(file->temporary(), onProgress);
    if (result && *result == ExportEnd::completed) {
        auto placed = file->commit(settings_.onExisting);
        if (!placed) {
            status_ = ExportStatus::failed;
            return placed.error();
        }
        output_ = *placed;
        progress_ = 1.0;
        status_ = ExportStatus::completed;
        if (onProgress) onProgress(1.0);
        return ExportEnd::completed;
    }
    file->discard();
    status_ = result ? ExportStatus::cancelled : ExportStatus::failed;
    return result;
}

Result<ExportEnd> ExportSession::write(const std::filesystem::path& temporary,
                                       const ProgressCallback& onProgress) {
    const auto& vc = composition_.videoComposition;
    const auto& renderer = *vc.instruction->renderer;

    VideoStreamSettings video;
    video.width = width_;
    video.height = height_;
    video.fps = vc.fps;
    video.preset = settings_.preset;
    video.crf = settings_.crf;
    const EncoderThreading threading = encoderThreading(width_, height_, std::thread::hardware_concurrency());
    video.threads = settings_.encoderThreads > 0 ? settings_.encoderThreads : threading.threads;
    std::string params = threading.x264Params;
    if (!settings_.x264Params.empty()) params += (params.empty() ? "" : ":") + settings_.x264Params;
    if (!params.empty()) video.options.emplace_back("x264-params", params);
    std::optional<AudioStreamSettings> audio;
    if (composition_.audioMix) {
        AudioStreamSettings a;
        a.bitRate = settings_.audioBitRate;
        audio = a;
    }
    auto writer =
        MovieWriter::create(temporary, "mp4", video, audio, FastStart::on, output_.filename().string());
    if (!writer) return writer.error();
    std::unique_ptr<AudioMixer> mixer;
    if (audio) mixer = std::make_unique<AudioMixer>(composition_.asset, *composition_.audioMix);
    const std::int64_t audioSamples = composition_.duration().samplesAt(AudioMixer::kFormat.sampleRate);
    std::int64_t audioWritten = 0;
    std::vector<float> audioBlock;

    // Destroyed in reverse: the decode thread is joined first, then the
    // compositor drains its queue, then the shared state goes.
    Pipeline pipeline{mutex_, changed_};
    // The renderer writes the encoder's 4:2:0 itself when it can (no RGBA
    // frame, no extra pass); otherwise RGBA is converted below. Buffers have
    // the renderer's full size; the encoder takes their even-sized top-left.
    const bool direct = renderer.rendersYuv420();
    auto context =
        std::make_shared<RenderContext>(renderer.outputWidth(), renderer.outputHeight(),
                                        direct ? AV_PIX_FMT_YUV420P : StudioCompositor::kOutputPixelFormat);
    StudioCompositor compositor;
    compositor.renderContextChanged(context);

    std::thread decoder([&] {
        setCurrentThreadName(kDecodeThreadName);
        // The decode half of the frame path; the compositor runs the other.
        FrameSource source(composition_, settings_.decodeThreads);
        for (std::int64_t k = 0; k < frames_; ++k) {
            {
                std::unique_lock lock(pipeline.mutex);
                pipeline.changed.wait(lock, [&] {
                    return pipeline.stop || cancelled_ || pipeline.inFlight < settings_.framesInFlight;
                });
                if (pipeline.stop || cancelled_) break;
            }
            const MediaTime t = vc.frameTime(k);
            auto frames = source.decodeAt(t);
            if (!frames) {
                std::lock_guard lock(pipeline.mutex);
                pipeline.decodeError = frames.error();
                pipeline.changed.notify_all();
                break;
            }
            FrameRequest request;
            request.instruction = vc.instruction;
            request.compositionTime = t;
            request.sourceFrames = std::move(*frames);
            request.finish = [&pipeline](FrameResult r) {
                std::lock_guard lock(pipeline.mutex);
                pipeline.rendered.push_back(std::move(r));
                pipeline.changed.notify_all();
            };
            {
                std::lock_guard lock(pipeline.mutex);
                ++pipeline.inFlight;
            }
            compositor.startRequest(std::move(request));
        }
        std::lock_guard lock(pipeline.mutex);
        pipeline.decodeDone = true;
        pipeline.changed.notify_all();
    });
    auto stopDecoding = [&] {
        {
            std::lock_guard lock(pipeline.mutex);
            pipeline.stop = true;
        }
        pipeline.changed.notify_all();
        compositor.cancelAllPendingVideoCompositionRequests();
        decoder.join();
    };

    std::optional<Error> failure;
    bool cancelled = false;
    for (std::int64_t k = 0; k < frames_ && !failure && !cancelled; ++k) {
        FrameResult result;
        {
            std::unique_lock lock(pipeline.mutex);
            pipeline.changed.wait(lock, [&] {
                return !pipeline.rendered.empty() || pipeline.decodeError || cancelled_ ||
                       (pipeline.decodeDone && pipeline.inFlight == 0);
            });
            if (pipeline.rendered.empty()) {
                if (pipeline.decodeError) {
                    failure = *pipeline.decodeError;
                } else {
                    cancelled = true;
                }
                break;
            }
            result = std::move(pipeline.rendered.front());
            pipeline.rendered.pop_front();
            --pipeline.inFlight;
        }
        pipeline.changed.notify_all();
        if (cancelled_.load() || result.outcome == FrameOutcome::cancelled) {
            cancelled = true;
            break;
        }
        if (result.outcome == FrameOutcome::failed) {
            failure = result.error.value_or(
                makeError(domain::kTavorin, kCompositorErrorCode, kCompositorErrorMessage));
            break;
        }
        FramePtr picture;
        if (direct) {
            picture = std::move(result.frame);
            picture->width = width_;
            picture->height = height_;
        } else {
            auto yuv = (*writer)->makeVideoFrame();
            if (!yuv) {
                failure = yuv.error();
                break;
            }
            rgbaToYuv420(result.frame->data[0], result.frame->linesize[0], **yuv, 0, height_);
            result.frame.reset();
            picture = std::move(*yuv);
        }
        if (auto ok = (*writer)->writeVideo(std::move(picture), k); !ok) {
            failure = ok.error();
            break;
        }
        // Audio up to the end of this frame, so the muxer interleaves closely.
        if (mixer) {
            const std::int64_t until =
                std::min(audioSamples, vc.frameTime(k + 1).samplesAt(AudioMixer::kFormat.sampleRate));
            while (audioWritten < until && !failure) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(until - audioWritten, 4800));
                audioBlock.resize(n * 2);
                if (auto ok = mixer->read(audioBlock); !ok) {
                    failure = ok.error();
                } else if (auto written = (*writer)->writeAudio(audioBlock); !written) {
                    failure = written.error();
                }
                audioWritten += static_cast<std::int64_t>(n);
            }
        }
        progress_ = static_cast<double>(k + 1) / static_cast<double>(frames_);
        // Whole percents only: a hundred calls however long the movie.
        if (onProgress && (k + 1) * 100 / frames_ != k * 100 / frames_ && k + 1 < frames_)
            onProgress(progress_);
    }
    stopDecoding();
    if (failure) return *failure;
    if (cancelled || cancelled_.load()) return ExportEnd::cancelled;
    if (mixer) {
        while (audioWritten < audioSamples) {
            const auto n =
                static_cast<std::size_t>(std::min<std::int64_t>(audioSamples - audioWritten, 4800));
            audioBlock.resize(n * 2);
            if (auto ok = mixer->read(audioBlock); !ok) return ok.error();
            if (auto ok = (*writer)->writeAudio(audioBlock); !ok) return ok.error();
            audioWritten += static_cast<std::int64_t>(n);
        }
    }
    if (auto ok = (*writer)->finish(); !ok) return ok.error();
    return ExportEnd::completed;
}

}  // namespace vorpix::media
