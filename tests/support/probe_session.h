// A LumTestProbe driven through the real export, and a readable transcript of what it
// made the host hear.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "host/event_list.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "support/test_library_path.h"
#include "test_library/probe_protocol.h"

namespace lumtest {

inline std::string describeTrace(std::int32_t value) {
    const std::int32_t kind = value / 1000000;
    const std::int32_t a = value / 1000 % 1000;
    const std::int32_t b = value % 1000;
    std::ostringstream out;
    switch (kind) {
        case probe::kSpan: out << "span(" << a << "," << b << ")"; break;
        case probe::kHandler: out << (a != 0 ? "handler(updated)" : "handler(not updated)"); break;
        case probe::kFlagByte: out << "flag byte " << a; break;
        case probe::kSetPins: {
            out << "onSetPins[";
            const char* separator = "";
            const std::pair<std::int32_t, const char*> names[] = {{probe::kValueUpdated, "value"},
                                                                  {probe::kCommandUpdated, "command"},
                                                                  {probe::kFlagUpdated, "flag"},
                                                                  {probe::kSignalStreamingUpdated, "signal"}};
            for (const auto& [bit, name] : names) {
                if (a & bit) {
                    out << separator << name;
                    separator = ",";
                }
            }
            out << "] streaming " << b;
            break;
        }
        default: out << "trace " << value;
    }
    return out.str();
}

// One line per host call: probe traces decoded, the rest as the host saw them.
inline std::vector<std::string> transcript(const std::vector<lumhost::HostCall>& calls) {
    std::vector<std::string> lines;
    for (const lumhost::HostCall& call : calls) {
        std::ostringstream line;
        switch (call.kind) {
            case lumhost::HostCallKind::SetPin:
                if (call.pinIndex == probe::kTrace) {
                    line << describeTrace(call.value<std::int32_t>());
                } else if (call.pinIndex == probe::kDouble) {
                    line << "setPin(@" << call.position << ", double = " << call.value<float>() << ")";
                } else {
                    line << call;
                }
                break;
            case lumhost::HostCallKind::SetPinStreaming:
                line << "streaming(@" << call.position << ", pin " << call.pinIndex << ", "
                     << (call.argument != 0 ? "on" : "off") << ")";
                break;
            default: line << call;
        }
        lines.push_back(line.str());
    }
    return lines;
}

class ProbeSession {
public:
    static constexpr std::int32_t kMaxBlock = 256;

    ProbeSession() {
        auto created = lumhost::createDsp(library.factory(), u"LumTestProbe", host.object());
        status = created.status;
        plugin = std::move(created.object);
        if (!plugin) return;
        plugin->open();
        plugin->setBuffer(probe::kSignal, signal.data());
        plugin->setBuffer(probe::kOut, out.data());
    }

    // Runs one block and returns what the host heard during it.
    std::vector<std::string> run(std::int32_t count, lumhost::EventList& events) {
        host.clear();
        plugin->process(count, events.head());
        return transcript(host.exchange());
    }
    std::vector<std::string> run(std::int32_t count) {
        lumhost::EventList none;
        return run(count, none);
    }
    // Makes every later span visible: the tracing sub-process, never asleep. The signal
    // input's streaming flag, set at construction, is cleared by a first stop event.
    void traceSpans() {
        lumhost::EventList events;
        events.value(0, probe::kCommand, std::int32_t{probe::kUseTracingSubProcess | probe::kNeverSleep})
            .streaming(0, probe::kSignal, false);
        run(1, events);
    }

    lumhost::ModuleLibrary library{libraryPath("LUM_TEST")};
    lumhost::RecordingHost host;
    lumhost::GuardedBuffer signal{kMaxBlock};
    lumhost::GuardedBuffer out{kMaxBlock};
    std::int32_t status = -1;
    lumhost::Ref<lum::IMpPlugin> plugin;
};

}  // namespace lumtest
