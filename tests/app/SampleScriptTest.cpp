#include <gtest/gtest.h>

#include <cmath>

#include "app/SampleScript.h"

namespace vorpix::app::sample {
namespace {

bool inside(const Rect& r, double x, double y) {
    return x >= r.x && x <= r.maxX() && y >= r.y && y <= r.maxY();
}

TEST(SampleScript, EveryClickLandsOnItsControlAndThePointerIsThere) {
    for (Size screen : {Size{1920, 1080}, Size{1280, 720}, Size{2880, 1800}}) {
        const Layout layout = Layout::forScreen(screen);
        const Script script = makeScript(layout, 30, 11);
        ASSERT_GE(script.clicks.size(), 8u) << "a 30 s sample has a story to tell";
        ASSERT_EQ(script.clicks.size(), script.actions.size());
        for (std::size_t i = 0; i < script.clicks.size(); ++i) {
            const auto& click = script.clicks[i];
            const Control& control = layout.controls[static_cast<std::size_t>(script.actions[i].control)];
            EXPECT_TRUE(inside(control.rect, click.x, click.y)) << control.label << " at " << click.t;
            EXPECT_LE(click.t, script.duration - 1.0) << "leave time for the zoom to show";
            // The pointer rests on the click point when it clicks (tremor only).
            const auto& sample = script.samples[static_cast<std::size_t>(std::lround(click.t * kSampleRate))];
            EXPECT_NEAR(sample.x, click.x, 3 * layout.unit);
            EXPECT_NEAR(sample.y, click.y, 3 * layout.unit);
        }
    }
}

TEST(SampleScript, SamplesAre120HzAndMoveSmoothly) {
    const Layout layout = Layout::forScreen({1920, 1080});
    const Script script = makeScript(layout, 12, 3);
    ASSERT_EQ(script.samples.size(), 12u * 120u + 1u);
    for (std::size_t i = 1; i < script.samples.size(); ++i) {
        const auto& a = script.samples[i - 1];
        const auto& b = script.samples[i];
        EXPECT_NEAR(b.t - a.t, 1.0 / 120.0, 1e-9);
        // No teleporting: at most ~40 px per 1/120 s on a 1080p screen.
        EXPECT_LT(std::hypot(b.x - a.x, b.y - a.y), 40.0) << "at " << b.t;
    }
}

TEST(SampleScript, SameSeedSameRecordingOtherSeedOtherPath) {
    const Layout layout = Layout::forScreen({1920, 1080});
    const Script a = makeScript(layout, 10, 42);
    const Script b = makeScript(layout, 10, 42);
    const Script c = makeScript(layout, 10, 43);
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_EQ(a.clicks, b.clicks);
    EXPECT_NE(a.samples, c.samples);
}

TEST(SampleScript, ShortRecordingsStillValid) {
    const Layout layout = Layout::forScreen({640, 360});
    const Script script = makeScript(layout, 2, 1);
    EXPECT_EQ(script.samples.size(), 241u);
    for (const auto& click : script.clicks) EXPECT_LE(click.t, 0.8);
}

TEST(SampleScene, ClicksChangeWhatTheWindowShows) {
    const Layout layout = Layout::forScreen({1920, 1080});
    const Script script = makeScript(layout, 20, 5);
    ASSERT_GE(script.actions.size(), 4u);
    // The plan: type a name, pick "Team", tick the box, save.
    const double typing = script.actions[0].clickTime;
    EXPECT_EQ(stateAt(script, layout, typing - 0.01).typedChars, 0);
    EXPECT_TRUE(stateAt(script, layout, typing + 0.01).fieldFocused);
    EXPECT_EQ(stateAt(script, layout, typing + 0.5).typedChars, 7);
    EXPECT_EQ(stateAt(script, layout, script.actions[1].clickTime + 0.01).segment, 1);
    EXPECT_FALSE(stateAt(script, layout, script.actions[1].clickTime + 0.01).fieldFocused);
    EXPECT_TRUE(stateAt(script, layout, script.actions[2].clickTime + 0.01).checked);
    const double save = script.actions[3].clickTime;
    EXPECT_FALSE(stateAt(script, layout, save - 0.01).saved);
    EXPECT_TRUE(stateAt(script, layout, save + 0.01).saved);
    EXPECT_TRUE(stateAt(script, layout, save + 2.4).toast);
    EXPECT_FALSE(stateAt(script, layout, save + 2.6).toast);
    EXPECT_EQ(stateAt(script, layout, save + 0.05).pressed, script.actions[3].control);
    EXPECT_EQ(stateAt(script, layout, save + 0.2).pressed, -1);
}

}  // namespace
}  // namespace vorpix::app::sample
