// The filter library's framework variant: its factory through the real QX-DaRovoVIR3.lum,
// and its pin classes through a probe module built on the same variant.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/description_check.h"
#include "host/event_list.h"
#include "host/guarded_buffer.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "support/test_library_path.h"
#include "variant_probe_protocol.h"

namespace {

using lumhost::EventList;
using lumhost::getBlockSizeCall;
using lumhost::HostCall;
using lumhost::setPinCall;
using lumhost::setPinStreamingCall;
using lumhost::sleepCall;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace variant_probe;

// The variant's values only; the factory that cuts the text is the standard one, tested there.
TEST(FilterLibraryFactory, ReportsTheVariantsSdkVersionAndCompiler) {
    lumhost::ModuleLibrary library(lumtest::libraryPath("QX-DaRovoVIR3"));
    std::int32_t version = 0;
    char16_t text[32] = {};
    EXPECT_EQ(library.factory().getSdkInformation(&version, 32, text), lum::kOk);
    EXPECT_EQ(version, 30100);
    EXPECT_EQ(std::u16string(text), u"GCC Compiler V1002");
}

TEST(FilterLibraryFactory, OffersTheFilterOnTheDspSideOnly) {
    lumhost::ModuleLibrary library(lumtest::libraryPath("QX-DaRovoVIR3"));
    lumhost::RecordingHost host;
    EXPECT_EQ(lumhost::createDsp(library.factory(), u"QX-DaRovoVIR3", host.object()).status, lum::kOk);
    void* out = &out;
    EXPECT_EQ(library.factory().createInstance(u"QX-DaRovoVIR3", 1, host.object(), &out), lum::kNotFound);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(lumhost::createDsp(library.factory(), u"qx-darovovir3", host.object()).status, lum::kNotFound);

    const auto description =
        lumhost::readLibraryDescription(lumhost::descriptionPath(lumtest::libraryPath("QX-DaRovoVIR3")));
    EXPECT_EQ(description.library, "QX-DaRovoVIR3");
    ASSERT_EQ(description.modules.size(), 1u);
    EXPECT_THAT(lumhost::compareDescriptionWithLibrary(library, description), IsEmpty());
    const auto& filter = description.modules[0];
    std::vector<std::string> names;
    for (const auto& pin : filter.pins) names.push_back(pin.name);
    EXPECT_THAT(names, ElementsAre("Filter Type", "Signal In", "Frequency", "Q", "Gain", "Signal Out", "Slope"));
}

class VariantPinsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto created = lumhost::createDsp(library.factory(), u"LumVariantProbe", host.object());
        ASSERT_EQ(created.status, lum::kOk);
        probe = std::move(created.object);
        probe->setBuffer(kIn, in.data());
        probe->setBuffer(kOut, out.data());
        for (std::int32_t i = 0; i < in.frames(); ++i) in[i] = static_cast<float>(i);
        host.setBlockSize(0);
    }
    std::vector<HostCall> run(EventList& events) {
        host.clear();
        probe->process(kFrames, events.head());
        events.clear();
        return host.exchange();
    }
    static HostCall setPins(std::int32_t position, std::int32_t streamingPins, bool inUpdated) {
        return setPinCall(position, kSetPinsReport, std::int32_t{streamingPins * 10 + (inUpdated ? 1 : 0)});
    }
    static HostCall span(std::int32_t position, std::int32_t offset, std::int32_t frames) {
        return setPinCall(position, kSpanReport, std::int32_t{offset * 1000 + frames});
    }

    static constexpr std::int32_t kFrames = 32;
    lumhost::ModuleLibrary library{lumtest::libraryPath("LUM_VARIANT_TEST")};
    lumhost::RecordingHost host;
    lumhost::GuardedBuffer in{kFrames};
    lumhost::GuardedBuffer out{kFrames};
    lumhost::Ref<lum::IMpPlugin> probe;
    EventList events;
};

TEST_F(VariantPinsTest, OutputToldToStreamTwiceInformsTheHostTwiceAndCountsOnce) {
    events.value(0, kCommand, std::int32_t{kTraceSpans | kOutStreaming});
    EXPECT_THAT(run(events), ElementsAre(setPins(0, 0, true), setPinStreamingCall(0, kOut, true), span(0, 0, 32)));
    events.value(4, kCommand, std::int32_t{kOutStreaming});
    EXPECT_THAT(run(events),
                ElementsAre(span(0, 0, 4), setPins(4, 1, true), setPinStreamingCall(4, kOut, true), span(4, 4, 28)));
    events.value(0, kCommand, std::int32_t{0});
    EXPECT_THAT(run(events), ElementsAre(setPins(0, 1, true), span(0, 0, 32)));
}

