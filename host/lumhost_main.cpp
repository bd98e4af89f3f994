// lumhost: runs module libraries without the real host.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "host/event_list.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"

namespace {

std::filesystem::path programDirectory() {
#if defined(_WIN32)
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
#else
    return std::filesystem::canonical("/proc/self/exe").parent_path();
#endif
}

void printExchange(const lumhost::RecordingHost& host) {
    for (const lumhost::HostCall& call : host.exchange()) {
        std::printf("    host heard ");
        switch (call.kind) {
            case lumhost::HostCallKind::SetPinStreaming:
                std::printf("setPinStreaming(at %d, pin %d, %s)\n", call.position, call.pinIndex,
                            call.argument != 0 ? "streaming" : "quiet");
                break;
            case lumhost::HostCallKind::SetPin:
                std::printf("setPin(at %d, pin %d, %g)\n", call.position, call.pinIndex, call.value<float>());
                break;
            case lumhost::HostCallKind::Sleep: std::printf("sleep()\n"); break;
            case lumhost::HostCallKind::GetBlockSize: std::printf("getBlockSize() -> %d\n", host.blockSize()); break;
            default: std::printf("slot call %d\n", static_cast<int>(call.kind)); break;
        }
    }
}

// Drives the test library's gain module through a short session: a sine streams in,
// the gain changes mid-block, the input stops and the module runs out and sleeps.
int demo() {
    const std::filesystem::path libraryPath = programDirectory() / ".." / "lib" / "LUM_TEST.lum";
    lumhost::ModuleLibrary library(libraryPath.string());
    lumhost::RecordingHost host;
    constexpr std::int32_t kBlock = 64;
    host.setBlockSize(kBlock);
    auto gain = lumhost::createDsp(library.factory(), u"LumTestGain", host.object());
    if (gain.status != lum::kOk) {
        std::fprintf(stderr, "lumhost: cannot create LumTestGain (status %d)\n", gain.status);
        return 1;
    }
    lumhost::GuardedBuffer in(kBlock);
    lumhost::GuardedBuffer out(kBlock);
    gain.object->open();
    gain.object->setBuffer(0, in.data());
    gain.object->setBuffer(2, out.data());

    std::printf("lumhost demo: %s, module LumTestGain, blocks of %d samples\n", library.path().c_str(), kBlock);
    std::printf("  block  events                          peak out  host calls\n");
    bool asleep = false;
    for (int block = 0; block < 6; ++block) {
        for (std::int32_t i = 0; i < kBlock; ++i) {
            in[i] = 0.5f * static_cast<float>(std::sin(0.2 * (block * kBlock + i)));
        }
        lumhost::EventList events;
        const char* what = "none";
        if (block == 0) {
            events.graphStart(0).value(0, 1, 1.0f).streaming(0, 0, true);
            what = "graph start, gain 1, input streams";
        } else if (block == 2) {
            events.value(32, 1, 2.0f);
            what = "gain 2 at sample 32";
        } else if (block == 3) {
            events.streaming(0, 0, false);
            what = "input stops";
        }
        host.clear();
        if (asleep && events.empty()) {
            std::printf("  %5d  %-30s  %8s  (asleep, not called)\n", block, what, "-");
            continue;
        }
        out.fill(0.0f);
        gain.object->process(kBlock, events.head());
        float peak = 0.0f;
        for (std::int32_t i = 0; i < kBlock; ++i) peak = std::fmax(peak, std::fabs(out[i]));
        asleep = host.sleepCount() > 0;
        std::printf("  %5d  %-30s  %8.3f  %zu\n", block, what, peak, host.exchange().size());
        printExchange(host);
        if (!out.guardsIntact()) {
            std::fprintf(stderr, "lumhost: the module wrote past its buffer\n");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "demo") return demo();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumhost: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: lumhost demo\n");
    return 2;
}
