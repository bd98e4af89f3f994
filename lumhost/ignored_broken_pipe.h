// While alive, writing to a pipe nobody reads fails with EPIPE instead of ending the
// program, so the writer can report it and clean up.
#pragma once

#include <csignal>

namespace lumhost {

class IgnoredBrokenPipe {
public:
    IgnoredBrokenPipe() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &previous_);
    }
    ~IgnoredBrokenPipe() { sigaction(SIGPIPE, &previous_, nullptr); }
    IgnoredBrokenPipe(const IgnoredBrokenPipe&) = delete;
    IgnoredBrokenPipe& operator=(const IgnoredBrokenPipe&) = delete;

private:
    struct sigaction previous_ {};
};

}  // namespace lumhost
