// The library entry point, the factory and its status codes, through the real export.
#include <gtest/gtest.h>

#include <string>

#include "host/event_list.h"
#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "support/test_library_path.h"
#include "test_library/probe_protocol.h"

namespace {

using lumhost::createDsp;
using lumhost::createGui;
using lumhost::ModuleLibrary;
using lumhost::RecordingHost;

class FactoryTest : public ::testing::Test {
protected:
    ModuleLibrary library{lumtest::libraryPath("LUM_TEST")};
    lum::IMpFactory& factory = library.factory();
    RecordingHost host;

    std::int32_t createStatus(const char16_t* id, std::int32_t subtype, void** out) {
        return factory.createInstance(id, subtype, host.object(), out);
    }
};

TEST_F(FactoryTest, EntryPointHandsOutTheSameFactoryEveryTime) {
    void* first = nullptr;
    void* second = nullptr;
    EXPECT_EQ(library.entryPoint()(&first), lum::kOk);
    EXPECT_EQ(library.entryPoint()(&second), lum::kOk);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first, second);
}

TEST_F(FactoryTest, EntryPointRefusesANullLocation) { EXPECT_EQ(library.entryPoint()(nullptr), lum::kFailed); }

TEST_F(FactoryTest, AnswersOnlyUnknownAndFactoryIdentifiers) {
    void* out = &out;
    EXPECT_EQ(factory.queryInterface(&lum::kIidMpUnknown, &out), lum::kOk);
    EXPECT_EQ(out, &factory);
    out = &out;
    EXPECT_EQ(factory.queryInterface(&lum::kIidMpFactory, &out), lum::kOk);
    EXPECT_EQ(out, &factory);
    out = &out;
    EXPECT_EQ(factory.queryInterface(&lum::kIidMpPlugin, &out), lum::kNotFound);
    EXPECT_EQ(out, nullptr);

    // The platform's IUnknown differs from the API's in where its 0xC0 byte sits.
    const lum::Guid platformUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    out = &out;
    EXPECT_EQ(factory.queryInterface(&platformUnknown, &out), lum::kNotFound);
    EXPECT_EQ(out, nullptr);
}

TEST_F(FactoryTest, QueryWithANullLocationWritesNothing) {
    EXPECT_EQ(factory.queryInterface(&lum::kIidMpFactory, nullptr), lum::kFailed);
}

TEST_F(FactoryTest, ReferenceCountIsFixed) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(factory.addRef(), 16);
        EXPECT_EQ(factory.release(), 1);
        EXPECT_EQ(factory.release(), 1);
    }
    void* out = nullptr;
    EXPECT_EQ(createStatus(u"LumTestControl", 0, &out), lum::kOk);
    static_cast<lum::IMpUnknown*>(out)->release();
}

