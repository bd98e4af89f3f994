// Every host-facing operation called through its slot number, and a host made of bare
// vtables, so a slot-order mistake cannot hide behind a header both sides share.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/library_loader.h"
#include "support/test_library_path.h"
#include "test_library/probe_protocol.h"

namespace {

using ::testing::ElementsAre;

// Calls slot `slot` of the object's first vtable: the object pointer, then entry k.
template <class Result, class... Args>
Result callSlot(void* object, int slot, Args... args) {
    using Function = Result(LUM_CALL*)(void*, Args...);
    void** vtable = *static_cast<void***>(object);
    return reinterpret_cast<Function>(vtable[slot])(object, args...);
}

// A host object as a C host would write it: a vtable pointer and a log of slot calls.
struct RawHost {
    void** vtable;
    std::vector<std::string>* log;
};

std::vector<std::string> hostLog;
RawHost dspHost{nullptr, &hostLog};
RawHost guiHost{nullptr, &hostLog};

std::int32_t LUM_CALL hostQueryInterface(void*, const lum::Guid* iid, void** out) {
    hostLog.push_back("queryInterface");
    *out = *iid == lum::kIidMpDspHost   ? static_cast<void*>(&dspHost)
           : *iid == lum::kIidMpGuiHost ? static_cast<void*>(&guiHost)
                                        : nullptr;
    return *out != nullptr ? lum::kOk : lum::kNotFound;
}
std::int32_t LUM_CALL hostAddRef(void*) { return 1; }
std::int32_t LUM_CALL hostRelease(void*) {
    hostLog.push_back("release");
    return 0;
}
std::int32_t LUM_CALL hostSetPin(void*, std::int32_t position, std::int32_t pin, std::int32_t size, const void*) {
    hostLog.push_back("3 setPin " + std::to_string(position) + " " + std::to_string(pin) + " " + std::to_string(size));
    return 0;
}
std::int32_t LUM_CALL hostSetPinStreaming(void*, std::int32_t position, std::int32_t pin, std::int32_t flag) {
    hostLog.push_back("4 setPinStreaming " + std::to_string(position) + " " + std::to_string(pin) + " " +
                      std::to_string(flag));
    return 0;
}
std::int32_t LUM_CALL hostSleep(void*) {
    hostLog.push_back("5 sleep");
    return 0;
}
std::int32_t LUM_CALL hostSlot6(void*) {
    hostLog.push_back("6 reserved");
    return 0;
}
std::int32_t LUM_CALL hostGetBlockSize(void*, std::int32_t* blockSize) {
    hostLog.push_back("7 getBlockSize");
    *blockSize = 4;
    return 0;
}
std::int32_t LUM_CALL hostGetSampleRate(void*, float* rate) {
    hostLog.push_back("8 getSampleRate");
    *rate = 48000.0f;
    return 0;
}
std::int32_t LUM_CALL hostWritePin(void*, std::int32_t pin, std::int32_t size, const void* data, std::int32_t voice) {
    float value;
    std::memcpy(&value, data, sizeof value);
    hostLog.push_back("3 writePin " + std::to_string(pin) + " " + std::to_string(size) + " " +
                      std::to_string(static_cast<int>(value)) + " voice " + std::to_string(voice));
    return 0;
}

void* dspHostVtable[] = {reinterpret_cast<void*>(&hostQueryInterface),  reinterpret_cast<void*>(&hostAddRef),
                         reinterpret_cast<void*>(&hostRelease),         reinterpret_cast<void*>(&hostSetPin),
                         reinterpret_cast<void*>(&hostSetPinStreaming), reinterpret_cast<void*>(&hostSleep),
                         reinterpret_cast<void*>(&hostSlot6),           reinterpret_cast<void*>(&hostGetBlockSize),
                         reinterpret_cast<void*>(&hostGetSampleRate)};
void* guiHostVtable[] = {reinterpret_cast<void*>(&hostQueryInterface), reinterpret_cast<void*>(&hostAddRef),
                         reinterpret_cast<void*>(&hostRelease), reinterpret_cast<void*>(&hostWritePin)};

class RawSlotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dspHost.vtable = dspHostVtable;
        guiHost.vtable = guiHostVtable;
        hostLog.clear();
        ASSERT_EQ(library.entryPoint()(&factory), lum::kOk);
    }
    void* create(const char16_t* id, std::int32_t subtype) {
        void* object = nullptr;
        EXPECT_EQ((callSlot<std::int32_t, const char16_t*, std::int32_t, void*, void**>(factory, 3, id, subtype,
                                                                                        &dspHost, &object)),
                  lum::kOk);
        return object;
    }
    lumhost::ModuleLibrary library{lumtest::libraryPath("LUM_TEST")};
    void* factory = nullptr;
};

