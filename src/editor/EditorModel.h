#pragma once

// The state and operations of one open recording in the editor: loading the
// capture metadata and edit document, trims, marks, splits, cuts, clip-edge
// drags, zooms, style, volumes, audio clips and voice-over takes, undo and
// redo, waveforms, the preview rebuild and playback control, and export.
//
// Every committed edit writes "project.json" at once (atomically) and
// schedules a preview rebuild 80 ms later; a newer edit restarts that wait
// and discards a rebuild still running. Edits made with `persistNow` false
// (slider and drag updates) change the state and the views but not the file;
// the `persist()` that ends them commits them as one undo step. Drafts of a
// clip-edge drag never reach the file until `commitFilmEdge()`.
//
// Threads: a QObject of the main thread; every method is called there.
// Loading, rebuilds, renderer swaps and waveforms run on short-lived
// background threads that hold the model weakly and publish their results
// on the main thread; results of a model that is gone are dropped.

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "editor/EditHistory.h"
#include "editor/Playback.h"
#include "editor/ZoomPlacement.h"
#include "media/ActiveExports.h"
#include "media/CompositionBuilder.h"
#include "media/ExportTask.h"
#include "media/WaveformPeaks.h"
#include "model/Project.h"
#include "model/RecordingItem.h"
#include "model/SessionEvents.h"
#include "timeline/EditDerivation.h"
#include "timeline/EditTimeline.h"

namespace vorpix::editor {

class PreviewPlayer;
class VoiceOverTake;

class EditorModel : public QObject, public zoom_overlay::PlacementTarget {
    Q_OBJECT
    Q_PROPERTY(bool isReady READ isReady NOTIFY loadingChanged)
    Q_PROPERTY(QString loadError READ loadError NOTIFY loadingChanged)
    Q_PROPERTY(double playhead READ playhead NOTIFY playheadChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY playingChanged)
    Q_PROPERTY(double trimStart READ trimStart NOTIFY documentChanged)
    Q_PROPERTY(double trimEnd READ trimEnd NOTIFY documentChanged)
    Q_PROPERTY(double micVolume READ micVolume NOTIFY documentChanged)
    Q_PROPERTY(double musicVolume READ musicVolume NOTIFY documentChanged)
    Q_PROPERTY(bool usesManualZoom READ usesManualZoom NOTIFY documentChanged)
    Q_PROPERTY(double editDuration READ editDuration NOTIFY documentChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY historyChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY historyChanged)
    Q_PROPERTY(bool isExporting READ isExporting NOTIFY exportChanged)
    Q_PROPERTY(double exportProgress READ exportProgress NOTIFY exportChanged)
    Q_PROPERTY(QString exportError READ exportError NOTIFY exportChanged)
    Q_PROPERTY(QString exportedPath READ exportedPath NOTIFY exportChanged)
    Q_PROPERTY(bool isRecordingVO READ isRecordingVO NOTIFY voiceOverChanged)
    Q_PROPERTY(QString voError READ voError NOTIFY voiceOverChanged)
    Q_PROPERTY(bool waveformReady READ waveformReady NOTIFY waveformsChanged)

public:
    struct Services {
        // The per-user data folder (Screen Studio cache folders live there).
        std::filesystem::path dataFolder;
        // The process's set of exporting recordings; must outlive the model.
        media::ActiveExports* activeExports = nullptr;
        // Optional, not owned, must outlive the model. Without a player the
        // playhead moves only by seeks.
        PreviewPlayer* player = nullptr;
        // Optional, not owned, must outlive the model. Without one a
        // voice-over take fails with a message.
        VoiceOverTake* voiceOver = nullptr;
    };

    static constexpr std::chrono::milliseconds kRebuildDelay{80};
    static constexpr const char* kAlreadyExportingMessage = "This recording is already being exported.";

    // Starts loading at once (on a background thread); `isReady` or
    // `loadError` tell how it ended.
    EditorModel(model::RecordingItem item, Services services, QObject* parent = nullptr);
    ~EditorModel() override;

