#include "render/FrameRenderer.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstring>
#include <numbers>

#include "render/Resample.h"
#include "render/RowWorkers.h"

namespace vorpix::render {

using detail::AxisFilter;
using detail::EdgeMode;
using detail::mul255;
using raster::IntRect;

namespace {

constexpr double kLayoutWidth = 1600.0;  // lengths in the style are for a canvas this wide
constexpr double kMaxPadding = 0.25;
constexpr double kMinScreenScale = 0.08;
constexpr double kMinShadowOpacity = 0.01;
constexpr double kMinZoom = 1.001;

constexpr double kRippleLife = 0.55;  // seconds
constexpr double kRippleMinDiameter = 22.0;
constexpr double kRippleGrowth = 88.0;
constexpr double kRippleAlpha = 0.8;
constexpr double kPressLife = 0.18;  // seconds
constexpr double kPressDepth = 0.15;
constexpr double kIdleWindow = 1.35;         // seconds
constexpr double kIdleDistanceSq = 64.0;     // (8 source pixels)²
constexpr double kCursorPointDensity = 2.0;  // sprites are drawn as if at two pixels per point

constexpr double kPipMinSize = 0.1;
constexpr double kPipMaxSize = 0.3;
constexpr double kPipMargin = 0.035;
constexpr double kPipRectRadius = 0.22;
constexpr double kPipBorderWidth = 3.0;
constexpr double kPipBorderMinWidth = 2.0;
constexpr double kPipBorderAlpha = 0.9;
constexpr double kPipShadowBlur = 26.0;
constexpr double kPipShadowAlpha = 0.45;

bool insideSource(double x, double y, Size pixels) {
    return x >= 0 && x <= pixels.width && y >= 0 && y <= pixels.height;
}

std::uint8_t toByte(double unit) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(unit, 0.0, 1.0) * 255.0));
}

Rect transformed(const Rect& r, const CameraTransform& c) {
    return {r.x * c.scale + c.tx, r.y * c.scale + c.ty, r.width * c.scale, r.height * c.scale};
}

// Any style renders: a corner radius that is not a number takes its default,
// the shadow's opacity is held to 0 ... 1 (none when not a number), and the
// shadow's blur, whose set-up cost grows with the cube of its length, to the
// range project.json holds it to. The renderer's own limits (padding, PiP
// size) apply later; other values cost nothing beyond the frame's pixels.
model::StyleSettings heldStyle(model::StyleSettings s) {
    const model::StyleSettings defaults;
    if (std::isnan(s.cornerRadius)) s.cornerRadius = defaults.cornerRadius;
    s.shadowOpacity = std::isnan(s.shadowOpacity) ? 0.0 : std::clamp(s.shadowOpacity, 0.0, 1.0);
    s.shadowRadius = model::clampedStyle(s).shadowRadius;
    return s;
}

template <class T>
void ensureSize(std::vector<T>& v, std::size_t n) {
    if (v.size() < n) v.resize(n);
}

}  // namespace

struct FrameRenderer::FramePlan {
    struct SpriteJob {
        const raster::Sprite* sprite = nullptr;
        AxisFilter cols;
        AxisFilter rows;
        int alpha = 256;  // of 256
        int source0 = 0;  // sprite columns the row filter must produce
        int source1 = 0;
    };

    FrameLayout layout;
    bool zoomed = false;

    ImageView source;
    bool screenOn = false;
    bool swapSource = false;
    Rect screenOut;  // the screen rectangle in output pixels
    double screenRadius = 0.0;
    AxisFilter screenCols;
    AxisFilter screenRows;

    AxisFilter backCols;  // the backdrop through the camera, when zoomed
    AxisFilter backRows;

    std::vector<SpriteJob> sprites;  // only the first spriteCount are this frame's
    std::size_t spriteCount = 0;

    ImageView webcam;
    bool pipOn = false;
    bool swapWebcam = false;
    AxisFilter webcamCols;
    AxisFilter webcamRows;
    int webcam0 = 0;  // webcam columns the row filter must produce
    int webcam1 = 0;
};

struct FrameRenderer::RowScratch {
    std::vector<std::uint16_t> ring;  // horizontally filtered screen rows, ringRows × ringStride
    std::vector<int> ringTag;         // source row held by each ring slot, -1 when none
    std::size_t ringStride = 0;
    int ringRows = 0;
    std::vector<std::uint16_t> wide;
    std::vector<std::uint8_t> temp;
    std::vector<std::uint8_t> pair;  // two RGBA rows on their way to YUV
    std::vector<const std::uint16_t*> rows16;
    std::vector<const std::uint8_t*> rows8;

