#include "app/SampleScript.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace vorpix::app::sample {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTypingRate = 14.0;  // characters per second
constexpr double kPressedFor = 0.12;  // seconds a clicked control looks pressed
constexpr double kSavedFor = 2.0;     // seconds the Save button confirms
constexpr double kToastFor = 2.5;     // seconds the notice stays
constexpr double kCaretPeriod = 1.0;  // seconds per caret blink cycle

Rect scaled(double unit, double x, double y, double w, double h) {
    return {x * unit, y * unit, w * unit, h * unit};
}

Point centre(const Rect& r) {
    return {r.midX(), r.midY()};
}

// Minimum-jerk easing: how people move a pointer between two targets.
double minimumJerk(double s) {
    return s * s * s * (10 - 15 * s + 6 * s * s);
}

struct Move {
    double t0, t1;  // seconds
    Point from, to;
    double bend;  // sideways bulge of the path, pixels
};

}  // namespace

Layout Layout::forScreen(Size screen) {
    Layout l;
    l.screen = screen;
    l.unit = std::min(screen.width / 1920.0, screen.height / 1080.0);
    const double u = l.unit;
    // Centre the 1920 x 1080 design on screens of another shape.
    const double ox = (screen.width - 1920 * u) / 2;
    const double oy = (screen.height - 1080 * u) / 2;
    auto at = [&](double x, double y, double w, double h) {
        Rect r = scaled(u, x, y, w, h);
        r.x += ox;
        r.y += oy;
        return r;
    };
    l.window = at(240, 100, 1440, 900);
    l.titleBar = at(240, 100, 1440, 52);
    l.sidebar = at(240, 152, 300, 848);
    const char* nav[] = {"General", "Sharing", "Notifications", "Advanced"};
    for (int i = 0; i < 4; ++i)
        l.controls.push_back({ControlKind::navItem, nav[i], at(256, 190 + i * 58, 268, 46), i});
    l.controls.push_back({ControlKind::textField, "Project name", at(600, 318, 640, 56), 0});
    const char* segments[] = {"Private", "Team", "Public"};
    for (int i = 0; i < 3; ++i) {
        l.controls.push_back({ControlKind::segment, segments[i], at(600 + i * 214, 470, 206, 56), i});
    }
    l.controls.push_back(
        {ControlKind::checkbox, "Email the team when it is published", at(600, 600, 36, 36), 0});
    l.controls.push_back({ControlKind::button, "Cancel", at(1180, 900, 170, 58), 0});
    l.controls.push_back({ControlKind::button, "Save changes", at(1370, 900, 270, 58), 1});
    return l;
}

const Control* Layout::find(ControlKind kind, int index) const {
    for (const Control& c : controls) {
        if (c.kind == kind && c.index == index) return &c;
    }
    return nullptr;
}

