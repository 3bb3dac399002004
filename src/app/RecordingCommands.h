#pragma once

// The command-line modes that work on one recording: the end-to-end
// self-test, the Screen Studio import check, the library listing benchmark,
// and the scripting commands info, export and render-frame. Each returns the
// process exit status and writes results to `out`, problems to `err`.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace vorpix::app {

// "--selftest" [folder [output]]: `args` is the whole argument list.
int runSelfTest(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
                std::ostream& err);
// "--bench-library".
int runLibraryBench(const Environment& env, std::ostream& out, std::ostream& err);
// "--import-ss" file.
int runImportCheck(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
                   std::ostream& err);
// `vorpix info [--json] <recording>`; args[0] is "info".
int runInfo(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
            std::ostream& err);
// `vorpix export <recording> [--preset P] [--output FILE]`; args[0] is "export".
int runExport(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
              std::ostream& err);
// `vorpix render-frame <recording> --time S [--preset P] --output FILE.png`.
int runRenderFrame(const std::vector<std::string>& args, const Environment& env, std::ostream& out,
                   std::ostream& err);

}  // namespace vorpix::app