    // --- State ---------------------------------------------------------
    const model::RecordingItem& item() const { return item_; }
    const model::SessionEvents& events() const { return events_; }
    const EditState& state() const { return state_; }
    const model::StyleSettings& style() const { return state_.project.style; }
    const std::vector<model::ZoomSegment>& segments() const { return state_.segments; }
    bool usesManualZoom() const { return state_.usesManualZoom; }
    const std::vector<model::TimeRange>& removed() const { return state_.project.removedRanges; }
    const std::vector<double>& editSplits() const { return state_.project.splits; }
    const std::vector<model::AudioClip>& clips() const { return state_.project.clips; }
    double trimStart() const { return state_.project.trimStart; }
    double trimEnd() const { return state_.project.trimEnd.value_or(events_.duration); }
    double micVolume() const { return state_.project.micVolume; }
    double musicVolume() const { return state_.project.musicVolume; }
    const timeline::EditDrafts& drafts() const { return drafts_; }
    std::optional<double> markIn() const { return markIn_; }
    std::optional<double> markOut() const { return markOut_; }
    std::optional<model::Uuid> selectedSegmentID() const { return selectedSegmentID_; }
    bool isReady() const { return isReady_; }
    QString loadError() const { return loadError_; }
    bool isHydrating() const { return isHydrating_; }
    double playhead() const { return playhead_.seconds(); }
    bool isPlaying() const { return isPlaying_; }
    // Where "project.json" is written.
    const std::filesystem::path& projectFolder() const { return projectFolder_; }
    // The composition now in the preview.
    std::shared_ptr<const media::StudioComposition> previewBuilt() const { return previewBuilt_; }

    // --- Derived (computed on every call) ------------------------------
    std::vector<model::TimelineSlice> keep() const;  // with the drafts
    double editDuration() const;
    std::vector<timeline::FilmClip> filmClips() const;
    std::optional<std::pair<double, double>> selectionRange() const;
    bool canSplit() const;
    double playheadSource() const;  // toSource(playhead, keep)

    // --- Direct assignments with their hooks ---------------------------
    // Persists and rebuilds (outside loading) when the style changed; an
    // automatic zoom list follows the new zoom settings.
    void setStyle(const model::StyleSettings& style);
    // Changing the selection refreshes the placement renderer.
    void setSelectedSegmentID(std::optional<model::Uuid> id);
    // The view's size in pixels: the preview renders the canvas fitted into
    // it (none: the canvas itself). Rebuilds when it changes.
    void setPreviewSize(std::optional<Size> view);
    // Marks only (Escape clears both); never saved.
    void setMarks(std::optional<double> in, std::optional<double> out);

    // --- Loading and persistence ---------------------------------------
    // Commits the current state: writes "project.json" (a failed write is
    // ignored) and records an undo step when the state changed since the
    // last commit. Nothing while loading or after a failed load.
    void persist() override;
    // Schedules the preview rebuild 80 ms from now (restarting the wait).
    void rebuild() override;

    // --- Undo -----------------------------------------------------------
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    // Puts the whole state of one step back, saves and rebuilds; a drag in
    // progress is dropped. Nothing when there is no step.
    void undo();
    void redo();

    // --- Playback -------------------------------------------------------
    void playPause();
    void pausePlayback();
    void seek(double outputSeconds);

    // --- Film editing ---------------------------------------------------
    void setMarkIn();
    void setMarkOut();
    void selectClip(double sourceSeconds);
    void splitAtPlayhead();
    void cutSelection();
    void undoLastCut();
    void updateFilmEdge(const timeline::FilmClip& clip, bool isStart, double sourceSeconds);
    void commitFilmEdge();

    // --- Zoom editing ---------------------------------------------------
    void regenerateAutoZoom();
    void addZoomAtPlayhead();
    void addZoom(double centerX, double centerY, std::optional<double> atSource);
    void setSelectedZoomCenter(double normalizedX, double normalizedY, bool persistNow) override;
    void deleteSelectedSegment();
    // A zoom's times from the timeline strip (move or resize): start clamped
    // to the recording, end at least 0.2 s after it.
    void setSegmentTimes(const model::Uuid& id, double start, double end, bool persistNow);
    std::optional<model::ZoomSegment> selectedSegment() const override;
    bool isPlacingZoom() const override;

    // zoom_overlay::PlacementTarget
    double recordingDuration() const override { return events_.duration; }
    void addZoom(double centerX, double centerY) override { addZoom(centerX, centerY, std::nullopt); }
    void replaceSelectedSegment(const model::ZoomSegment& segment) override;
    void setUsesManualZoom(bool manual) override;

