#include "editor/EditHistory.h"

namespace vorpix::editor {

model::Project EditState::document() const {
    model::Project doc = project;
    if (usesManualZoom) {
        doc.manualZoom = segments;
    } else {
        doc.manualZoom.reset();
    }
    return doc;
}

void EditHistory::committed(EditState before) {
    undo_.push_back(std::move(before));
    if (undo_.size() > kMaxSteps) undo_.pop_front();
    redo_.clear();
}

std::optional<EditState> EditHistory::undo(EditState current) {
    if (undo_.empty()) return std::nullopt;
    EditState back = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back(std::move(current));
    return back;
}

std::optional<EditState> EditHistory::redo(EditState current) {
    if (redo_.empty()) return std::nullopt;
    EditState forward = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back(std::move(current));
    if (undo_.size() > kMaxSteps) undo_.pop_front();
    return forward;
}

}  // namespace vorpix::editor
