#include "capture/TakeRecovery.h"

#include <system_error>

#include "capture/CaptureErrors.h"
#include "capture/TakeJournal.h"
#include "media/FFmpeg.h"

namespace vorpix::capture {

namespace fs = std::filesystem;

Result<MovieExtent> measureMovie(const fs::path& movie) {
    auto input = media::openInput(movie.string());
    if (!input) return input.error();
    AVFormatContext& format = **input;
    const int video = av_find_best_stream(&format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        return makeError(domain::kTavorin, codes::kNothingToRecover, movie.filename().string() + " holds no video.");
    }
    const AVRational base = format.streams[video]->time_base;
    media::PacketPtr packet = media::makePacket();
    MovieExtent extent;
    bool any = false;
    while (av_read_frame(&format, packet.get()) >= 0) {
        const bool damaged = (packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
        const bool isVideo = packet->stream_index == video;
        const std::int64_t pts = packet->pts != media::kNoPts ? packet->pts : packet->dts;
        av_packet_unref(packet.get());
        if (!isVideo) continue;
        if (damaged || pts == media::kNoPts) break;
        const double t = static_cast<double>(pts) * av_q2d(base);
        if (!any) {
            extent.first = extent.last = t;
            any = true;
        }
        extent.first = std::min(extent.first, t);
        extent.last = std::max(extent.last, t);
        ++extent.frames;
    }
    if (!any) {
        return makeError(domain::kTavorin, codes::kNothingToRecover,
                         movie.filename().string() + " holds no playable frame.");
    }
    return extent;
}

bool hasUnfinishedTake(const fs::path& folder) {
    std::error_code ec;
    return fs::exists(folder / kJournalFileName, ec) && !fs::exists(folder / model::kEventsFileName, ec);
}

Result<model::SessionEvents> recoverTake(const fs::path& folder) {
    if (!hasUnfinishedTake(folder)) {
        return makeError(domain::kTavorin, codes::kNothingToRecover,
                         folder.filename().string() + " holds no unfinished take.");
    }
    auto journal = readJournal(folder);
    if (!journal) return journal.error();
    auto extent = measureMovie(folder / "raw.mov");
    if (!extent) return extent.error();

    model::SessionEvents events;
    events.pixelWidth = journal->facts.pixelWidth;
    events.pixelHeight = journal->facts.pixelHeight;
    events.scaleFactor = journal->facts.scaleFactor;
    events.duration = extent->last - extent->first;
    // Without the first frame's time (a crash in the first quarter second)
    // the pointer cannot be placed; the movie alone is kept.
    if (journal->firstPTS) {
        TrackedInput input = toRecordingTime(journal->input, *journal->firstPTS);
        events.samples = std::move(input.samples);
        events.clicks = std::move(input.clicks);
    }
    if (auto ok = model::writeSessionEvents(folder, events); !ok) return ok.error();
    std::error_code ec;
    fs::remove(folder / kJournalFileName, ec);
    return events;
}

}  // namespace vorpix::capture
