#pragma once

// `vorpix play <recording> [--seconds S] [--size WxH] [--seek-test N]
// [--audio null|pulse]`: plays the edit headless through the editor's real
// preview player (frames to a sink that only counts them, sound to a null
// or PulseAudio output) and prints what it measured: frames shown and
// dropped, the distance between picture and sound, seek latencies and the
// longest time a player call held the calling thread. For benchmarks and
// bug reports.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace vorpix::app {

// args[0] is "play".
int runPlay(const std::vector<std::string>& args, const Environment& env, std::ostream& out, std::ostream& err);

}  // namespace vorpix::app