    void prepare(const FramePlan& plan, int outputWidth) {
        ringRows = plan.screenOn ? plan.screenRows.taps : 1;
        ringStride = static_cast<std::size_t>(plan.screenOn ? plan.screenCols.count() : 1) * 4;
        ensureSize(ring, ringStride * static_cast<std::size_t>(ringRows));
        ringTag.assign(static_cast<std::size_t>(ringRows), -1);  // never grows past its first size
        int widest = outputWidth + 4;
        if (plan.pipOn) widest = std::max(widest, plan.webcam1 - plan.webcam0);
        for (std::size_t i = 0; i < plan.spriteCount; ++i)
            widest = std::max(widest, plan.sprites[i].source1 - plan.sprites[i].source0);
        ensureSize(wide, static_cast<std::size_t>(widest) * 4);
        ensureSize(temp, static_cast<std::size_t>(outputWidth + 4) * 4);
        ensureSize(pair, static_cast<std::size_t>(outputWidth) * 8);
        int taps = std::max({plan.screenOn ? plan.screenRows.taps : 1, plan.zoomed ? plan.backRows.taps : 1,
                             plan.pipOn ? plan.webcamRows.taps : 1});
        for (std::size_t i = 0; i < plan.spriteCount; ++i) taps = std::max(taps, plan.sprites[i].rows.taps);
        ensureSize(rows16, static_cast<std::size_t>(taps));
        ensureSize(rows8, static_cast<std::size_t>(taps));
    }
};

FrameRenderer::FramePlan& FrameRenderer::planForThisThread() {
    thread_local FramePlan plan;
    return plan;
}

FrameRenderer::RowScratch& FrameRenderer::scratchForThisThread() {
    thread_local RowScratch scratch;
    return scratch;
}

Size FrameRenderer::canvasSize(Size pixelSize, model::OutputAspect aspect) {
    double num = 1;
    double den = 1;
    switch (aspect) {
        case model::OutputAspect::source:
            return pixelSize;
        case model::OutputAspect::landscape:
            num = 16, den = 9;
            break;
        case model::OutputAspect::portrait:
            num = 9, den = 16;
            break;
        case model::OutputAspect::square:
            break;
    }
    const double w = pixelSize.width;
    const double h = pixelSize.height;
    if (!(w > 0) || !(h > 0)) return pixelSize;
    // w ÷ h > num ÷ den, and the products below, without rounding the ratio first.
    if (w * den > h * num) return {w, w * den / num};
    return {h * num / den, h};
}

FrameRenderer::FrameRenderer(Size pixelSize, const model::StyleSettings& style,
                             const std::vector<model::ZoomSegment>& segments,
                             std::vector<model::MouseSample> samples, std::vector<model::ClickEvent> clicks,
                             bool hasWebcam, std::optional<Size> canvas)
    : pixelSize_(pixelSize),
      style_(heldStyle(style)),
      cursorPath_(std::move(samples)),
      camera_(segments, pixelSize, cursorPath_),
      clicks_(std::move(clicks)) {
    // The clicks in time order, so that a frame finds its few live ones by
    // binary search however many there are. A click at no finite time never shows.
    for (std::size_t i = 0; i < clicks_.size(); ++i)
        if (std::isfinite(clicks_[i].t)) clicksByTime_.push_back(static_cast<std::uint32_t>(i));
    std::stable_sort(clicksByTime_.begin(), clicksByTime_.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return clicks_[a].t < clicks_[b].t; });
    const bool drawable = canvas && canvas->width >= 1 && canvas->height >= 1 && std::isfinite(canvas->width) &&
                          std::isfinite(canvas->height);
    canvas_ = drawable ? *canvas : canvasSize(pixelSize, style_.outputAspect);
    const double W = canvas_.width;
    const double H = canvas_.height;
    outputWidth_ = static_cast<int>(W);
    outputHeight_ = static_cast<int>(H);
    const double shortSide = std::min(W, H);

    double pad = style_.padding > 0 ? style_.padding : 0.0;
    pad = std::min(pad, kMaxPadding);
    const double inset = 2.0 * shortSide * pad;
    screenScale_ =
        std::max(std::min((W - inset) / pixelSize.width, (H - inset) / pixelSize.height), kMinScreenScale);
    const double sw = pixelSize.width * screenScale_;
    const double sh = pixelSize.height * screenScale_;
    screenRect_ = {(W - sw) * 0.5, (H - sh) * 0.5, sw, sh};
    unit_ = W / kLayoutWidth;
    cornerRadius_ = std::max(unit_ * style_.cornerRadius, 0.0);

    backdrop_.resize(outputWidth_, outputHeight_);
    hasShadow_ = style_.shadowOpacity > kMinShadowOpacity;
    std::optional<raster::BlurredRoundedRect> shadow;
    if (hasShadow_) {
        const double blurLength = std::max(unit_ * style_.shadowRadius, 0.0);
        const Rect shape{screenRect_.x, screenRect_.y + 0.25 * blurLength, sw,
                         sh};  // a quarter of the blur lower
        shadow.emplace(raster::IntRect{0, 0, outputWidth_, outputHeight_}, shape, cornerRadius_,
                       0.5 * blurLength);
    }
    raster::fillBackdrop(backdrop_, W, H, style_.background, shadow ? &*shadow : nullptr, style_.shadowOpacity);

    if (style_.showCursor) {
        cursor_ = raster::makeArrowCursor();
        cursorHotspot_ = cursor_->hotspot;
        cursorPixelScale_ = kCursorPointDensity / cursor_->pixelsPerPoint;
    }
    if (style_.clickRipples) ripple_ = raster::makeRipple();
    buildPip(hasWebcam);
}

