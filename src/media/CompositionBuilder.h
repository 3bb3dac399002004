#pragma once

// Builds the composition of one recording's edit: the screen video cut into
// its kept slices, the recording's own and extra audio cut the same way,
// slice speeds, timed audio clips at their output times, the webcam lined up
// by its offset, and
// the video composition (render size, frame rate, the one instruction that
// carries the renderer).
//
// How the webcam follows slices: webcam file time = screen file time −
// webcamOffset, always. Each kept slice of the screen contributes the webcam
// range of the same moments at the same composition time (and is sped up
// with it); where a slice lies before the webcam's first frame that frame is
// held, where it lies after the webcam's end there is no webcam frame. With
// no slices this is exactly the lead/delay placement of a whole recording.

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "media/Composition.h"
#include "media/CompositionRenderer.h"
#include "media/MediaCodes.h"
#include "media/MediaProbe.h"
#include "media/MediaTime.h"
#include "model/Geometry.h"
#include "model/Result.h"
#include "model/SessionEvents.h"

namespace vorpix::media {

// Its error codes (kNoVideoTrackCode, kCompositionTrackCode) are in MediaCodes.h.

// One extra sound placed on the output time line. It plays at its own speed
// from `start` on, over cuts and sped-up stretches alike: it belongs to the
// edit, not to the recording.
struct TimedAudioSource {
    std::filesystem::path asset;
    double start = 0;  // output seconds
    float volume = 1;
    double offset = 0;  // seconds into the file where it starts playing
};

struct StudioCompositionInstruction {
    TimeSpan timeRange;  // 0 ... composition duration
    bool enablePostProcessing = false;
    bool containsTweening = true;
    std::vector<TrackId> requiredSourceTrackIDs;
    TrackId passthroughTrackID = 0;
    std::shared_ptr<const CompositionRenderer> renderer;
    TrackId screenTrackID = 0;
    std::optional<TrackId> webcamTrackID;
};

struct VideoComposition {
    Size renderSize;  // the renderer's canvas size
    int fps = 24;     // frame duration is 1/fps
    std::shared_ptr<const StudioCompositionInstruction> instruction;

    // Composition time of frame `index`.
    MediaTime frameTime(std::int64_t index) const { return MediaTime::fromRational(index, fps); }
};

struct AudioMixParameters {
    TrackId trackID = 0;
    float volume = 1;  // from time 0 on
};

struct StudioComposition {
    std::shared_ptr<const Composition> asset;
    VideoComposition videoComposition;
    std::optional<std::vector<AudioMixParameters>> audioMix;  // none without audio tracks

    // Length of the edited result: the instruction's time range.
    MediaTime duration() const { return videoComposition.instruction->timeRange.duration; }
};

// The arguments of a build.
struct CompositionSources {
    std::filesystem::path screen;
    std::optional<std::filesystem::path> webcam;
    std::vector<std::filesystem::path> extraAudio;  // the capture's extra audio files
    std::vector<TimedAudioSource> timedAudio;
    float audioVolume = 1;                     // the recording's own audio and the extra files
    std::vector<model::TimelineSlice> slices;  // file time, output order; empty: everything
    double webcamOffset = 0;                   // seconds; webcam time = screen time − offset
    std::shared_ptr<const CompositionRenderer> renderer;
};

// The track properties a build needs, loaded from the files (or made up by
// tests). Audio files that could not be read are none and are skipped.
struct ProbedSources {
    MediaInfo screen;
    std::optional<MediaInfo> webcam;
    std::vector<std::optional<MediaInfo>> extraAudio;
    std::vector<std::optional<MediaInfo>> timedAudio;
};

class CompositionBuilder {
public:
    // Loads the track properties of every file, then assembles. Blocking
    // (reads file headers); run it off the interface thread. Fails when the
    // screen file cannot be read (the media layer's error), has no video
    // (code 2), or a track cannot be created (code 5).
    static Result<StudioComposition> build(const CompositionSources& sources);

    // The build without file access.
    static Result<StudioComposition> assemble(const CompositionSources& sources, const ProbedSources& probed);

    // Sum over slices of their output lengths; `fallback` for no slices.
    static MediaTime slicedDuration(const std::vector<model::TimelineSlice>& slices, MediaTime fallback);

    // Scales every slice whose speed differs from 1 (and is above 0.01) on
    // all tracks, last to first.
    static void applySliceSpeeds(const std::vector<model::TimelineSlice>& slices, Composition& composition);

    // max(round(nominal), 24), halves away from zero; 24 when unknown.
    static int framesPerSecond(double nominalFrameRate);

    // The built-in self-check: runs the shared case table, prints one line
    // per failed case and the summary "composition OK" or
    // "composition FAIL (<count>)". Returns the number of failures.
    static int runChecks(std::ostream& out);
};

// The self-check's case table, shared with the unit tests. `run` returns an
// empty string when the case holds, else what went wrong.
struct CompositionCheck {
    std::string name;
    std::string (*run)();
};
const std::vector<CompositionCheck>& compositionChecks();

}  // namespace vorpix::media
