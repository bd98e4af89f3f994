// lumhost end to end: the command on the real libraries, as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <pugixml.hpp>
#include <sstream>
#include <tuple>

#if defined(_WIN32)
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "generated/module_libraries.h"
#include "lumhost/audio_file.h"
#include "support/test_library_path.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// AddressSanitizer reserves terabytes of address space: no limit can hold it.
#ifdef __SANITIZE_ADDRESS__
const std::string kAddressSpaceLimit;
#else
const std::string kAddressSpaceLimit = "ulimit -v 150000; ";
#endif

constexpr double kPi = 3.14159265358979323846;

int processId() {
#if defined(_WIN32)
    return _getpid();
#else
    return getpid();
#endif
}

struct Result {
    int exitCode;
    std::string output;  // standard output and standard error
};

class LumhostTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The process id keeps apart the same test run by builds of other worktrees.
        directory = std::filesystem::temp_directory_path() /
                    ("lumhost-test-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                     "-" + std::to_string(processId()));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    Result run(const std::string& arguments) const { return shell("$LH " + arguments, directory); }
    // Runs `script` in `folder` with LH (lumhost), LIB (the library folder), Q (the filter)
    // and FILES (`files`) set: by sh, or under Windows by cmd, the names replaced by their values
    // and standard error joined to the last command's output (wine's cmd cannot group).
    static Result shell(const std::string& script, const std::filesystem::path& folder,
                        const std::filesystem::path& files = {}) {
#if defined(_WIN32)
        std::string lumhost = LUMHOST_PATH;
        std::replace(lumhost.begin(), lumhost.end(), '/', '\\');
        std::string command = script;
        for (const auto& [name, value] : {std::pair<std::string, std::string>{"$LH", '"' + lumhost + '"'},
                                          {"$LIB", LUM_LIBRARY_DIR},
                                          {"$Q", library("QX-DaRovoVIR3")},
                                          { "$FILES",
                                            files.string() }}) {
            for (std::size_t at; (at = command.find(name)) != std::string::npos;)
                command.replace(at, name.size(), value);
        }
        command = "cd /d \"" + folder.string() + "\" && " + command + " 2>&1";
        FILE* pipe = _popen(command.c_str(), "r");
#else
        const std::string command =
            "cd '" + folder.string() +
            "' && export LH='" LUMHOST_PATH "' LIB='" LUM_LIBRARY_DIR "' Q=" + library("QX-DaRovoVIR3") + " FILES='" +
            files.string() + "' && { " + script + "; } 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
#endif
        Result result{-1, {}};
        char chunk[4096];
        while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe)) result.output.append(chunk, read);
#if defined(_WIN32)
        result.exitCode = _pclose(pipe);
#else
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        return result;
    }
    std::string path(const std::string& name) const { return (directory / name).string(); }
    // The lines validate printed for `module`: its verdict and the indented lines below it.
    static std::string moduleReport(const std::string& output, const std::string& module) {
        const std::size_t start = output.find("  " + module + " ");
        if (start == std::string::npos) return {};
        const std::size_t lineStart = output.rfind('\n', start) + 1;
        std::size_t end = output.find('\n', start);
        while (end != std::string::npos && output.compare(end + 1, 2, "  ") == 0) end = output.find('\n', end + 1);
        return output.substr(lineStart, end - lineStart);
    }
    // Double quotes, which sh and cmd both read.
    static std::string library(const std::string& name) { return '"' + lumtest::libraryPath(name) + '"'; }
    // list's first line for `name`, with the module count of its shipped description.
    static std::string listTitle(const std::string& name) {
        std::ifstream description(lumtest::libraryPath(name) + ".json");
        const auto modules = nlohmann::json::parse(description).at("modules").size();
        return name + ": " + std::to_string(modules) + " modules";
    }

    std::filesystem::path directory;
};

TEST_F(LumhostTest, ListShowsEveryModuleWithItsPins) {
    const Result list = run("list " + library("KEL_MATH"));
    ASSERT_EQ(list.exitCode, 0) << list.output;
    EXPECT_THAT(list.output, StartsWith(listTitle("KEL_MATH") + "\n"));
    EXPECT_THAT(list.output, HasSubstr("KelMathDivideAudio (dsp)\n    0  in   audio  A = in (the signal)\n"
                                       "    1  in   audio  B = 0.1 (1)\n    2  out  audio  Out\n"));
    EXPECT_THAT(list.output, HasSubstr("    3  out  int    Out (settable)\n"));

    const Result json = run("list --json " + library("QX-DaRovoVIR3"));
    ASSERT_EQ(json.exitCode, 0) << json.output;
    const auto parsed = nlohmann::json::parse(json.output);
    ASSERT_EQ(parsed.at("modules").size(), 1u);
    EXPECT_EQ(parsed["modules"][0]["id"], "QX-DaRovoVIR3");
    EXPECT_EQ(parsed["modules"][0]["pins"].size(), 7u);
}

