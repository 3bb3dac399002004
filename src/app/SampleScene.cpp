#include "app/SampleScene.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace vorpix::app::sample {

namespace {

const QColor kAccent(47, 111, 237);
const QColor kInk(32, 36, 44);
const QColor kMuted(110, 117, 130);
const QColor kLine(214, 218, 226);

QRectF q(const Rect& r) {
    return {r.x, r.y, r.width, r.height};
}

QFont font(double pixels, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void text(QPainter& p, const QRectF& box, const QString& s, const QFont& f, const QColor& c,
          int flags = Qt::AlignLeft | Qt::AlignVCenter) {
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(box, flags, s);
    p.restore();
}

const char* kHeadings[] = {"General", "Sharing", "Notifications", "Advanced"};
const char* kBlurbs[] = {
    "Name the project and choose who can see it. Changes apply to every recording in it.",
    "Decide who receives a link when a new video is published from this project.",
    "Pick the events that send you a message, and how often they are grouped.",
    "Storage, export defaults and other settings most people never need to change.",
};

}  // namespace

void paintScene(QImage& image, const Layout& l, const SceneState& s) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double u = l.unit;
    const double w = l.screen.width;
    const double h = l.screen.height;

    // Desktop.
    QLinearGradient desk(0, 0, w, h);
    desk.setColorAt(0, QColor(28, 44, 62));
    desk.setColorAt(1, QColor(58, 86, 104));
    p.fillRect(QRectF(0, 0, w, h), desk);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 14));
    p.drawEllipse(QPointF(w * 0.12, h * 0.85), 380 * u, 380 * u);
    p.drawEllipse(QPointF(w * 0.93, h * 0.2), 300 * u, 300 * u);

    // Top bar.
    const QRectF bar(0, 0, w, 34 * u);
    p.fillRect(bar, QColor(17, 19, 23));
    text(p, bar.adjusted(18 * u, 0, 0, 0), "Activities", font(15 * u, true), QColor(235, 237, 240));
    text(p, bar, QString::fromStdString(s.clock), font(15 * u, true), QColor(235, 237, 240), Qt::AlignCenter);
    text(p, bar.adjusted(0, 0, -18 * u, 0), "EN   \u25CF \u25CF \u25CF", font(13 * u), QColor(200, 203, 208),
         Qt::AlignRight | Qt::AlignVCenter);

    // Window with a soft shadow.
    p.setPen(Qt::NoPen);
    const QRectF win = q(l.window);
    for (int i = 6; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 10));
        p.drawRoundedRect(win.adjusted(-i * 3 * u, -i * 2 * u, i * 3 * u, i * 5 * u), 14 * u, 14 * u);
    }
    p.setBrush(QColor(248, 249, 251));
    p.drawRoundedRect(win, 12 * u, 12 * u);

    // Title bar.
    QPainterPath title;
    title.addRoundedRect(q(l.titleBar), 12 * u, 12 * u);
    title.addRect(q(l.titleBar).adjusted(0, 20 * u, 0, 0));
    p.setBrush(QColor(233, 235, 239));
    title.setFillRule(Qt::WindingFill);
    p.drawPath(title);
    text(p, q(l.titleBar), "Acme Notes \u2014 Project settings", font(17 * u, true), kInk, Qt::AlignCenter);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(i == 0 ? QColor(229, 92, 80) : QColor(190, 194, 202));
        p.drawEllipse(QPointF(l.titleBar.maxX() - (26 + i * 30) * u, l.titleBar.midY()), 8 * u, 8 * u);
    }

    // Sidebar and navigation.
    p.fillRect(q(l.sidebar).adjusted(0, 0, 0, -12 * u), QColor(238, 240, 244));
    text(p, QRectF(l.sidebar.x + 24 * u, l.sidebar.y + 6 * u, 260 * u, 30 * u), "SETTINGS",
         font(12 * u, true), kMuted);

    const QString heading = kHeadings[s.nav];
    const QString blurb = kBlurbs[s.nav];
    const double cx = 600 * u + (l.window.x - 240 * u);
    const double cy = l.window.y - 100 * u;
    text(p, QRectF(cx, cy + 180 * u, 1000 * u, 50 * u), heading, font(34 * u, true), kInk);
    text(p, QRectF(cx, cy + 232 * u, 1040 * u, 30 * u), blurb, font(17 * u), kMuted);
    text(p, QRectF(cx, cy + 284 * u, 400 * u, 28 * u), "Project name", font(16 * u, true), kInk);
    text(p, QRectF(cx, cy + 436 * u, 400 * u, 28 * u), "Visibility", font(16 * u, true), kInk);

    for (std::size_t i = 0; i < l.controls.size(); ++i) {
        const Control& c = l.controls[i];
        const QRectF r = q(c.rect);
        const bool pressed = s.pressed == static_cast<int>(i);
        p.setPen(Qt::NoPen);
        switch (c.kind) {
            case ControlKind::navItem: {
                const bool selected = c.index == s.nav;
                if (selected || pressed) {
                    p.setBrush(selected ? kAccent : QColor(222, 226, 234));
                    p.drawRoundedRect(r, 8 * u, 8 * u);
                }
                text(p, r.adjusted(18 * u, 0, 0, 0), QString::fromStdString(c.label), font(17 * u, selected),
                     selected ? Qt::white : kInk);
                break;
            }
            case ControlKind::textField: {
                p.setBrush(Qt::white);
                p.setPen(QPen(s.fieldFocused ? kAccent : kLine, (s.fieldFocused ? 2.5 : 1.5) * u));
                p.drawRoundedRect(r, 8 * u, 8 * u);
                p.setPen(Qt::NoPen);
                const QString typed = QString::fromLatin1(kTypedText, s.typedChars);
                const QRectF inner = r.adjusted(16 * u, 0, -16 * u, 0);
                if (typed.isEmpty() && !s.fieldFocused) {
                    text(p, inner, "Untitled project", font(19 * u), QColor(160, 165, 175));
                } else {
                    text(p, inner, typed, font(19 * u), kInk);
                }
                if (s.caretVisible) {
                    p.setFont(font(19 * u));
                    const double x = inner.x() + QFontMetricsF(font(19 * u)).horizontalAdvance(typed) + 1 * u;
                    p.fillRect(QRectF(x, r.y() + 14 * u, 2 * u, r.height() - 28 * u), kInk);
                }
                break;
            }
            case ControlKind::segment: {
                const bool selected = c.index == s.segment;
                p.setBrush(selected ? kAccent : (pressed ? QColor(226, 230, 238) : Qt::white));
                p.setPen(QPen(selected ? kAccent : kLine, 1.5 * u));
                p.drawRoundedRect(r, 8 * u, 8 * u);
                p.setPen(Qt::NoPen);
                text(p, r, QString::fromStdString(c.label), font(18 * u, selected),
                     selected ? Qt::white : kInk, Qt::AlignCenter);
                break;
            }
            case ControlKind::checkbox: {
                p.setBrush(s.checked ? kAccent : Qt::white);
                p.setPen(QPen(s.checked ? kAccent : QColor(150, 156, 168), 2 * u));
                p.drawRoundedRect(r, 6 * u, 6 * u);
                if (s.checked) {
                    QPen tick(Qt::white, 4 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
                    p.setPen(tick);
                    p.drawPolyline(QPolygonF({QPointF(r.x() + 8 * u, r.y() + 19 * u),
                                              QPointF(r.x() + 15 * u, r.y() + 26 * u),
                                              QPointF(r.x() + 28 * u, r.y() + 10 * u)}));
                }
                p.setPen(Qt::NoPen);
                text(p, QRectF(r.right() + 16 * u, r.y() - 4 * u, 700 * u, r.height() + 8 * u),
                     QString::fromStdString(c.label), font(18 * u), kInk);
                break;
            }
            case ControlKind::button: {
                const bool primary = c.index == 1;
                QColor fill = primary ? (s.saved ? QColor(34, 160, 90) : kAccent) : Qt::white;
                if (pressed) fill = fill.darker(125);
                p.setBrush(fill);
                p.setPen(primary ? Qt::NoPen : QPen(kLine, 1.5 * u));
                p.drawRoundedRect(r, 10 * u, 10 * u);
                p.setPen(Qt::NoPen);
                const QString label =
                    primary && s.saved ? QString("Saved \u2713") : QString::fromStdString(c.label);
                text(p, r, label, font(19 * u, true), primary ? Qt::white : kInk, Qt::AlignCenter);
                break;
            }
        }
    }

    // Body text below the form, so there is something to read when zoomed.
    const char* lines[] = {
        "Team members can view every recording and leave comments on the timeline.",
        "Public links show the finished video only; raw takes always stay private.",
        "Exports keep their own copy of these settings, so older videos do not change.",
    };
    for (int i = 0; i < 3; ++i) {
        text(p, QRectF(cx, cy + (690 + i * 36) * u, 1040 * u, 30 * u), lines[i], font(17 * u), kMuted);
    }
    p.fillRect(QRectF(cx, cy + 860 * u, 1040 * u, 1.5 * u), kLine);

    if (s.toast) {
        const QRectF toast(l.window.midX() - 170 * u, l.window.y + 70 * u, 340 * u, 54 * u);
        p.setBrush(QColor(30, 34, 40, 235));
        p.drawRoundedRect(toast, 12 * u, 12 * u);
        text(p, toast, "\u2713  Changes saved", font(18 * u, true), Qt::white, Qt::AlignCenter);
    }
}