void FrameRenderer::buildPip(bool hasWebcam) {
    if (!hasWebcam || !style_.webcamEnabled) return;
    const double W = canvas_.width;
    const double H = canvas_.height;
    double frac = style_.webcamSize;
    frac = frac >= kPipMaxSize ? kPipMaxSize : (frac > kPipMinSize ? frac : kPipMinSize);
    const double pipW = W * frac;
    const double pipH = style_.webcamCircular ? pipW : pipW * 9.0 / 16.0;
    const double margin = std::min(W, H) * kPipMargin;
    const double left = margin;
    const double right = W - margin - pipW;
    const double top = margin;
    const double bottom = H - margin - pipH;
    Rect rect{right, bottom, pipW, pipH};
    switch (style_.webcamCorner) {
        case model::WebcamCorner::topLeft:
            rect = {left, top, pipW, pipH};
            break;
        case model::WebcamCorner::topRight:
            rect = {right, top, pipW, pipH};
            break;
        case model::WebcamCorner::bottomLeft:
            rect = {left, bottom, pipW, pipH};
            break;
        case model::WebcamCorner::bottomRight:
            break;
    }
    const double radius = style_.webcamCircular ? pipH * 0.5 : std::min(pipW, pipH) * kPipRectRadius;
    pipRect_ = rect;
    pipRadius_ = radius;

    const double lineWidth = std::max(unit_ * kPipBorderWidth, kPipBorderMinWidth);
    const Rect borderPath{rect.x + lineWidth * 0.5, rect.y + lineWidth * 0.5, rect.width - lineWidth,
                          rect.height - lineWidth};
    const double borderRadius = std::max(radius - lineWidth * 0.5, 1.0);
    const double blurLength = unit_ * kPipShadowBlur;
    const double sigma = 0.5 * blurLength;
    const Rect shadowShape{rect.x, rect.y + 0.25 * blurLength, pipW, pipH};

    const IntRect canvas{0, 0, outputWidth_, outputHeight_};
    const double reachPx = std::ceil(3.0 * sigma) + 1.0;
    const Rect shadowReach{shadowShape.x - reachPx, shadowShape.y - reachPx, pipW + 2 * reachPx,
                           pipH + 2 * reachPx};
    const Rect both{std::min(rect.x, shadowReach.x), std::min(rect.y, shadowReach.y),
                    std::max(rect.maxX(), shadowReach.maxX()) - std::min(rect.x, shadowReach.x),
                    std::max(rect.maxY(), shadowReach.maxY()) - std::min(rect.y, shadowReach.y)};
    pip_.region = raster::pixelBounds(both, canvas);
    const IntRect& region = pip_.region;
    const auto n = static_cast<std::size_t>(std::max(region.width, 0)) *
                   static_cast<std::size_t>(std::max(region.height, 0));
    const std::vector<float> shadow = raster::blurredRoundedRect(region, shadowShape, radius, sigma);
    pip_.keep.resize(n);
    pip_.border.resize(n * 4);
    pip_.webcam.resize(n);
    for (int y = 0; y < region.height; ++y) {
        for (int x = 0; x < region.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(region.width) +
                                  static_cast<std::size_t>(x);
            const double cx = region.x + x + 0.5;
            const double cy = region.y + y + 0.5;
            const double mask = raster::fillCoverage(raster::roundedRectDistance(cx, cy, rect, radius));
            const double stroke =
                std::clamp(lineWidth * 0.5 -
                               std::abs(raster::roundedRectDistance(cx, cy, borderPath, borderRadius)) + 0.5,
                           0.0, 1.0);
            const double borderAlpha = kPipBorderAlpha * stroke;
            pip_.keep[i] = toByte(1.0 - kPipShadowAlpha * shadow[i]);
            std::fill_n(pip_.border.begin() + static_cast<std::ptrdiff_t>(i * 4), 4, toByte(borderAlpha));
            pip_.webcam[i] = toByte(mask * (1.0 - borderAlpha));
        }
    }
}