TEST_F(LumhostTest, RenderedLowPassImpulseResponseSumsToUnityGain) {
    const Result render = run("render " + library("QX-DaRovoVIR3") +
                              " QX-DaRovoVIR3 --out ir.wav --signal impulse --seconds 1 --pin \"Filter Type=0\""
                              " --pin Slope=1 --pin Frequency=100 --pin 3=0.0707");
    ASSERT_EQ(render.exitCode, 0) << render.output;
    EXPECT_THAT(render.output,
                StartsWith("wrote ir.wav (WAV (Microsoft), 32 bit float): 44100 frames at 44100 Hz, 1 channel(s)"));
    const lumhost::AudioData ir = lumhost::readAudioFile(path("ir.wav"));
    ASSERT_EQ(ir.channels.size(), 1u);
    // A low-pass passes DC: its impulse response sums to its DC gain, 1.
    const double dcGain = std::accumulate(ir.channels[0].begin(), ir.channels[0].end(), 0.0);
    EXPECT_NEAR(dcGain, 1.0, 1e-3);
    EXPECT_GT(ir.channels[0][1], 0.0f) << "a 1 kHz low-pass responds at once";
    // response --at gives the transform of that impulse response at exactly the frequency asked.
    const Result at = run("response " + library("QX-DaRovoVIR3") +
                          " QX-DaRovoVIR3 --at 1000,3333 --pin \"Filter Type=0\" --pin Slope=1 --pin Frequency=100 "
                          "--pin 3=0.0707");
    ASSERT_EQ(at.exitCode, 0) << at.output;
    std::istringstream lines(at.output);
    for (const double hz : {1000.0, 3333.0}) {
        std::complex<double> sum = 0.0;
        for (std::size_t n = 0; n < ir.channels[0].size(); ++n) {
            sum += double{ir.channels[0][n]} * std::polar(1.0, -2.0 * kPi * hz * static_cast<double>(n) / 44100.0);
        }
        double printedHz = 0.0, printedDb = 0.0;
        std::string line;
        std::getline(lines, line);
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf Hz: %lf dB", &printedHz, &printedDb), 2) << line;
        EXPECT_EQ(printedHz, hz);
        EXPECT_NEAR(printedDb, 20.0 * std::log10(std::abs(sum)), 0.01) << line;
    }
}

TEST_F(LumhostTest, RenderTakesAnInputFileAndConstantAudioPins) {
    ASSERT_EQ(
        run("render " + library("KEL_MATH") + " KelMathMultiplyAudio --out noise.wav --signal noise --seconds 0.5")
            .exitCode,
        0);
    // Multiply scales its product by 10: B = 0.1 passes A unchanged.
    const Result render = run("render " + library("KEL_MATH") +
                              " KelMathMultiplyAudio --in noise.wav --out copy.wav --pin B=0.1 --block 100");
    ASSERT_EQ(render.exitCode, 0) << render.output;
    const auto in = lumhost::readAudioFile(path("noise.wav"));
    const auto out = lumhost::readAudioFile(path("copy.wav"));
    ASSERT_EQ(out.channels[0].size(), in.channels[0].size());
    for (std::size_t i = 0; i < in.channels[0].size(); i += 97) {
        EXPECT_FLOAT_EQ(out.channels[0][i], in.channels[0][i] * 10.0f * 0.1f) << "sample " << i;
    }
}

// Rows of frequency, magnitude in dB and phase from a response table.
std::vector<std::array<double, 3>> readResponse(const std::string& csvPath) {
    std::ifstream csv(csvPath);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "hz,magnitude_db,phase_deg");
    std::vector<std::array<double, 3>> rows;
    while (std::getline(csv, line)) {
        std::array<double, 3> row{};
        EXPECT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &row[0], &row[1], &row[2]), 3) << line;
        rows.push_back(row);
    }
    return rows;
}

TEST_F(LumhostTest, ResponsePeaksWhereTheBandPassIsTuned) {
    const Result response = run("response " + library("QX-DaRovoVIR3") +
                                " QX-DaRovoVIR3 --pin \"Filter Type=BandPass\" --pin Frequency=250 --pin Q=0.5"
                                " --plot band.png --csv band.csv");
    ASSERT_EQ(response.exitCode, 0) << response.output;
    double peakHz = 0.0, peakDb = -1e9;
    for (const auto& [hz, db, phase] : readResponse(path("band.csv"))) {
        if (db > peakDb) peakHz = hz, peakDb = db;
    }
    EXPECT_NEAR(std::log2(peakHz / 2500.0), 0.0, 0.05) << "peak at " << peakHz << " Hz";
    EXPECT_NEAR(peakDb, 0.0, 0.1) << "a band-pass peaks at unity gain";
    EXPECT_THAT(response.output, HasSubstr(" dB at 2500.0 Hz")) << "the peak refined between grid points";
    // Where gnuplot is missing (always under wine) the table stands in for the plot.
    if (!std::filesystem::exists(path("band.png"))) {
        EXPECT_THAT(response.output,
                    HasSubstr("gnuplot is not on the PATH: band.png not drawn; the table is in band.csv"));
        return;
    }
    std::ifstream png(path("band.png"), std::ios::binary);
    char magic[8] = {};
    png.read(magic, 8);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG");
}

TEST_F(LumhostTest, TheFilterOnItsDefaultsIsALowPassAtOneKilohertz) {
    const Result response = run("response " + library("QX-DaRovoVIR3") + " QX-DaRovoVIR3 --csv lp.csv");
    ASSERT_EQ(response.exitCode, 0) << response.output;
    const auto rows = readResponse(path("lp.csv"));
    const auto nearest = [&](double hz) {
        return *std::min_element(rows.begin(), rows.end(), [hz](const auto& a, const auto& b) {
            return std::fabs(std::log(a[0] / hz)) < std::fabs(std::log(b[0] / hz));
        });
    };
    EXPECT_NEAR(nearest(50.0)[1], 0.0, 0.1);
    EXPECT_NEAR(nearest(1000.0)[1], -3.0, 0.3) << "at " << nearest(1000.0)[0] << " Hz";
    EXPECT_LT(nearest(10000.0)[1], -30.0);
}

