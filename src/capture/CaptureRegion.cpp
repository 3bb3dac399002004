#include "capture/CaptureRegion.h"

#include <algorithm>
#include <cmath>

namespace vorpix::capture {

std::optional<ResolvedRegion> resolveRegion(const PointRect& rect, double displayWidth, double displayHeight,
                                            double scale) {
    const double left = std::max(rect.x, 0.0);
    const double top = std::max(rect.y, 0.0);
    const double right = std::min(rect.x + rect.width, displayWidth);
    const double bottom = std::min(rect.y + rect.height, displayHeight);
    const double width = right - left;
    const double height = bottom - top;
    if (width <= 0 || height <= 0 || width < 10 || height < 10 || !(scale > 0)) return std::nullopt;
    const auto pixelWidth = static_cast<std::int64_t>(std::llround(scale * width)) & ~std::int64_t{1};
    const auto pixelHeight = static_cast<std::int64_t>(std::llround(scale * height)) & ~std::int64_t{1};
    if (pixelWidth < 2 || pixelHeight < 2) return std::nullopt;
    PointRect source{left, top, static_cast<double>(pixelWidth) / scale, static_cast<double>(pixelHeight) / scale};
    if (source.x + source.width > displayWidth) source.x = std::max(displayWidth - source.width, 0.0);
    if (source.y + source.height > displayHeight) source.y = std::max(displayHeight - source.height, 0.0);
    return ResolvedRegion{source, pixelWidth, pixelHeight};
}

}  // namespace vorpix::capture
