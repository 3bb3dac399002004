// The editor model on real recording folders: loading, every edit at its
// edges with what it saves, drafts, rebuild coalescing, undo and redo.

#include <fstream>
#include <map>

#include "EditorFixture.h"
#include "editor/Player.h"
#include "editor/VoiceOverTake.h"

namespace vorpix::testing {
namespace {

using editor::EditorModel;
using model::Project;

std::map<std::string, std::string> snapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = *model::readWholeFile(entry.path());
    return files;
}

TEST_F(EditorTest, LoadsTheDocumentAndFallsBackWhereItIsSilent) {
    Project p;
    p.trimStart = 1;
    p.micVolume = 0.5;
    p.manualZoom = std::vector<model::ZoomSegment>{};  // empty: automatic zooms
    auto events = tenSeconds();
    events.clicks.push_back({5.0, 100, 100, 0});
    auto& m = open(events, p);
    EXPECT_EQ(m.trimStart(), 1);
    EXPECT_EQ(m.trimEnd(), 10);  // absent: the recording's end
    EXPECT_EQ(m.micVolume(), 0.5);
    EXPECT_FALSE(m.usesManualZoom());
    EXPECT_FALSE(m.segments().empty());
    EXPECT_NEAR(m.editDuration(), 9, 1e-9);
    EXPECT_TRUE(waitFor([&] { return m.waveformReady(); }));
    EXPECT_TRUE(m.captureWaveform().has_value());
}

TEST_F(EditorTest, BrokenRecordingEndsInLoadErrorAndKeepsItsFiles) {
    std::filesystem::create_directories(recording());
    for (const char* name : {"raw.mov", "events.json", "project.json"})
        std::ofstream(recording() / name) << "not what it claims {";
    const auto before = snapshot(recording());
    auto m = make(recording(), 4);
    EXPECT_EQ(m->trimEnd(), 4);  // provisional, from the item
    EXPECT_EQ(m->events().pixelWidth, 320);
    ASSERT_TRUE(waitFor([&] { return !m->loadError().isEmpty(); }));
    EXPECT_TRUE(m->loadError().startsWith("Could not open the recording: "));
    EXPECT_FALSE(m->isReady());
    m->addZoomAtPlayhead();
    m->setMicVolume(0.2, true);
    m->undo();
    pump(150);
    auto after = snapshot(recording());
    // The model module keeps an unparsable document aside; nothing else is new.
    std::erase_if(after, [](const auto& f) { return f.first.starts_with("project.json.unreadable-"); });
    EXPECT_EQ(after, before);
}

TEST_F(EditorTest, SplitAndCutFollowTheFilmRules) {
    auto& m = open();
    EXPECT_EQ(m.filmClips().size(), 1u);
    for (auto [t, can] : {std::pair{5.0, true}, {0.03, false}, {9.97, false}}) {
        m.seek(t);
        EXPECT_EQ(m.canSplit(), can) << t;
    }
    m.seek(3);
    m.splitAtPlayhead();
    EXPECT_EQ(m.editSplits(), std::vector<double>{3});
    EXPECT_EQ(m.markIn(), 3);
    EXPECT_EQ(m.markOut(), 10);
    expectSaved(m);
    m.seek(3.01);
    m.splitAtPlayhead();
    EXPECT_EQ(m.editSplits().size(), 1u);
    m.cutSelection();
    EXPECT_EQ(m.removed().size(), 1u);
    EXPECT_TRUE(m.editSplits().empty());
    EXPECT_EQ(m.filmClips().size(), 1u);
    EXPECT_FALSE(m.markIn().has_value());
    expectSaved(m);
    m.undoLastCut();
    EXPECT_TRUE(m.removed().empty());
    expectSaved(m);
}

TEST_F(EditorTest, MarksAndSelectionAtTheirEdges) {
    auto& m = open();
    const std::string saved = projectBytes();
    m.setMarks(2, 2.05);
    EXPECT_FALSE(m.selectionRange());
    m.cutSelection();  // too short: nothing
    EXPECT_TRUE(m.removed().empty());
    m.setMarks(6, std::nullopt);
    m.seek(4);
    m.setMarkOut();  // before the in mark: the in mark goes
    EXPECT_FALSE(m.markIn());
    EXPECT_EQ(m.markOut(), 4);
    m.selectClip(5);  // a single clip: marks cleared
    EXPECT_FALSE(m.markOut());
    m.seek(5);
    m.splitAtPlayhead();
    m.selectClip(2);
    EXPECT_EQ(m.selectionRange(), std::pair(0.0, 5.0));
    // Splits inside the cut, and one 0.0005 s outside it, go with it.
    m.seek(2);
    m.splitAtPlayhead();
    m.seek(8.0005);
    m.splitAtPlayhead();
    m.setMarks(2, 8);
    m.cutSelection();
    EXPECT_TRUE(m.editSplits().empty());
    EXPECT_NE(projectBytes(), saved);
}

struct EdgeCase {
    const char* name;
    std::vector<double> splits;
    int clip;
    bool isStart;
    double to;
    std::optional<double> trimStart, trimEnd;  // drafts
    std::optional<std::pair<double, double>> cut;
};

TEST_F(EditorTest, FilmEdgeDragsStayDraftsUntilCommitted) {
    const EdgeCase cases[] = {
        {"first start past the end", {}, 0, true, 20, 9.8, {}, {}},
        {"last end before the start", {}, 0, false, -3, {}, 0.2, {}},
        {"inner start", {4}, 1, true, 6, {}, {}, std::pair{4.0, 6.0}},
        {"inner start past its end", {4}, 1, true, 11, {}, {}, std::pair{4.0, 9.85}},
        {"inner end to the left", {4}, 0, false, 1, {}, {}, std::pair{1.0, 4.0}},
        {"inner end at its start", {4}, 0, false, 0, {}, {}, std::pair{0.15, 4.0}},
        {"inner start barely moved", {4}, 1, true, 4.05, {}, {}, std::pair{4.0, 4.05}},
    };
    Project p;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        p.splits = c.splits;
        auto& m = open(tenSeconds(), p);
        const std::string saved = projectBytes();
        m.updateFilmEdge(m.filmClips()[c.clip], c.isStart, c.to);
        EXPECT_EQ(m.drafts().trimStart, c.trimStart);
        EXPECT_EQ(m.drafts().trimEnd, c.trimEnd);
        ASSERT_EQ(m.drafts().cut.has_value(), c.cut.has_value());
        if (c.cut) {
            EXPECT_EQ(m.drafts().cut->start, c.cut->first);
            EXPECT_NEAR(m.drafts().cut->end, c.cut->second, 1e-9);
        }
        EXPECT_NEAR(m.editDuration(), timeline::editDuration(m.keep()), 1e-12);  // keep sees drafts
        EXPECT_EQ(projectBytes(), saved);
        m.commitFilmEdge();
        EXPECT_FALSE(m.drafts().cut || m.drafts().trimStart || m.drafts().trimEnd);
        const bool cuts = c.cut && c.cut->second - c.cut->first > 0.08;
        EXPECT_EQ(m.removed().size(), cuts ? 1u : 0u);
        EXPECT_EQ(m.trimStart(), c.trimStart.value_or(0));
        EXPECT_EQ(m.trimEnd(), c.trimEnd.value_or(10));
        expectSaved(m);
    }
}

