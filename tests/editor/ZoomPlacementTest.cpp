#include <gtest/gtest.h>

#include <sstream>

#include "editor/ZoomPlacement.h"

namespace vorpix::editor::zoom_overlay {
namespace {

// Records what the overlay asks of the editor.
class FakeEditor : public PlacementTarget {
public:
    bool placing = false;
    std::optional<model::ZoomSegment> selected;
    double duration = 10;
    int added = 0, persisted = 0, rebuilt = 0;
    bool manual = false;

    bool isPlacingZoom() const override { return placing; }
    std::optional<model::ZoomSegment> selectedSegment() const override { return selected; }
    double recordingDuration() const override { return duration; }
    void addZoom(double x, double y) override {
        ++added;
        model::ZoomSegment z;
        z.start = 2;
        z.end = 4;
        z.centerX = x;
        z.centerY = y;
        z.factor = 1.9;
        selected = z;
        placing = true;
    }
    void setSelectedZoomCenter(double x, double y, bool) override {
        if (!selected) return;
        selected->centerX = std::clamp(x, 0.0, 1.0);
        selected->centerY = std::clamp(y, 0.0, 1.0);
        selected->followCursor = false;
    }
    void replaceSelectedSegment(const model::ZoomSegment& s) override { selected = s; }
    void setUsesManualZoom(bool m) override { manual = m; }
    void persist() override { ++persisted; }
    void rebuild() override { ++rebuilt; }
};

// A 1600 x 900 canvas shown at half size in an 800 x 500 view (letterboxed
// by 25 points top and bottom), screen inset by 100 canvas pixels.
const Geometry kGeometry = geometry({800, 500}, {1600, 900}, {100, 100, 1400, 700});

Point viewPointFor(double nx, double ny) {
    return {kGeometry.canvasInView.x + (100 + nx * 1400) / 2,
            kGeometry.canvasInView.y + (100 + ny * 700) / 2};
}

TEST(ZoomGeometry, ViewCanvasAndScreenAgree) {
    EXPECT_EQ(kGeometry.canvasInView, (Rect{0, 25, 800, 450}));
    for (double n : {0.0, 0.25, 0.5, 1.0}) {
        const auto p = normalized(kGeometry, viewPointFor(n, 1 - n));
        ASSERT_TRUE(p);
        EXPECT_NEAR(p->x, n, 1e-12);
        EXPECT_NEAR(p->y, 1 - n, 1e-12);
    }
    EXPECT_FALSE(normalized(kGeometry, {10, 30})) << "padding";
    EXPECT_FALSE(normalized(kGeometry, {400, 10})) << "letterbox";
    EXPECT_FALSE(geometry({800, 500}, {1600, 900}, {0, 0, 1, 700}).usable) << "a screen a point wide";
    EXPECT_FALSE(geometry({800, 500}, {0, 900}, {0, 0, 100, 100}).usable);
}

TEST(ZoomGeometry, FrameInViewCoversTheZoomedArea) {
    model::ZoomSegment z;
    z.centerX = 0.5;
    z.centerY = 0.5;
    z.factor = 2.0;
    const Rect f = frameInView(kGeometry, z);
    const Point topLeft = viewPointFor(0.25, 0.25);
    EXPECT_NEAR(f.x, topLeft.x, 1e-9);
    EXPECT_NEAR(f.y, topLeft.y, 1e-9);
    EXPECT_NEAR(f.width, 1400 * 0.5 / 2, 1e-9);
    EXPECT_NEAR(f.height, 700 * 0.5 / 2, 1e-9);
    z.factor = 0.5;  // below the minimum: shown as a 1/1.05 frame
    EXPECT_NEAR(frameInView(kGeometry, z).width, 1400 / 1.05 / 2, 1e-9);
}

TEST(PlacementDrag, ClickWithoutSelectionPlacesAndSaves) {
    FakeEditor editor;
    PlacementDrag drag;
    drag.handle(editor, kGeometry, viewPointFor(0.3, 0.6), false);
    EXPECT_EQ(editor.added, 1);
    ASSERT_TRUE(editor.selected);
    drag.handle(editor, kGeometry, viewPointFor(0.35, 0.65), true);
    EXPECT_NEAR(editor.selected->centerX, 0.35, 1e-9) << "the new zoom follows the pointer";
    EXPECT_EQ(editor.added, 1);
    EXPECT_TRUE(editor.manual);
    EXPECT_EQ(editor.persisted, 1);
    EXPECT_EQ(editor.rebuilt, 1);
    EXPECT_FALSE(drag.active());
}

TEST(PlacementDrag, MovingKeepsTheGrabOffset) {
    FakeEditor editor;
    editor.addZoom(0.5, 0.5);
    editor.added = 0;
    PlacementDrag drag;
    drag.handle(editor, kGeometry, viewPointFor(0.45, 0.5), false);  // inside the frame, off centre
    drag.handle(editor, kGeometry, viewPointFor(0.55, 0.6), false);
    EXPECT_NEAR(editor.selected->centerX, 0.6, 1e-9);
    EXPECT_NEAR(editor.selected->centerY, 0.6, 1e-9);
    EXPECT_FALSE(editor.selected->followCursor);
    EXPECT_EQ(editor.added, 0);
}

TEST(PlacementDrag, CornerSetsTheFactorAndKeepsTheZoomInsideTheRecording) {
    FakeEditor editor;
    editor.addZoom(0.5, 0.5);
    editor.selected->factor = 2.0;
    editor.selected->start = 9.95;
    editor.selected->end = 9.9;
    const Rect f = frameInView(kGeometry, *editor.selected);
    PlacementDrag drag;
    drag.handle(editor, kGeometry, {f.maxX() - 2, f.maxY() - 2}, false);
    drag.handle(editor, kGeometry, viewPointFor(0.75, 0.6), false);
    EXPECT_NEAR(editor.selected->factor, 2.0, 1e-9);
    EXPECT_EQ(editor.selected->start, 9.95);
    EXPECT_EQ(editor.selected->end, 10.0) << "at least 0.2 s long, but never past the end";
    EXPECT_NEAR(editor.selected->centerX, 0.5, 1e-12) << "a corner drag keeps the centre";
}

TEST(PlacementDrag, ClickOutsideTheFrameRetargets) {
    FakeEditor editor;
    editor.addZoom(0.2, 0.2);
    editor.selected->factor = 3;
    PlacementDrag drag;
    drag.handle(editor, kGeometry, viewPointFor(0.9, 0.9), true);
    EXPECT_NEAR(editor.selected->centerX, 0.9, 1e-9);
    EXPECT_NEAR(editor.selected->centerY, 0.9, 1e-9);
    EXPECT_EQ(editor.added, 1);
}

TEST(PlacementDrag, StartingOnThePaddingChangesNothingButStillSaves) {
    FakeEditor editor;
    PlacementDrag drag;
    drag.handle(editor, kGeometry, {5, 30}, false);
    drag.handle(editor, kGeometry, viewPointFor(0.5, 0.5), false);  // a later event is no first event
    EXPECT_EQ(editor.added, 1) << "the first event over the screen starts the drag";
    FakeEditor other;
    PlacementDrag offOnly;
    offOnly.handle(other, kGeometry, {5, 30}, true);
    EXPECT_EQ(other.added, 0);
    EXPECT_EQ(other.persisted, 1);
    EXPECT_TRUE(other.manual);
}

TEST(ZoomOverlayChecks, AllBuiltInCasesPass) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runChecks(out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "zoom-overlay OK\n");
}

}  // namespace
}  // namespace vorpix::editor::zoom_overlay
