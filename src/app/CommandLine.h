#pragma once

// Command-line modes of `vorpix`. They run without a display and never build
// widgets; results go to standard output, problems to standard error.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vorpix::app {

// Folders and settings the modes need, resolved by main() from the platform
// (XDG folders through QStandardPaths, QSettings) so the modes stay testable.
struct Environment {
    std::filesystem::path moviesFolder;        // ~/Videos, or ~/Movies
    std::filesystem::path applicationSupport;  // ~/.local/share
    std::filesystem::path homeFolder;
    std::filesystem::path temporaryFolder;
    std::vector<std::string> screenStudioFolders;  // the remembered setting
    bool terminal = false;                         // standard error is a terminal: draw progress bars
};

// Which Qt application object a mode needs: painting text (make-sample)
// needs a GUI application, even on the offscreen platform.
enum class QtNeed { core, gui };
QtNeed qtNeedFor(const std::vector<std::string>& args);

// Runs the mode named by `args` (argv without the program name) and returns
// the process exit status, or none when no mode applies and the windowed
// application should start.
std::optional<int> runCommandLine(const std::vector<std::string>& args, const Environment& env,
                                  std::ostream& out, std::ostream& err);

std::string usageText();

}  // namespace vorpix::app
