#pragma once

// The command-line modes of capture, on the same RecorderModel as the
// windowed application: `vorpix devices`, `vorpix record` and
// `vorpix recover`. Each returns the process exit status and writes results
// to `out`, problems to `err` (one line each).

#include <iosfwd>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "import/Library.h"

namespace vorpix::app {

// `vorpix devices`: displays, microphones and cameras with their ids.
int runDevices(const Environment& env, std::ostream& out, std::ostream& err);
// `vorpix record [--duration S] [--display ID] [--region X,Y,W,H]
// [--system-audio] [--mic [ID]] [--webcam [ID]] [--no-countdown] [--stats]`:
// records until the duration has passed or SIGINT/SIGTERM, saves like a
// normal stop and prints the new folder. args[0] is "record".
int runRecord(const std::vector<std::string>& args, const Environment& env, std::ostream& out, std::ostream& err);
// `vorpix recover <folder>`: makes a take cut short by a crash a recording.
int runRecover(const std::vector<std::string>& args, const Environment& env, std::ostream& out, std::ostream& err);

// What every listing of the library passes as its repair step: a folder
// holding a take that was cut short becomes a recording (never deleted).
import::FolderRepair takeRecovery();

}  // namespace vorpix::app
