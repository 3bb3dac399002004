#pragma once

// What one open recording's edit is, as a value (the edit document plus the
// zoom list in use, automatic or the user's own), and the undo and redo
// stacks of such values. A step is the whole state before a committed edit,
// so undoing one puts every field it touched back at once. Plain C++, used
// by the editor model on the main thread only.

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "model/Project.h"

namespace vorpix::editor {

struct EditState {
    // Style, trims, volumes, clips, removed ranges and splits. Its
    // `manualZoom` is unused: `segments` and `usesManualZoom` say it.
    model::Project project;
    std::vector<model::ZoomSegment> segments;  // source time, sorted by start
    bool usesManualZoom = false;

    // The edit document as saved: the zoom list only when it is the user's.
    model::Project document() const;

    bool operator==(const EditState&) const = default;
};

class EditHistory {
public:
    // At least 100 steps are kept; older ones are forgotten.
    static constexpr std::size_t kMaxSteps = 200;

    // Records `before` as the state an undo returns to; clears the redo
    // stack (a new edit forks the history).
    void committed(EditState before);

    // The state to return to, with `current` kept for redo; none when there
    // is nothing to undo (and then nothing changes).
    std::optional<EditState> undo(EditState current);
    std::optional<EditState> redo(EditState current);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    std::size_t undoSteps() const { return undo_.size(); }

private:
    std::deque<EditState> undo_;
    std::vector<EditState> redo_;
};

}  // namespace vorpix::editor
