#pragma once

// Rules around the preview player: the published playhead, which keys the
// editor takes for playback, the double-press guard of play/pause, and where
// playback resumes after the preview is rebuilt. Main thread only.

#include <iosfwd>
#include <optional>
#include <string_view>

namespace vorpix::editor {

// The playhead in output seconds. Moves of 0.0008 s or less are not
// published, so views observing it redraw at most once per real move.
class PlayheadClock {
public:
    double seconds() const { return seconds_; }
    // Negative or non-finite times become 0. Returns true when `seconds`
    // changed (and observers should be told).
    bool set(double t);

private:
    double seconds_ = 0;
};

// Accepts a play/pause request unless one was accepted less than 0.08 s
// before: the space bar reaches both the key monitor and the view.
class PlayPauseGuard {
public:
    bool accept(double uptimeSeconds);

private:
    std::optional<double> last_;
};

namespace playback {

enum class Key { space, left, right, other };

struct Modifiers {
    bool shift = false;
    bool control = false;  // the menu-shortcut modifier on this platform
};

struct KeyDecision {
    bool playPause = false;
    double skipSeconds = 0;  // non-zero: seek by this much
    bool consumed = false;   // the event stops here
};

// False while a text input has focus. `focusWidgetType` is the class name
// of the focus widget ("QLineEdit", "QTextEdit", "QPlainTextEdit", a spin
// box, or "EditableComboBox" for a combo box the user can type into); an
// empty name (nothing focused) lets playback keys through.
bool shouldHandlePlaybackKeys(std::string_view focusWidgetType);

// What a key press does in the editor: arrows skip 1 s (5 s with Shift) and
// are consumed; space toggles playback and passes on; with the menu
// modifier, or while typing, nothing.
KeyDecision decideKey(Key key, Modifiers modifiers, std::string_view focusWidgetType);

struct Resume {
    double time = 0;    // output seconds
    bool play = false;  // whether playback continues
};

// Where to continue after the player item was replaced: the playhead when
// it is set (above 0.04 s), else the player's own time when that is, else
// the playhead clamped to 0. Plays on only in an edit longer than 0.05 s and
// more than 0.08 s before its end.
Resume resumeAfterRebuild(double playhead, double playerTime, double editDuration, bool wasPlaying);

// Built-in self-check: "  FAIL <case>" to `err` per failed case, then
// "playback OK" or "playback FAIL (<n>)" to `out`. Returns the failures.
int runChecks(std::ostream& out, std::ostream& err);

}  // namespace playback
}  // namespace vorpix::editor
