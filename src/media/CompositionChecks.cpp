// The composition builder's case table: the edge cases that the unit tests
// and the command-line self-check share. Everything here runs without media
// files, on made-up track properties.

#include <cmath>
#include <sstream>

#include "media/CompositionBuilder.h"

namespace vorpix::media {

namespace {

MediaTime sec(double s) {
    return MediaTime::fromSeconds(s);
}

TrackInfo videoTrack(double start, double duration, double fps) {
    TrackInfo t;
    t.kind = TrackKind::video;
    t.range = TimeSpan{sec(start), sec(duration)};
    t.nominalFrameRate = fps;
    t.width = 320;
    t.height = 200;
    return t;
}

TrackInfo audioTrack(double start, double duration) {
    TrackInfo t;
    t.kind = TrackKind::audio;
    t.range = TimeSpan{sec(start), sec(duration)};
    t.sampleRate = 48000;
    t.channels = 2;
    return t;
}

MediaInfo file(const char* name, std::vector<TrackInfo> video, std::vector<TrackInfo> audio) {
    MediaInfo info;
    info.path = name;
    for (const auto& t : video) info.duration = std::max(info.duration, t.range.end());
    for (const auto& t : audio) info.duration = std::max(info.duration, t.range.end());
    info.video = std::move(video);
    info.audio = std::move(audio);
    return info;
}

// "" when |actual − expected| ≤ tolerance seconds, else a description.
std::string near(const char* what, MediaTime actual, double expected, double tolerance) {
    if (std::fabs(actual.seconds() - expected) <= tolerance) return "";
    std::ostringstream text;
    text << what << " is " << actual.seconds() << " s, expected " << expected << " s";
    return text.str();
}

template <class T>
std::string equal(const char* what, const T& actual, const T& expected) {
    if (actual == expected) return "";
    std::ostringstream text;
    text << what << " is " << actual << ", expected " << expected;
    return text.str();
}

Result<StudioComposition> assembleWith(const ProbedSources& probed,
                                       const std::vector<model::TimelineSlice>& slices,
                                       double webcamOffset = 0) {
    CompositionSources sources;
    sources.screen = probed.screen.path;
    sources.slices = slices;
    sources.webcamOffset = webcamOffset;
    if (probed.webcam) sources.webcam = probed.webcam->path;
    return CompositionBuilder::assemble(sources, probed);
}

const CompositionTrack* firstTrack(const Composition& c, TrackKind kind, TrackId skip = 0) {
    for (const auto& t : c.tracks()) {
        if (t.kind == kind && t.id != skip) return &t;
    }
    return nullptr;
}

std::string slicedDurationOfTwoSpeeds() {
    const std::vector<model::TimelineSlice> slices = {{0, 10, 1}, {10, 20, 2}};
    return near("duration", CompositionBuilder::slicedDuration(slices, sec(99)), 15, 1e-9);
}

std::string slicedDurationFallsBackWhenEmpty() {
    return near("duration", CompositionBuilder::slicedDuration({}, sec(7.25)), 7.25, 1e-9);
}

std::string slicedDurationFloorsSpeedAndLength() {
    // A reversed slice counts nothing; a speed of 0 is taken as 0.001.
    const std::vector<model::TimelineSlice> slices = {{5, 3, 1}, {0, 0.001, 0}};
    return near("duration", CompositionBuilder::slicedDuration(slices, sec(1)), 1.0, 1e-9);
}

std::string secondSliceScaledFirstUnchanged() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 30, 60)}, {audioTrack(0, 30)}), {}, {}, {}};
    auto built = assembleWith(probed, {{0, 10, 1}, {10, 20, 2}});
    if (!built) return built.error().message;
    if (auto e = near("composition duration", built->duration(), 15, 1e-6); !e.empty()) return e;
    const auto& segments = built->asset->tracks().front().segments;
    if (segments.size() != 2) return equal("screen segments", segments.size(), std::size_t{2});
    if (auto e = near("first segment length", segments[0].target.duration, 10, 1e-6); !e.empty()) return e;
    if (auto e = near("second segment start", segments[1].target.start, 10, 1e-6); !e.empty()) return e;
    if (auto e = near("second segment length", segments[1].target.duration, 5, 1e-6); !e.empty()) return e;
    if (auto e = near("second segment source", segments[1].source.duration, 10, 1e-6); !e.empty()) return e;
    const CompositionTrack* audio = firstTrack(*built->asset, TrackKind::audio);
    if (audio == nullptr) return "no audio track";
    return near("audio end", audio->end(), 15, 1e-6);
}

