// The playground's door into one module library, linked with it into one WebAssembly
// module: the host library's sessions behind plain C functions of numbers and UTF-8
// texts. Pin settings are lumhost's "NAME=VALUE" texts, one per line, read by the same
// code. A call that fails returns 0 (or null) and leaves its reason in lum_error().
#include <emscripten/emscripten.h>

#include <cmath>
#include <exception>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/lum_call.h"
#include "host/dsp_run.h"
#include "host/frequency_response.h"
#include "host/instances.h"
#include "host/module_description.h"
#include "host/module_session.h"
#include "host/signal_generators.h"

extern "C" std::int32_t LUM_CALL MP_GetFactory(void** out);

namespace {

using namespace lumhost;

std::string lastError;
std::unique_ptr<LibraryDescription> description;
std::vector<double> responseValues;
std::vector<float> signalSamples;

lum::IMpFactory& factory() {
    static lum::IMpFactory* const linked = factoryFrom(&MP_GetFactory);
    if (linked == nullptr) throw std::runtime_error("the library gives no factory");
    return *linked;
}

const ModuleDescription& module(const char* id) {
    if (!description) throw std::runtime_error("no description given");
    const ModuleDescription* found = description->findModule(id);
    if (found == nullptr) throw UserError(std::string(id) + " is not described");
    return *found;
}

// "NAME=VALUE" lines, as lumhost's --pin options.
std::vector<PinSetting> settings(const char* text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return parsePinSettings(lines);
}

// Runs `work`, turning what it throws into lum_error()'s text and `failed`.
template <class Work, class Result>
Result guarded(Work work, Result failed) {
    try {
        lastError.clear();
        return work();
    } catch (const std::exception& error) {
        lastError = error.what();
    }
    return failed;
}

struct LiveRun {
    std::unique_ptr<DspRun> run;
    std::vector<float> signal;  // the next block's input
};

struct Session {
    std::unique_ptr<ModuleSession> session;
    std::string lines;
};

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* lum_error() { return lastError.c_str(); }

// The library's description (its .lum.json text): needed before anything else.
EMSCRIPTEN_KEEPALIVE int lum_describe(const char* json) {
    return guarded(
        [&] {
            description = std::make_unique<LibraryDescription>(parseLibraryDescription(json, "description"));
            return 1;
        },
        0);
}

// An audio-rate module run block by block; its first audio input takes the signal.
EMSCRIPTEN_KEEPALIVE LiveRun* lum_dsp_open(const char* id, int sampleRate, int blockSize, const char* pins) {
    return guarded(
        [&] {
            auto run = std::make_unique<DspRun>(factory(), module(id), sampleRate, blockSize, settings(pins));
            if (run->audioOutputs().empty()) throw UserError(std::string(id) + " has no audio output");
            return new LiveRun{std::move(run), std::vector<float>(static_cast<std::size_t>(blockSize))};
        },
        static_cast<LiveRun*>(nullptr));
}

EMSCRIPTEN_KEEPALIVE void lum_dsp_close(LiveRun* live) { delete live; }

EMSCRIPTEN_KEEPALIVE int lum_dsp_outputs(LiveRun* live) { return static_cast<int>(live->run->audioOutputs().size()); }

// Where the caller writes the signal for the next block (block size samples).
EMSCRIPTEN_KEEPALIVE float* lum_dsp_input(LiveRun* live) { return live->signal.data(); }

// 1: the module ran; 0: it slept through the block (its outputs hold); -1: failure.
EMSCRIPTEN_KEEPALIVE int lum_dsp_process(LiveRun* live, int frames) {
    return guarded(
        [&] {
            const float* signal = live->signal.data();
            return live->run->processBlock(&signal, 1, frames) ? 1 : 0;
        },
        -1);
}

// Output `output`'s samples of the last block; null for an output the module lacks.
EMSCRIPTEN_KEEPALIVE const float* lum_dsp_output(LiveRun* live, int output) {
    if (output < 0 || static_cast<std::size_t>(output) >= live->run->audioOutputs().size()) return nullptr;
    return live->run->outputBlock(static_cast<std::size_t>(output));
}

// One "NAME=VALUE" change, sent before the next block.
EMSCRIPTEN_KEEPALIVE int lum_dsp_change(LiveRun* live, const char* setting) {
    return guarded(
        [&] {
            live->run->change(parsePinSetting(setting));
            return 1;
        },
        0);
}

// The module's response as lumhost response measures it: the number of points, whose
// frequency, magnitude (dB) and phase (degrees) lum_response_values() then holds.
EMSCRIPTEN_KEEPALIVE int lum_response(const char* id, int sampleRate, int blockSize, const char* pins, double seconds) {
    return guarded(
        [&] {
            const auto points =
                measureImpulseResponse(factory(), module(id), sampleRate, blockSize, settings(pins), seconds).curve();
            responseValues.clear();
            for (const ResponsePoint& point : points) {
                responseValues.insert(responseValues.end(), {point.hz, point.magnitudeDb, point.phaseDegrees});
            }
            return static_cast<int>(points.size());
        },
        0);
}

EMSCRIPTEN_KEEPALIVE const double* lum_response_values() { return responseValues.data(); }

// lumhost's generated signals: `frames` samples, valid until the next call.
EMSCRIPTEN_KEEPALIVE const float* lum_signal(const char* signal, int sampleRate, int frames) {
    return guarded(
        [&] {
            if (frames < 1) throw UserError("a signal of " + std::to_string(frames) + " frames");
            signalSamples = generateSignal(signal, sampleRate, frames);
            return signalSamples.data();
        },
        static_cast<const float*>(nullptr));
}

// 1 when pin `pin` of module `id` takes the value `text` as lumhost's pin settings read it;
// else 0, the reason in lum_error().
EMSCRIPTEN_KEEPALIVE int lum_check_value(const char* id, int pin, const char* text) {
    return guarded(
        [&] {
            const PinDescription* described = module(id).pinAt(pin);
            if (described == nullptr) throw UserError(std::string(id) + " has no pin " + std::to_string(pin));
            parsePinValue(*described, text, module(id).audioScale);
            return 1;
        },
        0);
}

// A control-value or GUI module driven change by change, as lumhost run drives it.
EMSCRIPTEN_KEEPALIVE Session* lum_session_open(const char* id) {
    return guarded(
        [&] {
            return new Session{ModuleSession::open(factory(), module(id), false), {}};
        },
        static_cast<Session*>(nullptr));
}

EMSCRIPTEN_KEEPALIVE void lum_session_close(Session* session) { delete session; }

// Applies the changes as one step; returns lumhost run's lines for it. A GUI module's
// `first` step is lumhost run's: every input not given at its default, all set before the
// first is notified.
EMSCRIPTEN_KEEPALIVE const char* lum_session_step(Session* session, const char* pins, int first) {
    return guarded(
        [&] {
            ModuleSession& run = *session->session;
            std::vector<PinChange> changes = run.resolve(settings(pins));
            const bool allSetFirst = first != 0 && run.module().side == Side::Gui;
            if (allSetFirst) {
                const std::vector<PinChange> defaults = defaultsBesides(run.module(), changes);
                changes.insert(changes.begin(), defaults.begin(), defaults.end());
            }
            const auto lines = run.step(changes, allSetFirst);
            session->lines.clear();
            for (const std::string& line : lines) session->lines += line + "\n";
            return session->lines.c_str();
        },
        static_cast<const char*>(nullptr));
}

// The values the module sent in the last step: how many, and each one's pin and value.
EMSCRIPTEN_KEEPALIVE int lum_session_sent_count(Session* session) {
    return static_cast<int>(session->session->sent().size());
}

// -1 for a value the step did not send.
EMSCRIPTEN_KEEPALIVE int lum_session_sent_pin(Session* session, int i) {
    if (i < 0 || i >= lum_session_sent_count(session)) return -1;
    return session->session->sent()[static_cast<std::size_t>(i)].pin->index;
}

// NaN for a value the step did not send.
EMSCRIPTEN_KEEPALIVE double lum_session_sent_value(Session* session, int i) {
    if (i < 0 || i >= lum_session_sent_count(session)) return std::nan("");
    const PinChange& sent = session->session->sent()[static_cast<std::size_t>(i)];
    switch (sent.pin->datatype) {
        case lum::kDatatypeBool: return sent.value.bytes[0] != 0 ? 1.0 : 0.0;
        case lum::kDatatypeInt: return sent.value.asInt();
        default: return sent.value.asFloat();
    }
}

}  // extern "C"
