// The GUI base and GUI pins: values in through setPin, handlers on notifyPin, results out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "host/instances.h"
#include "host/library_loader.h"
#include "host/recording_host.h"
#include "support/test_library_path.h"
#include "test_library/probe_protocol.h"

namespace {

using lumhost::writePinCall;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class GuiBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto created = lumhost::createGui(library.factory(), u"LumTestGuiScale", host.object());
        ASSERT_EQ(created.status, lum::kOk);
        gui = std::move(created.object);
    }
    template <class T>
    std::int32_t set(std::int32_t pin, T value) {
        return gui->setPin(pin, 0, sizeof(T), &value);
    }
    std::vector<lumhost::HostCall> notify(std::int32_t pin) {
        host.clear();
        EXPECT_EQ(gui->notifyPin(pin, 0), lum::kOk);
        return host.exchange();
    }

    lumhost::ModuleLibrary library{lumtest::libraryPath("LUM_TEST")};
    lumhost::RecordingHost host;
    lumhost::Ref<lum::IMpUserInterface> gui;
};

TEST_F(GuiBaseTest, SetPinStoresWithoutRunningTheHandler) {
    EXPECT_EQ(set(gui::kIn, 1.5f), lum::kOk);
    EXPECT_THAT(host.exchange(), IsEmpty());
    EXPECT_THAT(notify(gui::kIn), ElementsAre(writePinCall(gui::kOut, 3.0f)));
}

TEST_F(GuiBaseTest, HandlerWritesOnlyOnChangeAndSolvesBack) {
    set(gui::kIn, 2.0f);
    notify(gui::kIn);
    EXPECT_THAT(notify(gui::kIn), IsEmpty()) << "the result did not change";
    set(gui::kOut, 10.0f);
    EXPECT_THAT(notify(gui::kOut), ElementsAre(writePinCall(gui::kIn, 5.0f)));
}

TEST_F(GuiBaseTest, PinWithoutHandlerIgnoresNotify) {
    EXPECT_EQ(set(gui::kPlain, 1.0f), lum::kOk);
    EXPECT_THAT(notify(gui::kPlain), IsEmpty());
}

TEST_F(GuiBaseTest, UnregisteredPinAndUnusableDataAreRefused) {
    const float value = 1.0f;
    EXPECT_EQ(gui->setPin(42, 0, 4, &value), lum::kFailed);
    EXPECT_EQ(gui->notifyPin(42, 0), lum::kFailed);
    EXPECT_EQ(gui->setPin(-1, 0, 4, &value), lum::kFailed);
    EXPECT_EQ(gui->setPin(gui::kInt, 0, -4, &value), lum::kFailed);
    EXPECT_EQ(gui->setPin(gui::kInt, 0, 4, nullptr), lum::kFailed);
    EXPECT_THAT(notify(gui::kInt), ElementsAre(writePinCall(gui::kInt, std::int32_t{0})));
}

TEST_F(GuiBaseTest, ValuesAreTakenAsTheBytesSay) {
    struct Case {
        std::int32_t pin;
        std::int32_t size;
        std::uint32_t word;
        lumhost::HostCall echoed;
    };
    const Case cases[] = {
        {gui::kInt, 4, 1234, writePinCall(gui::kInt, std::int32_t{1234})},
        {gui::kInt, 2, 0xFFFF, writePinCall(gui::kInt, std::int32_t{0xFFFF})},
        {gui::kBool, 4, 7, writePinCall(gui::kBool, std::uint8_t{1})},
        {gui::kBool, 1, 0, writePinCall(gui::kBool, std::uint8_t{0})},
        {gui::kBool, 1, 2, writePinCall(gui::kBool, std::uint8_t{2})},
        {gui::kBool, 0, 5, writePinCall(gui::kBool, std::uint8_t{2})},  // nothing to read: unchanged
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gui->setPin(c.pin, 0, c.size, &c.word), lum::kOk);
        EXPECT_THAT(notify(c.pin), ElementsAre(c.echoed)) << "size " << c.size << ", word " << c.word;
    }
}

TEST_F(GuiBaseTest, OversizedValueCopiesOnlyThePinsOwnBytes) {
    std::vector<std::int32_t> payload(1024, -1);
    payload[0] = 99;
    EXPECT_EQ(gui->setPin(gui::kInt, 0, 4096, payload.data()), lum::kOk);
    EXPECT_THAT(notify(gui::kInt), ElementsAre(writePinCall(gui::kInt, std::int32_t{99})));
}

TEST_F(GuiBaseTest, FloatsCompareByBytesSoNegativeZeroIsAChange) {
    set(gui::kIn, 0.0f);
    EXPECT_THAT(notify(gui::kIn), IsEmpty()) << "2 * 0 equals the output's initial 0";
    set(gui::kIn, -0.0f);
    // -0 is stored (bytes differ), and its double, -0, equals +0 under IEEE: no write.
    EXPECT_THAT(notify(gui::kIn), IsEmpty());
    set(gui::kOut, -0.0f);
    EXPECT_THAT(notify(gui::kOut), ElementsAre(writePinCall(gui::kIn, -0.0f)));
}

TEST_F(GuiBaseTest, OtherOperationsAnswerZero) {
    EXPECT_EQ(gui->open(), lum::kOk);
    EXPECT_EQ(gui->receiveMessage(1, 2, nullptr), lum::kOk);
    EXPECT_EQ(gui->reservedSlot7(), lum::kOk);
    EXPECT_EQ(gui->reservedSlot8(3), lum::kOk);
    void* out = &out;
    EXPECT_EQ(gui->queryInterface(&lum::kIidMpPlugin, &out), lum::kNotFound);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(gui->queryInterface(&lum::kIidMpUserInterface, nullptr), lum::kFailed);
}

}  // namespace