FrameLayout FrameRenderer::layout(double t) const {
    FrameLayout result;
    layoutInto(t, result);
    return result;
}

CameraTransform FrameRenderer::cameraTransform(const camera::CameraState& state, Size canvas, const Rect& R) {
    const double z = state.scale;
    if (!(z > kMinZoom)) return {};
    const double W = canvas.width;
    const double H = canvas.height;
    double px = R.x + state.center.x * R.width;
    double py = R.y + state.center.y * R.height;
    const double hx = W / (2.0 * z);
    const double hy = H / (2.0 * z);
    px = std::min(std::max(px, hx), W - hx);
    py = std::min(std::max(py, hy), H - hy);
    return {z, W * 0.5 - px * z, H * 0.5 - py * z};
}

void FrameRenderer::layoutInto(double t, FrameLayout& layout) const {
    const double s = screenScale_;
    const Rect& R = screenRect_;

    layout.camera = cameraTransform(camera_.state(t), canvas_, R);

    // The clicks at most one ripple's life old, the only ones a frame shows,
    // in list order (the drawing order). Per-thread storage that only grows.
    thread_local std::vector<std::uint32_t> live;
    live.clear();
    if (!std::isnan(t)) {
        const auto first = std::lower_bound(clicksByTime_.begin(), clicksByTime_.end(), t - kRippleLife,
                                            [this](std::uint32_t i, double time) { return clicks_[i].t < time; });
        const auto last = std::upper_bound(first, clicksByTime_.end(), t,
                                           [this](double time, std::uint32_t i) { return time < clicks_[i].t; });
        live.assign(first, last);
        std::sort(live.begin(), live.end());
    }

    layout.ripples.clear();
    if (ripple_) {
        for (const std::uint32_t i : live) {
            const model::ClickEvent& click = clicks_[i];
            const double age = t - click.t;
            if (!(age >= 0 && age < kRippleLife) || !insideSource(click.x, click.y, pixelSize_)) continue;
            const double p = age / kRippleLife;
            const double e = 1.0 - std::min(p, 1.0);
            const double d = unit_ * ((1.0 - e * e) * kRippleGrowth + kRippleMinDiameter);
            const double cx = s * click.x + R.x;
            const double cy = R.y + s * click.y;
            layout.ripples.push_back({{cx - d * 0.5, cy - d * 0.5, d, d}, (1.0 - p) * kRippleAlpha});
        }
    }

    layout.cursor.reset();
    if (!cursor_) return;
    const std::optional<Point> pos = cursorPath_.smoothedPosition(t, style_.cursorSmoothing);
    if (!pos || !insideSource(pos->x, pos->y, pixelSize_)) return;
    if (style_.hideIdleCursor) {
        const std::optional<Point> now = cursorPath_.rawPosition(t);
        const std::optional<Point> before = cursorPath_.rawPosition(std::max(t - kIdleWindow, 0.0));
        if (now && before) {
            const double dx = now->x - before->x;
            const double dy = now->y - before->y;
            if (dx * dx + dy * dy < kIdleDistanceSq) return;
        }
    }
    const double px = s * pos->x + R.x;
    const double py = R.y + s * pos->y;
    double k = 1.0;
    for (const std::uint32_t i : live) {
        const model::ClickEvent& click = clicks_[i];
        const double age = t - click.t;
        if (age >= 0 && age < kPressLife && insideSource(click.x, click.y, pixelSize_))
            k = 1.0 + kPressDepth * std::sin((age / -kPressLife) * std::numbers::pi);
    }
    const double g = unit_ * k * s * style_.cursorScale * cursorPixelScale_;
    const double w = cursor_->image.width();
    const double h = cursor_->image.height();
    layout.cursor =
        CursorPlacement{{px - cursorHotspot_.x * g, py - cursorHotspot_.y * g, w * g, h * g}, {px, py}, g};
}

