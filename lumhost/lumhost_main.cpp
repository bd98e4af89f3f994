// lumhost: load, run, measure and validate lum module libraries without the real host.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "commands.h"
#include "host/dsp_run.h"

namespace {

#if LUM_HOST_AUDIO_FILES
void addRunOptions(CLI::App& command, lumhost::RunSettings& run) {
    command.add_option("library", run.libraryPath, "the module library (NAME.lum)")->required();
    command.add_option("id", run.moduleId, "the module's identifier")->required();
    command.add_option("--pin", run.pins, "NAME_OR_INDEX=VALUE for a pin (repeatable)");
    command.add_option("--rate", run.sampleRate, "sample rate in Hz (default 44100)");
    command.add_option("--block", run.blockSize, "samples per block (default 64)");
}
#endif

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"lumhost: load, run, measure and validate lum module libraries"};
    app.require_subcommand(1);

    std::string libraryPath;
    bool json = false;
    CLI::App* list = app.add_subcommand("list", "every module of a library, its side and its pins");
    list->add_option("library", libraryPath, "the module library (NAME.lum)")->required();
    list->add_flag("--json", json, "machine-readable output");

    std::int32_t strictness = 5;
    std::uint32_t seed = 1;
    CLI::App* validate = app.add_subcommand("validate", "exercise every module and check every host call");
    validate->add_option("library", libraryPath, "the module library (NAME.lum)")->required();
    validate->add_option("--strictness", strictness, "1 to 10: how long each module is exercised (default 5)");
    validate->add_option("--seed", seed, "seed of the random sessions (default 1)");

#if LUM_HOST_AUDIO_FILES
    lumhost::RunSettings run;
    std::string outPath, inPath, signal = "noise", plotPath, csvPath;
    double seconds = 2.0;
    CLI::App* render = app.add_subcommand("render", "run a DSP module on a signal and write the result");
    addRunOptions(*render, run);
    render->add_option("--out", outPath, "the WAV file to write")->required();
    auto* in = render->add_option("--in", inPath, "an input audio file");
    render->add_option("--signal", signal, "impulse, sine:HZ, sweep or noise (default noise)")->excludes(in);
    render->add_option("--seconds", seconds, "length without --in (default 2)");

    double impulseSeconds = 1.0;
    CLI::App* response = app.add_subcommand("response", "measure and plot a DSP module's magnitude response");
    addRunOptions(*response, run);
    response->add_option("--plot", plotPath, "the PNG to draw");
    response->add_option("--csv", csvPath, "a table of frequency, magnitude and phase");
    response->add_option("--seconds", impulseSeconds, "impulse response length (default 1)");

    CLI::App* demo = app.add_subcommand("demo", "render and plot the filter and a few math modules into demo-out/");
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    try {
        if (*list) return lumhost::listCommand(libraryPath, json);
        if (*validate) return lumhost::validateCommand(libraryPath, strictness, seed);
#if LUM_HOST_AUDIO_FILES
        run.sampleRateGiven = render->count("--rate") > 0 || response->count("--rate") > 0;
        if (*render) return lumhost::renderCommand(run, outPath, inPath, signal, seconds);
        if (*response) return lumhost::responseCommand(run, plotPath, csvPath, impulseSeconds);
        if (*demo) return lumhost::demoCommand();
#endif
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumhost: %s\n", error.what());
        return 2;
    }
    return 2;
}
