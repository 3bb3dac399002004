// The recorder model on a fake desktop, a generated microphone and a fake
// camera: device choices and what is remembered, the start guards and
// their messages, a whole take with a click and a webcam, and takes whose
// display goes away.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "capture/FakeCamera.h"
#include "capture/FakeScreen.h"
#include "capture/HostClock.h"
#include "capture/RecorderModel.h"
#include "capture/ToneAudioSource.h"
#include "model/SessionEvents.h"

namespace vorpix::capture {
namespace {

namespace fs = std::filesystem;
using State = RecorderModel::State;

class RecorderModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "capture_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
    }

    std::unique_ptr<RecorderModel> make(FakeScreenSettings screen = {}) {
        if (screen.displays.empty()) {
            screen.displays = {{7, "DP-1", {0, 0, 640, 480}, 1.0}, {9, "HDMI-1", {640, 0, 3840, 2160}, 2.0}};
        }
        screen_ = std::make_shared<FakeScreen>(screen);
        FakeCameraSettings camera;
        camera.width = 320;
        camera.height = 240;
        RecorderBackends b;
        b.screen = screen_;
        b.microphones = [this] { return Result<MicrophoneList>(MicrophoneList{mics_, std::nullopt}); };
        b.microphone = [](const std::string&) {
            return std::make_unique<ToneAudioSource>(ToneSettings{440, 0.5f, 1, 48000, 480, std::nullopt});
        };
        b.cameras = std::make_shared<FakeCameraBackend>(std::vector<CameraDevice>{{"/dev/video0", "Cam"}},
                                                        camera);
        auto m = std::make_unique<RecorderModel>(b, settings_, library());
        m->onRecordingSaved = [this, model = m.get()](const model::RecordingItem& item) {
            EXPECT_EQ(model->state(), State::idle);
            saved_.push_back(item);
        };
        return m;
    }
    fs::path library() const { return fs::path(dir_.path().toStdString()) / "Vorpix"; }
    static void pumpUntil(const std::function<bool()>& done, double seconds) {
        const double end = hostSeconds() + seconds;
        while (!done() && hostSeconds() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void take(RecorderModel& m, double seconds) {
        m.refreshDisplays();
        m.startRecording(RecorderModel::Countdown::off);
        pumpUntil([&] { return !m.isStarting(); }, 2);
        pumpUntil([&] { return m.state() != State::recording; }, seconds);
        m.stopRecording();
        pumpUntil([&] { return m.state() == State::idle; }, 10);
    }

    QTemporaryDir dir_;
    QSettings settings_{dir_.filePath("recorder.ini"), QSettings::IniFormat};
    std::shared_ptr<FakeScreen> screen_;
    std::vector<AudioDevice> mics_;
    std::vector<model::RecordingItem> saved_;
};

TEST_F(RecorderModelTest, DeviceChoicesAreRememberedOnlyWhenTheUserMakesThem) {
    settings_.setValue(RecorderModel::kSelectedMicrophoneID, "gone");
    auto m = make();
    EXPECT_FALSE(m->recordSystemAudio() || m->recordMicrophone() || m->recordWebcam());
    struct Step {
        std::vector<std::string> available;
        std::optional<std::string> userChoice;
        std::optional<std::string> selected;
        QString stored;
    };
    const Step steps[] = {
        {{"a", "b"}, std::nullopt, "a", "gone"},  // the stored one is missing: the first, not written
        {{"a", "b"}, "b", "b", "b"},              // the user's choice is written
        {{"c"}, std::nullopt, "c", "b"},          // unplugged: the first again, still not written
        {{"b", "c"}, std::nullopt, "b", "b"},     // back: the stored one wins
        {{}, std::nullopt, std::nullopt, "b"},    // none at all
    };
    for (const auto& s : steps) {
        mics_.clear();
        for (const auto& id : s.available) mics_.push_back({id, "Mic " + id});
        m->refreshMicrophones();
        if (s.userChoice) m->setSelectedMicrophoneID(s.userChoice);
        EXPECT_EQ(m->selectedMicrophoneID(), s.selected);
        EXPECT_EQ(settings_.value(RecorderModel::kSelectedMicrophoneID).toString(), s.stored);
    }
    m->refreshWebcams();
    EXPECT_EQ(m->selectedWebcamID(), "/dev/video0");
    EXPECT_FALSE(settings_.contains(RecorderModel::kSelectedWebcamID));
    m->setRecordSystemAudio(true);
    EXPECT_TRUE(make()->recordSystemAudio());
}

TEST_F(RecorderModelTest, RegionsAndTheStartGuards) {
    auto m = make();
    m->refreshDisplays();
    EXPECT_EQ(m->selectedDisplayID(), 7u);
    m->setCaptureMode(RecorderModel::CaptureMode::region);
    m->startRecording();
    EXPECT_EQ(m->errorMessage(), "Select an area before you start recording.");
    m->setSelectedRegion(PointRect{10, 10, 9, 200});
    m->startRecording();
    EXPECT_EQ(m->errorMessage(), "That area is invalid. Select a new one.");
    EXPECT_EQ(m->state(), State::idle);
    EXPECT_TRUE(m->selectedRegion().has_value());
    m->setSelectedDisplayID(9u);
    EXPECT_FALSE(m->selectedRegion().has_value());
    m->setSelectedRegion(PointRect{100, 50, 100.3, 50.2});
    m->setSelectedDisplayID(9u);
    EXPECT_EQ(m->selectedRegionLabel(), "200\u00d7100");
    EXPECT_FALSE(fs::exists(library()));

    m->setRecordMicrophone(true);  // no microphone at all
    m->startRecording();
    EXPECT_EQ(m->errorMessage(), "No microphone was found. Plug one in, or turn microphone recording off.");
}

TEST_F(RecorderModelTest, ATakeWithAClickAWebcamAndAMicrophone) {
    mics_ = {{"mic", "Mic"}};
    auto m = make();
    m->refreshDisplays();
    m->setCaptureMode(RecorderModel::CaptureMode::region);
    m->setSelectedRegion(PointRect{100, 50, 200, 100});
    m->setRecordWebcam(true);
    m->setRecordMicrophone(true);
    m->refreshMicrophones();
    m->refreshWebcams();
    m->startRecording();  // a second press while it counts down is ignored
    EXPECT_EQ(m->state(), State::countdown);
    EXPECT_EQ(m->countdownSeconds(), 3);
    m->startRecording();
    m->stopRecording();  // nor does a stop during the countdown do anything
    pumpUntil([&] { return m->state() == State::recording && !m->isStarting(); }, 5);
    pumpUntil([] { return false; }, 0.5);  // clicks count from the first frame on
    screen_->setPointer({150, 100, false, false, 1, 0});  // a press seen only as an event
    pumpUntil([] { return false; }, 0.5);
    m->stopRecording();
    pumpUntil([&] { return m->state() == State::idle; }, 10);
    ASSERT_EQ(saved_.size(), 1u) << m->errorMessage().value_or("");
    EXPECT_EQ(screen_->lastArea(), (PixelRect{100, 50, 200, 100}));
    auto events = model::readSessionEvents(saved_[0].folder);
    ASSERT_TRUE(events.ok());
    EXPECT_EQ(events->pixelWidth, 200);
    ASSERT_EQ(events->clicks.size(), 1u);
    EXPECT_EQ(events->clicks[0], (model::ClickEvent{events->clicks[0].t, 50, 50, 0}));
    EXPECT_EQ(events->webcamFile, "webcam.mov");
    ASSERT_TRUE(events->webcamOffset.has_value());
    // The camera starts before the countdown (3 s) and the 0.08 s pause.
    EXPECT_LT(*events->webcamOffset, -3.08);
    EXPECT_GT(*events->webcamOffset, -6.0);
    EXPECT_TRUE(fs::exists(saved_[0].folder / "webcam.mov"));
    EXPECT_FALSE(fs::exists(saved_[0].folder / "take.journal"));
}

TEST_F(RecorderModelTest, ADisplayThatGoesAwayEndsTheTake) {
    struct Case {
        int grabs;
        const char* message;
        bool kept;
    };
    const Case cases[] = {
        {0, "Recording failed: No frames were captured. Check that this desktop allows screen capture.", false},
        {15, "Recording stopped: The fake display went away. What was recorded until then was kept.", true},
    };
    for (const auto& c : cases) {
        saved_.clear();
        FakeScreenSettings screen;
        screen.grabsBeforeFailure = c.grabs;
        auto m = make(screen);
        take(*m, 5);
        EXPECT_EQ(m->errorMessage(), c.message);
        EXPECT_EQ(saved_.size(), c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_GT(model::readSessionEvents(saved_[0].folder)->duration, 0.1);
        }
        fs::remove_all(library());
    }
}

}  // namespace
}  // namespace vorpix::capture
