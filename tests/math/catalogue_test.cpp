// The catalogue as the host sees it: which identifiers exist, on which side, and that
// the shipped description agrees with the modules' real pins.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "host/description_check.h"
#include "math_modules/catalogue.h"
#include "math_session.h"

namespace {

using lumhost::Side;
using ::testing::IsEmpty;

struct CatalogueRow {
    const char16_t* id;
    Side side;
};

// The published identifiers in registration order, typed out again rather than read from
// the library's table: hosts keep these names in saved documents, so a rename or a lost
// row in the table must fail here instead of passing everywhere.
const CatalogueRow kPublished[] = {
    {u"KelMathLimitGuiFloat", Side::Gui},     {u"KelMathLimitGuiInt", Side::Gui},
    {u"KelMathMinGuiFloat", Side::Gui},       {u"KelMathMinGuiInt", Side::Gui},
    {u"KelMathMaxGuiFloat", Side::Gui},       {u"KelMathMaxGuiInt", Side::Gui},
    {u"KelMathAddGuiFloat", Side::Gui},       {u"KelMathAddGuiInt", Side::Gui},
    {u"KelMathSubtractGuiFloat", Side::Gui},  {u"KelMathSubtractGuiInt", Side::Gui},
    {u"KelMathMultiplyGuiFloat", Side::Gui},  {u"KelMathMultiplyGuiInt", Side::Gui},
    {u"KelMathDivideGuiFloat", Side::Gui},    {u"KelMathDivideGuiInt", Side::Gui},
    {u"KelMathFloorGuiFloat", Side::Gui},     {u"KelMathCeilGuiFloat", Side::Gui},
    {u"KelMathNearestGuiFloat", Side::Gui},   {u"KelMathScaleUpGuiFloat", Side::Gui},
    {u"KelMathScaleDownGuiFloat", Side::Gui}, {u"KelMathWrapGuiFloat", Side::Gui},
    {u"KelMathWrapGuiInt", Side::Gui},        {u"KelMathAbsGuiFloat", Side::Gui},
    {u"KelMathAbsGuiInt", Side::Gui},         {u"KelMathInvertGuiFloat", Side::Gui},
    {u"KelMathInvertGuiInt", Side::Gui},      {u"KelMathInvertGuiBool", Side::Gui},
    {u"KelMathLimitAudio", Side::Dsp},        {u"KelMathLimitDspFloat", Side::Dsp},
    {u"KelMathLimitDspInt", Side::Dsp},       {u"KelMathMinAudio", Side::Dsp},
    {u"KelMathMinDspFloat", Side::Dsp},       {u"KelMathMinDspInt", Side::Dsp},
    {u"KelMathMaxAudio", Side::Dsp},          {u"KelMathMaxDspFloat", Side::Dsp},
    {u"KelMathMaxDspInt", Side::Dsp},         {u"KelMathAddDspFloat", Side::Dsp},
    {u"KelMathAddDspInt", Side::Dsp},         {u"KelMathSubtractAudio", Side::Dsp},
    {u"KelMathSubtractDspFloat", Side::Dsp},  {u"KelMathSubtractDspInt", Side::Dsp},
    {u"KelMathMultiplyAudio", Side::Dsp},     {u"KelMathMultiplyDspFloat", Side::Dsp},
    {u"KelMathMultiplyDspInt", Side::Dsp},    {u"KelMathDivideAudio", Side::Dsp},
    {u"KelMathDivideDspFloat", Side::Dsp},    {u"KelMathDivideDspInt", Side::Dsp},
    {u"KelMathFloorAudio", Side::Dsp},        {u"KelMathFloorDspFloat", Side::Dsp},
    {u"KelMathCeilAudio", Side::Dsp},         {u"KelMathCeilDspFloat", Side::Dsp},
    {u"KelMathNearestAudio", Side::Dsp},      {u"KelMathNearestDspFloat", Side::Dsp},
    {u"KelMathAbsAudio", Side::Dsp},          {u"KelMathAbsDspFloat", Side::Dsp},
    {u"KelMathAbsDspInt", Side::Dsp},         {u"KelMathInvertAudio", Side::Dsp},
    {u"KelMathInvertDspFloat", Side::Dsp},    {u"KelMathInvertDspInt", Side::Dsp},
    {u"KelMathInvertDspBool", Side::Dsp},
};

bool isAudioRate(const std::u16string& id) {
    const std::u16string audio = u"Audio";
    return id.size() > audio.size() && id.compare(id.size() - audio.size(), audio.size(), audio) == 0;
}

// How many of the library's modules pass `test`.
template <class Test>
int countOf(Test test) {
    return static_cast<int>(std::count_if(std::begin(kelmath::kCatalogue), std::end(kelmath::kCatalogue), test));
}
const int kGuiModules = countOf([](const auto& entry) { return entry.side == lum::kSubtypeGui; });
const int kAudioRateModules = countOf([](const auto& entry) { return isAudioRate(entry.id); });

std::int32_t createStatus(const lumhost::ModuleLibrary& library, const std::u16string& id, Side side) {
    lumhost::RecordingHost host;
    void* made = nullptr;
    const std::int32_t status =
        library.factory().createInstance(id.c_str(), static_cast<std::int32_t>(side), host.object(), &made);
    if (made != nullptr) static_cast<lum::IMpUnknown*>(made)->release();
    return status;
}

TEST(Catalogue, EveryIdentifierIsCreatedOnItsOwnSideAndRefusedOnTheOther) {
    lumhost::ModuleLibrary library(mathtest::libraryPath());
    for (const CatalogueRow& row : kPublished) {
        const Side other = row.side == Side::Dsp ? Side::Gui : Side::Dsp;
        EXPECT_EQ(createStatus(library, row.id, row.side), lum::kOk) << mathtest::narrow(row.id);
        EXPECT_EQ(createStatus(library, row.id, other), lum::kNotFound) << mathtest::narrow(row.id);
    }
}

TEST(Catalogue, TheLibrarysTableIsThePublishedList) {
    ASSERT_EQ(std::size(kelmath::kCatalogue), std::size(kPublished));
    for (std::size_t i = 0; i < std::size(kPublished); ++i) {
        EXPECT_EQ(std::u16string(kelmath::kCatalogue[i].id), kPublished[i].id) << i;
        EXPECT_EQ(static_cast<Side>(kelmath::kCatalogue[i].side), kPublished[i].side)
            << mathtest::narrow(kPublished[i].id);
    }
}

TEST(Catalogue, IdentifiersMatchExactlyAndMissingOperationsDoNotExist) {
    lumhost::ModuleLibrary library(mathtest::libraryPath());
    const std::u16string absent[] = {u"kelmathaddguifloat", u"KelMathAddGuiFloat ", u"KelMathAddGui",
                                     u"KelMathAddAudio",    u"KelMathScaleUpAudio", u"KelMathWrapDspFloat",
                                     u"KelMathFloorGuiInt", u"KelMathAbsGuiBool",   u""};
    for (const std::u16string& id : absent) {
        EXPECT_EQ(createStatus(library, id, Side::Gui), lum::kNotFound) << mathtest::narrow(id);
        EXPECT_EQ(createStatus(library, id, Side::Dsp), lum::kNotFound) << mathtest::narrow(id);
    }
    EXPECT_EQ(createStatus(library, u"KelMathAddGuiFloat", static_cast<Side>(2)), lum::kNotFound);
}

TEST(Catalogue, GuiModulesNeedTheGuiHostInterface) {
    lumhost::ModuleLibrary library(mathtest::libraryPath());
    lumhost::RecordingHost::Options options;
    options.offerGuiHost = false;
    lumhost::RecordingHost host(options);
    void* made = nullptr;
    EXPECT_EQ(library.factory().createInstance(u"KelMathAddGuiFloat", 1, host.object(), &made), lum::kFailed);
    EXPECT_EQ(made, nullptr);
}

TEST(Catalogue, ModulesReleaseTheirHostReferenceWhenFreed) {
    lumhost::ModuleLibrary library(mathtest::libraryPath());
    lumhost::RecordingHost host;
    for (const CatalogueRow& row : kPublished) {
        void* made = nullptr;
        ASSERT_EQ(library.factory().createInstance(row.id, static_cast<std::int32_t>(row.side), host.object(), &made),
                  lum::kOk);
        EXPECT_EQ(static_cast<lum::IMpUnknown*>(made)->release(), 0) << mathtest::narrow(row.id);
    }
    // The DSP base releases its host; the GUI base keeps its reference by contract.
    EXPECT_EQ(host.referencesHeld(), kGuiModules);
}

class DescriptionTest : public ::testing::Test {
protected:
    lumhost::ModuleLibrary library{mathtest::libraryPath()};
    const lumhost::LibraryDescription& description = mathtest::libraryDescription();
};

TEST_F(DescriptionTest, AgreesWithTheModulesRealPins) {
    EXPECT_EQ(description.library, "KEL_MATH");
    EXPECT_THAT(lumhost::compareDescriptionWithLibrary(library, description), IsEmpty());
    // Every module can be tried on its defaults alone.
    for (const auto& module : description.modules) {
        for (const auto& pin : module.pins) {
            EXPECT_TRUE(pin.direction != lum::kDirectionIn || pin.defaultValue) << module.id << ": " << pin.name;
        }
    }
}

TEST_F(DescriptionTest, ListsTheCatalogueInOrderWithTheCountsPerSide) {
    ASSERT_EQ(description.modules.size(), std::size(kPublished));
    int gui = 0, control = 0, audio = 0;
    for (std::size_t i = 0; i < description.modules.size(); ++i) {
        const lumhost::ModuleDescription& module = description.modules[i];
        EXPECT_EQ(module.wideId(), kPublished[i].id) << module.id;
        EXPECT_EQ(module.side, kPublished[i].side) << module.id;
        const bool isAudio =
            std::any_of(module.pins.begin(), module.pins.end(),
                        [](const lumhost::PinDescription& pin) { return pin.datatype == lum::kDatatypeAudio; });
        (module.side == Side::Gui ? gui : isAudio ? audio : control) += 1;
    }
    EXPECT_EQ(gui, kGuiModules);
    EXPECT_EQ(control, static_cast<int>(std::size(kelmath::kCatalogue)) - kGuiModules - kAudioRateModules);
    EXPECT_EQ(audio, kAudioRateModules);
}

TEST_F(DescriptionTest, EveryPinHasTheIdentifiersValueTypeAndAName) {
    const std::pair<const char*, lum::PinDatatype> suffixes[] = {{"Float", lum::kDatatypeFloat},
                                                                 {"Int", lum::kDatatypeInt},
                                                                 {"Bool", lum::kDatatypeBool},
                                                                 {"Audio", lum::kDatatypeAudio}};
    for (const lumhost::ModuleDescription& module : description.modules) {
        std::int32_t datatype = -1;
        for (const auto& [suffix, code] : suffixes) {
            const std::string word(suffix);
            if (module.id.size() > word.size() &&
                module.id.compare(module.id.size() - word.size(), word.size(), word) == 0) {
                datatype = code;
            }
        }
        ASSERT_NE(datatype, -1) << module.id;
        for (const lumhost::PinDescription& pin : module.pins) {
            EXPECT_EQ(pin.datatype, datatype) << module.id << " pin " << pin.index;
            EXPECT_FALSE(pin.name.empty()) << module.id << " pin " << pin.index;
        }
    }
}

TEST_F(DescriptionTest, SharedOperationsUseTheSamePinIndicesOnBothSides) {
    const std::pair<const char*, const char*> pairs[] = {
        {"KelMathLimitGuiFloat", "KelMathLimitDspFloat"}, {"KelMathMinGuiInt", "KelMathMinDspInt"},
        {"KelMathAddGuiFloat", "KelMathAddDspFloat"},     {"KelMathDivideGuiInt", "KelMathDivideAudio"},
        {"KelMathInvertGuiBool", "KelMathInvertDspBool"}, {"KelMathNearestGuiFloat", "KelMathNearestAudio"},
    };
    for (const auto& [guiId, dspId] : pairs) {
        const auto* gui = description.findModule(guiId);
        const auto* dsp = description.findModule(dspId);
        ASSERT_NE(gui, nullptr);
        ASSERT_NE(dsp, nullptr);
        for (const lumhost::PinDescription& pin : dsp->pins) {
            const auto* same = gui->findPin(pin.name);
            ASSERT_NE(same, nullptr) << guiId << " " << pin.name;
            EXPECT_EQ(same->index, pin.index) << guiId << " " << pin.name;
            EXPECT_EQ(same->direction, pin.direction) << guiId << " " << pin.name;
        }
        ASSERT_NE(gui->findPin("Out"), nullptr);
    }
}

}  // namespace
