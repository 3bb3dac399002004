#pragma once

// Small geometry value types shared by every module. Units are given by the
// user of the type (pixels, points or frame fractions); y grows downward.

namespace vorpix {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
    bool isEmpty() const { return !(width > 0) || !(height > 0); }
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width * 0.5; }
    double midY() const { return y + height * 0.5; }
    Size size() const { return {width, height}; }
};

}  // namespace vorpix
