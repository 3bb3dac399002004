#pragma once

// The plot of the sample recording: a settings window with a form, and a
// pointer that moves between its controls like a person would, clicking
// them. Everything is a pure function of the seed, the size and the
// duration, so the same arguments always give the same recording.

#include <cstdint>
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "model/SessionEvents.h"

namespace vorpix::app::sample {

enum class ControlKind { navItem, textField, segment, checkbox, button };

struct Control {
    ControlKind kind;
    std::string label;
    Rect rect;      // screen pixels, origin top-left
    int index = 0;  // position within its group (nav items, segments)
};

// Where everything sits on a screen of the given size (designed for
// 1920 x 1080 and scaled uniformly to others).
struct Layout {
    Size screen;
    double unit = 1;  // screen pixels per design pixel
    Rect window;
    Rect titleBar;
    Rect sidebar;
    std::vector<Control> controls;

    static Layout forScreen(Size screen);
    const Control* find(ControlKind kind, int index = 0) const;
};

struct Action {
    double clickTime = 0;  // seconds
    int control = 0;       // index into Layout::controls
};

struct Script {
    double duration = 0;
    std::vector<Action> actions;
    std::vector<model::MouseSample> samples;  // 120 Hz from t = 0
    std::vector<model::ClickEvent> clicks;
};

inline constexpr double kSampleRate = 120.0;  // pointer samples per second
inline constexpr const char* kTypedText = "Quarterly product demo";

Script makeScript(const Layout& layout, double duration, std::uint64_t seed);

// What the window shows at time t: the consequences of every click so far.
struct SceneState {
    int nav = 0;
    bool fieldFocused = false;
    int typedChars = 0;
    bool caretVisible = false;
    int segment = 0;
    bool checked = false;
    bool saved = false;  // the Save button shows its confirmation
    bool toast = false;  // the "Changes saved" notice is up
    int pressed = -1;    // control drawn pressed (just clicked), or -1
    std::string clock;   // the top bar's clock text

    bool operator==(const SceneState&) const = default;
};

SceneState stateAt(const Script& script, const Layout& layout, double t);

}  // namespace vorpix::app::sample
