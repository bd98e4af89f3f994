#include "realtime_watch.h"

namespace lumhost {
namespace {

CheckId allocationCheck(Side side) { return side == Side::Dsp ? CheckId::DspNoAllocation : CheckId::GuiNoAllocation; }
CheckId lockCheck(Side side) { return side == Side::Dsp ? CheckId::DspNoLocks : CheckId::GuiNoLocks; }
CheckId blockingCallCheck(Side side) {
    return side == Side::Dsp ? CheckId::DspNoBlockingCalls : CheckId::GuiNoBlockingCalls;
}

}  // namespace

RealtimeWatch::RealtimeWatch(const ValidationOptions& options)
    : options_(options), allocations_(allocations()), calls_(calls()) {}

void RealtimeWatch::check(VerdictRecorder& verdict, Side side, const char* calls) const {
    // Read before any check builds its message, which allocates.
    const long allocated = allocations() - allocations_;
    const RealtimeCalls since = this->calls();
    if (options_.allocationCount) {
        verdict.check(allocationCheck(side), allocated == 0, std::string(calls) + " allocated memory");
    }
    if (!options_.realtimeCallCount) return;
    verdict.check(lockCheck(side), since.locks == calls_.locks, std::string(calls) + " took a lock");
    verdict.check(blockingCallCheck(side), since.blockingCalls == calls_.blockingCalls,
                  std::string(calls) + " made a call that may block (file or socket I/O, sleep)");
}

void RealtimeWatch::markUnseen(ModuleVerdict& verdict, const ValidationOptions& options) {
    for (CheckResult& check : verdict.checks) {
        const bool unseen = (check.id == allocationCheck(verdict.side) && !options.allocationCount) ||
                            ((check.id == lockCheck(verdict.side) || check.id == blockingCallCheck(verdict.side)) &&
                             !options.realtimeCallCount);
        if (unseen) check.notCheckedWhy = validationCheck(check.id).description;
    }
}

}  // namespace lumhost
