// lumhost: load, run, measure and validate lum module libraries without the real host.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "commands.h"
#include "host/user_error.h"

namespace {

constexpr const char* kLibraryHelp =
    "the module library: a path, or a name (KEL_MATH) found in LUM_PATH, beside lumhost or where it is installed";

#if LUM_HOST_AUDIO_FILES
void addRunOptions(CLI::App& command, lumhost::RunSettings& run, bool& replaceExisting) {
    command.add_option("library", run.libraryPath, kLibraryHelp)->required();
    command.add_option("id", run.moduleId, "the module's identifier")->required();
    command.add_option(
        "--pin", run.pins,
        "NAME_OR_INDEX=VALUE for a pin (repeatable); an int pin also takes its value names; pins not given take the "
        "defaults list shows");
    command.add_option("--rate", run.sampleRate, "sample rate in Hz (default 44100; an --in file keeps its own)");
    command.add_option("--block", run.blockSize, "samples per block (default 64)");
    command.add_flag("-y,--force", replaceExisting, "replace existing output files");
    command.add_flag("-q,--quiet", run.quiet, "no progress line (shown only on a terminal, for runs over a second)");
}
#else
// Named, so the Win32 build says what it lacks instead of not knowing the command.
void addMissingCommand(CLI::App& app, const char* name) {
    app.add_subcommand(name, "not in the Win32 build")->prefix_command();
}
#endif

// One line for messages that CLI11 may break over several.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"lumhost: load, run, measure and validate lum module libraries"};
    // An absolute path starts with '/', which Windows-style options would take for an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "lumhost " LUMHOST_VERSION);
    app.require_subcommand(1);

    std::string libraryPath;
    bool json = false;
    CLI::App* list = app.add_subcommand("list", "every module of a library, its side and its pins");
    list->add_option("library", libraryPath, kLibraryHelp)->required();
    list->add_flag("--json", json, "machine-readable output");

    lumhost::ValidateSettings validation;
    bool listChecks = false;
    CLI::App* validate = app.add_subcommand("validate", "exercise every module and check every host call");
    validate->add_option("library", validation.libraryPath, kLibraryHelp);
    validate->add_option("--strictness", validation.strictness,
                         "1 to 10: how long each module is exercised; from 6 on, with block sizes 1 to 4096 and "
                         "sample rates 8 to 384 kHz (default 5)");
    validate->add_option("--seed", validation.seed, "seed of the random sessions (default 1)");
    validate->add_flag("--list-checks", listChecks, "print every check's id and what it checks");
    validate->add_option("--only", validation.only, "ID,...: run only these checks")->delimiter(',');
    validate->add_option("--skip", validation.skip, "ID,...: run every check but these")->delimiter(',');
    validate->add_option("--module", validation.modules, "IDENTIFIER,...: validate only these modules")->delimiter(',');
    validate->add_flag("--in-process", validation.inProcess,
                       "validate every module in lumhost's own process, not in a child each");
    validate->add_option("--timeout", validation.timeoutSeconds,
                         "seconds one module's child process may run (default 30)");
    validate->add_option("--json", validation.jsonPath,
                         "also write every module's verdict and every check's status to this file");
    validate->add_flag("-y,--force", validation.replaceExisting, "let --json replace an existing file");

#if LUM_HOST_AUDIO_FILES
    lumhost::RunSettings run;
    bool replaceExisting = false;
    std::string outPath, inPath, signal = "noise", plotPath, csvPath;
    double seconds = 2.0, tailSeconds = 0.0;
    CLI::App* render = app.add_subcommand("render", "run a DSP module on a signal and write the result");
    addRunOptions(*render, run, replaceExisting);
    render
        ->add_option("--out", outPath,
                     "the audio file to write, its format from its extension (.wav, .flac, .aiff, ...); "
                     "- for WAV on standard output")
        ->required();
    auto* in = render->add_option("--in", inPath, "an input audio file, rendered at its own rate");
    render->add_option("--signal", signal, "impulse, sine:HZ, sweep or noise (default noise)")->excludes(in);
    render->add_option("--seconds", seconds, "length of the generated signal (default 2); ignored with --in");
    render->add_option("--tail", tailSeconds, "seconds of silence rendered after the input, for ringing (default 0)");
    render->footer(
        "Audio inputs: the first one takes the signal (channel 0) unless set; NAME=in:N feeds channel N of the "
        "input (in = in:0) to any audio input, and NAME=NUMBER holds one at a constant sample value (audio pins "
        "stand for ten times it: the filter's Frequency=100 is 1 kHz). Generated signals peak at 0.5 (-6 dBFS): "
        "impulse is one sample of 1, sine:HZ takes 0 < HZ < half the rate, sweep rises from 20 Hz to 0.45 times "
        "the rate, noise is white and the same every run. Pins not given take the defaults list shows.");

