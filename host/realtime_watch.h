// Counts what a module does during a call on the processing or user-interface path that
// it must not do there: allocate, lock, or make a call that may block.
#pragma once

#include "realtime_call_counter.h"
#include "verdict_recorder.h"

namespace lumhost {

class RealtimeWatch {
public:
    explicit RealtimeWatch(const ValidationOptions& options);

    // Checks what `calls` did since the watch began, where the counts are visible; a
    // plain string, as a std::string may allocate before the count is read.
    void check(VerdictRecorder& verdict, Side side, const char* calls) const;

    // The checks of `side` whose counts `options` cannot see, with what each would check.
    static void markUnseen(ModuleVerdict& verdict, const ValidationOptions& options);

private:
    long allocations() const { return options_.allocationCount ? options_.allocationCount() : 0; }
    RealtimeCalls calls() const { return options_.realtimeCallCount ? options_.realtimeCallCount() : RealtimeCalls{}; }

    const ValidationOptions& options_;
    long allocations_;
    RealtimeCalls calls_;
};

}  // namespace lumhost