TEST_F(EditorTest, ZoomEditsAtTheirEdges) {
    Project p;
    p.style.zoomLead = 0.8;
    p.style.zoomHold = 1.0;
    auto& m = open(tenSeconds(), p);
    m.addZoom(0.3, 0.3, 0.5);
    ASSERT_TRUE(m.selectedSegment());
    EXPECT_EQ(m.selectedSegment()->start, 0);
    EXPECT_NEAR(m.selectedSegment()->end, 2.1, 1e-9);  // the hold is raised to 1.6 s
    EXPECT_TRUE(m.usesManualZoom());
    expectSaved(m);
    m.addZoom(0.5, 0.5, 9.5);
    EXPECT_EQ(m.selectedSegment()->end, 10);
    EXPECT_EQ(m.segments().front().start, 0);  // sorted by start
    m.setSelectedZoomCenter(-0.2, 1.4, false);
    EXPECT_EQ(m.selectedSegment()->centerX, 0);
    EXPECT_EQ(m.selectedSegment()->centerY, 1);
    EXPECT_FALSE(m.selectedSegment()->followCursor);
    EXPECT_FALSE(model::decodeProject(projectBytes())->manualZoom->back().centerY == 1);  // not yet saved
    m.setSelectedZoomCenter(0, 1, true);
    expectSaved(m);
    m.setSegmentTimes(m.selectedSegment()->id, 9.99, 3, true);
    EXPECT_NEAR(m.selectedSegment()->start, 9.8, 1e-9);
    EXPECT_EQ(m.selectedSegment()->end, 10);
    m.seek(5);
    m.addZoomAtPlayhead();  // no pointer samples: the centre
    EXPECT_EQ(m.selectedSegment()->centerX, 0.5);
    for (int i = 0; i < 3; ++i) {
        m.setSelectedSegmentID(m.segments().front().id);
        m.deleteSelectedSegment();
    }
    EXPECT_TRUE(m.segments().empty());
    EXPECT_TRUE(m.usesManualZoom());
    expectSaved(m);  // an empty manual list, which reloads as automatic
    m.setSelectedSegmentID(model::Uuid::random());
    m.deleteSelectedSegment();  // not in the list: nothing
    EXPECT_FALSE(m.selectedSegmentID());
    m.regenerateAutoZoom();
    EXPECT_FALSE(m.usesManualZoom());
    EXPECT_FALSE(model::decodeProject(projectBytes())->manualZoom.has_value());
}

