// "render: 42%" on standard error for runs that take more than about a second, only when
// standard error is a terminal and the user did not ask for quiet; cleared when done.
// Shown text never runs past the terminal's line, which would leave it uncleared.
#pragma once

#include <chrono>
#include <string>

namespace lumhost {

class ProgressLine {
public:
    ProgressLine(std::string label, bool quiet);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();

    // `fraction` of the work is done, 0 to 1.
    void update(double fraction);
    // Where the work is, in words ("12/59 KelMathAddDspFloat: dsp.sessions").
    void update(const std::string& where);
    // Erases the line, before a summary takes its place.
    void clear();

private:
    std::string label_;
    bool enabled_;
    bool shown_ = false;
    int lastPercent_ = -1;
    std::string lastWhere_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace lumhost