void paintWebcam(QImage& image, double t) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = image.width();
    const double h = image.height();
    QLinearGradient wall(0, 0, 0, h);
    wall.setColorAt(0, QColor(196, 180, 160));
    wall.setColorAt(1, QColor(150, 132, 116));
    p.fillRect(QRectF(0, 0, w, h), wall);
    // A lamp glow that drifts slowly, so the picture is never static.
    QRadialGradient glow(QPointF(w * (0.2 + 0.05 * std::sin(t * 0.7)), h * 0.25), h * 0.6);
    glow.setColorAt(0, QColor(255, 240, 210, 120));
    glow.setColorAt(1, QColor(255, 240, 210, 0));
    p.fillRect(QRectF(0, 0, w, h), glow);

    const double sway = std::sin(t * 1.3) * w * 0.02;
    const double nod = std::sin(t * 2.1) * h * 0.01;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(52, 70, 98));
    p.drawEllipse(QPointF(w * 0.5 + sway * 0.5, h * 1.02), w * 0.3, h * 0.38);
    p.setBrush(QColor(224, 182, 150));
    p.drawEllipse(QPointF(w * 0.5 + sway, h * 0.45 + nod), h * 0.2, h * 0.25);
    p.setBrush(QColor(70, 48, 36));
    p.drawChord(QRectF(w * 0.5 + sway - h * 0.21, h * 0.18 + nod, h * 0.42, h * 0.3), 0, 180 * 16);
    // Blink now and then.
    const bool blink = std::fmod(t, 3.7) < 0.12;
    p.setBrush(QColor(40, 30, 26));
    for (int side : {-1, 1}) {
        const QPointF eye(w * 0.5 + sway + side * h * 0.075, h * 0.43 + nod);
        if (blink) {
            p.drawRect(QRectF(eye.x() - h * 0.025, eye.y(), h * 0.05, h * 0.006));
        } else {
            p.drawEllipse(eye, h * 0.018, h * 0.022);
        }
    }
    p.setBrush(QColor(170, 90, 90));
    const double talk = 0.01 + 0.012 * std::fabs(std::sin(t * 9.0));
    p.drawEllipse(QPointF(w * 0.5 + sway, h * 0.55 + nod), h * 0.045, h * talk);
}

}  // namespace vorpix::app::sample
