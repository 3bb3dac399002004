#pragma once

// Placing and aiming zooms directly on the preview: the geometry between the
// preview view, the output canvas and normalized screen coordinates, the
// rule that decides what a press on the overlay does, and the drag itself.
// Plain C++: the Qt overlay and the inspector's target pad call these, and
// the module checks run them headless. Main thread only.

#include <iosfwd>
#include <optional>
#include <variant>

#include "model/Geometry.h"
#include "model/Project.h"
#include "model/Style.h"

namespace vorpix::editor::zoom_overlay {

enum class Kind { place, move, corner, retarget };

inline constexpr double kCornerHitDistance = 14.0;  // points, strictly less
inline constexpr double kFrameSlop = 6.0;           // points around the frame
inline constexpr const char* kFrameHelp = "Drag to aim \u00B7 corners change amount";
inline constexpr const char* kPlaceHint = "Click the screen to place a zoom";

// What a press at `p` does, given the zoom frame (view points) if one is
// shown and whether a zoom is being placed.
Kind kind(Point p, const std::optional<Rect>& frame, bool placing);

// Where the canvas and the recorded screen sit in a preview view.
struct Geometry {
    Rect canvasInView;    // the canvas, aspect-fit and centred in the view
    Size canvas;          // canvas pixels
    Rect screen;          // the recorded screen on the canvas, canvas pixels
    bool usable = false;  // false for empty views, sizes or screens of a point or less
};

// `screenOnCanvas` is the frame renderer's screen rectangle for this canvas
// (the caller asks the renderer, so both agree to the last pixel).
Geometry geometry(Size view, Size canvas, Rect screenOnCanvas);

// The view point as normalized screen coordinates (0...1 from the screen's
// top-left); none when it is not over the recorded screen.
std::optional<Point> normalized(const Geometry& g, Point viewPoint);

// The normalized square the zoom fills the output with, kept on the screen.
Rect normalizedFrame(double centerX, double centerY, double factor);
// The same in view points.
Rect frameInView(const Geometry& g, const model::ZoomSegment& zoom);

// The factor a corner drag sets at normalized distance from the centre.
double cornerFactor(Point pointer, Point center);

// The inspector pad: a location in a box as 0...1 per axis, clamped.
Point padNormalized(Point location, const Rect& box);

// What the overlay changes. Implemented by the editor model.
class PlacementTarget {
public:
    virtual ~PlacementTarget() = default;
    virtual bool isPlacingZoom() const = 0;
    virtual std::optional<model::ZoomSegment> selectedSegment() const = 0;
    virtual double recordingDuration() const = 0;
    // Adds a zoom at the playhead and selects it.
    virtual void addZoom(double centerX, double centerY) = 0;
    virtual void setSelectedZoomCenter(double x, double y, bool persistNow) = 0;
    virtual void replaceSelectedSegment(const model::ZoomSegment& segment) = 0;
    virtual void setUsesManualZoom(bool manual) = 0;
    virtual void persist() = 0;
    virtual void rebuild() = 0;
};

// One drag on the overlay, from its first event to its end.
class PlacementDrag {
public:
    // Applies one drag event at `viewPoint` (view points); `ended` for the
    // last one. The geometry is recomputed by the caller for each event.
    void handle(PlacementTarget& target, const Geometry& g, Point viewPoint, bool ended);
    bool active() const { return !std::holds_alternative<std::monostate>(drag_); }

private:
    struct Move {
        Point start;
        double origX;
        double origY;
    };
    struct Corner {
        Point center;
    };
    struct Place {};
    std::variant<std::monostate, Move, Corner, Place> drag_;
};

// Built-in self-check: "  FAIL <case>" to `err`, then "zoom-overlay OK" or
// "zoom-overlay FAIL (<n>)" to `out`. Returns the failures.
int runChecks(std::ostream& out, std::ostream& err);

}  // namespace vorpix::editor::zoom_overlay
