#pragma once

// The capture controller: lists the displays, microphones and cameras,
// keeps the user's capture choices (QSettings, the keys below), and runs a
// take from the record button to the saved recording folder, reporting
// every failure as one English line in errorMessage(). Main thread only;
// the take's threads (capture, audio, writer, input, journal, webcam) talk
// back through queued calls. Beyond a plain stop, a take is never lost:
// while it runs, its journal and movie reach the disk every 0.5 s, and a
// take that ends in a failure keeps what was written.

#include <QObject>
#include <QSettings>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureRegion.h"
#include "capture/InputTracker.h"
#include "capture/RecorderBackends.h"
#include "capture/ScreenCapture.h"
#include "capture/StreamWriter.h"
#include "model/RecordingItem.h"

namespace vorpix::capture {

class InputTracker;
class TakeJournal;
class WebcamRecorder;

class RecorderModel : public QObject {
    Q_OBJECT

public:
    enum class State { idle, countdown, recording, saving };
    enum class CaptureMode { fullScreen, region };
    enum class Countdown { on, off };

    struct DisplayOption {
        std::uint32_t id = 0;
        std::string name;
        DisplayInfo display;
        bool operator==(const DisplayOption& o) const { return id == o.id; }
    };
    struct DeviceOption {  // a microphone or a camera
        std::string id;
        std::string name;
        bool operator==(const DeviceOption&) const = default;
    };

    // What the last take measured (the benchmark and `record --stats`).
    struct TakeReport {
        ScreenCapture::Stats capture;
        StreamWriter::Stats writer;
        std::optional<double> firstPTS;       // host seconds of t = 0 (the first frame's grab)
        std::optional<double> firstHostTime;  // host seconds when that frame was accepted
        std::optional<Error> failure;         // why the take ended on its own
    };

    // Settings keys.
    static constexpr const char* kRecordSystemAudio = "recordSystemAudio";
    static constexpr const char* kRecordMicrophone = "recordMicrophone";
    static constexpr const char* kRecordWebcam = "recordWebcam";
    static constexpr const char* kSelectedMicrophoneID = "selectedMicrophoneID";
    static constexpr const char* kSelectedWebcamID = "selectedWebcamID";

    // New takes go to `libraryFolder` (created when the first take starts).
    RecorderModel(RecorderBackends backends, QSettings& settings, std::filesystem::path libraryFolder,
                  QObject* parent = nullptr);
    ~RecorderModel() override;

    State state() const { return state_; }
    int countdownSeconds() const { return countdown_; }  // 3, 2, 1 in `countdown`
    std::chrono::system_clock::time_point recordingStart() const { return recordingStart_; }
    const std::vector<DisplayOption>& displays() const { return displays_; }
    std::optional<std::uint32_t> selectedDisplayID() const { return selectedDisplayID_; }
    void setSelectedDisplayID(std::optional<std::uint32_t> id);
    CaptureMode captureMode() const { return captureMode_; }
    void setCaptureMode(CaptureMode mode);
    std::optional<PointRect> selectedRegion() const { return selectedRegion_; }
    void setSelectedRegion(std::optional<PointRect> region);
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    bool permissionDenied() const { return permissionDenied_; }
    bool isStarting() const { return isStarting_; }
    bool isSelectingRegion() const { return isSelectingRegion_; }
    bool recordSystemAudio() const { return recordSystemAudio_; }
    void setRecordSystemAudio(bool on);
    bool recordMicrophone() const { return recordMicrophone_; }
    void setRecordMicrophone(bool on);
    std::optional<std::string> selectedMicrophoneID() const { return selectedMicrophoneID_; }
    void setSelectedMicrophoneID(std::optional<std::string> id);
    const std::vector<DeviceOption>& microphones() const { return microphones_; }
    bool recordWebcam() const { return recordWebcam_; }
    void setRecordWebcam(bool on);
    std::optional<std::string> selectedWebcamID() const { return selectedWebcamID_; }
    void setSelectedWebcamID(std::optional<std::string> id);
    const std::vector<DeviceOption>& webcams() const { return webcams_; }

    // "1280×720" for a region that resolves on the selected display.
    std::optional<std::string> selectedRegionLabel() const;

    void refreshDisplays();
    void refreshMicrophones();
    void refreshWebcams();
    // Countdown::off starts recording at once (the command line's
    // --no-countdown).
    void startRecording(Countdown countdown = Countdown::on);
    void stopRecording();

    // Called once per saved take, after state() is idle again.
    std::function<void(const model::RecordingItem&)> onRecordingSaved;

    const TakeReport& lastTake() const { return lastTake_; }

signals:
    // Any published property changed.
    void changed();

private:
    void setState(State state);
    void setError(std::optional<std::string> message);
    void applyDeviceSelection(const std::vector<DeviceOption>& available, const char* preferredKey,
                              std::optional<std::string>& selection);
    void countdownStep(int left);
    void beginCapture();
    void startCleanup();
    void takeFailed(const Error& error);  // the writer or the grab failed mid-take
    void finishTake();
    void saved(StreamWriter::Outcome outcome);
    void deleteFolder();
    const DisplayOption* chosenDisplay() const;
    std::filesystem::path newTakeFolder() const;

    RecorderBackends backends_;
    QSettings& settings_;
    std::filesystem::path libraryFolder_;

    State state_ = State::idle;
    int countdown_ = 0;
    std::chrono::system_clock::time_point recordingStart_;
    std::vector<DisplayOption> displays_;
    std::optional<std::uint32_t> selectedDisplayID_;
    CaptureMode captureMode_ = CaptureMode::fullScreen;
    std::optional<PointRect> selectedRegion_;
    std::optional<std::string> errorMessage_;
    bool permissionDenied_ = false;
    bool isStarting_ = false;
    bool isSelectingRegion_ = false;
    bool recordSystemAudio_ = false;
    bool recordMicrophone_ = false;
    std::optional<std::string> selectedMicrophoneID_;
    std::vector<DeviceOption> microphones_;
    std::optional<std::string> defaultMicrophoneID_;
    bool recordWebcam_ = false;
    std::optional<std::string> selectedWebcamID_;
    std::vector<DeviceOption> webcams_;
    bool suppressDevicePersist_ = false;

    // The take in progress.
    std::optional<std::filesystem::path> sessionFolder_;
    PixelRect captureArea_;       // desktop pixels
    double scaleFactor_ = 1.0;
    TrackerGeometry trackerGeometry_;
    std::optional<std::string> microphoneID_;  // resolved for this take
    std::unique_ptr<StreamWriter> streamWriter_;
    std::unique_ptr<TakeJournal> journal_;
    std::unique_ptr<ScreenCapture> capture_;
    std::vector<std::unique_ptr<AudioSource>> audio_;
    std::unique_ptr<InputTracker> tracker_;
    std::unique_ptr<WebcamRecorder> webcamRecorder_;
    std::thread finisher_;  // finishes the writer after a stop
    std::optional<Error> takeFailure_;  // why the take stopped on its own
    std::uint64_t take_ = 0;            // counts takes, so late news of an old one is ignored
    TakeReport lastTake_;
};

}  // namespace vorpix::capture
