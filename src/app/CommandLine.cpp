#include "app/CommandLine.h"

#include <ostream>

#include "app/Version.h"

namespace vorpix::app {

std::string usageText() {
    return "usage: vorpix [--version] [--help]\n"
           "\n"
           "Vorpix records your screen and turns the take into a presentation video\n"
           "with automatic zoom.\n"
           "\n"
           "  --version   print the version and exit\n"
           "  --help      print this text and exit\n";
}

std::optional<int> runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return std::nullopt;
    const std::string& first = args.front();
    if (first == "--version" || first == "-v") {
        out << "vorpix " << kVersion << "\n";
        return 0;
    }
    if (first == "--help" || first == "-h") {
        out << usageText();
        return 0;
    }
    err << "vorpix: unknown argument \"" << first << "\"\n" << usageText();
    return 2;
}

}  // namespace vorpix::app
