#pragma once

// Draws the sample recording's desktop with QPainter: a top bar, and a
// settings window whose controls show the scene state. Needs a
// QGuiApplication (the offscreen platform is enough) for its fonts.

#include <QImage>

#include "app/SampleScript.h"

namespace vorpix::app::sample {

// Paints the whole screen into `image` (Format_RGB32, the layout's size).
void paintScene(QImage& image, const Layout& layout, const SceneState& state);

// A webcam picture: a person-like figure on a soft background, moving a
// little with time. `image` is Format_RGB32.
void paintWebcam(QImage& image, double t);

}  // namespace vorpix::app::sample