// run prints what the math tests' tables expect: one module of each family, int, float
// and bool, on both sides; a GUI module answers each change on its own line, and its
// defaults are all set before the first is notified.
TEST_F(LumhostTest, RunPrintsWhatEachModuleAnswers) {
    struct Row {
        std::string arguments, printed;
    };
    const Row rows[] = {
        {"KelMathDivideDspInt --pin A=7 --pin B=2 --then --pin A=-7 --then --pin B=0",
         "> A=7 B=2\n  Out = 3\n> A=-7\n  Out = -3\n> B=0\n  Out = -7\n"},
        {"KelMathNearestDspFloat --pin In=2.5 --then --pin In=3.5 --then --pin In=-0.4",
         "> In=2.5\n  Out = 2\n> In=3.5\n  Out = 4\n> In=-0.4\n  Out = 0\n"},
        {"KelMathInvertDspBool --then --pin In=true", "> In=false (default)\n  Out = true\n> In=true\n  Out = false\n"},
        {"KelMathLimitDspInt --then --pin Value=-5 --then --pin Value=0",
         "> Value=2 (default) Min=-1 (default) Max=1 (default)\n  Out = 1\n> Value=-5\n  Out = -1\n> Value=0\n"
         "  Out = 0\n"},
        {"KelMathScaleUpGuiFloat --pin Min=10 --pin Max=20 --pin Value=0.25 --then --pin \"Out 2=15\"",
         "  Min=10 -> Out = 12.5, Out 2 = 12.5\n  Max=20 -> nothing written\n  Value=0.25 -> nothing written\n"
         "  Out 2=15 -> Out = 15, Value = 0.5\n"},
        {"KelMathWrapGuiInt --pin Divisor=2 --pin Modulus=3 --pin Value=9",
         "  Divisor=2 -> nothing written\n  Modulus=3 -> nothing written\n  Value=9 -> Out = 1\n"},
        {"KelMathWrapGuiInt", "  Value=7 -> Out = 1\n  Divisor=1 -> nothing written\n  Modulus=3 -> nothing written\n"},
        {"KelMathAddGuiFloat --pin A=5", "  B=1 -> Out = 6, Out 2 = 6\n  A=5 -> nothing written\n"},
        {"KelMathInvertGuiBool --then --pin Out=false", "  In=false -> Out = true\n  Out=false -> In = true\n"},
        // A scripted prompt: a refused line is reported, the session goes on, and exit ends it.
        {"KelMathAddDspInt --pin A=5 --interactive < session.txt",
         "> A=5 B=1 (default)\n  Out = 6\nlumhost: pin 'B': 'x' is not a 32-bit integer\n> B=3\n  Out = 8\n"
         "    0  in   int    A = 2\n    1  in   int    B = 1\n    2  out  int    Out\n"},
    };
    std::ofstream(path("session.txt")) << "B=x\n  B=3\n\nlist\n exit \nA=1\n";
    for (const Row& row : rows) {
        const Result result = run("run " + library("KEL_MATH") + " " + row.arguments);
        EXPECT_EQ(result.exitCode, row.printed.find("lumhost: ") == std::string::npos ? 0 : 2) << row.arguments;
        EXPECT_EQ(result.output, row.printed) << row.arguments;
    }
}