TEST_F(EditorTest, PointerAimsNewZooms) {
    auto events = tenSeconds();
    events.samples = {{0, 32, 20}, {10, 32, 20}};
    auto& m = open(events);
    m.addZoomAtPlayhead();
    EXPECT_NEAR(m.selectedSegment()->centerX, 0.1, 1e-9);
    EXPECT_NEAR(m.selectedSegment()->centerY, 0.1, 1e-9);
}

class FakeRecorder : public editor::VoiceOverTake {
public:
    Result<void> start(const std::filesystem::path& folder) override {
        if (!works) return makeError(domain::kVorpix, 1, "No microphone is available.");
        folder_ = folder;
        return {};
    }
    Result<std::filesystem::path> stop() override {
        std::filesystem::copy_file(folder_ / "raw.mov", folder_ / "voiceover-1.m4a");
        return folder_ / "voiceover-1.m4a";
    }
    bool works = false;
    std::filesystem::path folder_;
};

TEST_F(EditorTest, AudioClipsImportsAndVoiceOver) {
    Project p;
    p.removedRanges.push_back({model::Uuid::random(), 1, 3});
    auto& m = open(tenSeconds(), p);
    m.seek(2);
    std::filesystem::copy_file(recording() / "raw.mov", folder_ / "song.mp3");
    m.importAudio(folder_ / "song.mp3", std::chrono::system_clock::from_time_t(1700000000));
    EXPECT_TRUE(std::filesystem::exists(recording() / "audio-1700000000-song.mp3"));
    ASSERT_EQ(m.clips().size(), 1u);
    EXPECT_EQ(m.clips()[0].start, 4);
    EXPECT_EQ(m.clips()[0].kind, model::AudioClipKind::imported);
    expectSaved(m);
    const auto id = m.clips()[0].id;
    EXPECT_TRUE(waitFor([&] { return m.clipWaveforms().contains(id); }));
    for (auto [to, want] : {std::pair{-3.0, 0.0}, {99.0, 10.0}}) {
        m.setClipStart(id, to, true);
        EXPECT_EQ(m.clips()[0].start, want);
    }
    expectSaved(m);

    // Voice-over: a failing recorder leaves a message and stops playback.
    FakeRecorder recorder;
    auto vo = std::make_unique<EditorModel>(m.item(), EditorModel::Services{{}, &active_, nullptr, &recorder});
    ASSERT_TRUE(waitFor([&] { return vo->isReady(); }));
    vo->toggleVoiceOver();
    EXPECT_FALSE(vo->isRecordingVO());
    EXPECT_EQ(vo->voError(), "No microphone is available.");
    EXPECT_FALSE(vo->isPlaying());
    recorder.works = true;
    vo->seek(1.5);  // source 3.5 after the cut
    vo->toggleVoiceOver();
    EXPECT_TRUE(vo->isRecordingVO());
    EXPECT_EQ(vo->voError(), "");
    vo->toggleVoiceOver();
    EXPECT_FALSE(vo->isRecordingVO());
    ASSERT_EQ(vo->clips().size(), 2u);
    EXPECT_EQ(vo->clips()[1].fileName, "voiceover-1.m4a");
    EXPECT_EQ(vo->clips()[1].kind, model::AudioClipKind::voiceOver);
    EXPECT_EQ(vo->clips()[1].start, 3.5);
    expectSaved(*vo);
}