    double impulseSeconds = 1.0;
    CLI::App* response = app.add_subcommand("response", "measure and plot a DSP module's magnitude response");
    addRunOptions(*response, run, replaceExisting);
    response->add_option("--plot", plotPath, "the drawing: .png or .svg; - for PNG on standard output");
    response->add_option("--csv", csvPath, "a table of frequency, magnitude and phase; - for standard output");
    response->add_option("--seconds", impulseSeconds, "impulse response length, 0.1 to 60 (default 1)");
    response->footer(
        "Prints the peak (magnitude and frequency) and, second, the magnitude at the lowest frequency measured "
        "(10 Hz, which a 0.1 s impulse response still shows). The plot's magnitude axis stops at -60 dB: "
        "anything lower lies on its floor; the table keeps every value.");

    std::string moduleId;
    std::vector<std::vector<std::string>> steps(1);
    bool trace = false;
    CLI::App* runModule =
        app.add_subcommand("run", "drive a control-value or GUI module value by value and print what it answers");
    runModule->add_option("library", libraryPath, kLibraryHelp)->required();
    runModule->add_option("id", moduleId, "the module's identifier")->required();
    // Triggered as parsed, so each --pin lands in the step the --then before it began.
    runModule
        ->add_option_function<std::string>(
            "--pin", [&steps](const std::string& setting) { steps.back().push_back(setting); },
            "NAME_OR_INDEX=VALUE for a pin (repeatable), sent in order; with none, every input's default")
        ->trigger_on_parse();
    runModule
        ->add_flag_callback(
            "--then", [&steps] { steps.emplace_back(); }, "start the next step: its --pin options follow")
        ->trigger_on_parse();
    runModule->add_flag("--trace", trace, "print every call between host and module too");
    bool interactive = false;
    runModule->add_flag("-i,--interactive", interactive,
                        "then read PIN=VALUE, list, help or quit line by line (a prompt on a terminal, plain lines "
                        "from a pipe or file)");

    std::string demoDirectory = "demo-out";
    CLI::App* demo = app.add_subcommand("demo", "render and plot the filter and a few math modules");
    demo->add_option("--out-dir", demoDirectory, "the folder written to (default demo-out)");
#else
    for (const char* name : {"render", "response", "run", "demo"}) addMissingCommand(app, name);
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help and --version
        std::fprintf(stderr, "lumhost: %s\n", oneLine(error.what()).c_str());
        return 2;
    }

    try {
        libraryPath = lumhost::findLibrary(libraryPath);
#if LUM_HOST_AUDIO_FILES
        run.libraryPath = lumhost::findLibrary(run.libraryPath);
#endif
        if (*list) return lumhost::listCommand(libraryPath, json);
        if (*validate && listChecks) return lumhost::listChecksCommand();
        if (*validate) {
            validation.libraryPath = lumhost::findLibrary(validation.libraryPath);
            return lumhost::validateCommand(validation);
        }
#if LUM_HOST_AUDIO_FILES
        run.sampleRateGiven = render->count("--rate") > 0 || response->count("--rate") > 0;
        if (*render) return lumhost::renderCommand(run, outPath, inPath, signal, seconds, tailSeconds, replaceExisting);
        if (*response) return lumhost::responseCommand(run, plotPath, csvPath, impulseSeconds, replaceExisting);
        if (*demo) return lumhost::demoCommand(demoDirectory);
        if (*runModule) return lumhost::runCommand(libraryPath, moduleId, steps, trace, interactive);
#else
        std::fprintf(stderr,
                     "lumhost: %s is not in the Win32 build: it needs libsndfile, which Debian lacks for Win32\n",
                     app.get_subcommands().front()->get_name().c_str());
#endif
    } catch (const lumhost::UserError& error) {
        std::fprintf(stderr, "lumhost: %s\n", oneLine(error.what()).c_str());
        return error.exitCode();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumhost: %s\n", oneLine(error.what()).c_str());
    }
    return 2;
}
