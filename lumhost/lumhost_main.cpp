// lumhost: load, run, measure and validate lum module libraries without the real host.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "commands.h"
#include "host/text.h"
#include "host/user_error.h"

namespace {

// CLI11 may break a message over several lines.
int fail(const std::exception& error, int exitCode) {
    std::fprintf(stderr, "lumhost: %s\n", lumhost::oneLine(error.what()).c_str());
    return exitCode;
}

// No command, or a word that names none: says which, then how lumhost is used.
bool refusedCommand(const CLI::App& app, int argc, char** argv) {
    const auto named = [&](const CLI::App* command) { return argc < 2 || command->check_name(argv[1]); };
    if (argc > 1 && (argv[1][0] == '-' || !app.get_subcommands(named).empty())) return false;
    std::string commands;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        commands += (commands.empty() ? "" : ", ") + command->get_name();
    }
    const std::string asked = argc > 1 ? "no command '" + std::string(argv[1]) + "'" : "a command is needed";
    std::fprintf(stderr, "lumhost: %s (%s)\n\n%s", asked.c_str(), commands.c_str(), app.help().c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"lumhost: load, run, measure and validate lum module libraries", "lumhost"};
    // An absolute path starts with '/', which Windows-style options would take for an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "lumhost " LUMHOST_VERSION);
    app.require_subcommand(1);
    lumhost::addListCommand(app);
    lumhost::addValidateCommand(app);
    lumhost::addRenderCommand(app);
    lumhost::addResponseCommand(app);
    lumhost::addRunCommand(app);
    lumhost::addDemoCommand(app);

    if (refusedCommand(app, argc, argv)) return 2;
    // The commands run as CLI11 finishes parsing, so their errors surface here too.
    try {
        app.parse(argc, argv);
        // Output lost on a full disk or a closed descriptor is a failure, not a success.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            return fail(std::runtime_error(std::string("cannot write standard output: ") + std::strerror(errno)), 2);
        }
        return 0;
    } catch (const CLI::RuntimeError& done) {
        return done.get_exit_code();  // a command that said why already
    } catch (const CLI::ParseError& error) {
        return error.get_exit_code() == 0 ? app.exit(error) : fail(error, 2);  // --help and --version exit 0
    } catch (const lumhost::UserError& error) {
        return fail(error, error.exitCode());
    } catch (const std::exception& error) {
        return fail(error, 2);
    }
}
