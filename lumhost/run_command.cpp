#include <cstdio>
#include <memory>

#include "commands.h"
#include "host/module_session.h"
#include "host/pin_value.h"
#include "host/user_error.h"
#include "line_reader.h"

namespace lumhost {
namespace {

// "> A=1.5 B=2"; the first step lists the defaults graph start sends too.
std::string describeStep(const ModuleDescription& module, const std::vector<PinChange>& changes, bool withDefaults) {
    std::string text = ">";
    for (const PinChange& change : changes) {
        text += " " + change.pin->name + "=" + formatPinValue(*change.pin, change.value);
    }
    if (!withDefaults) return text;
    for (const PinChange& fallback : defaultsBesides(module, changes)) {
        text += " " + fallback.pin->name + "=" + formatPinValue(*fallback.pin, fallback.value) + " (default)";
    }
    return text;
}

// A DSP step's changes arrive together in one block: a header names them. Each GUI change
// is its own line already.
void printStep(ModuleSession& session, const std::vector<PinChange>& changes, bool first, bool allSetFirst) {
    if (session.module().side == Side::Dsp) {
        std::printf("%s\n", describeStep(session.module(), changes, first).c_str());
    }
    for (const std::string& line : session.step(changes, allSetFirst)) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

constexpr const char* kPromptHelp =
    "  PIN=VALUE  set a pin (by name or index) and see what the module answers\n"
    "  list       the module's pins with their defaults and value names\n"
    "  help       this text\n"
    "  quit       leave (so do exit and the end of input)\n";

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Reads commands until quit or the end of input; a refused line is reported and the
// session goes on. Returns the exit code: 2 when any line was refused.
int prompt(ModuleSession& session, double audioScale) {
    LineReader reader(session.module().id + "> ");
    if (reader.onTerminal()) std::printf("%s", kPromptHelp);
    int exitCode = 0;
    std::string line;
    while (reader.next(line)) {
        line = trimmed(line);
        if (line.empty()) continue;
        if (line == "quit" || line == "exit") break;
        if (line == "help") {
            std::printf("%s", kPromptHelp);
        } else if (line == "list") {
            for (const PinDescription& pin : session.module().pins) {
                std::printf("%s\n", pinLine(pin, audioScale, false).c_str());
            }
        } else {
            try {
                const PinSetting setting = parsePinSetting(line);
                const std::vector<PinChange> changes = session.resolve({setting});
                warnAboutPinValues(session.module(), {setting}, 0);
                printStep(session, changes, false, false);
            } catch (const UserError& error) {
                std::fprintf(stderr, "lumhost: %s\n", error.what());
                exitCode = 2;
            }
        }
        std::fflush(stdout);
    }
    return exitCode;
}

struct RunOptions {
    std::string libraryPath;
    std::string moduleId;
    std::vector<std::vector<std::string>> steps =
        std::vector<std::vector<std::string>>(1);  // each step's NAME_OR_INDEX=VALUE settings
    bool trace = false;
    bool interactive = false;  // then read more from a prompt
};

int run(const RunOptions& options) {
    const LoadedLibrary loaded(options.libraryPath);
    const ModuleDescription& module = loaded.module(options.moduleId);
    const auto session = ModuleSession::open(loaded.library.factory(), module, options.trace);
    const auto& steps = options.steps;
    // Every step is checked before the first runs, so bad input prints nothing else.
    std::vector<std::vector<PinChange>> changes;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        // An empty first step starts from the defaults; a later one would do nothing.
        if (steps[s].empty() && s > 0) throw UserError("step " + std::to_string(s + 1) + " sets no pin");
        changes.push_back(session->resolve(parsePinSettings(steps[s])));
        warnAboutPinValues(module, parsePinSettings(steps[s]), 0);
    }
    // A GUI module's first step sets every input, the defaults of those not given too, before
    // the first is notified: each handler then sees the others' values.
    const bool gui = module.side == Side::Gui;
    if (gui) {
        const std::vector<PinChange> defaults = defaultsBesides(module, changes.front());
        changes.front().insert(changes.front().begin(), defaults.begin(), defaults.end());
    }
    for (std::size_t s = 0; s < changes.size(); ++s) printStep(*session, changes[s], s == 0, s == 0 && gui);
    return options.interactive ? prompt(*session, loaded.description.audioScale) : 0;
}

}  // namespace

void addRunCommand(CLI::App& app) {
    auto options = std::make_shared<RunOptions>();
    CLI::App* command =
        app.add_subcommand("run", "drive a control-value or GUI module value by value and print what it answers");
    addLibraryArgument(*command, options->libraryPath)->required();
    command->add_option("id", options->moduleId, "the module's identifier")->required();
    // Triggered as parsed, so each --pin lands in the step the --then before it began.
    command
        ->add_option_function<std::string>(
            "--pin", [options](const std::string& setting) { options->steps.back().push_back(setting); },
            "NAME_OR_INDEX=VALUE for a pin (repeatable), sent in order, a float in its unit too (6dB); with none, "
            "every "
            "input's default")
        ->trigger_on_parse();
    command
        ->add_flag_callback(
            "--then", [options] { options->steps.emplace_back(); }, "start the next step: its --pin options follow")
        ->trigger_on_parse();
    command->add_flag("--trace", options->trace, "print every call between host and module too");
    command->add_flag("-i,--interactive", options->interactive,
                      "then read PIN=VALUE, list, help or quit line by line (a prompt on a terminal, plain lines "
                      "from a pipe or file)");
    command->callback([options] { exitWith(run(*options)); });
}

}  // namespace lumhost