TEST_F(LumhostTest, ValidatePassesBothLibrariesAndCatchesBrokenModules) {
    for (const char* name : lumbuild::kShippedLibraries) {
        const Result validate = run("validate " + library(name) + " --strictness 2 --only-failed");
        EXPECT_EQ(validate.exitCode, 0) << validate.output;
        EXPECT_THAT(validate.output, StartsWith("validate " + std::string(name) + ": ")) << "only the summary";
        EXPECT_THAT(validate.output, HasSubstr(" 0 failed"));
    }
    // Each module in its own process: one that crashes or hangs fails alone, also beside others.
    const Result broken = run("validate " + library("LUM_BROKEN") +
                              " --strictness 2 --timeout 10 --jobs 3 --json report.json --junit report.xml");
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_THAT(broken.output, HasSubstr("29 modules, 1 passed, 26 failed, 2 crashed"));
    // The library's own checks come with its first module.
    const Result brokenLibrary = run("validate " + library("LUM_BROKEN_FACTORY") +
                                     " --strictness 2 --json library-report.json --junit library-report.xml");
    EXPECT_EQ(brokenLibrary.exitCode, 1);
    EXPECT_THAT(moduleReport(brokenLibrary.output, "LumBrokenLibrary"),
                testing::AllOf(HasSubstr("\n      library.reload: stayed loaded once unloaded"),
                               HasSubstr("\n      WARNING library.exports: exports lumBrokenFactoryCalls besides")));
    std::map<std::string, nlohmann::json> checks;  // "module check" to its result
    pugi::xml_document junit;                      // both reports, one test suite per module
    pugi::xml_node suites = junit.append_child("both");
    for (const char* file : {"report.xml", "library-report.xml"}) {
        pugi::xml_document part;
        ASSERT_TRUE(part.load_file(path(file).c_str())) << file;
        suites.append_copy(part.document_element());
    }
    for (const char* file : {"report.json", "library-report.json"}) {
        const auto report = nlohmann::json::parse(std::ifstream(path(file)));
        for (const auto& module : report["modules"]) {
            for (const auto& check : module["checks"])
                checks[module["id"].get<std::string>() + " " + check["id"].get<std::string>()] = check;
        }
    }
    EXPECT_EQ(checks["LumBrokenOverrun library.reload"]["status"], "pass");
    EXPECT_EQ(checks.count("LumBrokenShared library.reload"), 0u);
    const std::string output = broken.output + brokenLibrary.output;
    // Each broken module and the check that must name its fault.
    const std::pair<const char*, const char*> kFaults[] = {
        {"LumBrokenOverrun", "dsp.guards"},
        {"LumBrokenNoisyWhileQuiet", "dsp.not-streaming-constant"},
        {"LumBrokenShared", "dsp.two-instances"},
        {"LumBrokenAllocates", "dsp.no-allocation"},
        {"LumBrokenSends", "dsp.host-calls"},
        {"LumBrokenCrashes", "dsp.sessions"},
        {"LumBrokenHangs", "dsp.sessions"},
        {"LumBrokenStampsBlockEnd", "dsp.host-calls"},
        {"LumBrokenLocks", "dsp.no-locks"},
        {"LumBrokenWritesFile", "gui.no-blocking-calls"},
        {"LumBrokenGui", "gui.host-calls"},
        {"LumBrokenNullHost", "factory.bad-arguments"},
        {"LumBrokenInlineOnly", "dsp.pointed-values"},
        {"LumBrokenKeepsBuffers", "dsp.moved-buffers"},
        {"LumBrokenPastEventLimit", "dsp.event-edges"},
        {"LumBrokenSharedScratch", "dsp.threads"},
        {"LumBrokenCallsFromThread", "dsp.host-thread"},
        {"LumBrokenLibrary", "library.entry-point"},
        {"LumBrokenPrefix", "factory.unknown-ids"},
        {"LumBrokenNaN", "dsp.outputs-finite"},
        {"LumBrokenSubnormalTail", "dsp.silence-tail"},
        {"LumBrokenSubnormal", "dsp.no-subnormal-outputs"},
        {"LumBrokenLeavesUnwritten", "dsp.outputs-written"},
        {"LumBrokenCountsSpans", "dsp.block-split"},
        {"LumBrokenSendsNaN", "dsp.values-finite"},
        {"LumBrokenGuiNaN", "gui.values-finite"},
        {"LumBrokenMallocs", "dsp.no-allocation"},
        {"LumBrokenTriesLock", "dsp.no-locks"},
        {"LumBrokenPrints", "dsp.no-blocking-calls"},
        {"LumBrokenStartsThreads", "dsp.no-thread-calls"},
    };
    for (const auto& [module, check] : kFaults) {
        const std::string report = moduleReport(output, module);
        EXPECT_THAT(report, StartsWith("FAIL")) << module;
        EXPECT_THAT(report, HasSubstr("\n      " + std::string(check) + ": ")) << module;
        // The reproduction, of the module's first failed check, alone fails the same way (under
        // Windows a thread's start and join wait and sleep before they are thread calls).
        std::string command = report.substr(report.find("reproduce: lumhost ") + 19);
        command = command.substr(0, command.find('\n'));
        const std::string first = command.substr(command.find("--only ") + 7);
        const std::string firstCheck = first.substr(0, first.find(' '));
        const Result reproduced = run(command);
        EXPECT_EQ(reproduced.exitCode, 1) << reproduced.output;
        EXPECT_THAT(moduleReport(reproduced.output, module), HasSubstr("\n      " + firstCheck + ": "));
        EXPECT_EQ(checks[std::string(module) + " " + firstCheck]["reproduce"], "lumhost " + command) << module;
        const nlohmann::json& result = checks[std::string(module) + " " + check];
        EXPECT_THAT(std::string(result["status"]), testing::AnyOf("fail", "crashed")) << module;
        const std::string suite =
            "//testsuite[@name='LUM_BROKEN." + std::string(module) + "' or @name='LUM_BROKEN_FACTORY." + module + "']";
        const pugi::xml_node testCase = junit.select_node((suite + "/testcase[@name='" + check + "']").c_str()).node();
        EXPECT_TRUE(testCase.child("failure") || testCase.child("error")) << module;
    }
    // Suspicious but legal: a warning, and still a pass.
    const std::string awake = moduleReport(broken.output, "LumBrokenNeverSleeps");
    EXPECT_THAT(awake, StartsWith("PASS"));
    EXPECT_THAT(awake, HasSubstr("\n      WARNING dsp.sleeps-when-quiet: "));
    // A matrix the user chose is part of the reproduction.
    const Result swept =
        run("validate " + library("LUM_BROKEN") +
            " --module LumBrokenCountsSpans --strictness 1 --sample-rates 44100.5 --block-sizes 7,4096");
    EXPECT_EQ(swept.exitCode, 1) << swept.output;
    EXPECT_THAT(swept.output, HasSubstr("dsp.block-split --sample-rates 44100.5 --block-sizes 7,4096\n"));
    // A forbidden call is named, counted once a block, with the module's frames where it was first
    // made: natively by function, under Windows (whose DLLs keep no symbols) by library and offset.
#if defined(_WIN32)
    constexpr bool kWindows = true;
#else
    constexpr bool kWindows = false;
#endif
    const std::tuple<const char*, const char*, const char*> kCalls[] = {
        // module, native call, Windows call
        {"LumBrokenMallocs", "called malloc", "called malloc"},
        {"LumBrokenTriesLock", "took pthread_mutex_trylock", "took TryEnterCriticalSection"},
        {"LumBrokenPrints", "called fprintf", "called fputc"},
        {"LumBrokenStartsThreads", "called pthread_create", "called _beginthreadex"}};
    for (const auto& [module, native, windows] : kCalls) {
        const std::string report = moduleReport(broken.output, module);
        const std::size_t said = report.find("process " + std::string(kWindows ? windows : native) + ", ");
        ASSERT_NE(said, std::string::npos) << report;
        const std::string line = report.substr(said, report.find('\n', said) - said);
        EXPECT_THAT(line, HasSubstr(" times: first at session 1, block ")) << report;
        const std::string frame =
            kWindows ? "LUM_BROKEN.lum+0x" : "(anonymous namespace)::" + std::string(module) + "::";
        EXPECT_THAT(report.substr(said + line.size() + 1), StartsWith("          at " + frame)) << report;
    }
    EXPECT_THAT(
        checks["LumBrokenMallocs dsp.no-allocation"]["findings"][0]["callSite"][0].get<std::string>(),
        StartsWith(kWindows ? "LUM_BROKEN.lum+0x" : "(anonymous namespace)::LumBrokenMallocs::sample(float)+0x"));
}