TEST_F(EditorTest, PlaybackWithoutAPlayerClampsAndDebounces) {
    auto& m = open();
    for (auto [to, want] : {std::pair{-1.0, 0.0}, {99.0, 10.0}, {NAN, 0.0}}) {
        m.seek(to);
        EXPECT_EQ(m.playhead(), want);
    }
    m.playPause();
    m.playPause();  // within 0.08 s: ignored
    EXPECT_TRUE(m.isPlaying());
    pump(100);
    m.playPause();
    EXPECT_FALSE(m.isPlaying());
    m.seek(9.95);
    pump(100);
    m.playPause();  // at the end: nothing
    EXPECT_FALSE(m.isPlaying());
}

TEST_F(EditorTest, DrivesThePlayerAtTheViewsSize) {
    struct Sink : editor::VideoSink {
        void present(std::shared_ptr<const editor::PlayerFrame> f) override {
            std::lock_guard lock(mutex);
            size = {f->image->width, f->image->height};
        }
        std::mutex mutex;
        std::pair<int, int> size;  // guarded by mutex
    } sink;
    editor::Player player(sink, std::make_unique<editor::NullAudioOutput>());
    player_ = &player;
    auto& m = open();
    int rebuilt = 0;
    QObject::connect(&m, &EditorModel::previewRebuilt, [&] { ++rebuilt; });
    m.setPreviewSize(Size{100, 100});
    ASSERT_TRUE(waitFor([&] { return rebuilt == 1; }));
    {
        std::lock_guard lock(sink.mutex);
        EXPECT_EQ(sink.size, std::pair(100, 62));  // 320 x 200 fitted
    }
    m.seek(4);
    ASSERT_TRUE(waitFor([&] { return player.currentTime() == 4.0; }));
    m.playPause();
    EXPECT_TRUE(waitFor([&] { return m.playhead() > 4.3; }));  // the display clock follows the player
    EXPECT_TRUE(m.isPlaying());
    m.seek(9.8);
    EXPECT_TRUE(waitFor([&] { return !m.isPlaying(); }));  // the end of the item pauses
    EXPECT_EQ(m.playhead(), 10);
    model_.reset();
}

TEST_F(EditorTest, EditsCoalesceIntoOneRebuildAndANewerEditWins) {
    auto& m = open();
    int started = 0, rebuilt = 0;
    QObject::connect(&m, &EditorModel::rebuildStarted, [&] { ++started; });
    QObject::connect(&m, &EditorModel::previewRebuilt, [&] { ++rebuilt; });
    for (double v : {0.1, 0.2, 0.3, 0.4}) m.setMicVolume(v, true);
    ASSERT_TRUE(waitFor([&] { return rebuilt == 1; }));
    pump(150);
    EXPECT_EQ(started, 1);
    // An edit while a build runs: that build's result is dropped.
    bool editedDuringBuild = false;
    QObject::connect(&m, &EditorModel::rebuildStarted, [&] {
        if (!std::exchange(editedDuringBuild, true)) m.setMusicVolume(0.5, true);
    });
    m.setMicVolume(1, true);
    ASSERT_TRUE(waitFor([&] { return rebuilt == 2; }));
    pump(150);
    EXPECT_EQ(started, 3);
    EXPECT_EQ(rebuilt, 2);
}

