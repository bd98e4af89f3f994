// lumhost end to end: the command on the real libraries, as a user runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>

#include "lumhost/audio_file.h"
#include "support/test_library_path.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Result {
    int exitCode;
    std::string output;  // standard output and standard error
};

class LumhostTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory = std::filesystem::temp_directory_path() /
                    ("lumhost-test-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    Result run(const std::string& arguments) const {
        const std::string command = "cd '" + directory.string() + "' && '" LUMHOST_PATH "' " + arguments + " 2>&1";
        Result result{-1, {}};
        FILE* pipe = popen(command.c_str(), "r");
        char chunk[4096];
        while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe)) result.output.append(chunk, read);
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }
    std::string path(const std::string& name) const { return (directory / name).string(); }
    static std::string library(const std::string& name) { return "'" + lumtest::libraryPath(name) + "'"; }

    std::filesystem::path directory;
};

TEST_F(LumhostTest, ListShowsEveryModuleWithItsPins) {
    const Result list = run("list " + library("KEL_MATH"));
    ASSERT_EQ(list.exitCode, 0) << list.output;
    EXPECT_THAT(list.output, StartsWith("KEL_MATH: 59 modules\n"));
    EXPECT_THAT(list.output, HasSubstr("KelMathDivideAudio (dsp)\n    0  in   audio  A\n    1  in   audio  B\n"
                                       "    2  out  audio  Out\n"));

    const Result json = run("list --json " + library("QX-DaRovoVIR3"));
    ASSERT_EQ(json.exitCode, 0) << json.output;
    const auto parsed = nlohmann::json::parse(json.output);
    ASSERT_EQ(parsed.at("modules").size(), 1u);
    EXPECT_EQ(parsed["modules"][0]["id"], "QX-DaRovoVIR3");
    EXPECT_EQ(parsed["modules"][0]["pins"].size(), 7u);
}

TEST_F(LumhostTest, RenderedLowPassImpulseResponseSumsToUnityGain) {
    const Result render = run("render " + library("QX-DaRovoVIR3") +
                              " QX-DaRovoVIR3 --out ir.wav --signal impulse --seconds 1 --pin 'Filter Type=0'"
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

TEST_F(LumhostTest, ResponsePeaksWhereTheBandPassIsTuned) {
    const Result response = run("response " + library("QX-DaRovoVIR3") +
                                " QX-DaRovoVIR3 --pin 'Filter Type=2' --pin Frequency=250 --pin Q=0.5"
                                " --plot band.png --csv band.csv");
    ASSERT_EQ(response.exitCode, 0) << response.output;
    std::ifstream csv(path("band.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "hz,magnitude_db,phase_deg");
    double peakHz = 0.0, peakDb = -1e9;
    while (std::getline(csv, line)) {
        double hz, db, phase;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &hz, &db, &phase), 3) << line;
        if (db > peakDb) peakHz = hz, peakDb = db;
    }
    EXPECT_NEAR(std::log2(peakHz / 2500.0), 0.0, 0.05) << "peak at " << peakHz << " Hz";
    EXPECT_NEAR(peakDb, 0.0, 0.1) << "a band-pass peaks at unity gain";
    std::ifstream png(path("band.png"), std::ios::binary);
    char magic[8] = {};
    png.read(magic, 8);
    EXPECT_EQ(std::string(magic + 1, 3), "PNG");
}

TEST_F(LumhostTest, ValidatePassesBothLibrariesAndCatchesBrokenModules) {
    for (const char* name : {"KEL_MATH", "QX-DaRovoVIR3"}) {
        const Result validate = run("validate " + library(name) + " --strictness 2");
        EXPECT_EQ(validate.exitCode, 0) << validate.output;
        EXPECT_THAT(validate.output, HasSubstr(" 0 failed"));
    }
    const Result broken = run("validate " + library("LUM_BROKEN") + " --strictness 2");
    EXPECT_EQ(broken.exitCode, 1);
    for (const char* caught :
         {"FAIL  LumBrokenOverrun", "wrote past the block", "FAIL  LumBrokenNoisyWhileQuiet",
          "changed while declared not streaming", "FAIL  LumBrokenShared", "two instances fed the same session",
          "FAIL  LumBrokenAllocates", "process allocated memory", "FAIL  LumBrokenSends", "setPin with 8 bytes (pin 1)",
          "setPin on a pin that is no control output (pin 7)", "FAIL  LumBrokenGui", "writePin on an undescribed pin 5",
          "6 modules, 0 passed, 6 failed"}) {
        EXPECT_THAT(broken.output, HasSubstr(caught));
    }
}

TEST_F(LumhostTest, BadInputGivesOneLineExitCodeTwoAndNoOutputFile) {
    {
        std::ofstream(path("not-a-library.lum")) << "text";
        std::ofstream(path("not-a-library.lum.json")) << R"({"library": "X", "modules": []})";
    }
    const std::string filter = library("QX-DaRovoVIR3");
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
        {render + "--pin Slope=1.5", "lumhost: pin 'Slope': '1.5' is not a 32-bit integer\n"},
        {render + "--pin 'Signal Out=1'", "lumhost: pin 'Signal Out' is an output\n"},
        {render + "--rate 10", "lumhost: sample rate 10 is outside 1000 to 768000\n"},
        {render + "--block 0", "lumhost: block size 0 is outside 1 to 8192\n"},
        {"render " + filter + " QX-DaRovoVIR3 --out out.wav --signal sine:99999", "lumhost: signal sine: 99999 Hz"},
        {"render " + filter + " QX-DaRovoVIR3 --out out.wav --in missing.wav", "lumhost: cannot read missing.wav"},
        {"validate " + filter + " --strictness 11", "lumhost: strictness 11 is outside 1 to 10\n"},
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

TEST_F(LumhostTest, DemoWritesItsFilesAndThePlot) {
    const Result demo = run("demo");
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    for (const char* file :
         {"demo-out/response.png", "demo-out/filter-lowpass-4-sections.wav", "demo-out/math-nearest-tenth.wav"}) {
        EXPECT_TRUE(std::filesystem::exists(path(file))) << file;
    }
    EXPECT_THAT(demo.output, HasSubstr("response plot: demo-out/response.png"));
}

}  // namespace
