// lumhost's subcommands. Each file holds one: its options, the function that adds it to
// the command line, and what it runs. Bad input throws UserError: one line, its exit code.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "host/frequency_response.h"
#include "host/library_loader.h"
#include "host/module_description.h"
#include "host/pin_value.h"
#include "host/user_error.h"

namespace lumhost {

// The library a name without a folder means ("KEL_MATH" or "KEL_MATH.lum"): itself when
// it exists here, else the first found in LUM_PATH, beside lumhost, or where lumhost was
// installed. A path is returned as given.
std::string findLibrary(const std::string& name);
// The files a library is read from, its description included: inputs no output may replace.
std::vector<std::string> libraryFiles(const std::string& path);

// A library with the description shipped beside it.
struct LoadedLibrary {
    explicit LoadedLibrary(const std::string& path);
    ModuleLibrary library;
    LibraryDescription description;

    const ModuleDescription& module(const std::string& id) const;
};

// The library argument, a path or a name that findLibrary looks up.
CLI::Option* addLibraryArgument(CLI::App& command, std::string& path);

// A validator that gives an option's value, once it converts, to `check`, which throws
// UserError in lumhost's own words; text that does not convert is left to CLI11.
template <class T>
CLI::Validator checkedBy(std::function<void(T)> check) {
    return CLI::Validator(
        [check](const std::string& text) {
            T value{};
            if (CLI::detail::lexical_cast(text, value)) check(value);
            return std::string();
        },
        "");
}

// Makes `option` read its number as pin values are read (no '+', hexadecimal or spaces),
// then gives it to `check`, which throws UserError in lumhost's own words.
template <class T>
CLI::Option* numberOption(CLI::Option* option, std::function<void(T)> check = {}) {
    const std::string name = option->get_name();
    return option->check(CLI::Validator(
        [name, check](const std::string& text) {
            T value{};
            if constexpr (std::is_same_v<T, double>) {
                value = parseDouble(text, name);
            } else if constexpr (std::is_same_v<T, std::uint32_t>) {
                value = parseUnsigned(text, name);
            } else {
                value = parseInt(text, name);
            }
            if (check) check(value);
            return std::string();
        },
        ""));
}

// Says on standard error what pinValueWarnings finds; the run goes on as asked.
inline void warnAboutPinValues(const ModuleDescription& module, const std::vector<PinSetting>& settings,
                               std::int32_t sampleRate) {
    for (const std::string& warning : pinValueWarnings(module, settings, sampleRate)) {
        std::fprintf(stderr, "lumhost: warning: %s\n", warning.c_str());
    }
}

// Ends the run with `exitCode` once the command has said all it has to say.
inline void exitWith(int exitCode) {
    if (exitCode != 0) throw CLI::RuntimeError(exitCode);
}

// A pin as list shows it: index, direction, type, name, then its default (or the signal
// the first audio input takes), unit and value names.
std::string pinLine(const PinDescription& pin, double audioScale, bool takesTheSignal);

struct ValidateSettings {
    std::string libraryPath;
    std::int32_t strictness = 5;
    std::uint32_t seed = 1;
    std::vector<std::string> only, skip;  // check ids
    std::vector<std::string> modules;     // identifiers; empty: every module
    bool inProcess = false;               // no child process per module: for debuggers
    double timeoutSeconds = 30.0;         // per module, in its child process
    std::string jsonPath;                 // empty: no JSON report
    std::string junitPath;                // empty: no JUnit report
    bool replaceExisting = false;         // the reports may replace a file
    bool onlyFailed = false;              // the text report leaves out modules that passed
    std::int32_t jobs = 1;                // modules validated at once, a child each
    bool listChecks = false;              // print the checks instead
    bool quiet = false;                   // no progress line
    bool abortOnViolation = false;        // SIGTRAP at a module's first forbidden call

    // The coverage matrix as the user wrote it, each entry checked; empty: the default.
    std::vector<std::string> sampleRates, blockSizes;
    std::uintptr_t childReport = 0;   // a validating child's report pipe; 0 in lumhost itself
    std::uint32_t childModule = 0;    // the module that child validates, by its place
    bool childLibraryChecks = false;  // that child's module carries the library's checks
};

void addListCommand(CLI::App& app);
void addValidateCommand(CLI::App& app);

// What render and response share.
struct RunSettings {
    std::string libraryPath;
    std::string moduleId;
    std::vector<std::string> pins;  // NAME_OR_INDEX=VALUE
    std::int32_t sampleRate = 44100;
    std::int32_t blockSize = 64;
    bool sampleRateGiven = false;
    bool quiet = false;            // no progress line
    bool replaceExisting = false;  // outputs may replace existing files
};
void addRunOptions(CLI::App& command, RunSettings& run);

// The module's magnitude and phase from `seconds` of impulse response.
ImpulseResponse measureImpulseResponse(const LoadedLibrary& loaded, const RunSettings& run, double seconds);

void addRenderCommand(CLI::App& app);
void addResponseCommand(CLI::App& app);
void addRunCommand(CLI::App& app);
void addDemoCommand(CLI::App& app);

}  // namespace lumhost
