#include "progress_line.h"

#if !defined(_WIN32)
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <cstdio>

#include "terminal.h"

namespace lumhost {
namespace {

#if defined(_WIN32)
std::size_t terminalColumns() { return 80; }
#else
std::size_t terminalColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}
#endif

// Shorter runs finish before a progress line would help.
constexpr std::chrono::milliseconds kQuietStart{1000};

}  // namespace

ProgressLine::ProgressLine(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && isTerminal(stderr)), start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::clear() {
    if (shown_) std::fprintf(stderr, "\r\033[K");
    shown_ = false;
}

void ProgressLine::update(double fraction) {
    if (!enabled_) return;
    const int percent = static_cast<int>(fraction * 100.0);
    if (percent == lastPercent_ || std::chrono::steady_clock::now() - start_ < kQuietStart) return;
    lastPercent_ = percent;
    shown_ = true;
    std::fprintf(stderr, "\r%s: %d%%", label_.c_str(), percent);
    std::fflush(stderr);
}

void ProgressLine::update(const std::string& where) {
    if (!enabled_ || where == lastWhere_ || std::chrono::steady_clock::now() - start_ < kQuietStart) return;
    lastWhere_ = where;
    shown_ = true;
    const std::string line = (label_ + ": " + where).substr(0, terminalColumns() - 1);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
}

}  // namespace lumhost
