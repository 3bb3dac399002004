#include "editor/EditorModel.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

#include "camera/CameraTimeline.h"
#include "camera/CursorPath.h"
#include "editor/PreviewComposition.h"
#include "editor/PreviewPlayer.h"
#include "editor/VoiceOverTake.h"
#include "import/ScreenStudioImport.h"
#include "media/ExportNaming.h"
#include "media/RecordingExport.h"
#include "media/ThreadName.h"
#include "media/WaveformAnalyzer.h"
#include "timeline/EditDerivation.h"

namespace vorpix::editor {

namespace fs = std::filesystem;

namespace {

constexpr double kMarkSelectionMinimum = 0.08;  // seconds between marks for a selection
constexpr double kEdgeFirstClipSlack = 0.08;    // a clip this close to the trim is the first/last
constexpr double kTrimMinimum = 0.2;            // seconds kept between the trims by a drag
constexpr double kInnerEdgeMinimum = 0.15;      // seconds an inner clip keeps when dragged
constexpr double kCommitCutMinimum = 0.08;      // shorter draft cuts are not committed
constexpr double kSplitCutSlack = 0.001;        // splits this close outside a cut go with it
constexpr double kClipSelectSlack = 0.001;
constexpr double kZoomMinimumHold = 1.6;  // seconds a new zoom lasts at least
constexpr double kZoomMinimumLength = 0.2;
constexpr double kMaxVolume = 2.0;
constexpr double kWaveformBucketsPerSecond = 80;
constexpr const char* kOpenFailedPrefix = "Could not open the recording: ";
constexpr const char* kNoRecorderMessage = "Voice-over recording is not available.";

double uptimeSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString qs(const std::string& text) { return QString::fromStdString(text); }

bool zoomSettingsDiffer(const model::StyleSettings& a, const model::StyleSettings& b) {
    return a.autoZoom != b.autoZoom || a.zoomFactor != b.zoomFactor || a.zoomHold != b.zoomHold ||
           a.zoomLead != b.zoomLead;
}

// NaN and infinities leave the value as it was (JSON cannot hold them).
std::optional<double> finiteClamp(double v, double lo, double hi) {
    if (!std::isfinite(v)) return std::nullopt;
    return std::clamp(v, lo, hi);
}

}  // namespace

// Shared with the background threads: the model while it lives. Results are
// posted only while `model` is set; the destructor clears it first, and Qt
// drops events already posted to a destroyed object.
struct EditorModel::Lifeline {
    std::mutex mutex;
    // guarded by mutex
    EditorModel* model = nullptr;
};

// What the load thread read from the files.
struct EditorModel::Loaded {
    std::optional<model::SessionEvents> events;
    model::Project project;
    std::optional<std::string> videoRelativePath;  // Screen Studio: the peeked movie
    bool notLocal = false;
    fs::path projectFolder;
};

template <typename Work, typename Apply>
void EditorModel::runInBackground(const char* threadName, Work work, Apply apply) {
    std::thread([lifeline = lifeline_, threadName, work = std::move(work), apply = std::move(apply)]() mutable {
        media::setCurrentThreadName(threadName);
        auto result = work();
        std::lock_guard lock(lifeline->mutex);
        if (!lifeline->model) return;
        QMetaObject::invokeMethod(
            lifeline->model,
            [model = lifeline->model, apply = std::move(apply), result = std::move(result)]() mutable {
                apply(*model, std::move(result));
            },
            Qt::QueuedConnection);
    }).detach();
}

EditorModel::EditorModel(model::RecordingItem item, Services services, QObject* parent)
    : QObject(parent), item_(std::move(item)), services_(std::move(services)), lifeline_(std::make_shared<Lifeline>()) {
    lifeline_->model = this;
    if (!services_.activeExports) {
        ownActiveExports_ = std::make_unique<media::ActiveExports>();
    }
    // Provisional values from the item alone, until the files are read.
    events_.pixelWidth = std::max<std::int64_t>(std::llround(item_.pixelSize.width), 1);
    events_.pixelHeight = std::max<std::int64_t>(std::llround(item_.pixelSize.height), 1);
    events_.scaleFactor = 2.0;
    events_.duration = std::max(item_.duration, 0.1);
    state_.project.trimEnd = events_.duration;
    committed_ = state_;
    mediaItem_ = item_;
    if (item_.source == model::RecordingSource::screenStudio) mediaItem_.videoRelativePath = ".__pending.mov";
    projectFolder_ = item_.folder;

    displayClock_.setInterval(std::chrono::milliseconds(1000) / 60);
    displayClock_.setTimerType(Qt::PreciseTimer);
    connect(&displayClock_, &QTimer::timeout, this, &EditorModel::syncPlayheadFromPlayer);
    rebuildTimer_.setSingleShot(true);
    rebuildTimer_.setInterval(kRebuildDelay);
    connect(&rebuildTimer_, &QTimer::timeout, this, &EditorModel::startRebuild);

    const model::RecordingItem loadItem = item_;
    const fs::path dataFolder = services_.dataFolder;
    runInBackground(
        "tavorin.load",
        [loadItem, dataFolder] {
            Loaded loaded;
            if (loadItem.source == model::RecordingSource::screenStudio) {
                loaded.projectFolder = import::cacheFolder(loadItem.folder, dataFolder);
                if (!import::isLocallyAvailable(loadItem.folder)) {
                    loaded.notLocal = true;
                    return loaded;
                }
                if (auto events = import::loadEvents(loadItem.folder, dataFolder)) loaded.events = std::move(*events);
                loaded.project = import::loadProject(loadItem.folder, dataFolder);
                if (auto peeked = import::peek(loadItem.folder)) loaded.videoRelativePath = peeked->videoRelativePath;
            } else {
                loaded.projectFolder = loadItem.folder;
                if (auto events = model::readSessionEvents(loadItem.folder)) loaded.events = std::move(*events);
                loaded.project = model::loadProjectOrDefault(loadItem.folder);
            }
            return loaded;
        },
        [](EditorModel& model, Loaded loaded) { model.applyLoaded(std::move(loaded)); });
}

EditorModel::~EditorModel() {
    {
        std::lock_guard lock(lifeline_->mutex);
        lifeline_->model = nullptr;
    }
    displayClock_.stop();
    if (exportPreparing_) activeExports().remove(item_.id);
    exportTask_.reset();  // cancels and waits; the recording leaves ActiveExports
}

media::ActiveExports& EditorModel::activeExports() {
    return services_.activeExports ? *services_.activeExports : *ownActiveExports_;
}

// ---------------------------------------------------------------------------
// Loading and persistence

void EditorModel::applyLoaded(Loaded loaded) {
    projectFolder_ = loaded.projectFolder;
    model::Project& p = state_.project;
    p.style = loaded.project.style;
    p.trimStart = loaded.project.trimStart;
    p.removedRanges = loaded.project.removedRanges;
    p.splits = loaded.project.splits;
    p.micVolume = loaded.project.micVolume;
    p.musicVolume = loaded.project.musicVolume;
    p.clips = loaded.project.clips;
    if (loaded.events) {
        events_ = std::move(*loaded.events);
        p.trimEnd = loaded.project.trimEnd.value_or(events_.duration);
        if (loaded.project.manualZoom && !loaded.project.manualZoom->empty()) {
            state_.usesManualZoom = true;
            state_.segments = *loaded.project.manualZoom;
        } else {
            state_.usesManualZoom = false;
            state_.segments = autoSegments();
        }
        if (loaded.videoRelativePath) mediaItem_.videoRelativePath = *loaded.videoRelativePath;
    }
    committed_ = state_;
    emit documentChanged();
    if (!loaded.events && item_.source == model::RecordingSource::screenStudio) {
        loadFailed_ = true;
        isHydrating_ = false;
        setLoadError(loaded.notLocal ? import::kNotDownloadedMessage : import::kUnreadableMessage);
        return;
    }
    isHydrating_ = false;
    rebuild();
    loadWaveforms();
}

void EditorModel::writeDocument() {
    auto written = model::writeProject(projectFolder_, state_.document());
    (void)written;  // a failed write leaves the old file; the edit stays in memory
}

bool EditorModel::canWrite() const {
    // A recording that never opened is left exactly as it was found.
    return !isHydrating_ && !loadFailed_ && (isReady_ || loadError_.isEmpty());
}

void EditorModel::persist() {
    if (!canWrite()) return;
    writeDocument();
    if (state_ != committed_) {
        history_.committed(std::move(committed_));
        committed_ = state_;
        emit historyChanged();
    }
}

void EditorModel::rebuild() {
    if (isHydrating_ || loadFailed_) return;
    ++rebuildGeneration_;  // a build still running is stale from now on
    rebuildTimer_.start();
}

void EditorModel::startRebuild() {
    const double playerTime = services_.player ? services_.player->currentTime() : 0.0;
    const bool wasPlaying = isPlaying_ || (services_.player && services_.player->rate() > 0);
    const playback::Resume resume = playback::resumeAfterRebuild(playhead(), playerTime, editDuration(), wasPlaying);

    const std::uint64_t generation = rebuildGeneration_;
    auto zooms = isPlacingZoom() ? std::vector<model::ZoomSegment>{} : state_.segments;
    runInBackground(
        "tavorin.rebuild",
        [item = mediaItem_, events = events_, document = state_.document(), zooms = std::move(zooms),
         view = previewSize_] {
            return media::CompositionBuilder::build(previewSources(item, events, document, zooms, view));
        },
        [generation, resume](EditorModel& model, Result<media::StudioComposition> built) {
            if (generation != model.rebuildGeneration_) return;  // a newer edit wins
            if (!built) {
                model.suppressTimeUpdates_ = false;
                model.setLoadError(qs(kOpenFailedPrefix + built.error().message));
                return;
            }
            model.previewBuilt_ = std::make_shared<const media::StudioComposition>(std::move(*built));
            const double t = std::clamp(resume.time, 0.0, model.editDuration());
            if (!model.services_.player) return model.finishRebuild(t, resume.play);
            model.suppressTimeUpdates_ = true;
            model.services_.player->replaceItem(model.previewBuilt_);
            const auto lifeline = model.lifeline_;
            model.services_.player->seek(t, [lifeline, generation, t, play = resume.play] {
                std::lock_guard lock(lifeline->mutex);
                if (!lifeline->model) return;
                QMetaObject::invokeMethod(
                    lifeline->model,
                    [m = lifeline->model, generation, t, play] {
                        if (generation == m->rebuildGeneration_) m->finishRebuild(t, play);
                    },
                    Qt::QueuedConnection);
            });
        });
    emit rebuildStarted();  // last: a slot that edits makes this build stale
}

void EditorModel::finishRebuild(double t, bool resume) {
    setPlayhead(t);
    suppressTimeUpdates_ = false;
    const double d = editDuration();
    if (resume && d > 0.05 && t < d - 0.08) {
        if (services_.player) services_.player->play();
        setPlaying(true);
        setClockRunning(true);
    } else {
        setClockRunning(false);
        setPlaying(false);
    }
    loadError_.clear();
    isReady_ = true;
    emit loadingChanged();
    emit previewRebuilt();
}

void EditorModel::setLoadError(QString message) {
    loadError_ = std::move(message);
    emit loadingChanged();
}

// ---------------------------------------------------------------------------
// State plumbing

std::vector<model::ZoomSegment> EditorModel::autoSegments() const {
    return camera::CameraTimeline::autoSegments(
        events_.clicks, {static_cast<double>(events_.pixelWidth), static_cast<double>(events_.pixelHeight)},
        events_.duration, state_.project.style);
}

void EditorModel::sortSegments() {
    std::stable_sort(state_.segments.begin(), state_.segments.end(),
                     [](const model::ZoomSegment& a, const model::ZoomSegment& b) { return a.start < b.start; });
}

void EditorModel::stateChanged() {
    emit documentChanged();
}

void EditorModel::setDrafts(timeline::EditDrafts drafts) {
    drafts_ = std::move(drafts);
    emit draftsChanged();
}

void EditorModel::restore(EditState state) {
    drafts_ = {};
    state_ = std::move(state);
    committed_ = state_;
    if (selectedSegmentID_ && !selectedSegment()) setSelectedSegmentID(std::nullopt);
    writeDocument();
    emit draftsChanged();
    emit documentChanged();
    emit historyChanged();
    rebuild();
    loadWaveforms();
}

void EditorModel::undo() {
    if (!canWrite()) return;
    if (auto back = history_.undo(committed_)) restore(std::move(*back));
}

void EditorModel::redo() {
    if (!canWrite()) return;
    if (auto forward = history_.redo(committed_)) restore(std::move(*forward));
}

// ---------------------------------------------------------------------------
// Derived values

std::vector<model::TimelineSlice> EditorModel::keep() const {
    return timeline::effectiveKeep(events_.duration, trimStart(), trimEnd(), removed(), drafts_);
}

double EditorModel::editDuration() const { return timeline::editDuration(keep()); }

std::vector<timeline::FilmClip> EditorModel::filmClips() const { return timeline::filmClips(keep(), editSplits()); }

std::optional<std::pair<double, double>> EditorModel::selectionRange() const {
    if (!markIn_ || !markOut_) return std::nullopt;
    const double lo = std::min(*markIn_, *markOut_);
    const double hi = std::max(*markIn_, *markOut_);
    if (hi - lo <= kMarkSelectionMinimum) return std::nullopt;
    return std::pair{lo, hi};
}

bool EditorModel::canSplit() const { return timeline::canSplit(playhead(), keep(), editSplits()); }

double EditorModel::playheadSource() const { return timeline::toSource(playhead(), keep()); }

// ---------------------------------------------------------------------------
// Direct assignments

void EditorModel::setStyle(const model::StyleSettings& style) {
    if (style == state_.project.style) return;
    const bool zoomsFollow = !state_.usesManualZoom && zoomSettingsDiffer(style, state_.project.style);
    state_.project.style = style;
    if (zoomsFollow) {
        // The automatic list is what a reload would generate for this style.
        state_.segments = autoSegments();
        if (selectedSegmentID_ && !selectedSegment()) setSelectedSegmentID(std::nullopt);
    }
    stateChanged();
    persist();
    rebuild();
}

void EditorModel::setSelectedSegmentID(std::optional<model::Uuid> id) {
    if (id == selectedSegmentID_) return;
    selectedSegmentID_ = id;
    emit selectedSegmentChanged();
    if (!isHydrating_) refreshPlacementRenderer();
}

void EditorModel::setPreviewSize(std::optional<Size> view) {
    if (view == previewSize_) return;
    previewSize_ = view;
    rebuild();
}

void EditorModel::setMarks(std::optional<double> in, std::optional<double> out) {
    markIn_ = in;
    markOut_ = out;
    emit marksChanged();
}

// ---------------------------------------------------------------------------
// Playback

void EditorModel::setPlayhead(double seconds) {
    if (playhead_.set(seconds)) emit playheadChanged(playhead_.seconds());
}

void EditorModel::setPlaying(bool playing) {
    if (playing == isPlaying_) return;
    isPlaying_ = playing;
    emit playingChanged();
}

void EditorModel::setClockRunning(bool running) {
    if (running && !displayClock_.isActive()) displayClock_.start();
    if (!running) displayClock_.stop();
}

void EditorModel::playPause() {
    if (!playPauseGuard_.accept(uptimeSeconds())) return;
    if (isPlaying_ || (services_.player && services_.player->rate() > 0)) {
        if (services_.player) services_.player->pause();
        setPlaying(false);
        setClockRunning(false);
        refreshPlacementRenderer();
        return;
    }
    const double d = editDuration();
    if (d > 0.05 && playhead() < d - 0.08) {
        setPlaying(true);
        setClockRunning(true);
        refreshPlacementRenderer();
        if (services_.player) services_.player->play();
    }
}

void EditorModel::pausePlayback() {
    if (services_.player) services_.player->pause();
    setPlaying(false);
    setClockRunning(false);
}

void EditorModel::seek(double outputSeconds) {
    const double t = std::clamp(std::isfinite(outputSeconds) ? outputSeconds : 0.0, 0.0, editDuration());
    setPlayhead(t);
    if (!services_.player) return;
    suppressTimeUpdates_ = true;
    const std::uint64_t generation = ++seekGeneration_;
    const auto lifeline = lifeline_;
    services_.player->seek(t, [lifeline, generation, t] {
        std::lock_guard lock(lifeline->mutex);
        if (!lifeline->model) return;
        QMetaObject::invokeMethod(
            lifeline->model,
            [m = lifeline->model, generation, t] {
                if (generation != m->seekGeneration_) return;  // a later seek is in flight
                m->setPlayhead(t);
                m->suppressTimeUpdates_ = false;
            },
            Qt::QueuedConnection);
    });
}

void EditorModel::syncPlayheadFromPlayer() {
    if (suppressTimeUpdates_ || !services_.player) return;
    const double t = services_.player->currentTime();
    if (std::isfinite(t)) setPlayhead(t);
    const bool playing = services_.player->rate() > 0;
    if (playing != isPlaying_) setPlaying(playing);
    if (!playing) setClockRunning(false);
}

void EditorModel::refreshPlacementRenderer() {
    if (!previewBuilt_ || !services_.player) return;
    const std::uint64_t generation = ++placementGeneration_;
    auto zooms = isPlacingZoom() ? std::vector<model::ZoomSegment>{} : state_.segments;
    runInBackground(
        "tavorin.placement",
        [item = mediaItem_, events = events_, document = state_.document(), zooms = std::move(zooms),
         view = previewSize_] {
            return previewSources(item, events, document, zooms, view).renderer;
        },
        [generation](EditorModel& model, std::shared_ptr<const media::CompositionRenderer> renderer) {
            if (generation != model.placementGeneration_ || !model.services_.player) return;
            const double at = model.playhead();
            model.services_.player->replaceRenderer(std::move(renderer));
            model.seek(at);
        });
}

// ---------------------------------------------------------------------------
// Film editing

void EditorModel::setMarkIn() {
    markIn_ = playheadSource();
    if (markOut_ && *markOut_ <= *markIn_) markOut_.reset();
    emit marksChanged();
}

void EditorModel::setMarkOut() {
    markOut_ = playheadSource();
    if (markIn_ && *markOut_ <= *markIn_) markIn_.reset();
    emit marksChanged();
}

void EditorModel::selectClip(double t) {
    const auto clips = filmClips();
    if (clips.size() >= 2) {
        for (const auto& clip : clips) {
            if (clip.sourceStart - kClipSelectSlack <= t && t <= clip.sourceEnd + kClipSelectSlack) {
                setSelectedSegmentID(std::nullopt);
                setMarks(clip.sourceStart, clip.sourceEnd);
                return;
            }
        }
    }
    setMarks(std::nullopt, std::nullopt);
}

void EditorModel::splitAtPlayhead() {
    const auto point = timeline::splitPoint(playhead(), keep(), editSplits());
    if (!point) return;
    timeline::addSplit(state_.project.splits, point->source);
    stateChanged();
    setSelectedSegmentID(std::nullopt);
    setMarks(point->source, point->clip.sourceEnd);
    persist();  // splits leave the kept time as it is: no rebuild
}

void EditorModel::cutSelection() {
    const auto range = selectionRange();
    if (!range) return;
    const auto [lo, hi] = *range;
    state_.project.removedRanges.push_back(model::TimeRange{model::Uuid::random(), lo, hi});
    std::erase_if(state_.project.splits,
                  [lo, hi](double s) { return lo - kSplitCutSlack <= s && s <= hi + kSplitCutSlack; });
    stateChanged();
    setMarks(std::nullopt, std::nullopt);
    setSelectedSegmentID(std::nullopt);
    persist();
    rebuild();
}

void EditorModel::undoLastCut() {
    if (state_.project.removedRanges.empty()) return;
    state_.project.removedRanges.pop_back();
    stateChanged();
    persist();
    rebuild();
}

void EditorModel::updateFilmEdge(const timeline::FilmClip& clip, bool isStart, double sourceSeconds) {
    if (!std::isfinite(sourceSeconds)) return;
    const double t = std::clamp(sourceSeconds, 0.0, events_.duration);
    const double curStart = drafts_.trimStart.value_or(trimStart());
    const double curEnd = drafts_.trimEnd.value_or(trimEnd());
    timeline::EditDrafts d = drafts_;
    if (isStart && clip.sourceStart <= curStart + kEdgeFirstClipSlack) {
        d.trimStart = std::min(t, curEnd - kTrimMinimum);
        d.cut.reset();
    } else if (isStart) {
        d.cut = model::TimeRange{model::Uuid::random(), clip.sourceStart,
                                 std::min(std::max(t, clip.sourceStart), clip.sourceEnd - kInnerEdgeMinimum)};
        d.trimStart.reset();
    } else if (curEnd - kEdgeFirstClipSlack <= clip.sourceEnd) {
        d.trimEnd = std::max(t, curStart + kTrimMinimum);
        d.cut.reset();
    } else {
        d.cut = model::TimeRange{model::Uuid::random(),
                                 std::min(std::max(t, clip.sourceStart + kInnerEdgeMinimum), clip.sourceEnd),
                                 clip.sourceEnd};
        d.trimEnd.reset();
    }
    setDrafts(std::move(d));
}

void EditorModel::commitFilmEdge() {
    if (drafts_.trimStart) state_.project.trimStart = *drafts_.trimStart;
    if (drafts_.trimEnd) state_.project.trimEnd = *drafts_.trimEnd;
    if (drafts_.cut && std::fabs(drafts_.cut->end - drafts_.cut->start) > kCommitCutMinimum) {
        state_.project.removedRanges.push_back(*drafts_.cut);
    }
    setDrafts({});
    stateChanged();
    persist();
    rebuild();
}

// ---------------------------------------------------------------------------
// Zoom editing

std::optional<model::ZoomSegment> EditorModel::selectedSegment() const {
    if (!selectedSegmentID_) return std::nullopt;
    for (const auto& s : state_.segments) {
        if (s.id == *selectedSegmentID_) return s;
    }
    return std::nullopt;
}

bool EditorModel::isPlacingZoom() const { return selectedSegmentID_.has_value() && !isPlaying_; }

void EditorModel::regenerateAutoZoom() {
    state_.usesManualZoom = false;
    setSelectedSegmentID(std::nullopt);
    state_.segments = autoSegments();
    stateChanged();
    persist();
    rebuild();
}

void EditorModel::addZoomAtPlayhead() {
    const double s = playheadSource();
    const camera::CursorPath path(events_.samples);
    const Point p = path.rawPosition(s).value_or(
        Point{static_cast<double>(events_.pixelWidth) / 2, static_cast<double>(events_.pixelHeight) / 2});
    addZoom(p.x / std::max<double>(static_cast<double>(events_.pixelWidth), 1),
            p.y / std::max<double>(static_cast<double>(events_.pixelHeight), 1), s);
}

void EditorModel::addZoom(double centerX, double centerY, std::optional<double> atSource) {
    const double s = atSource.value_or(playheadSource());
    const model::StyleSettings& style = state_.project.style;
    model::ZoomSegment z;
    z.start = std::max(s - style.zoomLead, 0.0);
    z.end = std::min(s + std::max(style.zoomHold, kZoomMinimumHold), events_.duration);
    z.centerX = finiteClamp(centerX, 0, 1).value_or(0.5);
    z.centerY = finiteClamp(centerY, 0, 1).value_or(0.5);
    z.factor = style.zoomFactor;
    z.followCursor = false;
    state_.segments.push_back(z);
    sortSegments();
    state_.usesManualZoom = true;
    stateChanged();
    setSelectedSegmentID(z.id);
    persist();
    rebuild();
}

void EditorModel::setSelectedZoomCenter(double x, double y, bool persistNow) {
    if (!selectedSegmentID_) return;
    auto it = std::find_if(state_.segments.begin(), state_.segments.end(),
                           [this](const model::ZoomSegment& s) { return s.id == *selectedSegmentID_; });
    if (it == state_.segments.end()) return;
    it->centerX = finiteClamp(x, 0, 1).value_or(it->centerX);
    it->centerY = finiteClamp(y, 0, 1).value_or(it->centerY);
    it->followCursor = false;
    state_.usesManualZoom = true;
    stateChanged();
    if (persistNow) {
        persist();
        rebuild();
    }
}

void EditorModel::deleteSelectedSegment() {
    if (!selectedSegmentID_) return;
    const model::Uuid id = *selectedSegmentID_;
    setSelectedSegmentID(std::nullopt);
    if (std::erase_if(state_.segments, [&id](const model::ZoomSegment& s) { return s.id == id; }) == 0) return;
    state_.usesManualZoom = true;
    stateChanged();
    persist();
    rebuild();
}

void EditorModel::setSegmentTimes(const model::Uuid& id, double start, double end, bool persistNow) {
    if (!std::isfinite(start) || !std::isfinite(end)) return;
    auto it = std::find_if(state_.segments.begin(), state_.segments.end(),
                           [&id](const model::ZoomSegment& s) { return s.id == id; });
    if (it == state_.segments.end()) return;
    const double duration = events_.duration;
    it->start = std::clamp(start, 0.0, std::max(duration - kZoomMinimumLength, 0.0));
    it->end = std::min(std::max(end, it->start + kZoomMinimumLength), duration);
    sortSegments();
    state_.usesManualZoom = true;
    stateChanged();
    if (persistNow) {
        persist();
        rebuild();
    }
}

void EditorModel::replaceSelectedSegment(const model::ZoomSegment& segment) {
    if (!selectedSegmentID_) return;
    for (auto& s : state_.segments) {
        if (s.id != *selectedSegmentID_) continue;
        s = segment;
        s.id = *selectedSegmentID_;
        sortSegments();
        stateChanged();
        return;
    }
}

void EditorModel::setUsesManualZoom(bool manual) {
    if (state_.usesManualZoom == manual) return;
    state_.usesManualZoom = manual;
    stateChanged();
}

// ---------------------------------------------------------------------------
// Audio

void EditorModel::importAudio(const fs::path& file, std::chrono::system_clock::time_point now) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    const std::string name = "audio-" + std::to_string(seconds) + "-" + file.filename().string();
    std::error_code ec;
    fs::copy_file(file, item_.folder / name, fs::copy_options::none, ec);  // a failed copy is ignored
    state_.project.clips.push_back(
        model::AudioClip{model::Uuid::random(), name, model::AudioClipKind::imported, playheadSource(), 1.0});
    stateChanged();
    persist();
    rebuild();
    loadWaveforms();
}