std::string extremeSpeedsScaleOrNot() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 30, 60)}, {}), {}, {}, {}};
    auto built = assembleWith(probed, {{0, 4, 0.5}, {4, 8, 0.01}, {8, 12, 1.0005}});
    if (!built) return built.error().message;
    // 0.5 doubles the first slice; 0.01 and 1.0005 stay at normal speed.
    if (auto e = near("screen end", built->asset->tracks().front().end(), 8 + 4 + 4, 1e-6); !e.empty())
        return e;
    return near("composition duration", built->duration(), 8 + 400 + 4 / 1.0005, 1e-3);
}

std::string severalSpeedsScaleLastToFirst() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 30, 60)}, {}), {}, {}, {}};
    auto built = assembleWith(probed, {{0, 4, 2}, {4, 8, 1}, {8, 12, 4}});
    if (!built) return built.error().message;
    const auto& segments = built->asset->tracks().front().segments;
    if (segments.size() != 3) return equal("screen segments", segments.size(), std::size_t{3});
    const double starts[] = {0, 2, 6};
    const double lengths[] = {2, 4, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        if (auto e = near("segment start", segments[i].target.start, starts[i], 1e-9); !e.empty()) return e;
        if (auto e = near("segment length", segments[i].target.duration, lengths[i], 1e-9); !e.empty())
            return e;
        if (auto e = near("segment source", segments[i].source.start, 4.0 * static_cast<double>(i), 1e-9);
            !e.empty()) {
            return e;
        }
    }
    return near("composition duration", built->duration(), 7, 1e-9);
}

std::string frameRateRule() {
    const struct {
        double nominal;
        int fps;
    } cases[] = {{29.97, 30}, {15, 24}, {59.94, 60}, {0, 24}, {24.5, 25}, {23.5, 24}, {120, 120}, {-3, 24}};
    for (const auto& c : cases) {
        const int fps = CompositionBuilder::framesPerSecond(c.nominal);
        if (fps != c.fps) {
            std::ostringstream text;
            text << "fps of " << c.nominal << " is " << fps << ", expected " << c.fps;
            return text.str();
        }
    }
    return "";
}

std::string shortAudioIsNotStretched() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 203.29, 60)}, {audioTrack(0, 152.48)}), {}, {}, {}};
    auto built = assembleWith(probed, {});
    if (!built) return built.error().message;
    const CompositionTrack* audio = firstTrack(*built->asset, TrackKind::audio);
    if (audio == nullptr) return "no audio track";
    if (auto e = near("audio end", audio->end(), 152.48, 0.01); !e.empty()) return e;
    return near("duration", built->duration(), 203.29, 0.001);
}

std::string lateAudioKeepsItsStart() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 10, 60)}, {audioTrack(0.058, 9.9)}), {}, {}, {}};
    auto built = assembleWith(probed, {});
    if (!built) return built.error().message;
    const CompositionTrack* audio = firstTrack(*built->asset, TrackKind::audio);
    if (audio == nullptr || audio->segments.empty()) return "no audio segment";
    return near("audio start", audio->segments.front().target.start, 0.058, 0.001);
}

std::string emptySlicesInsertEverythingTinyOnesNothing() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 12, 30)}, {}), {}, {}, {}};
    auto whole = assembleWith(probed, {});
    if (!whole) return whole.error().message;
    if (auto e = near("whole screen", whole->asset->tracks().front().end(), 12, 1e-9); !e.empty()) return e;
    auto tiny = assembleWith(probed, {{1, 1.001, 1}, {2, 2.0005, 1}, {3, 2, 1}});
    if (!tiny) return tiny.error().message;
    return equal("screen segments", tiny->asset->tracks().front().segments.size(), std::size_t{0});
}

std::string webcamStartedEarly() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 40, 30)}, {}),
                         file("webcam.mov", {videoTrack(0, 30, 30)}, {}),
                         {},
                         {}};
    auto built = assembleWith(probed, {}, -2);
    if (!built) return built.error().message;
    const auto& instruction = *built->videoComposition.instruction;
    if (!instruction.webcamTrackID) return "no webcam track";
    const auto& segments = built->asset->track(*instruction.webcamTrackID)->segments;
    if (segments.size() != 1) return equal("webcam segments", segments.size(), std::size_t{1});
    if (auto e = near("webcam start", segments[0].target.start, 0, 1e-9); !e.empty()) return e;
    if (auto e = near("webcam material", segments[0].source.start, 2, 1e-9); !e.empty()) return e;
    return near("webcam length", segments[0].target.duration, 28, 1e-9);
}

