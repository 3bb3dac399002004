#include "capture/RecorderModel.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

#include "capture/CaptureErrors.h"
#include "capture/InputTracker.h"
#include "capture/TakeJournal.h"
#include "capture/TakeRecovery.h"
#include "capture/WebcamRecorder.h"
#include "import/Library.h"
#include "model/SessionEvents.h"

namespace vorpix::capture {

namespace fs = std::filesystem;

namespace {

constexpr int kFramesPerSecond = 60;
constexpr int kCountdownStepMs = 1000;
constexpr int kStreamStartDelayMs = 80;

// A stored Boolean that is missing or not a Boolean reads as false.
bool storedBool(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::Bool && value.toBool();
}

std::optional<std::string> storedString(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString().toStdString();
}

// A message as a sentence: FFmpeg's descriptions come without the stop.
std::string sentence(const std::string& text) {
    return !text.empty() && (text.back() == '.' || text.back() == '!') ? text : text + ".";
}

}  // namespace

RecorderModel::RecorderModel(RecorderBackends backends, QSettings& settings, fs::path libraryFolder,
                             QObject* parent)
    : QObject(parent), backends_(std::move(backends)), settings_(settings), libraryFolder_(std::move(libraryFolder)) {
    recordSystemAudio_ = storedBool(settings_, kRecordSystemAudio);
    recordMicrophone_ = storedBool(settings_, kRecordMicrophone);
    recordWebcam_ = storedBool(settings_, kRecordWebcam);
    selectedMicrophoneID_ = storedString(settings_, kSelectedMicrophoneID);
    selectedWebcamID_ = storedString(settings_, kSelectedWebcamID);
}

RecorderModel::~RecorderModel() {
    if (finisher_.joinable()) finisher_.join();
    if (state_ == State::countdown) {
        startCleanup();  // nothing was recorded yet
        return;
    }
    // Quitting mid-take: close the movie properly and leave the journal, so
    // the next listing recovers the take. Nothing is deleted.
    if (capture_) capture_->stop();
    for (auto& source : audio_) source->stop();
    tracker_.reset();
    if (streamWriter_ && state_ == State::recording) streamWriter_->finish();
    streamWriter_.reset();
    if (webcamRecorder_) webcamRecorder_->finish();
}

void RecorderModel::setState(State state) {
    state_ = state;
    emit changed();
}

void RecorderModel::setError(std::optional<std::string> message) {
    errorMessage_ = std::move(message);
    emit changed();
}

void RecorderModel::setSelectedDisplayID(std::optional<std::uint32_t> id) {
    if (id == selectedDisplayID_) return;
    selectedDisplayID_ = id;
    selectedRegion_.reset();
    emit changed();
}

void RecorderModel::setCaptureMode(CaptureMode mode) {
    captureMode_ = mode;
    emit changed();
}

void RecorderModel::setSelectedRegion(std::optional<PointRect> region) {
    selectedRegion_ = region;
    emit changed();
}

void RecorderModel::setRecordSystemAudio(bool on) {
    recordSystemAudio_ = on;
    settings_.setValue(kRecordSystemAudio, on);
    emit changed();
}

void RecorderModel::setRecordMicrophone(bool on) {
    recordMicrophone_ = on;
    settings_.setValue(kRecordMicrophone, on);
    emit changed();
}

void RecorderModel::setRecordWebcam(bool on) {
    recordWebcam_ = on;
    settings_.setValue(kRecordWebcam, on);
    emit changed();
}

void RecorderModel::setSelectedMicrophoneID(std::optional<std::string> id) {
    selectedMicrophoneID_ = std::move(id);
    if (!suppressDevicePersist_) {
        if (selectedMicrophoneID_) {
            settings_.setValue(kSelectedMicrophoneID, QString::fromStdString(*selectedMicrophoneID_));
        } else {
            settings_.remove(kSelectedMicrophoneID);
        }
    }
    emit changed();
}

void RecorderModel::setSelectedWebcamID(std::optional<std::string> id) {
    selectedWebcamID_ = std::move(id);
    if (!suppressDevicePersist_) {
        if (selectedWebcamID_) {
            settings_.setValue(kSelectedWebcamID, QString::fromStdString(*selectedWebcamID_));
        } else {
            settings_.remove(kSelectedWebcamID);
        }
    }
    emit changed();
}

const RecorderModel::DisplayOption* RecorderModel::chosenDisplay() const {
    for (const auto& d : displays_) {
        if (selectedDisplayID_ && d.id == *selectedDisplayID_) return &d;
    }
    return displays_.empty() ? nullptr : &displays_.front();
}

std::optional<std::string> RecorderModel::selectedRegionLabel() const {
    if (!selectedRegion_ || !selectedDisplayID_) return std::nullopt;
    const auto it = std::find_if(displays_.begin(), displays_.end(),
                                 [&](const DisplayOption& d) { return d.id == *selectedDisplayID_; });
    if (it == displays_.end()) return std::nullopt;
    const double scale = it->display.scale;
    auto resolved = resolveRegion(*selectedRegion_, it->display.bounds.width / scale,
                                  it->display.bounds.height / scale, scale);
    if (!resolved) return std::nullopt;
    return std::to_string(resolved->pixelWidth) + "\u00d7" + std::to_string(resolved->pixelHeight);
}

void RecorderModel::refreshDisplays() {
    auto found = backends_.screen ? backends_.screen->displays()
                                  : Result<std::vector<DisplayInfo>>(makeError(
                                        domain::kTavorin, codes::kNoDisplay, "No screen can be recorded here."));
    if (!found) {
        permissionDenied_ = true;
        setError(found.error().message);
        return;
    }
    permissionDenied_ = false;
    displays_.clear();
    for (const auto& d : *found) {
        displays_.push_back({d.id, d.name.empty() ? "Display " + std::to_string(displays_.size() + 1) : d.name, d});
    }
    const bool listed = selectedDisplayID_ && std::any_of(displays_.begin(), displays_.end(), [&](const auto& d) {
                            return d.id == *selectedDisplayID_;
                        });
    if (!listed) {
        setSelectedDisplayID(displays_.empty() ? std::nullopt : std::optional(displays_.front().id));
    }
    emit changed();
}

void RecorderModel::applyDeviceSelection(const std::vector<DeviceOption>& available, const char* preferredKey,
                                         std::optional<std::string>& selection) {
    auto has = [&](const std::string& id) {
        return std::any_of(available.begin(), available.end(), [&](const DeviceOption& o) { return o.id == id; });
    };
    const std::optional<std::string> stored = storedString(settings_, preferredKey);
    std::optional<std::string> target;
    if (stored && has(*stored)) {
        target = stored;
    } else if (selection && has(*selection)) {
        return;
    } else if (available.empty()) {
        if (!selection) return;
    } else {
        target = available.front().id;
    }
    if (target == selection) return;
    suppressDevicePersist_ = true;
    if (&selection == &selectedMicrophoneID_) {
        setSelectedMicrophoneID(target);
    } else {
        setSelectedWebcamID(target);
    }
    suppressDevicePersist_ = false;
}

void RecorderModel::refreshMicrophones() {
    microphones_.clear();
    defaultMicrophoneID_.reset();
    if (backends_.microphones) {
        if (auto list = backends_.microphones()) {
            for (const auto& d : list->devices) microphones_.push_back({d.id, d.description});
            defaultMicrophoneID_ = list->defaultId;
        }
    }
    applyDeviceSelection(microphones_, kSelectedMicrophoneID, selectedMicrophoneID_);
    emit changed();
}

void RecorderModel::refreshWebcams() {
    webcams_.clear();
    if (backends_.cameras) {
        for (const auto& c : backends_.cameras->devices()) webcams_.push_back({c.id, c.name});
    }
    applyDeviceSelection(webcams_, kSelectedWebcamID, selectedWebcamID_);
    emit changed();
}

void RecorderModel::startRecording(Countdown countdown) {
    if (state_ != State::idle || isStarting_ || isSelectingRegion_) return;
    const DisplayOption* display = chosenDisplay();
    if (display == nullptr) return;
    isStarting_ = true;
    if (captureMode_ == CaptureMode::region && !selectedRegion_) {
        isStarting_ = false;
        setError("Select an area before you start recording.");
        return;
    }
    setError(std::nullopt);

    // Linux grants every program the microphone and the camera.
    microphoneID_.reset();
    if (recordMicrophone_) {
        const bool listed = selectedMicrophoneID_ && std::any_of(microphones_.begin(), microphones_.end(), [&](auto& m) {
                                return m.id == *selectedMicrophoneID_;
                            });
        microphoneID_ = listed ? selectedMicrophoneID_ : defaultMicrophoneID_;
        if (!microphoneID_) {
            isStarting_ = false;
            setError("No microphone was found. Plug one in, or turn microphone recording off.");
            return;
        }
    }

    const DisplayInfo& d = display->display;
    scaleFactor_ = d.bounds.width / std::max(d.bounds.width / d.scale, 1.0);
    if (captureMode_ == CaptureMode::region) {
        auto resolved = resolveRegion(*selectedRegion_, d.bounds.width / d.scale, d.bounds.height / d.scale, d.scale);
        if (!resolved) {
            setState(State::idle);
            isStarting_ = false;
            setError("That area is invalid. Select a new one.");
            return;
        }
        captureArea_ = {d.bounds.x + static_cast<int>(std::lround(resolved->source.x * d.scale)),
                        d.bounds.y + static_cast<int>(std::lround(resolved->source.y * d.scale)),
                        static_cast<int>(resolved->pixelWidth), static_cast<int>(resolved->pixelHeight)};
        trackerGeometry_ = {static_cast<double>(d.bounds.x), static_cast<double>(d.bounds.y), resolved->source.x,
                            resolved->source.y, scaleFactor_};
    } else {
        // The encoder's 4:2:0 needs even sides; an odd display loses one column or row.
        captureArea_ = {d.bounds.x, d.bounds.y, d.bounds.width & ~1, d.bounds.height & ~1};
        trackerGeometry_ = {static_cast<double>(d.bounds.x), static_cast<double>(d.bounds.y), 0, 0, scaleFactor_};
    }

    sessionFolder_ = newTakeFolder();
    const fs::path movie = *sessionFolder_ / "raw.mov";
    ++take_;
    takeFailure_.reset();
    auto journal = TakeJournal::create(*sessionFolder_, {captureArea_.width, captureArea_.height, scaleFactor_}, movie);
    if (!journal) {
        setState(State::idle);
        setError("Could not start recording: " + journal.error().message);
        startCleanup();
        return;
    }
    journal_ = std::move(*journal);
    StreamWriter::Callbacks callbacks;
    TakeJournal* journalPtr = journal_.get();  // outlives the writer's capture-side calls
    callbacks.onFirstFrame = [journalPtr](double t) { journalPtr->firstFrame(t); };
    callbacks.onFailure = [this, take = take_](const Error& e) {
        QMetaObject::invokeMethod(
            this, [this, take, e] { if (take == take_) takeFailed(e); }, Qt::QueuedConnection);
    };
    auto writer = StreamWriter::create(movie, captureArea_.width, captureArea_.height, recordSystemAudio_,
                                       microphoneID_ ? std::optional(1) : std::nullopt, std::move(callbacks));
    if (!writer) {
        setState(State::idle);
        setError("Could not start recording: " + writer.error().message);
        startCleanup();
        return;
    }
    streamWriter_ = std::move(*writer);

    if (recordWebcam_) {
        // Seam: the webcam recorder writes "webcam.mov" from its own threads.
        if (!backends_.cameras) {
            setError("The webcam could not start (No camera was found.). Recording continues without it.");
        } else {
            webcamRecorder_ = std::make_unique<WebcamRecorder>(*sessionFolder_ / "webcam.mov", backends_.cameras);
            if (auto ok = webcamRecorder_->start(selectedWebcamID_); !ok) {
                webcamRecorder_.reset();
                setError("The webcam could not start (" + ok.error().message + "). Recording continues without it.");
            }
        }
    }

    if (countdown == Countdown::off) {
        countdownStep(0);
    } else {
        countdownStep(3);
    }
}

fs::path RecorderModel::newTakeFolder() const {
    // Named after the start time; a second take within the same second gets
    // " 2", " 3", ... rather than writing into the first one's folder.
    const auto now = std::chrono::system_clock::now();
    fs::path folder = libraryFolder_ / import::sessionFolderName(now);
    std::error_code ec;
    for (int n = 2; fs::exists(folder, ec) && n < 1000; ++n) {
        folder = libraryFolder_ / (import::sessionFolderName(now) + " " + std::to_string(n));
    }
    fs::create_directories(folder, ec);
    return folder;
}

void RecorderModel::countdownStep(int left) {
    if (left > 0) {
        countdown_ = left;
        setState(State::countdown);
        QTimer::singleShot(kCountdownStepMs, Qt::PreciseTimer, this, [this, left] { countdownStep(left - 1); });
        return;
    }
    countdown_ = 0;
    recordingStart_ = std::chrono::system_clock::now();
    setState(State::recording);
    QTimer::singleShot(kStreamStartDelayMs, Qt::PreciseTimer, this, [this] { beginCapture(); });
}

void RecorderModel::beginCapture() {
    if (state_ != State::recording || !streamWriter_) return;
    auto fail = [this](const Error& e) {
        setState(State::idle);
        setError("Could not start recording: " + e.message);
        startCleanup();
    };
    auto grabber = backends_.screen->open(captureArea_);
    if (!grabber) return fail(grabber.error());
    auto pointer = backends_.screen->openPointer();
    if (!pointer) return fail(pointer.error());

    StreamWriter* writer = streamWriter_.get();
    const std::uint64_t take = take_;
    auto post = [this, take](std::function<void()> f) {
        QMetaObject::invokeMethod(
            this, [this, take, f = std::move(f)] { if (take == take_) f(); }, Qt::QueuedConnection);
    };
    if (recordSystemAudio_ && backends_.systemAudio) {
        auto source = backends_.systemAudio();
        auto ok = source->start([writer](const AudioChunk& c) { writer->appendSystemAudio(c); },
                                [this, post](const Error& e) {
                                    post([this, e] {
                                        setError("System audio stopped (" + e.message +
                                                 "). Recording continues without it.");
                                    });
                                });
        if (!ok) return fail(ok.error());
        audio_.push_back(std::move(source));
    }
    if (microphoneID_ && backends_.microphone) {
        auto source = backends_.microphone(*microphoneID_);
        auto ok = source->start([writer](const AudioChunk& c) { writer->appendMicrophone(c); },
                                [this, post](const Error& e) {
                                    post([this, e] {
                                        setError("The microphone stopped (" + e.message +
                                                 "). Recording continues without it.");
                                    });
                                });
        // An optional source: the take goes on without it, and says so.
        if (ok) {
            audio_.push_back(std::move(source));
        } else {
            setError("The microphone could not start (" + ok.error().message + "). Recording continues without it.");
        }
    }

    capture_ = std::make_unique<ScreenCapture>(std::move(*grabber), kFramesPerSecond);
    capture_->start([writer](const BgraView& frame, double t) { writer->appendVideo(frame, t); },
                    [this, post](const Error& e) { post([this, e] { takeFailed(e); }); });
    TakeJournal* journal = journal_.get();
    tracker_ = std::make_unique<InputTracker>(std::move(*pointer), trackerGeometry_,
                                              [journal](const model::MouseSample* s, const model::ClickEvent* c) {
                                                  if (s != nullptr) journal->sample(*s);
                                                  if (c != nullptr) journal->click(*c);
                                              });
    tracker_->start();
    isStarting_ = false;
    emit changed();
}

void RecorderModel::startCleanup() {
    if (capture_) capture_->stop();
    capture_.reset();
    for (auto& source : audio_) source->stop();
    audio_.clear();
    tracker_.reset();
    if (streamWriter_) streamWriter_->cancel();
    streamWriter_.reset();
    if (journal_) journal_->remove();
    journal_.reset();
    if (webcamRecorder_) webcamRecorder_->finish();
    webcamRecorder_.reset();
    deleteFolder();
    captureArea_ = {};
    isStarting_ = false;
    emit changed();
}

void RecorderModel::deleteFolder() {
    if (sessionFolder_ && sessionFolder_->has_relative_path()) {
        std::error_code ec;
        fs::remove_all(*sessionFolder_, ec);
    }
    sessionFolder_.reset();
}

void RecorderModel::takeFailed(const Error& error) {
    if (state_ != State::recording) return;
    takeFailure_ = error;
    stopRecording();
}

void RecorderModel::stopRecording() {
    if (state_ != State::recording || !streamWriter_ || !sessionFolder_) return;
    setState(State::saving);
    if (capture_) capture_->stop();
    for (auto& source : audio_) source->stop();
    lastTake_ = {};
    if (capture_) lastTake_.capture = capture_->stats();
    // The writer drains its queue and closes the file off the main thread;
    // the destructor waits for it, so `this` outlives the queued call.
    std::shared_ptr<StreamWriter> writer(std::move(streamWriter_));
    finisher_ = std::thread([this, writer] {
        StreamWriter::Outcome outcome = writer->finish();
        StreamWriter::Stats stats = writer->stats();
        QMetaObject::invokeMethod(
            this,
            [this, outcome, stats] {
                if (finisher_.joinable()) finisher_.join();
                lastTake_.writer = stats;
                saved(outcome);
            },
            Qt::QueuedConnection);
    });
}

void RecorderModel::saved(StreamWriter::Outcome outcome) {
    capture_.reset();
    audio_.clear();
    lastTake_.firstPTS = outcome.firstPTS;
    lastTake_.firstHostTime = outcome.firstHostTime;

    std::optional<double> webcamOffset;
    if (webcamRecorder_) {
        WebcamRecorder::Outcome cam = webcamRecorder_->finish();
        webcamRecorder_.reset();
        if (cam.error) {
            setError("The webcam could not be saved (" + cam.error->message + "). The screen recording was kept.");
        } else if (cam.firstHostTime && outcome.firstHostTime) {
            webcamOffset = *cam.firstHostTime - *outcome.firstHostTime;
        } else if (cam.firstPTS && outcome.firstPTS) {
            webcamOffset = *cam.firstPTS - *outcome.firstPTS;
        }
    }

    const fs::path folder = *sessionFolder_;
    if (!outcome.firstPTS || !outcome.lastPTS) {
        tracker_.reset();
        if (journal_) journal_->remove();
        journal_.reset();
        setState(State::idle);
        // The writer's descriptions are sentences of their own: one full stop, not two.
        std::string why = outcome.error ? outcome.error->message : std::string("no frames were saved");
        if (!why.empty() && why.back() == '.') why.pop_back();
        setError("Recording failed: " + why + ".");
        deleteFolder();
        return;
    }

    const std::optional<Error> failure = outcome.error ? outcome.error : takeFailure_;
    lastTake_.failure = failure;
    model::SessionEvents events;
    if (failure) {
        // Writing stopped mid-take (a full disk, a lost display): what reached
        // the file is kept, measured as a crashed take would be.
        tracker_.reset();
        journal_.reset();  // flushed; the file stays for recoverTake
        auto recovered = recoverTake(folder);
        sessionFolder_.reset();
        setState(State::idle);
        if (!recovered) {
            setError("Recording stopped: " + sentence(failure->message) + " The take's folder was kept: " + folder.string());
            return;
        }
        setError("Recording stopped: " + sentence(failure->message) + " What was recorded until then was kept.");
        events = *recovered;
    } else {
        events.pixelWidth = captureArea_.width;
        events.pixelHeight = captureArea_.height;
        events.scaleFactor = scaleFactor_;
        events.duration = *outcome.lastPTS - *outcome.firstPTS;
        if (tracker_) {
            TrackedInput input = tracker_->stop(*outcome.firstPTS);
            events.samples = std::move(input.samples);
            events.clicks = std::move(input.clicks);
        }
        tracker_.reset();
        if (webcamOffset) {
            events.webcamOffset = webcamOffset;
            events.webcamFile = "webcam.mov";
        }
        if (auto ok = model::writeSessionEvents(folder, events); !ok) {
            // The journal stays, so the next listing makes the recording.
            journal_.reset();
            sessionFolder_.reset();
            setState(State::idle);
            setError("Could not save recording data: " + ok.error().message);
            return;
        }
        if (journal_) journal_->remove();
        journal_.reset();
        sessionFolder_.reset();
    }
    auto item = model::itemFor(folder);
    if (!item) {
        setState(State::idle);
        setError("Could not save recording data: " + item.error().message);
        return;
    }
    setState(State::idle);
    if (onRecordingSaved) onRecordingSaved(*item);
}

}  // namespace vorpix::capture