    // --- Audio ----------------------------------------------------------
    // Copies `file` into the recording folder as "audio-<seconds since
    // 1970>-<name>" (a failed copy is ignored) and adds a clip at the
    // playhead.
    void importAudio(const std::filesystem::path& file,
                     std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
    void setClipStart(const model::Uuid& id, double start, bool persistNow);
    void setClipVolume(const model::Uuid& id, double volume, bool persistNow);
    void removeClip(const model::Uuid& id);
    void setMicVolume(double volume, bool persistNow);
    void setMusicVolume(double volume, bool persistNow);
    void toggleVoiceOver();
    bool isRecordingVO() const { return isRecordingVO_; }
    QString voError() const { return voError_; }
    void loadWaveforms();
    bool waveformReady() const { return waveformReady_; }
    const std::optional<media::WaveformPeaks>& captureWaveform() const { return captureWaveform_; }
    const std::map<model::Uuid, media::WaveformPeaks>& clipWaveforms() const { return clipWaveforms_; }

    // --- Export -----------------------------------------------------------
    model::ExportPreset exportPreset() const { return exportPreset_; }
    void setExportPreset(model::ExportPreset preset) { exportPreset_ = preset; }
    // Exports the edit as it is now at `exportPreset` to `file` on the
    // export threads. Refused with `exportError` set when this recording is
    // already exporting (here or elsewhere); nothing while this model exports.
    void exportTo(const std::filesystem::path& file);
    // "Vorpix Exports" in `moviesFolder`, named after the recording and now.
    void exportToMovies(const std::filesystem::path& moviesFolder);
    // Stops the export; returns once the file is gone and the recording has
    // left ActiveExports.
    void cancelExport();
    bool isExporting() const { return exportPreparing_ || exportTask_ != nullptr; }
    double exportProgress() const { return exportProgress_; }
    QString exportError() const { return exportError_; }
    QString exportedPath() const { return exportedPath_; }
    void clearExportError();

signals:
    void loadingChanged();
    void playheadChanged(double seconds);
    void playingChanged();
    // Any committed or in-progress change of the edit state.
    void documentChanged();
    void draftsChanged();
    void marksChanged();
    void selectedSegmentChanged();
    void historyChanged();
    void exportChanged();
    void voiceOverChanged();
    void waveformsChanged();
    // A rebuild began building (after the 80 ms wait) / its result is in
    // the preview.
    void rebuildStarted();
    void previewRebuilt();

private:
    struct Lifeline;
    struct Loaded;
    template <typename Work, typename Apply>
    void runInBackground(const char* threadName, Work work, Apply apply);

    void applyLoaded(Loaded loaded);
    void startRebuild();
    void finishRebuild(double resumeTime, bool resume);
    void refreshPlacementRenderer();
    void syncPlayheadFromPlayer();
    void setClockRunning(bool running);
    void setPlayhead(double seconds);
    void setPlaying(bool playing);
    void setLoadError(QString message);
    // After any change of the state: clamps the selection to existing
    // segments and tells the views.
    void stateChanged();
    void writeDocument();
    bool canWrite() const;
    void sortSegments();
    void setDrafts(timeline::EditDrafts drafts);
    std::vector<model::ZoomSegment> autoSegments() const;
    void restore(EditState state);
    void startExportTask(std::uint64_t generation, const std::filesystem::path& file,
                         media::CompositionSources sources);
    void finishExport(const media::ExportReport& report);
    media::ActiveExports& activeExports();

    const model::RecordingItem item_;
    const Services services_;
    std::shared_ptr<Lifeline> lifeline_;

    model::SessionEvents events_;
    EditState state_;
    EditState committed_;  // the state as last saved
    EditHistory history_;
    std::filesystem::path projectFolder_;
    model::RecordingItem mediaItem_;  // item_ with the movie found at load
    bool isHydrating_ = true;
    bool loadFailed_ = false;
    bool isReady_ = false;
    QString loadError_;

    timeline::EditDrafts drafts_;
    std::optional<double> markIn_;
    std::optional<double> markOut_;
    std::optional<model::Uuid> selectedSegmentID_;

    PlayheadClock playhead_;
    PlayPauseGuard playPauseGuard_;
    bool isPlaying_ = false;
    bool suppressTimeUpdates_ = false;
    QTimer displayClock_;
    QTimer rebuildTimer_;
    std::uint64_t rebuildGeneration_ = 0;
    std::uint64_t placementGeneration_ = 0;
    std::uint64_t seekGeneration_ = 0;
    std::shared_ptr<const media::StudioComposition> previewBuilt_;
    std::optional<Size> previewSize_;

    bool isRecordingVO_ = false;
    QString voError_;
    double voStartTime_ = 0;

    std::uint64_t waveformGeneration_ = 0;
    bool waveformReady_ = false;
    std::optional<media::WaveformPeaks> captureWaveform_;
    std::map<model::Uuid, media::WaveformPeaks> clipWaveforms_;

    model::ExportPreset exportPreset_ = model::ExportPreset::source;
    std::unique_ptr<media::ActiveExports> ownActiveExports_;  // when none is given
    std::unique_ptr<media::ExportTask> exportTask_;
    std::uint64_t exportGeneration_ = 0;
    bool exportPreparing_ = false;  // the export's inputs are being built
    double exportProgress_ = 0;
    QString exportError_;
    QString exportedPath_;
};

}  // namespace vorpix::editor
