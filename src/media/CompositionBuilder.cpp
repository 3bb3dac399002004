#include "media/CompositionBuilder.h"

#include <algorithm>
#include <cmath>

namespace vorpix::media {

namespace {

// Slices and overlaps of this length or less are nothing.
constexpr MediaTime kMinimumRange{60};       // 0.001 s
constexpr MediaTime kMinimumWebcam{600};     // 0.01 s
constexpr MediaTime kHoldThreshold{1200};    // 0.02 s
constexpr MediaTime kHeldFrameSource{2000};  // 1/30 s of webcam material

// One kept stretch of the screen: `source` in screen stream time, placed at
// composition time `at` (before speeds).
struct Piece {
    TimeSpan source;
    MediaTime at;
};

std::vector<Piece> screenPieces(const std::vector<model::TimelineSlice>& slices, TimeSpan screenRange) {
    std::vector<Piece> pieces;
    if (slices.empty()) {
        pieces.push_back(Piece{screenRange, screenRange.start});
        return pieces;
    }
    MediaTime cursor;
    for (const auto& slice : slices) {
        const MediaTime d = MediaTime::fromSeconds(std::max(slice.sourceEnd - slice.sourceStart, 0.0));
        if (d <= kMinimumRange) continue;
        pieces.push_back(
            Piece{TimeSpan{screenRange.start + MediaTime::fromSeconds(slice.sourceStart), d}, cursor});
        cursor += d;
    }
    return pieces;
}

// `slices` held inside a movie of `length` (source seconds from its start).
std::vector<model::TimelineSlice> slicesWithin(std::vector<model::TimelineSlice> slices, MediaTime length) {
    const double end = length.seconds();
    for (model::TimelineSlice& s : slices) {
        s.sourceStart = std::min(s.sourceStart, end);
        s.sourceEnd = std::clamp(s.sourceEnd, s.sourceStart, end);
    }
    return slices;
}

Error trackError() {
    return makeError(domain::kTavorin, kCompositionTrackCode, kCompositionTrackMessage);
}

// Steps 4 and 5: every audio track of `file`, cut like the screen, each with
// `volume` in the mix. Problems skip the track or stop its loop.
void addCutAudio(Composition& composition, const MediaInfo& file, TimeSpan screenRange,
                 const std::vector<model::TimelineSlice>& slices, const std::vector<Piece>& pieces,
                 float volume, std::vector<AudioMixParameters>& mix) {
    for (std::size_t ordinal = 0; ordinal < file.audio.size(); ++ordinal) {
        const TimeSpan available = intersect(file.audio[ordinal].range, screenRange);
        if (available.duration <= kMinimumRange) continue;
        auto id = composition.addTrack(TrackKind::audio, file.path, static_cast<int>(ordinal));
        if (!id) continue;
        if (slices.empty()) {
            (void)composition.insert(*id, available, available.start);
        } else {
            for (const Piece& piece : pieces) {
                const TimeSpan part = intersect(piece.source, available);
                if (part.duration <= kZeroTime) continue;
                if (!composition.insert(*id, part, piece.at + (part.start - piece.source.start))) break;
            }
        }
        mix.push_back(AudioMixParameters{*id, volume});
    }
}

// Step 9, slice by slice: see the header for the rule.
Result<void> addWebcam(Composition& composition, const MediaInfo& webcam, TimeSpan screenRange,
                       const std::vector<Piece>& pieces, double offsetSeconds,
                       std::optional<TrackId>& webcamTrack) {
    const TrackInfo& track = webcam.video.front();
    const MediaTime webcamLength = track.range.duration > kZeroTime ? track.range.duration : webcam.duration;
    const MediaTime offset = MediaTime::fromSeconds(offsetSeconds);
    for (const Piece& piece : pieces) {
        // Webcam file time at the piece's first moment.
        const MediaTime w0 = piece.source.start - screenRange.start - offset;
        const MediaTime d = piece.source.duration;
        if (w0 < kZeroTime) {
            const MediaTime hold = std::min(kZeroTime - w0, d);
            if (hold > kHoldThreshold) {
                if (!webcamTrack) webcamTrack = composition.addTrack(TrackKind::video, webcam.path, 0);
                if (!webcamTrack) return {};
                const TimeSpan first{track.range.start, std::min(kHeldFrameSource, webcamLength)};
                if (auto ok = composition.insertScaled(*webcamTrack, first, piece.at, hold); !ok) return ok;
            }
        }
        const MediaTime a = std::max(w0, kZeroTime);
        const MediaTime b = std::min(w0 + d, webcamLength);
        if (b - a <= kMinimumWebcam) continue;
        if (!webcamTrack) webcamTrack = composition.addTrack(TrackKind::video, webcam.path, 0);
        if (!webcamTrack) return {};
        if (auto ok =
                composition.insert(*webcamTrack, TimeSpan{track.range.start + a, b - a}, piece.at + (a - w0));
            !ok) {
            return ok;
        }
    }
    return {};
}

}  // namespace

MediaTime CompositionBuilder::slicedDuration(const std::vector<model::TimelineSlice>& slices,
                                             MediaTime fallback) {
    if (slices.empty()) return fallback;
    double total = 0;
    for (const auto& s : slices)
        total += std::max(s.sourceEnd - s.sourceStart, 0.0) / std::max(s.timeScale, 0.001);
    return MediaTime::fromSeconds(total);
}

void CompositionBuilder::applySliceSpeeds(const std::vector<model::TimelineSlice>& slices,
                                          Composition& composition) {
    struct Scaling {
        TimeSpan range;
        MediaTime newDuration;
    };
    std::vector<Scaling> scalings;
    MediaTime cursor;
    for (const auto& s : slices) {
        const MediaTime d = MediaTime::fromSeconds(std::max(s.sourceEnd - s.sourceStart, 0.0));
        if (d <= kMinimumRange) continue;
        if (s.timeScale > 0.01 && std::fabs(s.timeScale - 1) > 0.001) {
            const MediaTime scaled{std::llround(static_cast<double>(d.ticks) / s.timeScale)};
            scalings.push_back(Scaling{TimeSpan{cursor, d}, scaled});
        }
        cursor += d;
    }
    for (auto it = scalings.rbegin(); it != scalings.rend(); ++it)
        composition.scaleTimeRange(it->range, it->newDuration);
}

int CompositionBuilder::framesPerSecond(double nominalFrameRate) {
    if (!(nominalFrameRate > 0) || !std::isfinite(nominalFrameRate)) return 24;
    return std::max(static_cast<int>(std::round(std::min(nominalFrameRate, 1000.0))), 24);
}

Result<StudioComposition> CompositionBuilder::assemble(const CompositionSources& sources,
                                                       const ProbedSources& probed) {
    // 1. The screen's video track.
    if (probed.screen.video.empty())
        return makeError(domain::kTavorin, kNoVideoTrackCode, kNoVideoTrackMessage);
    const TrackInfo& screenTrack = probed.screen.video.front();
    const TimeSpan R = screenTrack.range;
    // The edit never runs past the movie: the capture metadata may claim a
    // longer recording than the movie holds, so slices end at its real length.
    if (auto within = slicesWithin(sources.slices, R.duration); within != sources.slices) {
        CompositionSources held = sources;
        held.slices = std::move(within);
        return assemble(held, probed);
    }

    // 2-3. Screen video, slice by slice.
    auto composition = std::make_shared<Composition>();
    const auto screenId = composition->addTrack(TrackKind::video, probed.screen.path, 0);
    if (!screenId) return trackError();
    const std::vector<Piece> pieces = screenPieces(sources.slices, R);
    for (const Piece& piece : pieces) {
        if (auto ok = composition->insert(*screenId, piece.source, piece.at); !ok) return ok.error();
    }

    // 4-5. The recording's own audio and the extra audio files.
    std::vector<AudioMixParameters> mix;
    addCutAudio(*composition, probed.screen, R, sources.slices, pieces, sources.audioVolume, mix);
    for (const auto& extra : probed.extraAudio) {
        if (extra) addCutAudio(*composition, *extra, R, sources.slices, pieces, sources.audioVolume, mix);
    }

    // 9 (before 7, so that slice speeds apply to the webcam as to the screen).
    std::optional<TrackId> webcamId;
    if (probed.webcam && !probed.webcam->video.empty()) {
        if (auto ok = addWebcam(*composition, *probed.webcam, R, pieces, sources.webcamOffset, webcamId);
            !ok) {
            return ok.error();
        }
    }

    // 7. Speeds and duration.
    applySliceSpeeds(sources.slices, *composition);
    const MediaTime duration = slicedDuration(sources.slices, R.duration);

    // 6, after the speeds: timed audio at its output time, neither cut nor sped up.
    for (std::size_t i = 0; i < probed.timedAudio.size() && i < sources.timedAudio.size(); ++i) {
        if (!probed.timedAudio[i]) continue;
        const MediaInfo& file = *probed.timedAudio[i];
        const TimedAudioSource& timed = sources.timedAudio[i];
        const MediaTime at = MediaTime::fromSeconds(std::max(timed.start, 0.0));
        const MediaTime skip = MediaTime::fromSeconds(std::max(timed.offset, 0.0));
        for (std::size_t ordinal = 0; ordinal < file.audio.size(); ++ordinal) {
            const TimeSpan range = file.audio[ordinal].range;
            if (range.duration - skip <= kMinimumRange) continue;
            auto id = composition->addTrack(TrackKind::audio, file.path, static_cast<int>(ordinal));
            if (!id) continue;
            (void)composition->insert(*id, TimeSpan{range.start + skip, range.duration - skip}, at);
            mix.push_back(AudioMixParameters{*id, timed.volume});
        }
    }

    // 8 and 10. The video composition and its one instruction.
    auto instruction = std::make_shared<StudioCompositionInstruction>();
    instruction->timeRange = TimeSpan{kZeroTime, duration};
    instruction->renderer = sources.renderer;
    instruction->screenTrackID = *screenId;
    instruction->webcamTrackID = webcamId;
    instruction->requiredSourceTrackIDs = {*screenId};
    if (webcamId) instruction->requiredSourceTrackIDs.push_back(*webcamId);

    StudioComposition result;
    result.asset = std::move(composition);
    result.videoComposition.renderSize = sources.renderer ? sources.renderer->canvasSize() : Size{};
    result.videoComposition.fps = framesPerSecond(screenTrack.nominalFrameRate);
    result.videoComposition.instruction = std::move(instruction);
    // 11.
    if (!mix.empty()) result.audioMix = std::move(mix);
    return result;
}

Result<StudioComposition> CompositionBuilder::build(const CompositionSources& sources) {
    ProbedSources probed;
    auto screen = probeMedia(sources.screen);
    if (!screen) return screen.error();
    if (screen->stillImage)
        return makeError(domain::kTavorin, kNoVideoTrackCode,
                         sources.screen.filename().string() + " is a still image, not a movie.");
    probed.screen = std::move(*screen);
    if (sources.webcam) {
        // A webcam that cannot be read is no webcam, not a failed build.
        if (auto webcam = probeMedia(*sources.webcam)) probed.webcam = std::move(*webcam);
    }
    auto probeAudio = [](const std::filesystem::path& path) -> std::optional<MediaInfo> {
        auto info = probeMedia(path);
        if (!info) return std::nullopt;
        return std::move(*info);
    };
    for (const auto& path : sources.extraAudio) probed.extraAudio.push_back(probeAudio(path));
    for (const auto& timed : sources.timedAudio) probed.timedAudio.push_back(probeAudio(timed.asset));
    return assemble(sources, probed);
}

}  // namespace vorpix::media