TEST_F(FactoryTest, CreatesEachSideOnlyWhereRegistered) {
    EXPECT_EQ(createDsp(factory, u"LumTestControl", host.object()).status, lum::kOk);
    EXPECT_EQ(createGui(factory, u"LumTestGuiScale", host.object()).status, lum::kOk);
    EXPECT_EQ(createDsp(factory, u"LumTestBothSides", host.object()).status, lum::kOk);
    EXPECT_EQ(createGui(factory, u"LumTestBothSides", host.object()).status, lum::kOk);

    struct Refused {
        const char16_t* id;
        std::int32_t subtype;
    };
    for (const Refused& refused : {Refused{u"LumTestGuiScale", 0}, Refused{u"LumTestControl", 1},
                                   Refused{u"LumTestControl", 2}, Refused{u"LumTestControl", -1}}) {
        void* out = &out;
        EXPECT_EQ(createStatus(refused.id, refused.subtype, &out), lum::kNotFound);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(FactoryTest, IdentifiersMatchExactly) {
    for (const char16_t* id : {u"lumtestcontrol", u"LumTestContro", u"LumTestControl ", u"", u"LumTestControlX"}) {
        void* out = &out;
        EXPECT_EQ(createStatus(id, 0, &out), lum::kNotFound);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(FactoryTest, IdentifiersOfAnyLengthOrCodeUnitAreNotFound) {
    const std::u16string huge(100000, u'L');
    const std::u16string longer = std::u16string(u"LumTestControl") + std::u16string(5000, u'\xFFFF');
    for (const std::u16string& id : {huge, longer, std::u16string(u"\xD800\xDFFF\x8000LumTestControl")}) {
        void* out = &out;
        EXPECT_EQ(createStatus(id.c_str(), 0, &out), lum::kNotFound);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(FactoryTest, NullIdentifierIsNotFoundAndNullLocationFails) {
    void* out = &out;
    EXPECT_EQ(createStatus(nullptr, 0, &out), lum::kNotFound);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(createStatus(u"LumTestControl", 0, nullptr), lum::kFailed);
    EXPECT_EQ(host.referencesHeld(), 0) << "nothing may be created for a null location";
}

TEST_F(FactoryTest, ThrowingOrEmptyHandedCreatorGivesFailureAndNull) {
    for (const char16_t* id : {u"LumTestThrows", u"LumTestMakesNothing"}) {
        void* out = &out;
        EXPECT_EQ(createStatus(id, 0, &out), lum::kFailed);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(FactoryTest, LaterRegistrationOnTheSameSideWins) {
    auto created = createDsp(factory, u"LumTestReplaced", host.object());
    ASSERT_EQ(created.status, lum::kOk);
    lumhost::EventList events;
    events.graphStart(0);
    created.object->process(8, events.head());
    // The gain module announces a streaming output at graph start; the control module
    // would have sent a value instead.
    const auto exchange = host.exchange();
    ASSERT_FALSE(exchange.empty());
    EXPECT_EQ(exchange.front(), lumhost::setPinStreamingCall(0, gain::kOut, true));
}

TEST_F(FactoryTest, HostMissingAnInterfaceMakesCreationFail) {
    RecordingHost noDsp(RecordingHost::Options{false, true});
    RecordingHost noGui(RecordingHost::Options{true, false});
    void* out = &out;
    EXPECT_EQ(factory.createInstance(u"LumTestControl", 0, noDsp.object(), &out), lum::kFailed);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory.createInstance(u"LumTestGuiScale", 1, noGui.object(), &out), lum::kFailed);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory.createInstance(u"LumTestGuiScale", 1, nullptr, &out), lum::kFailed);
    EXPECT_EQ(factory.createInstance(u"LumTestControl", 0, nullptr, &out), lum::kFailed);
}

TEST_F(FactoryTest, LastReleaseFreesTheModuleAndItsHostReferenceOnce) {
    void* out = nullptr;
    ASSERT_EQ(createStatus(u"LumTestControl", 0, &out), lum::kOk);
    auto* module = static_cast<lum::IMpUnknown*>(out);
    EXPECT_EQ(host.referencesHeld(), 1);
    EXPECT_EQ(module->addRef(), 2);
    EXPECT_EQ(module->release(), 1);
    EXPECT_EQ(host.referencesHeld(), 1);
    EXPECT_EQ(module->release(), 0);
    EXPECT_EQ(host.referencesHeld(), 0);
}

TEST_F(FactoryTest, GuiModuleKeepsItsHostReferenceForItsWholeLife) {
    void* out = nullptr;
    ASSERT_EQ(createStatus(u"LumTestGuiScale", 1, &out), lum::kOk);
    EXPECT_EQ(static_cast<lum::IMpUnknown*>(out)->release(), 0);
    EXPECT_EQ(host.referencesHeld(), 1);
}

// The standard flavour's values; how the text is cut is the same code for every flavour.
class SdkInformationTest : public FactoryTest {
protected:
    static constexpr std::int32_t kVersion = 30400;
    static inline const std::u16string kText = u"MS Compiler V1800";

    std::u16string text(std::int32_t capacity, std::int32_t* version = nullptr) {
        std::u16string buffer(32, u'#');
        std::int32_t ignored = 0;
        EXPECT_EQ(factory.getSdkInformation(version != nullptr ? version : &ignored, capacity, buffer.data()),
                  lum::kOk);
        return buffer;
    }
};

TEST_F(SdkInformationTest, WholeTextAndVersion) {
    std::int32_t version = 0;
    EXPECT_EQ(text(18, &version).substr(0, 18), kText + u'\0');
    EXPECT_EQ(version, kVersion);
    EXPECT_EQ(text(32).substr(0, 19), kText + u'\0' + u'#');
}

TEST_F(SdkInformationTest, CutToFitAndTerminated) {
    EXPECT_EQ(text(8).substr(0, 9), kText.substr(0, 7) + u'\0' + u'#');
    EXPECT_EQ(text(1).substr(0, 2), std::u16string(1, u'\0') + u'#');
}

TEST_F(SdkInformationTest, NoCapacityOrNoBufferWritesNoText) {
    EXPECT_EQ(text(0), std::u16string(32, u'#'));
    EXPECT_EQ(text(-5), std::u16string(32, u'#'));
    std::int32_t version = 0;
    EXPECT_EQ(factory.getSdkInformation(&version, 64, nullptr), lum::kOk);
    EXPECT_EQ(version, kVersion);
    EXPECT_EQ(factory.getSdkInformation(nullptr, 0, nullptr), lum::kOk);
}

}  // namespace