void EditorModel::setClipStart(const model::Uuid& id, double start, bool persistNow) {
    auto it = std::find_if(state_.project.clips.begin(), state_.project.clips.end(),
                           [&id](const model::AudioClip& c) { return c.id == id; });
    if (it == state_.project.clips.end()) return;
    it->start = finiteClamp(start, 0, events_.duration).value_or(it->start);
    stateChanged();
    if (persistNow) {
        persist();
        rebuild();
    }
}

void EditorModel::setClipVolume(const model::Uuid& id, double volume, bool persistNow) {
    auto it = std::find_if(state_.project.clips.begin(), state_.project.clips.end(),
                           [&id](const model::AudioClip& c) { return c.id == id; });
    if (it == state_.project.clips.end()) return;
    it->volume = finiteClamp(volume, 0, kMaxVolume).value_or(it->volume);
    stateChanged();
    if (persistNow) {
        persist();
        rebuild();
    }
}

void EditorModel::removeClip(const model::Uuid& id) {
    if (std::erase_if(state_.project.clips, [&id](const model::AudioClip& c) { return c.id == id; }) == 0) return;
    stateChanged();
    persist();
    rebuild();
    loadWaveforms();
}

void EditorModel::setMicVolume(double volume, bool persistNow) {
    state_.project.micVolume = finiteClamp(volume, 0, kMaxVolume).value_or(state_.project.micVolume);
    stateChanged();
    if (persistNow) {
        persist();
        rebuild();
    }
}

