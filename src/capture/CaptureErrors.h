#pragma once

// Codes of the capture errors in the "tavorin" domain. Messages are one
// English line fit for `errorMessage` and the command line.

namespace vorpix::capture::codes {

inline constexpr int kNoFrames = 3;  // "No frames were captured. ..."
inline constexpr int kNoDisplay = 30;       // no X display to connect to
inline constexpr int kDisplayFormat = 31;   // a pixel format we cannot read
inline constexpr int kGrabFailed = 32;      // the display went away mid-take
inline constexpr int kUnknownDisplay = 33;  // --display names no display
inline constexpr int kWriteFailed = 34;     // the movie could not be written (disk full, ...)
inline constexpr int kJournal = 35;         // the take's journal could not be read or written
inline constexpr int kNothingToRecover = 36;

}  // namespace vorpix::capture::codes
