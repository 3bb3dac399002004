#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "editor/Playback.h"

namespace vorpix::editor {
namespace {

using playback::Key;
using playback::Modifiers;

TEST(PlayheadClock, PublishesOnlyRealMoves) {
    PlayheadClock clock;
    EXPECT_FALSE(clock.set(0.0008)) << "0.0008 from 0 is not a move";
    EXPECT_TRUE(clock.set(0.0009));
    EXPECT_FALSE(clock.set(0.0009 + 0.0007));
    EXPECT_TRUE(clock.set(5));
    EXPECT_TRUE(clock.set(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(clock.seconds(), 0);
    EXPECT_FALSE(clock.set(-3)) << "already 0";
}

TEST(PlaybackResume, PicksTheTimeAndWhetherToPlay) {
    const struct {
        double playhead, player, duration;
        bool wasPlaying;
        double time;
        bool play;
    } cases[] = {
        {0, 0, 10, true, 0, true},        {3, 0, 10, true, 3, true},         {3, 7, 10, true, 3, true},
        {0.04, 7, 10, true, 7, true},     {0.041, 7, 10, true, 0.041, true}, {-1, 0.01, 10, true, 0, true},
        {9.92, 0, 10, true, 9.92, false}, {9.919, 0, 10, true, 9.919, true}, {1, 0, 0.05, true, 1, false},
        {0, 0, 0.051, true, 0, false},    {5, 0, 10, false, 5, false},
    };
    for (const auto& c : cases) {
        const auto r = playback::resumeAfterRebuild(c.playhead, c.player, c.duration, c.wasPlaying);
        EXPECT_DOUBLE_EQ(r.time, c.time) << c.playhead << " " << c.player << " " << c.duration;
        EXPECT_EQ(r.play, c.play) << c.playhead << " " << c.player << " " << c.duration;
    }
}

TEST(PlaybackKeys, TextInputsKeepTheirKeys) {
    for (const char* type : {"QLineEdit", "QTextEdit", "QPlainTextEdit", "QSpinBox", "QDoubleSpinBox",
                             "QAbstractSpinBox", "QDateTimeEdit", "EditableComboBox"}) {
        EXPECT_FALSE(playback::shouldHandlePlaybackKeys(type)) << type;
        EXPECT_FALSE(playback::decideKey(Key::space, {}, type).playPause) << type;
        EXPECT_FALSE(playback::decideKey(Key::right, {}, type).consumed) << type;
    }
    for (const char* type : {"", "QWidget", "QPushButton", "QComboBox", "vorpix::editor::TimelineStrip"}) {
        EXPECT_TRUE(playback::shouldHandlePlaybackKeys(type)) << type;
    }
}

TEST(PlaybackKeys, ArrowsSkipAndSpaceToggles) {
    EXPECT_EQ(playback::decideKey(Key::right, {}, "").skipSeconds, 1);
    EXPECT_EQ(playback::decideKey(Key::left, {true, false}, "").skipSeconds, -5);
    EXPECT_TRUE(playback::decideKey(Key::left, {}, "").consumed);
    const auto withMenuModifier = playback::decideKey(Key::left, {true, true}, "");
    EXPECT_EQ(withMenuModifier.skipSeconds, 0);
    EXPECT_FALSE(withMenuModifier.consumed);
    EXPECT_FALSE(playback::decideKey(Key::space, {false, true}, "").playPause);
    const auto other = playback::decideKey(Key::other, {}, "");
    EXPECT_FALSE(other.consumed || other.playPause || other.skipSeconds != 0);
}

TEST(PlayPauseGuard, OnePressTogglesOnce) {
    PlayPauseGuard guard;
    EXPECT_TRUE(guard.accept(1.0));
    EXPECT_FALSE(guard.accept(1.0));
    EXPECT_FALSE(guard.accept(1.079));
    EXPECT_TRUE(guard.accept(1.08));
    EXPECT_FALSE(guard.accept(1.1)) << "measured from the last accepted press";
}

TEST(PlaybackChecks, AllBuiltInCasesPass) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(playback::runChecks(out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "playback OK\n");
}

}  // namespace
}  // namespace vorpix::editor