void FrameRenderer::planFrame(FramePlan& plan, const ImageView& source, const ImageView* webcam,
                              double t) const {
    layoutInto(t, plan.layout);
    const CameraTransform cam = plan.layout.camera;
    plan.zoomed = !(cam == CameraTransform{});
    const IntRect canvas{0, 0, outputWidth_, outputHeight_};

    plan.source = source;
    plan.swapSource = source.format == PixelFormat::bgra8;
    plan.screenOn = !source.empty();
    if (plan.screenOn) {
        const Rect out = transformed(screenRect_, cam);
        plan.screenOut = out;
        plan.screenRadius = std::min(cornerRadius_ * cam.scale, std::min(out.width, out.height) * 0.5);
        const IntRect px = raster::pixelBounds(out, canvas);
        plan.screenOn = !px.empty();
        plan.screenCols.build(px.x, px.x + px.width, out.width / source.width, out.x, false, source.width,
                              EdgeMode::clamp);
        plan.screenRows.build(px.y, px.y + px.height, out.height / source.height, out.y, false, source.height,
                              EdgeMode::clamp);
    } else {
        plan.screenCols.build(0, 0, 1, 0, false, 1, EdgeMode::clamp);
        plan.screenRows.build(0, 0, 1, 0, false, 1, EdgeMode::clamp);
    }
    if (plan.zoomed) {
        plan.backCols.build(0, outputWidth_, cam.scale, cam.tx, false, backdrop_.width(), EdgeMode::clamp);
        plan.backRows.build(0, outputHeight_, cam.scale, cam.ty, false, backdrop_.height(), EdgeMode::clamp);
    }

    plan.spriteCount = 0;
    const auto addSprite = [&](const raster::Sprite& sprite, const Rect& rect, double alpha) {
        const Rect out = transformed(rect, cam);
        const int sw = sprite.image.width();
        const int sh = sprite.image.height();
        if (!(out.width > 0) || !(out.height > 0) || !std::isfinite(out.x + out.y + out.width + out.height))
            return;
        const double sx = out.width / sw;
        const double sy = out.height / sh;
        const detail::Span cols = detail::reach(sx, out.x, sw, 0, outputWidth_);
        const detail::Span rows = detail::reach(sy, out.y, sh, 0, outputHeight_);
        if (cols.begin >= cols.end || rows.begin >= rows.end) return;
        if (plan.sprites.size() <= plan.spriteCount) plan.sprites.emplace_back();
        FramePlan::SpriteJob& job = plan.sprites[plan.spriteCount++];
        job.sprite = &sprite;
        job.cols.build(cols.begin, cols.end, sx, out.x, false, sw, EdgeMode::transparent);
        job.rows.build(rows.begin, rows.end, sy, out.y, false, sh, EdgeMode::transparent);
        job.alpha = static_cast<int>(std::lround(std::clamp(alpha, 0.0, 1.0) * 256.0));
        job.source0 = job.cols.first.front();
        job.source1 = job.cols.first.back() + job.cols.taps;
    };
    for (const RipplePlacement& r : plan.layout.ripples) addSprite(*ripple_, r.rect, r.alpha);
    if (plan.layout.cursor) addSprite(*cursor_, plan.layout.cursor->rect, 1.0);

    plan.webcam = webcam ? *webcam : ImageView{};
    plan.swapWebcam = plan.webcam.format == PixelFormat::bgra8;
    plan.pipOn = pipRect_ && !plan.webcam.empty() && plan.webcam.width > 1 && plan.webcam.height > 1 &&
                 !pip_.region.empty();
    plan.webcam0 = plan.webcam1 = 0;
    if (plan.pipOn) {
        const Rect& pip = *pipRect_;
        const double ew = plan.webcam.width;
        const double eh = plan.webcam.height;
        const double f = std::max(pip.width / ew, pip.height / eh);  // aspect fill
        const IntRect px = raster::pixelBounds(pip, canvas);
        plan.webcamCols.build(px.x, px.x + px.width, f, pip.midX() - ew * f * 0.5, true, plan.webcam.width,
                              EdgeMode::clamp);
        plan.webcamRows.build(px.y, px.y + px.height, f, pip.midY() - eh * f * 0.5, false, plan.webcam.height,
                              EdgeMode::clamp);
        plan.pipOn = px.width > 0 && px.height > 0;
        if (plan.pipOn) {
            const auto [lo, hi] =
                std::minmax_element(plan.webcamCols.first.begin(), plan.webcamCols.first.end());
            plan.webcam0 = *lo;
            plan.webcam1 = *hi + plan.webcamCols.taps;
        }
    }
}