std::string webcamStartedLateHoldsItsFirstFrame() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 40, 30)}, {}),
                         file("webcam.mov", {videoTrack(0, 60, 30)}, {}),
                         {},
                         {}};
    auto built = assembleWith(probed, {}, 1.5);
    if (!built) return built.error().message;
    const auto& instruction = *built->videoComposition.instruction;
    if (!instruction.webcamTrackID) return "no webcam track";
    if (instruction.requiredSourceTrackIDs.size() != 2) return "the webcam is not a required track";
    const auto& segments = built->asset->track(*instruction.webcamTrackID)->segments;
    if (segments.size() != 2) return equal("webcam segments", segments.size(), std::size_t{2});
    if (auto e = near("held length", segments[0].target.duration, 1.5, 1e-9); !e.empty()) return e;
    if (auto e = near("held material", segments[0].source.duration, 1.0 / 30, 1e-4); !e.empty()) return e;
    if (auto e = near("live start", segments[1].target.start, 1.5, 1e-9); !e.empty()) return e;
    if (auto e = near("live material", segments[1].source.start, 0, 1e-9); !e.empty()) return e;
    return near("live length", segments[1].target.duration, 38.5, 1e-9);
}

std::string webcamFollowsCutsAndSpeeds() {
    // Kept: 2-4 s at normal speed, 10-14 s twice as fast. Webcam offset 1 s:
    // screen second 3 shows webcam second 2, screen second 12 webcam 11.
    ProbedSources probed{file("raw.mov", {videoTrack(0, 20, 30)}, {}),
                         file("webcam.mov", {videoTrack(0, 30, 30)}, {}),
                         {},
                         {}};
    auto built = assembleWith(probed, {{2, 4, 1}, {10, 14, 2}}, 1);
    if (!built) return built.error().message;
    const auto& instruction = *built->videoComposition.instruction;
    if (!instruction.webcamTrackID) return "no webcam track";
    const CompositionTrack& webcam = *built->asset->track(*instruction.webcamTrackID);
    const CompositionTrack& screen = *built->asset->track(instruction.screenTrackID);
    for (double t : {0.5, 1.9, 2.1, 3.9}) {
        const Segment* s = screen.segmentAt(sec(t));
        const Segment* w = webcam.segmentAt(sec(t));
        if (s == nullptr || w == nullptr) return "no frame at output " + std::to_string(t);
        const MediaTime expected = s->sourceTimeAt(sec(t)) - sec(1);
        if (auto e = near("webcam time", w->sourceTimeAt(sec(t)), expected.seconds(), 0.001); !e.empty())
            return e;
    }
    return near("webcam end", webcam.end(), 4, 1e-6);
}

std::string webcamWithoutOverlapOrVideoIsNone() {
    ProbedSources tooShort{file("raw.mov", {videoTrack(0, 10, 30)}, {}),
                           file("webcam.mov", {videoTrack(0, 0.005, 30)}, {}),
                           {},
                           {}};
    auto built = assembleWith(tooShort, {});
    if (!built) return built.error().message;
    if (built->videoComposition.instruction->webcamTrackID) return "a 5 ms webcam made a track";
    ProbedSources audioOnly{
        file("raw.mov", {videoTrack(0, 10, 30)}, {}), file("webcam.mov", {}, {audioTrack(0, 10)}), {}, {}};
    auto second = assembleWith(audioOnly, {});
    if (!second) return second.error().message;
    if (second->videoComposition.instruction->webcamTrackID) return "a webcam without video made a track";
    return equal("required tracks", second->videoComposition.instruction->requiredSourceTrackIDs.size(),
                 std::size_t{1});
}

std::string noAudioNoMix() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 5, 30)}, {}), {}, {}, {}};
    auto built = assembleWith(probed, {});
    if (!built) return built.error().message;
    return built->audioMix ? "a recording without audio has an audio mix" : "";
}

std::string noVideoIsCodeTwo() {
    ProbedSources probed{file("raw.mov", {}, {audioTrack(0, 5)}), {}, {}, {}};
    auto built = assembleWith(probed, {});
    if (built) return "built without a video track";
    if (built.error().code != kNoVideoTrackCode || built.error().domain != domain::kTavorin ||
        built.error().message != kNoVideoTrackMessage) {
        return "wrong error: " + built.error().domain + " " + std::to_string(built.error().code) + " " +
               built.error().message;
    }
    return "";
}

