#pragma once

// A one-line progress bar for long command-line modes. Draws only on a
// terminal; elsewhere (pipes, CI logs) it prints nothing until finish().

#include <iosfwd>
#include <string>

namespace vorpix::app {

class ProgressBar {
public:
    ProgressBar(std::ostream& stream, bool terminal, std::string label);
    // `fraction` 0...1; redraws at most once per whole percent.
    void update(double fraction);
    // Ends the line. Called by the destructor when forgotten.
    void finish();
    ~ProgressBar();

    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    std::ostream& stream_;
    bool terminal_;
    std::string label_;
    int shownPercent_ = -1;
    bool finished_ = false;
};

}  // namespace vorpix::app
