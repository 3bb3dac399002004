#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const auto status = vorpix::app::runCommandLine(args, std::cout, std::cerr)) return *status;
    // The windowed application is not built yet: say how to use the program.
    std::cout << vorpix::app::usageText();
    return 0;
}