void EditorModel::setMusicVolume(double volume, bool persistNow) {
    state_.project.musicVolume = finiteClamp(volume, 0, kMaxVolume).value_or(state_.project.musicVolume);
    stateChanged();
    if (persistNow) {
        persist();
        rebuild();
    }
}

void EditorModel::toggleVoiceOver() {
    if (!isRecordingVO_) {
        voStartTime_ = playheadSource();
        if (services_.player) services_.player->play();  // the speaker hears the recording
        setPlaying(true);
        setClockRunning(true);
        auto started = services_.voiceOver ? services_.voiceOver->start(item_.folder)
                                           : Result<void>(makeError(domain::kVorpix, 40, kNoRecorderMessage));
        if (started) {
            isRecordingVO_ = true;
            voError_.clear();
        } else {
            voError_ = qs(started.error().message);
            pausePlayback();
        }
        emit voiceOverChanged();
        return;
    }
    auto file = services_.voiceOver->stop();
    isRecordingVO_ = false;
    if (!file) {
        voError_ = qs(file.error().message);
        emit voiceOverChanged();
        return;
    }
    emit voiceOverChanged();
    state_.project.clips.push_back(model::AudioClip{model::Uuid::random(), file->filename().string(),
                                                    model::AudioClipKind::voiceOver, voStartTime_, 1.0});
    stateChanged();
    persist();
    rebuild();
    loadWaveforms();
}

