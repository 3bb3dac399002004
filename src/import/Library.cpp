#include "import/Library.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "import/ScreenStudioImport.h"

namespace vorpix::import {
namespace fs = std::filesystem;

namespace {

constexpr double kListingLimitSeconds = 2.0;

std::string formatSeconds(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

fs::path baseFolder(const fs::path& moviesFolder) {
    return moviesFolder / "Vorpix";
}

fs::path legacyFolder(const fs::path& moviesFolder) {
    return moviesFolder / "Tavorin";
}

std::string sessionFolderName(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) return "recording";
    char name[64];
    const std::size_t length = std::strftime(name, sizeof name, "%Y-%m-%d %H.%M.%S", &local);
    return length > 0 ? std::string(name, length) : std::string("recording");
}

fs::path newSessionFolder(const fs::path& base, std::chrono::system_clock::time_point now) {
    fs::path folder = base / sessionFolderName(now);
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder;
}

std::vector<model::RecordingItem> recordings(const fs::path& folder, const FolderRepair& repair) {
    std::vector<fs::path> candidates;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.filename().string().starts_with('.')) continue;
        std::error_code statError;
        if (!it->is_directory(statError)) continue;
        candidates.push_back(path);
    }

    // Decoding every "events.json" is nearly all of a listing's time, and
    // each folder is independent: spread them over the cores. Results keep
    // the listing order.
    std::vector<std::optional<model::RecordingItem>> found(candidates.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        const model::PackagePeek peekPackage = [](const fs::path& package) { return peek(package); };
        for (std::size_t i = next++; i < candidates.size(); i = next++) {
            auto item = model::itemFor(candidates[i], peekPackage);
            if (!item && repair && repair(candidates[i])) item = model::itemFor(candidates[i], peekPackage);
            if (item) found[i] = std::move(item.value());
        }
    };
    const std::size_t helpers =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), 8) - 1;
    std::vector<std::thread> threads;
    if (candidates.size() >= 64) {
        for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(work);
    }
    work();
    for (auto& thread : threads) thread.join();

    std::vector<model::RecordingItem> items;
    items.reserve(candidates.size());
    for (auto& item : found) {
        if (item) items.push_back(std::move(*item));
    }
    return items;
}

std::vector<model::RecordingItem> nativeRecordings(const fs::path& moviesFolder, const FolderRepair& repair) {
    std::vector<model::RecordingItem> items = recordings(baseFolder(moviesFolder), repair);
    std::unordered_set<std::string> seen;
    for (const auto& item : items) seen.insert(item.id);
    for (auto& item : recordings(legacyFolder(moviesFolder))) {  // read only: never repaired
        if (seen.insert(item.id).second) items.push_back(std::move(item));
    }
    return items;
}

std::vector<model::RecordingItem> allRecordings(const fs::path& moviesFolder,
                                                const std::vector<fs::path>& screenStudioFolders,
                                                const FolderRepair& repair) {
    std::vector<model::RecordingItem> items = nativeRecordings(moviesFolder, repair);
    std::unordered_set<std::string> seen;
    for (const auto& item : items) seen.insert(item.id);
    for (const auto& folder : screenStudioFolders) {
        for (const auto& package : screenStudioPackages(folder)) {
            auto item = lightweightItem(package);
            if (item && seen.insert(item->id).second) items.push_back(std::move(*item));
        }
    }
    sortNewestFirst(items);
    return items;
}

void sortNewestFirst(std::vector<model::RecordingItem>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.createdAt > b.createdAt; });
}

void deleteRecording(const model::RecordingItem& item) {
    if (item.source != model::RecordingSource::native) return;
    // An item always names a recording folder; never let an empty or root
    // path through to a recursive removal.
    if (!item.folder.has_relative_path()) return;
    std::error_code ec;
    fs::remove_all(item.folder, ec);
}

int runListingBench(std::ostream& out, std::ostream& err, const fs::path& moviesFolder,
                    const std::vector<fs::path>& screenStudioFolders) {
    const auto start = std::chrono::steady_clock::now();
    const auto items = allRecordings(moviesFolder, screenStudioFolders);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return reportListingBench(out, err, items.size(), seconds);
}

int reportListingBench(std::ostream& out, std::ostream& err, std::size_t itemCount, double seconds) {
    out << "library-bench items=" << itemCount << " seconds=" << formatSeconds(seconds) << '\n';
    if (seconds <= kListingLimitSeconds) {
        out << "OK\n";
        out.flush();
        return 0;
    }
    out.flush();
    err << "FAIL: library listing took " << formatSeconds(seconds) << "s (limit 2s)\n";
    return 1;
}

}  // namespace vorpix::import
