#include "editor/ZoomPlacement.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace vorpix::editor::zoom_overlay {

namespace {
constexpr double kMinimumFrameFactor = 1.05;
constexpr double kMinCornerFactor = 1.15;
constexpr double kMaxCornerFactor = 5.5;
constexpr double kCornerNear = 0.08;    // normalized distance that gives the maximum
constexpr double kMinZoomLength = 0.2;  // seconds

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}
}  // namespace

Kind kind(Point p, const std::optional<Rect>& frame, bool placing) {
    if (!placing || !frame) return Kind::place;
    const Rect& f = *frame;
    for (Point corner : {Point{f.minX(), f.minY()}, Point{f.maxX(), f.minY()}, Point{f.minX(), f.maxY()},
                         Point{f.maxX(), f.maxY()}}) {
        if (distance(p, corner) < kCornerHitDistance) return Kind::corner;
    }
    if (p.x >= f.minX() - kFrameSlop && p.x <= f.maxX() + kFrameSlop && p.y >= f.minY() - kFrameSlop &&
        p.y <= f.maxY() + kFrameSlop) {
        return Kind::move;
    }
    return Kind::retarget;
}

Geometry geometry(Size view, Size canvas, Rect screenOnCanvas) {
    Geometry g;
    g.canvas = canvas;
    g.screen = screenOnCanvas;
    if (!(view.width > 0 && view.height > 0 && canvas.width > 0 && canvas.height > 0)) return g;
    const double s = std::min(view.width / canvas.width, view.height / canvas.height);
    g.canvasInView = {(view.width - canvas.width * s) / 2, (view.height - canvas.height * s) / 2,
                      canvas.width * s, canvas.height * s};
    g.usable = g.canvasInView.width > 1 && g.canvasInView.height > 1 && screenOnCanvas.width > 1 &&
               screenOnCanvas.height > 1;
    return g;
}

std::optional<Point> normalized(const Geometry& g, Point p) {
    if (!g.usable) return std::nullopt;
    const Rect& c = g.canvasInView;
    const double nx = (g.canvas.width * (p.x - c.minX()) / c.width - g.screen.minX()) / g.screen.width;
    const double ny = (g.canvas.height * (p.y - c.minY()) / c.height - g.screen.minY()) / g.screen.height;
    if (!(nx >= 0 && nx <= 1 && ny >= 0 && ny <= 1)) return std::nullopt;
    return Point{nx, ny};
}

Rect normalizedFrame(double centerX, double centerY, double factor) {
    const double w = factor >= kMinimumFrameFactor ? std::min(1.0 / factor, 1.0) : 1.0 / kMinimumFrameFactor;
    return {std::clamp(centerX - w / 2, 0.0, 1.0 - w), std::clamp(centerY - w / 2, 0.0, 1.0 - w), w, w};
}

Rect frameInView(const Geometry& g, const model::ZoomSegment& zoom) {
    const Rect n = normalizedFrame(zoom.centerX, zoom.centerY, zoom.factor);
    const Rect& c = g.canvasInView;
    const Rect& s = g.screen;
    return {c.minX() + c.width * (s.minX() + n.x * s.width) / g.canvas.width,
            c.minY() + c.height * (s.minY() + n.y * s.height) / g.canvas.height,
            c.width * n.width * s.width / g.canvas.width, c.height * n.height * s.height / g.canvas.height};
}

double cornerFactor(Point pointer, Point center) {
    const double d = std::max(std::fabs(pointer.x - center.x), std::fabs(pointer.y - center.y));
    const double factor =
        d <= kCornerNear ? kMaxCornerFactor : std::clamp(0.5 / d, kMinCornerFactor, kMaxCornerFactor);
    return std::clamp(factor, 1.05, 6.0);
}

Point padNormalized(Point location, const Rect& box) {
    auto axis = [](double v, double origin, double size) {
        const double n = size >= 1 ? (v - origin) / size : v - origin;
        return std::clamp(n, 0.0, 1.0);
    };
    return {axis(location.x, box.x, box.width), axis(location.y, box.y, box.height)};
}

