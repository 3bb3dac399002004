#include "media/ActiveExports.h"

namespace vorpix::media {

bool ActiveExports::insert(const std::string& id) {
    std::set<std::string> now;
    {
        std::lock_guard lock(mutex_);
        if (!ids_.insert(id).second) return false;
        now = ids_;
    }
    if (observer_) observer_(now);
    return true;
}

bool ActiveExports::remove(const std::string& id) {
    std::set<std::string> now;
    {
        std::lock_guard lock(mutex_);
        if (ids_.erase(id) == 0) return false;
        now = ids_;
    }
    if (observer_) observer_(now);
    return true;
}

bool ActiveExports::contains(const std::string& id) const {
    std::lock_guard lock(mutex_);
    return ids_.count(id) > 0;
}

std::set<std::string> ActiveExports::ids() const {
    std::lock_guard lock(mutex_);
    return ids_;
}

}  // namespace vorpix::media