void FrameRenderer::render(const ImageView& source, const ImageView* webcam, double t, Image& out,
                           RowWorkers* workers) const {
    out.resize(outputWidth_, outputHeight_, PixelFormat::rgba8);
    render(source, webcam, t, out.mutableView(), workers);
}

struct FrameRenderer::FrameTarget {
    MutableImageView rgba;  // used when yuv.y is null
    Yuv420Planes yuv;
};

void FrameRenderer::render(const ImageView& source, const ImageView* webcam, double t,
                           const MutableImageView& out, RowWorkers* workers) const {
    assert(out.width == outputWidth_ && out.height == outputHeight_ && out.format == PixelFormat::rgba8);
    if (out.empty()) return;
    renderTarget(source, webcam, t, FrameTarget{out, {}}, workers);
}

void FrameRenderer::renderYuv420(const ImageView& source, const ImageView* webcam, double t,
                                 const Yuv420Planes& out, RowWorkers* workers) const {
    assert(out.y != nullptr && out.u != nullptr && out.v != nullptr);
    if (outputWidth_ <= 0 || outputHeight_ <= 0) return;
    renderTarget(source, webcam, t, FrameTarget{{}, out}, workers);
}

void FrameRenderer::renderTarget(const ImageView& source, const ImageView* webcam, double t,
                                 const FrameTarget& target, RowWorkers* workers) const {
    FramePlan& plan = planForThisThread();
    planFrame(plan, source, webcam, t);
    if (!workers || workers->threadCount() == 1) {
        RowScratch& scratch = scratchForThisThread();
        scratch.prepare(plan, outputWidth_);
        renderRows(plan, target, 0, outputHeight_, scratch);
        return;
    }
    // Rows go out in chunks in order, to whichever thread asks next (workers
    // that wake late may get none): a thread's chunks increase, so its ring of
    // filtered source rows stays useful from one chunk to its next. Chunks hold
    // an even number of rows for the 4:2:0 chroma.
    int chunkRows = std::max(16, outputHeight_ / (workers->threadCount() * 8));
    chunkRows += chunkRows & 1;
    const int chunks = (outputHeight_ + chunkRows - 1) / chunkRows;
    std::atomic<int> next{0};
    workers->run([&](int) {
        RowScratch& scratch = scratchForThisThread();
        scratch.prepare(plan, outputWidth_);
        for (int c = next.fetch_add(1, std::memory_order_relaxed); c < chunks;
             c = next.fetch_add(1, std::memory_order_relaxed)) {
            const int y0 = c * chunkRows;
            renderRows(plan, target, y0, std::min(y0 + chunkRows, outputHeight_), scratch);
        }
    });
}

void FrameRenderer::renderRow(const FramePlan& plan, int y, std::uint8_t* row, RowScratch& scratch) const {
    screenRow(plan, y, row, scratch);
    for (std::size_t i = 0; i < plan.spriteCount; ++i) spriteRow(plan, i, y, row, scratch);
    if (plan.pipOn) pipRow(plan, y, row, scratch);
}

void FrameRenderer::renderRows(const FramePlan& plan, const FrameTarget& target, int y0, int y1,
                               RowScratch& scratch) const {
    if (target.yuv.y == nullptr) {
        for (int y = y0; y < y1; ++y) renderRow(plan, y, target.rgba.row(y), scratch);
        return;
    }
    // Two RGBA rows at a time, converted while they are still in cache.
    const Yuv420Planes& yuv = target.yuv;
    std::uint8_t* top = scratch.pair.data();
    std::uint8_t* bottom = top + static_cast<std::ptrdiff_t>(outputWidth_) * 4;
    for (int y = y0; y < y1; y += 2) {
        renderRow(plan, y, top, scratch);
        const bool single = y + 1 >= outputHeight_;
        if (!single) renderRow(plan, y + 1, bottom, scratch);
        const int cy = y / 2;
        detail::bestKernels().rgbaToYuv420(top, single ? top : bottom, outputWidth_, yuv.y + y * yuv.yStride,
                                           single ? nullptr : yuv.y + (y + 1) * yuv.yStride,
                                           yuv.u + cy * yuv.uStride, yuv.v + cy * yuv.vStride);
    }
}