TEST_F(RawSlotsTest, FactorySlots) {
    void* out = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, const lum::Guid*, void**>(factory, 0, &lum::kIidMpFactory, &out)), lum::kOk);
    EXPECT_EQ(out, factory);
    EXPECT_EQ(callSlot<std::int32_t>(factory, 1), 16);
    EXPECT_EQ(callSlot<std::int32_t>(factory, 2), 1);
    // Slot 4 answers what the interface's getSdkInformation answers; the values have their own test.
    std::int32_t version = -1;
    char16_t text[32] = {};
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t*, std::int32_t, char16_t*>(factory, 4, &version, 32, text)),
              lum::kOk);
    std::int32_t expectedVersion = 0;
    char16_t expectedText[32] = {};
    ASSERT_EQ(library.factory().getSdkInformation(&expectedVersion, 32, expectedText), lum::kOk);
    EXPECT_EQ(version, expectedVersion);
    EXPECT_EQ(std::u16string(text), std::u16string(expectedText));
}

TEST_F(RawSlotsTest, PluginSlotsAndDspHostSlots) {
    void* plugin = create(u"LumTestProbe", 0);
    ASSERT_NE(plugin, nullptr);
    void* out = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, const lum::Guid*, void**>(plugin, 0, &lum::kIidMpPlugin, &out)), lum::kOk);
    EXPECT_EQ(out, plugin);
    EXPECT_EQ(callSlot<std::int32_t>(plugin, 1), 3);
    EXPECT_EQ(callSlot<std::int32_t>(plugin, 2), 2);
    EXPECT_EQ(callSlot<std::int32_t>(plugin, 2), 1);
    EXPECT_EQ(callSlot<std::int32_t>(plugin, 3), lum::kOk);
    float samples[8] = {};
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, float*>(plugin, 4, probe::kOut, samples)), lum::kOk);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, float*>(plugin, 4, 99, samples)), lum::kFailed);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t, void*>(plugin, 6, 1, 2, nullptr)), lum::kOk);

    lum::HostEvent quiet{2, lum::kEventPinSet, probe::kCommand, 4, {}, nullptr, nullptr};
    const std::int32_t bits = probe::kOutQuiet | probe::kMaySleep;
    std::memcpy(quiet.inlineData, &bits, sizeof bits);
    lum::HostEvent graphStart{2, lum::kEventGraphStart, 0, 0, {}, nullptr, &quiet};
    hostLog.clear();
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, const lum::HostEvent*>(plugin, 5, 8, &graphStart)), lum::kOk);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, const lum::HostEvent*>(plugin, 5, 8, nullptr)), lum::kOk);
    EXPECT_EQ(callSlot<std::int32_t>(plugin, 2), 0);
    EXPECT_THAT(hostLog, ElementsAre("4 setPinStreaming 2 4 1", "3 setPin 2 5 4", "3 setPin 2 6 4",  // graph start
                                     "3 setPin 2 5 4",                                               // onSetPins trace
                                     "7 getBlockSize", "4 setPinStreaming 2 4 0", "5 sleep",         // quiet, asleep
                                     "5 sleep", "release"));
}

TEST_F(RawSlotsTest, UserInterfaceSlotsAndGuiHostSlots) {
    void* gui = create(u"LumTestGuiScale", 1);
    ASSERT_NE(gui, nullptr);
    void* out = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, const lum::Guid*, void**>(gui, 0, &lum::kIidMpUserInterface, &out)), lum::kOk);
    EXPECT_EQ(out, gui);
    EXPECT_EQ(callSlot<std::int32_t>(gui, 1), 3);
    EXPECT_EQ(callSlot<std::int32_t>(gui, 2), 2);
    EXPECT_EQ(callSlot<std::int32_t>(gui, 2), 1);
    EXPECT_EQ(callSlot<std::int32_t>(gui, 3), lum::kOk);
    const float value = 21.0f;
    hostLog.clear();
    EXPECT_EQ(
        (callSlot<std::int32_t, std::int32_t, std::int32_t, std::int32_t, const void*>(gui, 4, gui::kIn, 0, 4, &value)),
        lum::kOk);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t>(gui, 5, gui::kIn, 0)), lum::kOk);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t>(gui, 5, 42, 0)), lum::kFailed);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t, void*>(gui, 6, 1, 2, nullptr)), lum::kOk);
    EXPECT_EQ(callSlot<std::int32_t>(gui, 7), lum::kOk);
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t>(gui, 8, 5)), lum::kOk);
    EXPECT_EQ(callSlot<std::int32_t>(gui, 2), 0);
    EXPECT_THAT(hostLog, ElementsAre("3 writePin 1 4 42 voice 0"));
}

}  // namespace
