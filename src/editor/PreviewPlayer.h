#pragma once

// What the editor model needs of the player that shows its preview: swap the
// item (a composition), seek exactly with a completion, play and pause, read
// the time and rate, and swap only the video renderer of the current item
// (the zoom placement view). The player pauses itself at the end of the item.

#include <functional>
#include <memory>

#include "media/CompositionBuilder.h"

namespace vorpix::editor {

class PreviewPlayer {
public:
    virtual ~PreviewPlayer() = default;

    // Replaces what plays; the new item starts paused at 0.
    virtual void replaceItem(std::shared_ptr<const media::StudioComposition> composition) = 0;
    // Seeks to `outputSeconds` exactly; `done` is called once, on any
    // thread, when the frame of that time is available (or the seek was
    // superseded by a later one).
    virtual void seek(double outputSeconds, std::function<void()> done) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Output seconds of the frame shown; any thread.
    virtual double currentTime() const = 0;
    // 0 while paused (also after the end-of-item pause).
    virtual double rate() const = 0;
    // Renders the current item's frames through `renderer` from now on.
    virtual void replaceRenderer(std::shared_ptr<const media::CompositionRenderer> renderer) = 0;
};

}  // namespace vorpix::editor