void EditorModel::loadWaveforms() {
    if (isHydrating_ || loadFailed_) return;
    std::optional<fs::path> video;
    if (!mediaItem_.videoRelativePath.starts_with(".__")) video = mediaItem_.videoPath();
    std::vector<fs::path> extras;
    for (const auto& name : events_.extraAudioFiles.value_or(std::vector<std::string>{}))
        extras.push_back(item_.folder / name);
    std::map<model::Uuid, fs::path> clipFiles;
    for (const auto& clip : state_.project.clips) clipFiles[clip.id] = item_.folder / clip.fileName;

    using Waveforms = std::pair<std::optional<media::WaveformPeaks>, std::map<model::Uuid, media::WaveformPeaks>>;
    const std::uint64_t generation = ++waveformGeneration_;
    runInBackground(
        "tavorin.waveform",
        [video, extras, clipFiles] {
            Waveforms w;
            w.first = media::WaveformAnalyzer::loadCapture(video, extras);
            for (const auto& [id, path] : clipFiles) {
                if (auto peaks = media::WaveformAnalyzer::load(path, kWaveformBucketsPerSecond))
                    w.second.emplace(id, std::move(*peaks));
            }
            return w;
        },
        [generation](EditorModel& model, Waveforms w) {
            if (generation != model.waveformGeneration_) return;  // a later load replaces this one
            model.captureWaveform_ = std::move(w.first);
            model.clipWaveforms_ = std::move(w.second);
            model.waveformReady_ = true;
            emit model.waveformsChanged();
        });
}