TEST_F(LumhostTest, BadInputGivesOneLineExitCodeTwoAndNoOutputFile) {
    {
        std::ofstream(path("not-a-library.lum")) << "text";
        std::ofstream(path("not-a-library.lum.json")) << R"({"library": "X", "modules": []})";
    }
    const std::string filter = library("QX-DaRovoVIR3");
    const std::string math = library("KEL_MATH");
    const std::string render = "render " + filter + " QX-DaRovoVIR3 --out out.wav --signal noise --seconds 0.1 ";
    struct Case {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"list missing.lum", "lumhost: no such library file: missing.lum\n"},
        {"list not-a-library.lum", "lumhost: cannot load not-a-library.lum"},
        {"list " + library("NO_ENTRY"), "NO_ENTRY.lum has no working MP_GetFactory\n"},
        {"render " + filter + " NoSuchModule --out out.wav", "has no module 'NoSuchModule'\n"},
        {render + "--pin Cutoff=1", "QX-DaRovoVIR3 has no pin 'Cutoff'\n"},
        {render + "--pin Q=loud", "lumhost: pin 'Q': 'loud' is not a number\n"},
        {render + "--pin Slope=1.5", "lumhost: pin 'Slope': '1.5' is neither a 32-bit integer nor one of OneSection,"},
        {render + "--pin \"Signal Out=1\"", "lumhost: pin 'Signal Out' is an output\n"},
        {render + "--rate 10", "lumhost: sample rate 10 is outside 1000 to 768000\n"},
        {render + "--block 0", "lumhost: block size 0 is outside 1 to 8192\n"},
        {"render " + filter + " QX-DaRovoVIR3 --out out.wav --signal sine:99999", "lumhost: signal sine: 99999 Hz"},
        {"render " + filter + " QX-DaRovoVIR3 --out out.wav --in missing.wav", "lumhost: cannot read missing.wav"},
        {"validate " + filter + " --strictness 11", "lumhost: strictness 11 is outside 1 to 10\n"},
        {"validate " + filter + " --sample-rates 44100,nan",
         "lumhost: --sample-rates: nan is outside 1000 to 768000\n"},
        {"validate " + filter + " --block-sizes 64,0", "lumhost: block size 0 is outside 1 to 8192\n"},
        {"validate " + filter + " --block-sizes 1.5", "lumhost: --block-sizes: '1.5' is not a 32-bit integer\n"},
        {"run " + math + " KelMathMinGuiInt --pin Out=1", "lumhost: pin 'Out' is an output only\n"},
        {"run " + math + " KelMathAddDspInt --pin A=1 --then", "lumhost: step 2 sets no pin\n"},
        {"run " + math + " KelMathAddDspInt --pin A=x", "lumhost: pin 'A': 'x' is not a 32-bit integer\n"},
        {"run " + math + " KelMathAddAudio", "has no module 'KelMathAddAudio'\n"},
        {"run " + math + " KelMathMultiplyAudio",
         "lumhost: KelMathMultiplyAudio is audio-rate: lumhost render runs it\n"},
        {render + "--pin \"Filter Type=Highshelf\"", "'Highshelf' is neither a 32-bit integer nor one of LowPass,"},
        {"validate " + filter + " --skip dsp.nope", "lumhost: no check 'dsp.nope' (--list-checks lists them)\n"},
    };
    for (const Case& c : cases) {
        const Result result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments;
        EXPECT_THAT(result.output, HasSubstr(c.message)) << c.arguments;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
        EXPECT_FALSE(std::filesystem::exists(path("out.wav"))) << c.arguments;
        EXPECT_FALSE(std::filesystem::exists(path("out.wav.part"))) << c.arguments;
    }
    EXPECT_EQ(run("frobnicate").exitCode, 2);
}