void FrameRenderer::backdropSpan(const FramePlan& plan, int y, int x0, int x1, std::uint8_t* dst,
                                 RowScratch& scratch) const {
    if (x1 <= x0) return;
    if (!plan.zoomed) {
        std::memcpy(dst, backdrop_.row(y) + static_cast<std::ptrdiff_t>(x0) * 4,
                    static_cast<std::size_t>(x1 - x0) * 4);
        return;
    }
    const detail::Kernels& k = detail::bestKernels();
    const AxisFilter& cols = plan.backCols;
    const AxisFilter& rows = plan.backRows;
    const int s0 = cols.firstAt(x0);
    const int s1 = cols.firstAt(x1 - 1) + cols.taps;
    const int r0 = rows.firstAt(y);
    for (int i = 0; i < rows.taps; ++i)
        scratch.rows8[static_cast<std::size_t>(i)] =
            backdrop_.row(r0 + i) + static_cast<std::ptrdiff_t>(s0) * 4;
    k.vertical8to16(scratch.rows8.data(), rows.weightsAt(y), rows.taps, (s1 - s0) * 4, scratch.wide.data());
    k.horizontal16to8(scratch.wide.data(), s0, &cols.first[static_cast<std::size_t>(x0 - cols.begin)],
                      cols.weightsAt(x0), cols.taps, x1 - x0, false, dst);
}

void FrameRenderer::screenRow(const FramePlan& plan, int y, std::uint8_t* row, RowScratch& scratch) const {
    const int width = outputWidth_;
    const AxisFilter& cols = plan.screenCols;
    const AxisFilter& rows = plan.screenRows;
    if (!plan.screenOn || y < rows.begin || y >= rows.end) {
        backdropSpan(plan, y, 0, width, row, scratch);
        return;
    }
    const int c0 = cols.begin;
    const int c1 = cols.end;
    backdropSpan(plan, y, 0, c0, row, scratch);
    backdropSpan(plan, y, c1, width, row + static_cast<std::ptrdiff_t>(c1) * 4, scratch);

    // The screen, resampled straight into the row.
    const detail::Kernels& k = detail::bestKernels();
    const int r0 = rows.firstAt(y);
    for (int i = 0; i < rows.taps; ++i) {
        const int r = r0 + i;
        const auto slot = static_cast<std::size_t>(r % scratch.ringRows);
        std::uint16_t* filtered = scratch.ring.data() + slot * scratch.ringStride;
        if (scratch.ringTag[slot] != r) {
            k.horizontal8to16(plan.source.row(r), 0, cols.first.data(), cols.weights.data(), cols.taps,
                              cols.count(), plan.swapSource, filtered);
            scratch.ringTag[slot] = r;
        }
        scratch.rows16[static_cast<std::size_t>(i)] = filtered;
    }
    std::uint8_t* screen = row + static_cast<std::ptrdiff_t>(c0) * 4;
    const bool opaque =
        k.vertical16to8(scratch.rows16.data(), rows.weightsAt(y), rows.taps, cols.count() * 4, screen);

    // Only pixels the rounded rectangle covers partly need the mask; the rest
    // of the run is screen over backdrop, which for an opaque screen is the
    // screen itself.
    const Rect& R = plan.screenOut;
    const double rr = plan.screenRadius;
    const double yc = y + 0.5;
    int mixedLeft = c1;
    int mixedRight = c1;
    if (yc - R.minY() >= 0.5 && R.maxY() - yc >= 0.5) {
        const bool cornerBand = yc - R.minY() < rr + 0.5 || R.maxY() - yc < rr + 0.5;
        const double ext = cornerBand ? rr : 0.0;
        mixedLeft = std::clamp(static_cast<int>(std::ceil(R.minX() + ext)), c0, c1);
        mixedRight = std::clamp(static_cast<int>(std::floor(R.maxX() - ext)), mixedLeft, c1);
    }
    std::uint8_t* under = scratch.temp.data();
    const auto mixed = [&](int a, int b) {
        if (a >= b) return;
        backdropSpan(plan, y, a, b, under, scratch);
        for (int x = a; x < b; ++x) {
            const int m = toByte(raster::fillCoverage(raster::roundedRectDistance(x + 0.5, yc, R, rr)));
            std::uint8_t* d = row + static_cast<std::ptrdiff_t>(x) * 4;
            const std::uint8_t* u = under + static_cast<std::ptrdiff_t>(x - a) * 4;
            int s[4];
            for (int c = 0; c < 4; ++c) s[c] = mul255(d[c], m);
            const int keep = 255 - s[3];
            for (int c = 0; c < 4; ++c) d[c] = static_cast<std::uint8_t>(s[c] + mul255(u[c], keep));
        }
    };
    mixed(c0, mixedLeft);
    mixed(mixedRight, c1);
    if (mixedRight > mixedLeft) {
        std::uint8_t* inner = row + static_cast<std::ptrdiff_t>(mixedLeft) * 4;
        if (!opaque) {
            backdropSpan(plan, y, mixedLeft, mixedRight, under, scratch);
            k.blendOverInto(inner, inner, under, mixedRight - mixedLeft);
        }
    }
}

