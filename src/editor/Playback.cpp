#include "editor/Playback.h"

#include <cmath>
#include <ostream>

namespace vorpix::editor {

namespace {
constexpr double kPublishThreshold = 0.0008;   // seconds
constexpr double kDoublePressWindow = 0.08;    // seconds
constexpr double kResumeThreshold = 0.04;      // seconds
constexpr double kMinimumPlayableEdit = 0.05;  // seconds
constexpr double kEndGuard = 0.08;             // seconds
}  // namespace

bool PlayheadClock::set(double t) {
    const double v = (std::isfinite(t) && t >= 0) ? t : 0.0;
    if (std::fabs(seconds_ - v) <= kPublishThreshold) return false;
    seconds_ = v;
    return true;
}

bool PlayPauseGuard::accept(double uptimeSeconds) {
    if (last_ && uptimeSeconds - *last_ < kDoublePressWindow) return false;
    last_ = uptimeSeconds;
    return true;
}

namespace playback {

bool shouldHandlePlaybackKeys(std::string_view focusWidgetType) {
    for (std::string_view textInput :
         {"QLineEdit", "QTextEdit", "QPlainTextEdit", "SpinBox", "QDateTimeEdit", "EditableComboBox"}) {
        if (focusWidgetType.find(textInput) != std::string_view::npos) return false;
    }
    return true;
}

KeyDecision decideKey(Key key, Modifiers modifiers, std::string_view focusWidgetType) {
    if (!shouldHandlePlaybackKeys(focusWidgetType) || modifiers.control) return {};
    switch (key) {
        case Key::right:
            return {false, modifiers.shift ? 5.0 : 1.0, true};
        case Key::left:
            return {false, modifiers.shift ? -5.0 : -1.0, true};
        case Key::space:
            return {true, 0.0, false};
        case Key::other:
            return {};
    }
    return {};
}

Resume resumeAfterRebuild(double playhead, double playerTime, double editDuration, bool wasPlaying) {
    Resume r;
    if (playhead > kResumeThreshold) {
        r.time = playhead;
    } else if (playerTime > kResumeThreshold) {
        r.time = playerTime;
    } else {
        r.time = std::max(playhead, 0.0);
    }
    r.play = wasPlaying && editDuration > kMinimumPlayableEdit && r.time < editDuration - kEndGuard;
    return r;
}

int runChecks(std::ostream& out, std::ostream& err) {
    int failures = 0;
    auto check = [&](bool ok, const char* name) {
        if (!ok) {
            ++failures;
            err << "  FAIL " << name << "\n";
        }
    };

    {
        PlayheadClock clock;
        check(clock.set(2.0) && clock.seconds() == 2.0, "playhead publishes a move");
        check(clock.set(-0.5) && clock.seconds() == 0.0, "negative playhead becomes 0");
        clock.set(3.0);
        check(clock.set(std::nan("")) && clock.seconds() == 0.0, "non-finite playhead becomes 0");
        clock.set(1.0);
        check(!clock.set(1.0004) && clock.seconds() == 1.0, "tiny move is not published");
    }
    {
        const Resume zero = resumeAfterRebuild(0, 0, 10, true);
        check(zero.time == 0 && zero.play, "resume at 0 after rebuild");
        check(resumeAfterRebuild(3, 0, 10, true).time == 3, "playhead wins over a reset player");
        check(resumeAfterRebuild(3, 7, 10, true).time == 3, "playhead wins over a valid player time");
        check(resumeAfterRebuild(0.02, 7, 10, true).time == 7, "player time when playhead unset");
        check(resumeAfterRebuild(5, 0, 10, true).play, "resume in the middle plays on");
        check(!resumeAfterRebuild(9.95, 0, 10, true).play, "no resume near the end");
        check(!resumeAfterRebuild(0, 0, 0.04, true).play, "no resume in an empty edit");
    }
    {
        check(shouldHandlePlaybackKeys("QWidget") && shouldHandlePlaybackKeys(""),
              "keys handled outside text");
        check(!shouldHandlePlaybackKeys("QLineEdit") && !shouldHandlePlaybackKeys("QPlainTextEdit") &&
                  !shouldHandlePlaybackKeys("QDoubleSpinBox"),
              "keys ignored while typing");
        const KeyDecision shiftRight = decideKey(Key::right, {true, false}, "QWidget");
        check(shiftRight.skipSeconds == 5 && shiftRight.consumed, "shift+right skips 5 s");
        check(decideKey(Key::left, {}, "QWidget").skipSeconds == -1, "left skips back 1 s");
        check(!decideKey(Key::right, {false, true}, "QWidget").consumed, "menu modifier left to menus");
        const KeyDecision space = decideKey(Key::space, {}, "QWidget");
        check(space.playPause && !space.consumed, "space toggles and passes on");
        PlayPauseGuard guard;
        check(guard.accept(10.0) && !guard.accept(10.005) && guard.accept(10.09), "one toggle per press");
    }

    if (failures == 0) {
        out << "playback OK\n";
    } else {
        out << "playback FAIL (" << failures << ")\n";
    }
    return failures;
}

}  // namespace playback
}  // namespace vorpix::editor
