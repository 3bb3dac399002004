#pragma once

// Every error code the media module makes, by domain, with the one-line
// messages that go with them. Errors keep their domain and code on the way
// up (export session, export task, the editor's export, the command line),
// so callers can tell a missing file from a broken composition without
// reading the message.
//
//   "ffmpeg"   code = the AVERROR value of the failed FFmpeg call (negative;
//              AVERROR(ENOENT) for a missing file); see FFmpeg.h
//   "file"     code = errno of the failed file-system call
//   "tavorin"  the codes below (the capture module's codes share the domain
//              and use other numbers)

namespace vorpix::media {

// "tavorin"
inline constexpr int kCompositionEditCode = 0;  // an edit of the composition model itself
inline constexpr int kCompositorErrorCode = 1;
inline constexpr int kNoVideoTrackCode = 2;
inline constexpr int kExportSessionCode = 4;
inline constexpr int kCompositionTrackCode = 5;

inline constexpr const char* kCompositorErrorMessage =
    "The compositor is missing a source frame or output buffer.";
inline constexpr const char* kNoVideoTrackMessage = "The recording has no video track.";
inline constexpr const char* kExportSessionMessage = "Could not create the export session.";
inline constexpr const char* kCompositionTrackMessage = "Could not create a composition track.";

}  // namespace vorpix::media