void FrameRenderer::spriteRow(const FramePlan& plan, std::size_t index, int y, std::uint8_t* row,
                              RowScratch& scratch) const {
    const FramePlan::SpriteJob& job = plan.sprites[index];
    if (y < job.rows.begin || y >= job.rows.end) return;
    const detail::Kernels& k = detail::bestKernels();
    const Image& image = job.sprite->image;
    const int r0 = job.rows.firstAt(y);
    for (int i = 0; i < job.rows.taps; ++i)
        scratch.rows8[static_cast<std::size_t>(i)] =
            image.row(r0 + i) + static_cast<std::ptrdiff_t>(job.source0) * 4;
    k.vertical8to16(scratch.rows8.data(), job.rows.weightsAt(y), job.rows.taps,
                    (job.source1 - job.source0) * 4, scratch.wide.data());
    k.horizontal16to8(scratch.wide.data(), job.source0, job.cols.first.data(), job.cols.weights.data(),
                      job.cols.taps, job.cols.count(), false, scratch.temp.data());
    k.blendOver(row + static_cast<std::ptrdiff_t>(job.cols.begin) * 4, scratch.temp.data(), job.cols.count(),
                job.alpha);
}

void FrameRenderer::pipRow(const FramePlan& plan, int y, std::uint8_t* row, RowScratch& scratch) const {
    const IntRect& region = pip_.region;
    if (y < region.y || y >= region.y + region.height) return;
    const auto offset = static_cast<std::size_t>(y - region.y) * static_cast<std::size_t>(region.width);
    const std::uint8_t* keep = pip_.keep.data() + offset;
    const std::uint8_t* border = pip_.border.data() + offset * 4;
    const std::uint8_t* weight = pip_.webcam.data() + offset;
    std::uint8_t* dst = row + static_cast<std::ptrdiff_t>(region.x) * 4;

    const AxisFilter& cols = plan.webcamCols;
    const AxisFilter& rows = plan.webcamRows;
    const detail::Kernels& k = detail::bestKernels();
    if (y < rows.begin || y >= rows.end) {
        k.pipBlend(dst, nullptr, keep, border, weight, region.width);
        return;
    }
    // The webcam's columns are the PiP rectangle's, which lie inside the region.
    const int r0 = rows.firstAt(y);
    for (int i = 0; i < rows.taps; ++i)
        scratch.rows8[static_cast<std::size_t>(i)] =
            plan.webcam.row(r0 + i) + static_cast<std::ptrdiff_t>(plan.webcam0) * 4;
    k.vertical8to16(scratch.rows8.data(), rows.weightsAt(y), rows.taps, (plan.webcam1 - plan.webcam0) * 4,
                    scratch.wide.data());
    k.horizontal16to8(scratch.wide.data(), plan.webcam0, cols.first.data(), cols.weights.data(), cols.taps,
                      cols.count(), plan.swapWebcam, scratch.temp.data());
    const int before = cols.begin - region.x;
    const int after = region.x + region.width - cols.end;
    k.pipBlend(dst, nullptr, keep, border, weight, before);
    k.pipBlend(dst + static_cast<std::ptrdiff_t>(before) * 4, scratch.temp.data(), keep + before,
               border + static_cast<std::ptrdiff_t>(before) * 4, weight + before, cols.count());
    const int done = before + cols.count();
    k.pipBlend(dst + static_cast<std::ptrdiff_t>(done) * 4, nullptr, keep + done,
               border + static_cast<std::ptrdiff_t>(done) * 4, weight + done, after);
}

}  // namespace vorpix::render