void PlacementDrag::handle(PlacementTarget& target, const Geometry& g, Point viewPoint, bool ended) {
    if (const auto n = normalized(g, viewPoint)) {
        if (std::holds_alternative<std::monostate>(drag_)) {
            const auto selected = target.selectedSegment();
            std::optional<Rect> frame;
            if (target.isPlacingZoom() && selected) frame = frameInView(g, *selected);
            switch (kind(viewPoint, frame, target.isPlacingZoom())) {
                case Kind::place:
                    drag_ = Place{};
                    target.addZoom(n->x, n->y);
                    break;
                case Kind::move:
                    if (selected) drag_ = Move{*n, selected->centerX, selected->centerY};
                    break;
                case Kind::corner:
                    if (selected) drag_ = Corner{{selected->centerX, selected->centerY}};
                    break;
                case Kind::retarget:
                    target.setSelectedZoomCenter(n->x, n->y, false);
                    drag_ = Move{*n, n->x, n->y};
                    break;
            }
        }
        if (const auto* move = std::get_if<Move>(&drag_)) {
            target.setSelectedZoomCenter(move->origX + (n->x - move->start.x),
                                         move->origY + (n->y - move->start.y), false);
        } else if (std::holds_alternative<Place>(drag_)) {
            target.setSelectedZoomCenter(n->x, n->y, false);
        } else if (const auto* corner = std::get_if<Corner>(&drag_)) {
            if (auto segment = target.selectedSegment()) {
                const double duration = target.recordingDuration();
                segment->factor = cornerFactor(*n, corner->center);
                segment->start = std::clamp(segment->start, 0.0, std::max(duration, 0.0));
                segment->end = std::min(std::max(segment->end, segment->start + kMinZoomLength), duration);
                target.replaceSelectedSegment(*segment);
                target.setUsesManualZoom(true);
            }
        }
    }
    if (ended) {
        target.setUsesManualZoom(true);
        target.persist();
        target.rebuild();
        drag_ = std::monostate{};
    }
}

int runChecks(std::ostream& out, std::ostream& err) {
    int failures = 0;
    auto check = [&](bool ok, const char* name) {
        if (!ok) {
            ++failures;
            err << "  FAIL " << name << "\n";
        }
    };
    const Rect frame{100, 80, 200, 160};
    check(kind({200, 160}, frame, true) == Kind::move, "drag inside the frame moves it");
    check(kind({100, 80}, frame, true) == Kind::corner, "drag on a corner changes the amount");
    check(kind({12, 12}, frame, true) == Kind::retarget, "click elsewhere retargets");
    check(
        kind({200, 160}, std::nullopt, true) == Kind::place && kind({200, 160}, frame, false) == Kind::place,
        "without a selection a click places");
    check(kind({100 - 13, 80}, frame, true) == Kind::corner &&
              kind({100 - 14, 80}, frame, true) != Kind::corner,
          "corner hit distance");
    check(
        kind({200, 80 - 5}, frame, true) == Kind::move && kind({200, 80 - 7}, frame, true) == Kind::retarget,
        "frame slop");
    check(std::fabs(cornerFactor({0.75, 0.5}, {0.5, 0.5}) - 2.0) < 1e-9, "corner 0.25 away gives 2.0");
    check(cornerFactor({0.55, 0.5}, {0.5, 0.5}) == 5.5, "corner 0.05 away gives 5.5");
    check(std::fabs(cornerFactor({0.5, 1.1}, {0.5, 0.5}) - 1.15) < 1e-9, "corner 0.6 away gives 1.15");
    check(std::fabs(normalizedFrame(0.5, 0.5, 1.0).width - 1 / 1.05) < 1e-12, "factor 1 frame side");
    const Rect pushed = normalizedFrame(0.95, 0.5, 2.0);
    check(std::fabs(pushed.x - 0.5) < 1e-12 && std::fabs(pushed.maxX() - 1.0) < 1e-12,
          "frame kept on screen");
    const Point clamped = padNormalized({-20, 500}, {10, 10, 100, 50});
    check(clamped.x == 0 && clamped.y == 1, "pad clamps to its box");
    const Geometry g = geometry({800, 450}, {1600, 900}, {112, 63, 1376, 774});
    const auto centre = normalized(g, {400, 225});
    check(centre && std::fabs(centre->x - 0.5) < 1e-9 && std::fabs(centre->y - 0.5) < 1e-9,
          "view centre is screen centre");
    check(!normalized(g, {20, 20}), "padding is not the screen");
    check(!normalized(geometry({0, 450}, {1600, 900}, {112, 63, 1376, 774}), {0, 0}), "empty view ignored");

    if (failures == 0) {
        out << "zoom-overlay OK\n";
    } else {
        out << "zoom-overlay FAIL (" << failures << ")\n";
    }
    return failures;
}

}  // namespace vorpix::editor::zoom_overlay
