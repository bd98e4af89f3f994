#include "progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace lumhost {
namespace {

// Shorter runs finish before a progress line would help.
constexpr std::chrono::milliseconds kQuietStart{1000};

}  // namespace

ProgressLine::ProgressLine(std::string label, bool quiet)
    : label_(std::move(label)),
      enabled_(!quiet && isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()) {}

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
    winsize size{};
    const std::size_t columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    const std::string line = (label_ + ": " + where).substr(0, columns - 1);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
}

}  // namespace lumhost