std::string timedAudioPlaysAtItsOutputTimeUncutAtItsOwnSpeed() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 20, 30)}, {}),
                         {},
                         {},
                         {file("music.m4a", {}, {audioTrack(0, 6)}), file("music.m4a", {}, {audioTrack(0, 6)})}};
    CompositionSources sources;
    sources.slices = {{0, 4, 1}, {8, 12, 2}};
    // The second clip starts 5.9995 s into a 6 s file: nothing is left of it.
    sources.timedAudio = {TimedAudioSource{"music.m4a", 3, 0.25f, 1.5}, TimedAudioSource{"music.m4a", 1, 1, 5.9995}};
    auto built = CompositionBuilder::assemble(sources, probed);
    if (!built) return built.error().message;
    if (!built->audioMix || built->audioMix->size() != 1) return "expected one mixed music track";
    if (built->audioMix->front().volume != 0.25f) return "the music's volume is not its own";
    const CompositionTrack* music = firstTrack(*built->asset, TrackKind::audio);
    if (music == nullptr || music->segments.size() != 1) return "the music is not one piece";
    // Output 3 s on, from 1.5 s into the file, over the doubled slice at its own speed.
    const Segment& piece = music->segments.front();
    if (auto e = near("music start", piece.target.start, 3, 1e-9); !e.empty()) return e;
    if (auto e = near("music material", piece.source.start, 1.5, 1e-9); !e.empty()) return e;
    return near("music end", music->end(), 3 + 4.5, 1e-6);
}

std::string audioFollowsTheScreenCuts() {
    ProbedSources probed{file("raw.mov", {videoTrack(0, 20, 30)}, {audioTrack(0, 20)}),
                         {},
                         {file("mic.m4a", {}, {audioTrack(0, 6)})},
                         {}};
    CompositionSources sources;
    sources.slices = {{1, 3, 1}, {5, 9, 1}};
    sources.extraAudio = {"mic.m4a"};
    sources.audioVolume = 1.5f;
    auto built = CompositionBuilder::assemble(sources, probed);
    if (!built) return built.error().message;
    if (!built->audioMix || built->audioMix->size() != 2) return "expected two mixed tracks";
    for (const auto& p : *built->audioMix) {
        if (p.volume != 1.5f) return "an audio track lacks the recording's volume";
    }
    const CompositionTrack* own = firstTrack(*built->asset, TrackKind::audio);
    const CompositionTrack* mic = firstTrack(*built->asset, TrackKind::audio, own->id);
    if (own->segments.size() != 2) return equal("own audio segments", own->segments.size(), std::size_t{2});
    if (auto e = near("own second piece", own->segments[1].source.start, 5, 1e-9); !e.empty()) return e;
    // The 6 s extra file covers the first slice and one second of the second.
    if (auto e = near("extra audio end", mic->end(), 3, 1e-9); !e.empty()) return e;
    return near("extra audio source end", mic->segments.back().source.end(), 6, 1e-9);
}

}  // namespace

const std::vector<CompositionCheck>& compositionChecks() {
    static const std::vector<CompositionCheck> checks = {
        {"sliced duration of two speeds", slicedDurationOfTwoSpeeds},
        {"sliced duration falls back when empty", slicedDurationFallsBackWhenEmpty},
        {"sliced duration floors speed and length", slicedDurationFloorsSpeedAndLength},
        {"second slice scaled, first unchanged", secondSliceScaledFirstUnchanged},
        {"extreme speeds scale or not", extremeSpeedsScaleOrNot},
        {"several speeds scale last to first", severalSpeedsScaleLastToFirst},
        {"frame rate rule", frameRateRule},
        {"short audio is not stretched", shortAudioIsNotStretched},
        {"late audio keeps its start", lateAudioKeepsItsStart},
        {"empty slices insert everything, tiny ones nothing", emptySlicesInsertEverythingTinyOnesNothing},
        {"webcam started early", webcamStartedEarly},
        {"webcam started late holds its first frame", webcamStartedLateHoldsItsFirstFrame},
        {"webcam follows cuts and speeds", webcamFollowsCutsAndSpeeds},
        {"webcam without overlap or video is none", webcamWithoutOverlapOrVideoIsNone},
        {"no audio, no mix", noAudioNoMix},
        {"no video is code 2", noVideoIsCodeTwo},
        {"timed audio plays at its output time, uncut, at its own speed",
         timedAudioPlaysAtItsOutputTimeUncutAtItsOwnSpeed},
        {"audio follows the screen cuts", audioFollowsTheScreenCuts},
    };
    return checks;
}

int CompositionBuilder::runChecks(std::ostream& out) {
    int failures = 0;
    for (const auto& check : compositionChecks()) {
        const std::string problem = check.run();
        if (!problem.empty()) {
            out << "composition: " << check.name << ": " << problem << "\n";
            ++failures;
        }
    }
    if (failures == 0) {
        out << "composition OK\n";
    } else {
        out << "composition FAIL (" << failures << ")\n";
    }
    return failures;
}

}  // namespace vorpix::media
