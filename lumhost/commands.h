// lumhost's subcommands. Each returns the process exit code; bad input throws
// UserError (exit code 2, one line).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/frequency_response.h"
#include "host/library_loader.h"
#include "host/module_description.h"

namespace lumhost {

// The library a name without a folder means ("KEL_MATH" or "KEL_MATH.lum"): itself when
// it exists here, else the first found in LUM_PATH, beside lumhost, or where lumhost was
// installed. A path is returned as given.
std::string findLibrary(const std::string& name);

// A library with the description shipped beside it.
struct LoadedLibrary {
    explicit LoadedLibrary(const std::string& path);
    ModuleLibrary library;
    LibraryDescription description;

    const ModuleDescription& module(const std::string& id) const;
};

struct RunSettings {
    std::string libraryPath;
    std::string moduleId;
    std::vector<std::string> pins;  // NAME_OR_INDEX=VALUE
    std::int32_t sampleRate = 44100;
    std::int32_t blockSize = 64;
    bool sampleRateGiven = false;
    bool quiet = false;  // no progress line
};

// The module's magnitude and phase from `seconds` of impulse response.
std::vector<ResponsePoint> measureResponse(const LoadedLibrary& loaded, const RunSettings& run, double seconds);

// A pin as list shows it: index, direction, type, name, then its default (or the signal
// the first audio input takes), unit and value names.
std::string pinLine(const PinDescription& pin, double audioScale, bool takesTheSignal);
int listCommand(const std::string& libraryPath, bool json);
struct ValidateSettings {
    std::string libraryPath;
    std::int32_t strictness = 5;
    std::uint32_t seed = 1;
    std::vector<std::string> only, skip;  // check ids
    std::vector<std::string> modules;     // identifiers; empty: every module
    bool inProcess = false;               // no child process per module: for debuggers
    double timeoutSeconds = 30.0;         // per module, in its child process
    std::string jsonPath;                 // empty: no JSON report
    bool replaceExisting = false;         // the JSON report may replace a file
};

int validateCommand(const ValidateSettings& settings);
// Every check's id and description, one a line.
int listChecksCommand();
#if LUM_HOST_AUDIO_FILES
// `replaceExisting` lets an output replace an existing file; inputs are never replaced.
// `tailSeconds` of silence follow the input, so ringing is not cut off.
int renderCommand(const RunSettings& run, const std::string& outPath, const std::string& inPath,
                  const std::string& signal, double seconds, double tailSeconds, bool replaceExisting);
int responseCommand(const RunSettings& run, const std::string& plotPath, const std::string& csvPath, double seconds,
                    bool replaceExisting);
int demoCommand(const std::string& outDirectory);
// `steps` holds each step's NAME_OR_INDEX=VALUE settings; `interactive` then reads more
// from a prompt.
int runCommand(const std::string& libraryPath, const std::string& moduleId,
               const std::vector<std::vector<std::string>>& steps, bool trace, bool interactive);
#endif

}  // namespace lumhost
