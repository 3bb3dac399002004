#pragma once

// A QCoreApplication for the whole test binary, an event loop that waits for
// a condition, and small recording folders made from one shared test movie
// (10 s, 320 x 200 at 10 fps, with a tone) with their own "events.json".

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "support/TempFolder.h"
#include "../media/TestMedia.h"
#include "editor/EditorModel.h"
#include "model/AtomicFile.h"
#include "model/Project.h"
#include "model/SessionEvents.h"

namespace vorpix::testing {

// Runs the main thread's events until `done` holds; false after 30 s.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the main thread's events for `ms` milliseconds.
inline void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

inline model::SessionEvents tenSeconds() {
    model::SessionEvents e;
    e.pixelWidth = 320;
    e.pixelHeight = 200;
    e.duration = 10;
    return e;
}

class EditorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // A recording folder with the shared movie, `events` and, when given,
    // `project`; then an editor model on it, loaded and ready.
    editor::EditorModel& open(const model::SessionEvents& events = tenSeconds(),
                              const std::optional<model::Project>& project = std::nullopt);
    // A model on `folder` without waiting.
    std::unique_ptr<editor::EditorModel> make(const std::filesystem::path& folder, double duration = 10);

    std::filesystem::path recording() const { return folder_.path() / "rec"; }
    std::string projectBytes() const;
    // "project.json" holds exactly the model's document.
    void expectSaved(const editor::EditorModel& m) const;

    TempFolder folder_;
    media::ActiveExports active_;
    editor::PreviewPlayer* player_ = nullptr;  // given to the models made from now on
    std::unique_ptr<editor::EditorModel> model_;

    static TempFolder* shared_;
};

}  // namespace vorpix::testing