TEST_F(EditorTest, UndoAndRedoGiveBackTheSameBytes) {
    Project p;
    p.trimEnd = 10;
    auto& m = open(tenSeconds(), p);
    std::vector<std::string> files{projectBytes()};
    const std::vector<std::function<void()>> edits = {
        [&] { m.seek(3), m.splitAtPlayhead(); },
        [&] { m.cutSelection(); },
        [&] { m.addZoom(0.2, 0.2, 1.0); },
        [&] {  // a drag is one step
            for (double x : {0.3, 0.4, 0.5}) m.setSelectedZoomCenter(x, x, false);
            m.persist();
        },
        [&] {
            auto s = m.style();
            s.padding = 0.1;
            m.setStyle(s);
        },
        [&] {
            m.updateFilmEdge(m.filmClips()[0], true, 1);
            m.updateFilmEdge(m.filmClips()[0], true, 1.5);
            m.commitFilmEdge();
        },
        [&] { m.undoLastCut(); },
        [&] { m.setMusicVolume(0.3, true); },
    };
    for (const auto& edit : edits) {
        edit();
        files.push_back(projectBytes());
        EXPECT_NE(files.back(), files[files.size() - 2]);
    }
    for (std::size_t i = files.size() - 1; i > 0; --i) {
        m.undo();
        EXPECT_EQ(projectBytes(), files[i - 1]) << "undo to step " << i - 1;
    }
    EXPECT_FALSE(m.canUndo());
    for (std::size_t i = 1; i < files.size(); ++i) {
        m.redo();
        EXPECT_EQ(projectBytes(), files[i]) << "redo to step " << i;
    }
    EXPECT_FALSE(m.canRedo());
    m.undo();
    m.setMicVolume(0.9, true);  // a new edit forks the history
    EXPECT_FALSE(m.canRedo());
}

TEST(EditHistoryTest, KeepsTheLatestStepsAndForksOnANewEdit) {
    editor::EditHistory h;
    auto state = [](int i) {
        editor::EditState s;
        s.project.micVolume = i;
        return s;
    };
    for (int i = 0; i < 250; ++i) h.committed(state(i));
    int undone = 0;
    editor::EditState current = state(250);
    while (auto back = h.undo(current)) current = *back, ++undone;
    EXPECT_EQ(undone, 200);
    EXPECT_EQ(current.project.micVolume, 50);  // the oldest 50 are forgotten
    ASSERT_TRUE(h.redo(current));
    h.committed(state(7));
    EXPECT_FALSE(h.canRedo());
}

TEST_F(EditorTest, ExportRunsOnceCancelsAndRefusesASecond) {
    auto& m = open();
    const auto out = folder_ / "out.mp4";
    m.exportTo(out);
    EXPECT_TRUE(m.isExporting());
    EXPECT_TRUE(active_.contains("rec"));
    auto second = make(recording());
    ASSERT_TRUE(waitFor([&] { return second->isReady(); }));
    second->exportTo(folder_ / "other.mp4");
    EXPECT_FALSE(second->isExporting());
    EXPECT_EQ(second->exportError(), EditorModel::kAlreadyExportingMessage);
    m.cancelExport();
    EXPECT_FALSE(m.isExporting());
    EXPECT_FALSE(active_.contains("rec"));
    EXPECT_EQ(m.exportError(), "");
    EXPECT_FALSE(std::filesystem::exists(out));
    m.exportTo(out);
    ASSERT_TRUE(waitFor([&] { return !m.isExporting(); }, 120000));
    EXPECT_EQ(m.exportError(), "");
    EXPECT_EQ(m.exportProgress(), 1.0);
    EXPECT_EQ(m.exportedPath().toStdString(), out.string());
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_FALSE(active_.contains("rec"));
}

}  // namespace
}  // namespace vorpix::testing