// Names, files and values a new user or an adversary tries: a shell script (FILES holds
// stereo.wav, empty.wav and a copy of the filter library) run in an empty folder, its exit
// code, what its last line says, and the files it must and must not leave; no temporary
// file is ever left. Under Windows cmd runs the rows that need nothing of POSIX.
TEST_F(LumhostTest, AnyFileNameFileAndValueGivesTheExpectedResult) {
    const std::filesystem::path files = directory / "files";
    std::filesystem::create_directories(files);
    for (const auto& [name, audio] :
         {std::pair<std::string, lumhost::AudioData>{"stereo.wav", {48000, {{0.5f, -0.5f, 0.25f}, {0.1f, 0.2f, 0.3f}}}},
          {"empty.wav", {48000, {{}}}}}) {
        lumhost::OutputFile out((files / name).string(), false);
        lumhost::writeAudioFile(out, lumhost::audioFormatFor(name), audio);
        out.commit();
    }
    for (const char* suffix : {"", ".json"}) {
        const std::filesystem::path source = lumtest::libraryPath("QX-DaRovoVIR3") + suffix;
        std::filesystem::copy_file(source, files / source.filename());
    }
    struct Row {
        std::string script;
        int exitCode;
        std::string says;
        std::vector<std::string> exist, absent;
        const char* posixOnly = nullptr;  // why the row cannot run under Windows
    };
    const std::string render = "$LH render $Q QX-DaRovoVIR3 --pin Frequency=100 --pin Q=0.0707 ";
    const std::string response = "$LH response $Q QX-DaRovoVIR3 --pin Frequency=100 --pin Q=0.0707 ";
    const Row rows[] = {
        {response + "--plot 'a$(touch INJECTED).png'",
         0,
         "plot a$(touch INJECTED).png",
         {"a$(touch INJECTED).png"},
         {"INJECTED"},
         "sh's command substitution"},
        {"ln -s target.wav link.wav && " + render + "--out link.wav",
         0,
         "wrote link.wav",
         {"target.wav"},
         {},
         "symbolic links"},
        {render + "--out /dev/null", 2, "cannot write /dev/null: not a regular file", {}, {}, "/dev/null"},
        {render + "--out - | head -c 4", 0, "RIFF", {}, {}, "head"},
        {"script -qec '" + render + "--out -' /dev/null",
         2,
         "will not write audio to a terminal",
         {},
         {},
         "script's pseudo-terminal"},
        {"script -qec '" + response + "--plot -' /dev/null",
         2,
         "will not draw a picture on a terminal",
         {},
         {},
         "script's pseudo-terminal"},
        {render + "--out t.wav --pin \"Signal In=in:2147483647\"",
         2,
         "channel 2147483647 does not exist (the signal has 1)",
         {},
         {"t.wav"}},
        {"head -c 50000 $LIB/KEL_MATH.lum > t.lum && cp $LIB/KEL_MATH.lum.json t.lum.json && $LH list ./t.lum",
         2,
         "cannot load ./t.lum: cut short at 50000 bytes",
         {},
         {},
         "head and cp"},
        {"cp $LIB/KEL_MATH.lum $LIB/KEL_MATH.lum.json . && $LH list KEL_MATH.lum | head -1",
         0,
         listTitle("KEL_MATH"),
         {},
         {},
         "cp and head"},
        {"echo precious > e.wav && " + render + "--out e.wav", 2, "e.wav exists (--force replaces it)", {}, {}},
        {render + "--in $FILES/stereo.wav --out $FILES/stereo.wav -y", 2, "stereo.wav over the input", {}, {}},
        {"touch p.png.gp p.png.dat p.png.part && " + response + "--plot p.png",
         0,
         "plot p.png",
         {"p.png", "p.png.gp", "p.png.dat", "p.png.part"},
         {},
         "touch, and gnuplot is not on wine's PATH"},
        // Reading a FIFO nobody writes blocks lumhost with its output begun: killed, it leaves nothing.
        {"mkfifo in.wav; " + render +
             "--in in.wav --out long.wav & sleep 0.5; kill -TERM $!; wait $!; s=$?; echo \"$(ls -A), then status $s\"",
         0,
         "in.wav, then status 143",
         {},
         {"long.wav"},
         "FIFOs and signals"},
        // A file that appears at the output meanwhile is kept; of four runs at once one writes.
        {"mkfifo in.wav; " + render +
             "--in in.wav --out o.wav & sleep 0.3; echo precious > o.wav; cat $FILES/stereo.wav > in.wav; wait $!; "
             "echo \"status $?, $(cat o.wav)\"",
         0,
         "status 2, precious",
         {},
         {},
         "FIFOs"},
        {"for i in 1 2 3 4; do (" + render +
             "--seconds 5 --out o.wav >/dev/null 2>&1; echo $? >> codes) & done; "
             "wait; sort codes | uniq -c | xargs",
         0,
         "1 0 3 2",
         {"o.wav"},
         {},
         "sh's background jobs"},
        // Inputs are never written: the library's own description included.
        {"$LH response $FILES/QX-DaRovoVIR3.lum QX-DaRovoVIR3 --csv $FILES/QX-DaRovoVIR3.lum.json -y",
         2,
         "QX-DaRovoVIR3.lum.json over the input",
         {},
         {}},
        // A bare name is looked up in the current folder first.
        {"cp $LIB/KEL_MATH.lum . && cp $LIB/LUM_TEST.lum.json KEL_MATH.lum.json && $LH list KEL_MATH",
         2,
         "KEL_MATH.lum.json does not describe KEL_MATH.lum",
         {},
         {},
         "cp"},
        {"$LH render $LIB/KEL_MATH.lum KelMathDivideAudio --pin B=0 --out d.wav --seconds 0.1",
         0,
         "Out: 4410 of 4410 samples are not finite",
         {"d.wav"},
         {}},
        {"$LH render $LIB/KEL_MATH.lum KelMathMultiplyAudio --pin B=10 --out c.flac --seconds 0.1",
         0,
         "peak +34.0 dBFS clipped in FLAC",
         {"c.flac"},
         {},
         "the Windows builds' libsndfile has no external codecs, FLAC among them"},
        {render + "--in $FILES/stereo.wav --out o.wav", 0, "2 channel(s); Signal Out of channel 0 peak", {"o.wav"}, {}},
        {render + "--in $FILES/stereo.wav --out o.wav --rate 44100", 2, "--rate does not resample", {}, {"o.wav"}},
        {render + "--out o.wav --seconds 1e-9", 2, "shorter than one frame", {}, {"o.wav"}},
        {render + "--out o.wav --signal impulse --seconds 0.01 --tail 0.5",
         0,
         "22491 frames at 44100 Hz",
         {"o.wav"},
         {}},
        {render + "--out o.wav --tail=-1", 2, "tail of -1 seconds is outside 0 to 600", {}, {"o.wav"}},
        {render + "--in $FILES/empty.wav --out o.wav", 2, "has no frames", {}, {"o.wav"}},
        {response + "--csv r.csv --seconds 0.00001", 2, "impulse length outside 0.1 to 60 seconds", {}, {"r.csv"}},
        {"$LH response $Q QX-DaRovoVIR3 --pin Frequency=3000 --csv r.csv", 2, "is not finite", {}, {"r.csv"}},
        // A constant the module adds of its own is no part of its response; a product is not linear.
        {"$LH response $LIB/KEL_MATH.lum KelMathSubtractAudio --pin A=0.1 --pin B=in --csv r.csv && sed -n 200p r.csv",
         0,
         ",-0.000000,180.0000",
         {"r.csv"},
         {},
         "sed"},
        {"$LH response $LIB/KEL_MATH.lum KelMathMultiplyAudio --pin A=in --pin B=in --csv r.csv",
         2,
         "the module is not linear with these pins",
         {},
         {"r.csv"}},
        {response + "--pin \"Signal In=0.5\" --csv r.csv",
         2,
         "no audio input of QX-DaRovoVIR3 takes the impulse",
         {},
         {"r.csv"}},
        {render + "--out o.wav --pin \"Frequency= 5\"", 2, "pin 'Frequency': ' 5' is not a number", {}, {"o.wav"}},
        {render + "--out o.wav --pin Frequency=0x10", 2, "pin 'Frequency': '0x10' is not a number", {}, {"o.wav"}},
        {render + "--out o.wav --pin Frequency=1e-39 --seconds 0.1", 0, "wrote o.wav", {"o.wav"}, {}},
        // Messages give pin values in the units list shows, and a value may be written in them.
        {"$LH response $Q QX-DaRovoVIR3 --pin Frequency=3000 --pin Gain=1.2 --pin \"Filter Type=Peak\" --csv r.csv",
         2,
         "QX-DaRovoVIR3  Frequency=30 kHz  Gain=12 dB  Filter Type=Peak is not finite",
         {},
         {"r.csv"}},
        {render + "--seconds 0.1 --out a.wav --pin Frequency=1kHz --pin Gain=6dB >/dev/null && " + render +
             "--seconds 0.1 --out b.wav --pin Frequency=1000Hz --pin Gain=0.6 >/dev/null && cmp a.wav b.wav && " +
             render +
             "--seconds 0.1 --out c.wav --pin Frequency=100 --pin Gain=0.6 >/dev/null && cmp a.wav c.wav "
             "&& echo same",
         0,
         "same",
         {},
         {},
         "cmp and /dev/null"},
        {render + "--out o.wav --pin Frequency=3dB",
         2,
         "pin 'Frequency': '3dB' is in dB; give Hz, kHz or a number",
         {},
         {"o.wav"}},
        {render + "--out o.wav --pin Q=2Hz", 2, "pin 'Q': '2Hz' is in Hz; give a number", {}, {"o.wav"}},
        {"echo A=5dB | $LH run $LIB/KEL_MATH.lum KelMathAddGuiFloat -i",
         2,
         "pin 'A': '5dB' is in dB; give a number",
         {},
         {}},
        // Options read numbers as pins do, and say them briefly.
        {render + "--out o.wav --seconds 0x10", 2, "--seconds: '0x10' is not a number", {}, {"o.wav"}},
        {render + "--out o.wav --rate +44100", 2, "--rate: '+44100' is not a 32-bit integer", {}, {"o.wav"}},
        {render + "--out o.wav --seconds 1e300", 2, "length of 1e+300 seconds is outside 0 to 600", {}, {"o.wav"}},
        {"$LH validate $Q --seed -1", 2, "--seed: '-1' is not a 32-bit unsigned integer", {}, {}},
        // A value the module does not expect is warned about, and run as asked.
        {render + "--out o.wav --seconds 0.1 --pin Slope=4 2>&1 >/dev/null",
         0,
         "lumhost: warning: pin 'Slope': 4 is none of its values (0 to 3)",
         {"o.wav"},
         {},
         "/dev/null"},
        {response + "--csv r.csv --pin \"Filter Type=7\" 2>&1 >/dev/null",
         0,
         "lumhost: warning: pin 'Filter Type': 7 is none of its values (0 to 6)",
         {"r.csv"},
         {},
         "/dev/null"},
        {render + "--out o.wav --seconds 0.1 --pin Q=5 2>&1 >/dev/null",
         0,
         "lumhost: warning: pin 'Q': 50 is outside its range, 0.1 to 20",
         {"o.wav"},
         {},
         "/dev/null"},
        {render + "--out o.wav --seconds 0.1 --rate 22050 --pin Frequency=20kHz 2>&1 >/dev/null | head -1",
         0,
         "lumhost: warning: pin 'Frequency': 20 kHz is at or above half the sample rate (11.025 kHz)",
         {"o.wav"},
         {},
         "/dev/null and head"},
        {response + "--plot p.jpg", 2, "cannot draw p.jpg: plots are .png or .svg", {}, {"p.jpg"}},
        {"mkdir bin && printf '#!/bin/sh\\ncat >/dev/null\\n' > bin/gnuplot && chmod +x bin/gnuplot && "
         "PATH=$PWD/bin:$PATH " +
             response + "--plot p.png",
         2,
         "gnuplot drew nothing into p.png",
         {},
         {"p.png"},
         "a shell script as gnuplot"},
        {response + "--plot same.svg --csv same.svg", 2, "two outputs name one file", {}, {"same.svg"}},
        {response + "--csv ok.csv --plot nodir/p.png", 2, "cannot write nodir/p.png: no such folder", {}, {"ok.csv"}},
        {"mkdir d && cp $LIB/LUM_TEST.lum.json d/KEL_MATH.lum.json && cp $LIB/KEL_MATH.lum d/ && $LH list "
         "d/KEL_MATH.lum",
         2,
         "d/KEL_MATH.lum.json does not describe d/KEL_MATH.lum",
         {},
         {},
         "cp"},
        {"$LH list --foo x", 2, "The following argument was not expected: --foo", {}, {}},
        {"$LH --version", 0, "lumhost ", {}, {}},
        {"$LH frobnicate > out 2>&1; s=$?; head -1 out; exit $s",
         2,
         "no command 'frobnicate' (list, validate",
         {},
         {},
         "head and sh's $?"},
        {"$LH list $LIB/KEL_MATH.lum > /dev/full",
         2,
         "cannot write standard output: No space left on device",
         {},
         {},
         "/dev/full"},
        {"$LH validate $Q --in-process --timeout 3", 2, "--in-process excludes --timeout", {}, {}},
        // The real-time watch in lumhost's own process: no leak report at exit (the sanitizer builds).
        {"$LH validate $Q --in-process --only dsp.no-allocation", 0, "1 passed, 0 failed", {}, {}},
        {"$LH validate --list-checks | grep '^dsp.host-calls '", 0, "position in the block", {}, {}, "grep"},
        {"echo precious > r.json && $LH validate $Q --json r.json", 2, "r.json exists (--force replaces it)", {}, {}},
        {"$LH validate $Q --json r.xml --junit r.xml", 2, "two outputs name one file", {}, {"r.xml"}},
        {"$LH validate $Q --junit -", 2, "--junit takes a file name", {}, {}},
        {"$LH validate $Q --jobs 0", 2, "--jobs 0 is outside 1 to 64", {}, {}},
        {"$LH validate $Q --jobs 2 --in-process", 2, "--in-process excludes --jobs", {}, {}},
        {"$LH validate $Q --strictness 1 --json r.json", 0, " 0 failed, 0 crashed", {"r.json"}, {}},
        // Without gnuplot the table stands in for the plot, named after it.
        {"PATH=/nowhere " + response + "--plot p.png",
         0,
         "; table p.csv",
         {"p.csv"},
         {"p.png"},
         "sh's variable assignment; under wine gnuplot is never on the PATH, which the response test sees"},
        {"PATH=/nowhere " + response + "--plot p.svg --csv p.svg",
         2,
         "two outputs name one file",
         {},
         {"p.svg"},
         "sh's variable assignment"},
        {"$LH validate $LIB/KEL_MATH.lum --only gui.sessions --module KelMathAddDspFloat",
         2,
         "the checks chosen apply to none of the modules chosen",
         {},
         {}},
        {"$LH validate $Q --only dsp.sessions --skip dsp.sessions",
         2,
         "--only and --skip both name dsp.sessions",
         {},
         {}},
        // A time-out before the first check says so, and its reproduction runs.
        {"$LH validate $LIB/LUM_BROKEN.lum --module LumBrokenHangs --timeout 0.001 > out; grep -q 'before the first "
         "check: hung' out && $LH $(sed -n 's/.*reproduce: lumhost //p' out) | tail -1",
         0,
         "0 passed, 0 failed, 1 crashed",
         {},
         {},
         "sh's command substitution"},
        // A stop for a debugger at a module's first forbidden call ends a child without one, and
        // the reproduction stops there too.
        {"$LH validate $LIB/LUM_BROKEN.lum --module LumBrokenMallocs --abort-on-violation > out 2> err; "
         "grep -q \"stopped at a module's call of malloc\" err && "
         "$LH $(sed -n 's/.*reproduce: lumhost //p' out) 2>/dev/null | grep crashed: | tail -1",
         0,
         "dsp.sessions: crashed: killed by SIGTRAP",
         {},
         {},
         "a POSIX signal, and sh's command substitution"},
        {"$LH list /dev/zero", 2, "/dev/zero is not a regular file", {}, {}, "/dev/zero"},
        {"mkdir d && cp $Q d/ && ln -s /dev/zero d/QX-DaRovoVIR3.lum.json && $LH list d/QX-DaRovoVIR3.lum",
         2,
         "d/QX-DaRovoVIR3.lum.json: the module description is not a regular file",
         {},
         {},
         "cp and symbolic links"},
        {"mkdir d && cp $Q d/ && echo '{\"library\": 3}' > d/QX-DaRovoVIR3.lum.json && $LH list d/QX-DaRovoVIR3.lum",
         2,
         "json: a value of the wrong kind: type must be string, but is number",
         {},
         {},
         "cp"},
        // A library named without a folder comes from LUM_PATH before the build's own.
        {"mkdir d && cp $LIB/KEL_MATH.lum d/MINE.lum && cp $LIB/KEL_MATH.lum.json d/MINE.lum.json && "
         "LUM_PATH=/none:$PWD/d $LH run MINE KelMathAbsDspInt --pin In=-7",
         0,
         "Out = 7",
         {},
         {},
         "cp and sh's variable assignment"},
        {"LUM_PATH=$LIB $LH demo --out-dir 'my demo' | tail -1",
         0,
         "response plot: my demo/response.png",
         {"my demo/response.png"},
         {},
         "tail, and gnuplot is not on wine's PATH"},
        {"mkdir somedir.lum && $LH list somedir.lum", 2, "somedir.lum is not a regular file", {}, {}},
        {"$LH demo >/dev/null && mv demo-out first && $LH demo >/dev/null && "
         "cmp first/filter-notch.wav demo-out/filter-notch.wav && echo same",
         0,
         "same",
         {},
         {},
         "mv and cmp"},
        // Render streams: five minutes at 96 kHz (115 MB out) within 150 MB of address space.
        {kAddressSpaceLimit + "$LH render $LIB/KEL_MATH.lum KelMathMultiplyAudio --seconds 300 --rate 96000 "
                              "--out big.wav && rm big.wav",
         0,
         "28800000 frames at 96000 Hz",
         {},
         {},
         "ulimit"},
        {render + "--seconds 0.1 --out long.wav && head -c 2000 long.wav > short.wav && " + render +
             "--in short.wav --out o.wav >/dev/null",
         0,
         "short.wav is shorter than its header says",
         {"o.wav"},
         {},
         "head"},
        // A validating child dies with its parent, however the parent ends.
        {"setsid $LH validate $LIB/LUM_BROKEN.lum --module LumBrokenHangs --timeout 100 >/dev/null & "
         "for i in $(seq 100); do c=$(pgrep -P $!) && break; sleep 0.05; done; kill -TERM $!; sleep 0.5; "
         "ps -o stat= -p $c | grep -q '^[^Z]' && echo 'child alive' || echo 'child gone'",
         0,
         "child gone",
         {},
         {},
         "setsid, pgrep and ps; the Windows builds validate in their own process"},
    };
    const std::filesystem::path folder = directory / "row";
    for (const Row& row : rows) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
#if defined(_WIN32)
        if (row.posixOnly != nullptr) continue;
#endif
        const Result result = shell(row.script, folder, files);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.script << "\n" << result.output;
        const std::string lastLine = result.output.substr(result.output.rfind('\n', result.output.size() - 2) + 1);
        EXPECT_THAT(lastLine, HasSubstr(row.says)) << row.script;
        if (row.exitCode == 2) {
            EXPECT_THAT(lastLine, StartsWith("lumhost: ")) << row.script;
        }
        for (const std::string& name : row.exist) EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
        for (const std::string& name : row.absent) EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            EXPECT_THAT(entry.path().filename().string(), Not(StartsWith(".lumhost-"))) << row.script;
        }
    }
}

TEST_F(LumhostTest, DemoWritesItsFilesAndThePlot) {
    const Result demo = run("demo");
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    for (const char* file : {"demo-out/filter-lowpass-4-sections.wav", "demo-out/math-nearest-tenth.wav"}) {
        EXPECT_TRUE(std::filesystem::exists(path(file))) << file;
    }
    if (std::filesystem::exists(path("demo-out/response.png"))) {
        EXPECT_THAT(demo.output, HasSubstr("response plot: demo-out/response.png"));
        return;
    }
    // Where gnuplot is missing (always under wine) the seven curves come as one table.
    EXPECT_THAT(demo.output, HasSubstr("response table: demo-out/response.csv"));
    std::ifstream table(path("demo-out/response.csv"));
    std::string header, last;
    std::getline(table, header);
    for (std::string line; std::getline(table, line);) last = line;
    EXPECT_EQ(header, "curve,hz,magnitude_db,phase_deg");
    EXPECT_THAT(last, StartsWith("HighShelf,"));
}

}  // namespace