TEST_F(VariantPinsTest, InputAndOutputCountTogetherAndTheSleepStepTakesOverOnlyAtZeroOrMaySleep) {
    // Input and output both streaming: 2.
    events.streaming(0, kIn, true).value(0, kCommand, std::int32_t{kTraceSpans | kOutStreaming});
    EXPECT_THAT(run(events), ElementsAre(setPins(0, 1, true), setPinStreamingCall(0, kOut, true), span(0, 0, 32)));
    events.streaming(0, kIn, false);
    EXPECT_THAT(run(events), ElementsAre(setPins(0, 1, true), span(0, 0, 32))) << "2 to 1 keeps the sub-process";
    // May sleep: the sleep step is current whatever the count, and a countdown of 0 sleeps at once.
    events.value(0, kCommand, std::int32_t{kMaySleep});
    EXPECT_THAT(run(events), ElementsAre(setPins(0, 1, false), sleepCall()));
    events.streaming(0, kIn, true);
    EXPECT_THAT(run(events), ElementsAre(setPins(0, 2, true), sleepCall())) << "1 to 2 under sleep mode 1";

    // Automatic sleep mode: the count reaching 0 makes the sleep step current.
    lumhost::RecordingHost otherHost;
    auto automatic = lumhost::createDsp(library.factory(), u"LumVariantProbe", otherHost.object());
    ASSERT_EQ(automatic.status, lum::kOk);
    automatic.object->setBuffer(kIn, in.data());
    automatic.object->setBuffer(kOut, out.data());
    otherHost.setBlockSize(0);
    events.streaming(0, kIn, true).value(0, kCommand, std::int32_t{kTraceSpans | kOutStreaming});
    automatic.object->process(kFrames, events.head());
    events.clear();
    events.value(0, kCommand, std::int32_t{kOutQuiet});
    otherHost.clear();
    automatic.object->process(kFrames, events.head());
    EXPECT_THAT(otherHost.exchange(), ElementsAre(setPins(0, 2, false), getBlockSizeCall(),
                                                  setPinStreamingCall(0, kOut, false), span(0, 0, 32)))
        << "2 to 1";
    events.clear();
    events.streaming(0, kIn, false);
    otherHost.clear();
    automatic.object->process(kFrames, events.head());
    EXPECT_THAT(otherHost.exchange(), ElementsAre(setPins(0, 0, true), sleepCall())) << "1 to 0";
}

TEST_F(VariantPinsTest, StreamingDeclarationsCarryTheirPositionAndSamplesTheBlockPosition) {
    events.value(5, kCommand, std::int32_t{kOutQuietAt17});
    EXPECT_THAT(run(events), ElementsAre(setPins(5, 0, true), getBlockSizeCall(), setPinStreamingCall(17, kOut, false),
                                         sleepCall()));
    events.value(5, kCommand, std::int32_t{kOutQuiet | kReportSamples});
    EXPECT_THAT(run(events),
                ElementsAre(setPins(5, 0, true), getBlockSizeCall(), setPinStreamingCall(5, kOut, false),
                            setPinCall(5, kSampleReport, 5.0f), setPinCall(5, kSampleReport, 2.0f), sleepCall()));
}

TEST_F(VariantPinsTest, GraphStartAnnouncesTheAudioOutputAndNotTheMidiOutput) {
    events.graphStart(3);
    EXPECT_THAT(run(events), ElementsAre(setPinStreamingCall(3, kOut, true)));
}

TEST_F(VariantPinsTest, MidiBytesReachOnMidiDataInlineOrFromTheDataPointer) {
    const std::uint8_t noteOn[3] = {0x90, 60, 100};
    const std::uint8_t sysex[8] = {0xF0, 1, 2, 3, 4, 5, 6, 0xF7};
    struct Case {
        const std::uint8_t* bytes;
        std::int32_t size;
        bool pointed;
    };
    for (const Case& c : {Case{noteOn, 3, false}, Case{noteOn, 3, true}, Case{sysex, 8, false}}) {
        events.bytes(2, kMidiIn, c.size, c.bytes, c.pointed, lum::kEventPinOther);
        const lum::HostEvent* event = events.head();
        const void* expectedBytes = c.pointed ? event->data : static_cast<const void*>(event->inlineData);
        host.clear();
        probe->process(kFrames, event);
        // No onSetPins for a MIDI event; the idle module then sleeps.
        EXPECT_THAT(host.exchange(),
                    ElementsAre(setPinCall(2, kMidiOut, c.size, c.bytes), setPinCall(2, kMidiReport, expectedBytes),
                                setPinCall(2, kMidiReport, c.size), sleepCall()))
            << c.size << " bytes, " << (c.pointed ? "pointed" : "inline");
        events.clear();
    }
}

}  // namespace