// ---------------------------------------------------------------------------
// Export

void EditorModel::exportTo(const fs::path& file) {
    if (isExporting()) return;
    if (!activeExports().insert(item_.id)) {  // announced at once; the task keeps it there
        exportError_ = kAlreadyExportingMessage;
        emit exportChanged();
        return;
    }
    exportPreparing_ = true;
    exportProgress_ = 0;
    exportError_.clear();
    exportedPath_.clear();
    const std::uint64_t generation = ++exportGeneration_;
    emit exportChanged();
    // The renderer costs a few canvas rasterisations: built off this thread.
    runInBackground(
        "tavorin.export.prep",
        [item = mediaItem_, events = events_, document = state_.document(), preset = exportPreset_,
         zooms = state_.segments] { return media::exportSources(item, events, document, preset, zooms); },
        [generation, file](EditorModel& model, media::CompositionSources sources) {
            if (generation != model.exportGeneration_) return;  // cancelled meanwhile
            model.startExportTask(generation, file, std::move(sources));
        });
}

void EditorModel::startExportTask(std::uint64_t generation, const fs::path& file, media::CompositionSources sources) {
    exportPreparing_ = false;
    const auto lifeline = lifeline_;
    auto post = [lifeline, generation](auto apply) {
        std::lock_guard lock(lifeline->mutex);
        if (!lifeline->model) return;
        QMetaObject::invokeMethod(
            lifeline->model,
            [m = lifeline->model, generation, apply = std::move(apply)] {
                if (generation == m->exportGeneration_ && m->exportTask_) apply(*m);
            },
            Qt::QueuedConnection);
    };
    exportTask_ = std::make_unique<media::ExportTask>(
        activeExports(), item_.id, std::move(sources), file, media::ExportSettings{},
        [post](double fraction) {
            post([fraction](EditorModel& m) {
                m.exportProgress_ = fraction;
                emit m.exportChanged();
            });
        },
        [post](const media::ExportReport& report) {
            post([report](EditorModel& m) { m.finishExport(report); });
        });
}

void EditorModel::finishExport(const media::ExportReport& report) {
    exportTask_.reset();  // its threads are ending: the join is short
    switch (report.kind) {
        case media::ExportReport::Kind::completed:
            exportProgress_ = 1.0;
            exportedPath_ = QString::fromStdString(report.url.string());
            break;
        case media::ExportReport::Kind::failed:
            exportError_ = qs(report.message);
            break;
        case media::ExportReport::Kind::cancelled:
            break;
    }
    emit exportChanged();
}

void EditorModel::exportToMovies(const fs::path& moviesFolder) {
    const fs::path folder = media::exportsFolder(moviesFolder);
    exportTo(folder / media::exportFileName(item_, std::chrono::system_clock::now()));
}

void EditorModel::cancelExport() {
    if (!isExporting()) return;
    ++exportGeneration_;  // its last reports (or its prepared inputs) are dropped
    if (exportPreparing_) {
        exportPreparing_ = false;
        activeExports().remove(item_.id);
    }
    exportTask_.reset();  // cancels and waits; the task takes the id out
    emit exportChanged();
}

void EditorModel::clearExportError() {
    if (exportError_.isEmpty()) return;
    exportError_.clear();
    emit exportChanged();
}

}  // namespace vorpix::editor