Script makeScript(const Layout& layout, double duration, std::uint64_t seed) {
    Script script;
    script.duration = std::max(duration, 1.0);
    std::mt19937_64 random(seed);
    auto uniform = [&random](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };

    auto indexOf = [&layout](ControlKind kind, int index) {
        for (std::size_t i = 0; i < layout.controls.size(); ++i) {
            if (layout.controls[i].kind == kind && layout.controls[i].index == index)
                return static_cast<int>(i);
        }
        return 0;
    };
    // A story that repeats for long recordings: fill in the form, save,
    // visit another page, change a setting, save again.
    const std::vector<int> plan{
        indexOf(ControlKind::textField, 0), indexOf(ControlKind::segment, 1),
        indexOf(ControlKind::checkbox, 0),  indexOf(ControlKind::button, 1),
        indexOf(ControlKind::navItem, 1),   indexOf(ControlKind::segment, 2),
        indexOf(ControlKind::button, 1),    indexOf(ControlKind::navItem, 0),
        indexOf(ControlKind::checkbox, 0),  indexOf(ControlKind::segment, 0),
    };

    std::vector<Move> moves;
    Point at{layout.window.midX() + 80 * layout.unit, layout.window.maxY() - 260 * layout.unit};
    double t = 0.6;
    const double lastClick = script.duration - 1.2;
    for (std::size_t step = 0;; ++step) {
        const int controlIndex = plan[step % plan.size()];
        const Control& control = layout.controls[static_cast<std::size_t>(controlIndex)];
        Point target = centre(control.rect);
        if (control.kind == ControlKind::checkbox) {
            target = centre(control.rect);
        } else {
            target.x += uniform(-0.18, 0.18) * control.rect.width;
            target.y += uniform(-0.15, 0.15) * control.rect.height;
        }
        const double distance = std::hypot(target.x - at.x, target.y - at.y) / layout.unit;
        const double moveTime = std::clamp(0.35 + distance / 1400.0, 0.4, 1.0) * uniform(0.9, 1.15);
        const double dwell = uniform(0.12, 0.3);
        const double click = t + moveTime + dwell;
        if (click > lastClick) break;
        moves.push_back({t, t + moveTime, at, target, uniform(-0.12, 0.12) * distance * layout.unit});
        script.actions.push_back({click, controlIndex});
        script.clicks.push_back({click, target.x, target.y, 0});
        at = target;
        double after = uniform(0.5, 1.4);
        if (control.kind == ControlKind::textField) after += std::strlen(kTypedText) / kTypingRate + 0.3;
        if (control.kind == ControlKind::button) after += 0.8;
        t = click + after;
    }
    // Drift away from the last control while the recording ends.
    const Point rest{at.x + 140 * layout.unit, at.y - 90 * layout.unit};
    if (t < script.duration)
        moves.push_back({t, std::min(t + 0.9, script.duration), at, rest, 20 * layout.unit});

    // Sample the path at 120 Hz with a little hand tremor.
    std::normal_distribution<double> tremor(0.0, 0.25 * layout.unit);
    const auto count = static_cast<std::size_t>(std::floor(script.duration * kSampleRate)) + 1;
    script.samples.reserve(count);
    std::size_t m = 0;
    Point held = moves.empty() ? at : moves.front().from;
    for (std::size_t i = 0; i < count; ++i) {
        const double ts = static_cast<double>(i) / kSampleRate;
        while (m < moves.size() && ts > moves[m].t1) held = moves[m++].to;
        Point p = held;
        if (m < moves.size() && ts >= moves[m].t0) {
            const Move& mv = moves[m];
            const double s = (ts - mv.t0) / std::max(mv.t1 - mv.t0, 1e-6);
            const double e = minimumJerk(std::clamp(s, 0.0, 1.0));
            const double dx = mv.to.x - mv.from.x;
            const double dy = mv.to.y - mv.from.y;
            const double length = std::max(std::hypot(dx, dy), 1e-6);
            const double bulge = mv.bend * std::sin(kPi * e);
            p = {mv.from.x + dx * e - dy / length * bulge, mv.from.y + dy * e + dx / length * bulge};
        }
        script.samples.push_back({ts, p.x + tremor(random), p.y + tremor(random)});
    }
    return script;
}

SceneState stateAt(const Script& script, const Layout& layout, double t) {
    SceneState s;
    double typingSince = -1;
    double savedAt = -1e9;
    for (const Action& action : script.actions) {
        if (action.clickTime > t) break;
        const Control& c = layout.controls[static_cast<std::size_t>(action.control)];
        s.fieldFocused = c.kind == ControlKind::textField;
        if (t - action.clickTime < kPressedFor) s.pressed = action.control;
        switch (c.kind) {
            case ControlKind::navItem:
                s.nav = c.index;
                break;
            case ControlKind::textField:
                if (typingSince < 0) typingSince = action.clickTime;
                break;
            case ControlKind::segment:
                s.segment = c.index;
                break;
            case ControlKind::checkbox:
                s.checked = !s.checked;
                break;
            case ControlKind::button:
                if (c.index == 1) savedAt = action.clickTime;
                break;
        }
    }
    const int textLength = static_cast<int>(std::strlen(kTypedText));
    if (typingSince >= 0) {
        s.typedChars = std::clamp(static_cast<int>((t - typingSince) * kTypingRate), 0, textLength);
    }
    s.caretVisible = s.fieldFocused && std::fmod(t, kCaretPeriod) < kCaretPeriod / 2;
    s.saved = t - savedAt < kSavedFor;
    s.toast = t - savedAt < kToastFor;
    const int minutes = 41 + static_cast<int>(t / 60);
    char clock[16];
    std::snprintf(clock, sizeof clock, "10:%02d", minutes % 60);
    s.clock = clock;
    return s;
}

}  // namespace vorpix::app::sample
