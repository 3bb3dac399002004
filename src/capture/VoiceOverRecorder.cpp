#include "capture/VoiceOverRecorder.h"

#include <chrono>
#include <string>

#include <QMetaObject>

#include "capture/AudioDevices.h"
#include "capture/MicCapture.h"
#include "media/MovieWriter.h"

namespace vorpix::capture {

namespace {

constexpr int kSampleRate = 48000;
constexpr std::int64_t kBitRate = 128000;

Error couldNotStart() {
    return makeError(domain::kVorpix, kVoiceOverStart, "Could not start the voice recording.");
}

}  // namespace

VoiceOverRecorder::VoiceOverRecorder(QObject* parent, SourceFactory makeSource)
    : QObject(parent), makeSource_(std::move(makeSource)) {
    if (!makeSource_) makeSource_ = [] { return makeMicrophoneSource({}); };
}

VoiceOverRecorder::~VoiceOverRecorder() { stop(); }

Result<std::filesystem::path> VoiceOverRecorder::start(const std::filesystem::path& folder) {
    if (isRecording_) stop();
    // Linux has no per-application microphone permission: access is granted.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    const std::filesystem::path path = folder / ("voiceover-" + std::to_string(seconds) + ".m4a");

    media::AudioStreamSettings audio;
    audio.codec = "aac";
    audio.sampleRate = kSampleRate;
    audio.channels = 1;
    audio.bitRate = kBitRate;
    auto writer = media::MovieWriter::create(path, "ipod", std::nullopt, audio);
    if (!writer) return writer.error();
    {
        std::lock_guard lock(mutex_);
        writer_ = std::move(*writer);
        writeError_.reset();
    }

    source_ = makeSource_();
    const auto started = source_->start(
        [this](const AudioChunk& chunk) {
            // The server delivers 48 kHz as asked; a mono narration keeps
            // the first channel, as the take's microphone track does.
            const std::vector<float> mono = channel0(chunk.samples, chunk.channels);
            std::lock_guard lock(mutex_);
            if (!writer_ || writeError_) return;
            if (auto ok = writer_->writeAudio(mono); !ok) writeError_ = ok.error();
        },
        [this](const Error& error) {
            // The microphone went away: what was said so far is kept.
            QMetaObject::invokeMethod(
                this, [this, message = QString::fromStdString(error.message)] { setErrorMessage(message); },
                Qt::QueuedConnection);
        });
    if (!started) {
        source_.reset();
        {
            std::lock_guard lock(mutex_);
            writer_.reset();
        }
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return couldNotStart();
    }
    destURL_ = path;
    setRecording(true);
    setErrorMessage({});
    return path;
}

std::optional<std::filesystem::path> VoiceOverRecorder::stop() {
    if (source_) {
        source_->stop();
        source_.reset();
    }
    std::unique_ptr<media::MovieWriter> writer;
    std::optional<Error> failure;
    {
        std::lock_guard lock(mutex_);
        writer = std::move(writer_);
        failure = writeError_;
    }
    if (writer) {
        auto finished = writer->finish();
        if (!failure && !finished) failure = finished.error();
    }
    if (failure) setErrorMessage(QString::fromStdString(failure->message));
    setRecording(false);
    return destURL_;
}

void VoiceOverRecorder::setRecording(bool recording) {
    if (isRecording_ == recording) return;
    isRecording_ = recording;
    emit isRecordingChanged();
}

void VoiceOverRecorder::setErrorMessage(const QString& message) {
    if (errorMessage_ == message) return;
    errorMessage_ = message;
    emit errorMessageChanged();
}

}  // namespace vorpix::capture
