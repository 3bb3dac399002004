#pragma once

// The shared set of recording ids with an export in progress. One instance,
// made by the composition root and passed to whoever exports or shows the
// list. Thread-safe; the observer is called after every change, on the
// thread that made it, with the new set (the app re-posts it to the GUI
// thread). The observer must not call back into the set.

#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace vorpix::media {

class ActiveExports {
public:
    using Observer = std::function<void(const std::set<std::string>& ids)>;

    explicit ActiveExports(Observer observer = {}) : observer_(std::move(observer)) {}

    // False (and no notification) when the id is already there.
    bool insert(const std::string& id);
    // False (and no notification) when the id is not there.
    bool remove(const std::string& id);

    bool contains(const std::string& id) const;
    std::set<std::string> ids() const;

private:
    const Observer observer_;
    mutable std::mutex mutex_;
    // guarded by mutex_
    std::set<std::string> ids_;
};

}  // namespace vorpix::media
