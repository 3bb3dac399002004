#pragma once

// Records a narration from the default microphone into the recording's
// folder ("voiceover-<unix seconds>.m4a": AAC, mono, 48 kHz, 128 kbit/s)
// while the editor is open. The editor's voice-over toggle calls start and
// stop and adds the finished file as an audio clip. Main thread only; the
// microphone's buffers are encoded on the sound thread under `mutex_`.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QObject>
#include <QString>

#include "capture/AudioSource.h"
#include "model/Result.h"

namespace vorpix::media {
class MovieWriter;
}

namespace vorpix::capture {

// Codes of the "vorpix" domain made here.
inline constexpr int kVoiceOverAccess = 41;  // microphone access refused (never on Linux)
inline constexpr int kVoiceOverStart = 42;   // "Could not start the voice recording."

class VoiceOverRecorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    // Makes the microphone source of each narration; the default is the
    // sound server's default input.
    using SourceFactory = std::function<std::unique_ptr<AudioSource>()>;

    explicit VoiceOverRecorder(QObject* parent = nullptr, SourceFactory makeSource = {});
    ~VoiceOverRecorder() override;

    bool isRecording() const { return isRecording_; }
    // Empty when there is no message.
    QString errorMessage() const { return errorMessage_; }

    // Starts a narration in `folder` (stopping a running one first, whose
    // file is kept) and returns its path. A failed start leaves no file and
    // `isRecording` false.
    Result<std::filesystem::path> start(const std::filesystem::path& folder);

    // Stops the narration, if any, and returns the path of the one just
    // ended, or of the last one; none if no narration was ever started.
    std::optional<std::filesystem::path> stop();

signals:
    void isRecordingChanged();
    void errorMessageChanged();

private:
    void setRecording(bool recording);
    void setErrorMessage(const QString& message);

    SourceFactory makeSource_;
    std::unique_ptr<AudioSource> source_;
    std::optional<std::filesystem::path> destURL_;
    bool isRecording_ = false;
    QString errorMessage_;

    std::mutex mutex_;
    // guarded by mutex_
    std::unique_ptr<media::MovieWriter> writer_;
    std::optional<Error> writeError_;
};

}  // namespace vorpix::capture
