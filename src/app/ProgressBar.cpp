#include "app/ProgressBar.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace vorpix::app {

ProgressBar::ProgressBar(std::ostream& stream, bool terminal, std::string label)
    : stream_(stream), terminal_(terminal), label_(std::move(label)) {}

void ProgressBar::update(double fraction) {
    if (!terminal_ || finished_) return;
    const int percent =
        std::clamp(static_cast<int>(std::floor((std::isfinite(fraction) ? fraction : 0) * 100)), 0, 100);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    stream_ << "\r" << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent << "%"
            << std::flush;
}

void ProgressBar::finish() {
    if (finished_) return;
    finished_ = true;
    if (terminal_ && shownPercent_ >= 0) stream_ << "\n" << std::flush;
}

ProgressBar::~ProgressBar() {
    finish();
}

}  // namespace vorpix::app
