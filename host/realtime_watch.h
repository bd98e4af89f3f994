// Watches a module's call on the processing or user-interface path for what it must not do
// there (realtime_call_counter.h), and checks what it did, the first call of each kind with
// its call site.
#pragma once

#include "realtime_call_counter.h"
#include "verdict_recorder.h"

namespace lumhost {

class RealtimeWatch {
public:
    // Watches this thread from now, where `options` sees some kind of call and wants it seen.
    RealtimeWatch(const ValidationOptions& options, Side side);
    ~RealtimeWatch();
    RealtimeWatch(const RealtimeWatch&) = delete;
    RealtimeWatch& operator=(const RealtimeWatch&) = delete;

    // Stops watching and checks what `calls` did since the watch began; a plain string, as a
    // std::string would allocate while the module's call is still watched.
    void check(VerdictRecorder& verdict, const char* calls);

    // The checks of `verdict`'s side whose calls `options` cannot see, with what each would check.
    static void markUnseen(ModuleVerdict& verdict, const ValidationOptions& options);

private:
    const ValidationOptions& options_;
    Side side_;
    bool watching_ = false;
};

}  // namespace lumhost
