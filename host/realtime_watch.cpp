#include "realtime_watch.h"

#include <algorithm>

#include "call_site.h"

namespace lumhost {
namespace {

CheckId checkFor(RealtimeCallKind kind, Side side) {
    const bool dsp = side == Side::Dsp;
    switch (kind) {
        case RealtimeCallKind::Allocation: return dsp ? CheckId::DspNoAllocation : CheckId::GuiNoAllocation;
        case RealtimeCallKind::Lock: return dsp ? CheckId::DspNoLocks : CheckId::GuiNoLocks;
        case RealtimeCallKind::BlockingCall: return dsp ? CheckId::DspNoBlockingCalls : CheckId::GuiNoBlockingCalls;
        case RealtimeCallKind::ThreadCall: return dsp ? CheckId::DspNoThreadCalls : CheckId::GuiNoThreadCalls;
    }
    return CheckId::DspNoAllocation;
}

// "called malloc", "took pthread_mutex_lock".
std::string verbFor(RealtimeCallKind kind) { return kind == RealtimeCallKind::Lock ? "took " : "called "; }

}  // namespace

RealtimeWatch::RealtimeWatch(const ValidationOptions& options, Side side) : options_(options), side_(side) {
    const auto wanted = [&](RealtimeCallKind kind) { return options.checks.runs(checkFor(kind, side)); };
    const auto& seen = options.realtimeCallsSeen;
    watching_ = options.abortOnViolation ? !seen.empty() : std::any_of(seen.begin(), seen.end(), wanted);
    if (watching_) startWatchingThisThread(options.abortOnViolation);
}

RealtimeWatch::~RealtimeWatch() {
    if (watching_) stopWatchingThisThread();
}

void RealtimeWatch::check(VerdictRecorder& verdict, const char* calls) {
    if (!watching_) return;
    watching_ = false;
    const WatchedCalls& made = stopWatchingThisThread();
    for (const RealtimeCallKind kind : options_.realtimeCallsSeen) {
        const auto index = static_cast<int>(kind);
        const FirstRealtimeCall& first = made.first[index];
        const bool none = made.count[index] == 0;
        verdict.check(checkFor(kind, side_), none,
                      none ? std::string() : calls + (" " + verbFor(kind)) + first.function,
                      [&] { return callSiteFrames(first.frames, first.frameCount); });
    }
}

void RealtimeWatch::markUnseen(ModuleVerdict& verdict, const ValidationOptions& options) {
    const auto& seen = options.realtimeCallsSeen;
    for (int index = 0; index < kRealtimeCallKinds; ++index) {
        const auto kind = static_cast<RealtimeCallKind>(index);
        if (std::find(seen.begin(), seen.end(), kind) != seen.end()) continue;
        if (CheckResult* check = verdict.result(checkFor(kind, verdict.side))) {
            check->notCheckedWhy = validationCheck(check->id).description;
        }
    }
}

}  // namespace lumhost
