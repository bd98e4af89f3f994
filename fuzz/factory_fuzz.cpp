// The factory as a careless host reaches it: any zero-terminated identifier (any length,
// any code units), any sub-type, null outputs, a null host or one that offers nothing,
// any interface identifier, and any capacity for getSdkInformation.
//
// Input: a flags byte (bit 0 the library, 1 null `out`, 2 null identifier, 3-4 what the
// host offers: both, DSP only, GUI only, nothing; 5 null host object; 6 null SDK version;
// 7 null text), a sub-type byte (0-239: 0, 1 or 2 by remainder; else an int32 follows),
// the text capacity (int32), 16 bytes of an interface identifier, then the identifier's
// UTF-16 code units (little-endian) to the end.
#include <array>
#include <map>
#include <string>

#include "framework/interfaces.h"
#include "fuzz_support.h"
#include "host/recording_host.h"

namespace {

using lumfuzz::expect;
using lumfuzz::fail;

constexpr std::size_t kTextCapacity = 64;

struct LibraryFacts {
    std::map<std::u16string, lumhost::Side> modules;
    std::u16string sdkText;
    std::int32_t sdkVersion;
};

const std::array<LibraryFacts, 2>& facts() {
    static const std::array<LibraryFacts, 2> result = [] {
        std::array<LibraryFacts, 2> all;
        const auto& libraries = lumfuzz::libraries();
        for (std::size_t i = 0; i < all.size(); ++i) {
            for (const auto& module : libraries[i].description.modules) all[i].modules[module.wideId()] = module.side;
        }
        all[0].sdkText = u"MS Compiler V1800";
        all[0].sdkVersion = 30400;
        all[1].sdkText = u"GCC Compiler V1002";
        all[1].sdkVersion = 30100;
        return all;
    }();
    return result;
}

// One host per offer, kept across inputs: GUI modules keep their host reference for good.
lumhost::RecordingHost& hostOffering(std::uint8_t offer) {
    static lumhost::RecordingHost hosts[4] = {
        lumhost::RecordingHost({true, true}),
        lumhost::RecordingHost({true, false}),
        lumhost::RecordingHost({false, true}),
        lumhost::RecordingHost({false, false}),
    };
    return hosts[offer & 3];
}

void checkSdkInformation(lum::IMpFactory& factory, const LibraryFacts& library, std::int32_t capacity, bool nullVersion,
                         bool nullText) {
    std::int32_t version = -7;
    // The buffer is as large as the host says, up to what the text could ever need.
    std::array<char16_t, kTextCapacity> text;
    text.fill(u'\xBEEF');
    const std::int32_t status =
        factory.getSdkInformation(nullVersion ? nullptr : &version, capacity, nullText ? nullptr : text.data());
    expect(status == lum::kOk, "getSdkInformation did not return 0");
    expect(nullVersion || version == library.sdkVersion, "getSdkInformation stored the wrong SDK version");
    if (nullText || capacity <= 0) {
        expect(text[0] == u'\xBEEF', "getSdkInformation wrote into a buffer without room");
        return;
    }
    const std::size_t kept = std::min(library.sdkText.size(), static_cast<std::size_t>(capacity) - 1);
    expect(library.sdkText.compare(0, kept, text.data(), kept) == 0, "getSdkInformation text is wrong");
    expect(text[kept] == 0, "getSdkInformation text is not terminated where it was cut");
    for (std::size_t i = kept + 1; i < text.size(); ++i) {
        expect(text[i] == u'\xBEEF', "getSdkInformation wrote past its terminator");
    }
}

void checkCreated(lum::IMpUnknown* object, lumhost::Side side) {
    const lum::Guid& own = side == lumhost::Side::Dsp ? lum::kIidMpPlugin : lum::kIidMpUserInterface;
    void* face = nullptr;
    expect(object->queryInterface(&own, &face) == lum::kOk && face == object, "a new module does not answer its face");
    void* none = &face;
    expect(object->queryInterface(&lum::kIidMpFactory, &none) == lum::kNotFound && none == nullptr,
           "a new module answers the factory's interface");
    expect(object->queryInterface(&own, nullptr) == lum::kFailed, "queryInterface with a null out did not give -1");
    expect(static_cast<lum::IMpUnknown*>(face)->release() == 1, "the face's reference was not counted");
    expect(object->release() == 0, "the creator's reference was not the last one");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    facts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lumfuzz::Input input(data, size);
    const std::uint8_t flags = input.byte();
    const std::size_t libraryIndex = flags & 1;
    const bool nullOut = (flags & 2) != 0;
    const bool nullId = (flags & 4) != 0;
    const std::uint8_t offer = (flags >> 3) & 3;
    const bool nullHost = (flags & 32) != 0;
    const std::uint8_t subtypeByte = input.byte();
    const std::int32_t subtype = subtypeByte < 0xF0 ? subtypeByte % 3 : input.i32();
    const std::int32_t capacity = input.i32();
    lum::Guid iid;
    input.bytes(&iid, sizeof iid);
    std::u16string id;
    while (!input.done()) id.push_back(static_cast<char16_t>(input.u16()));
    // The factory reads to the first zero: that is the identifier it sees.
    const std::u16string seen = id.substr(0, id.find(u'\0'));

    const lumfuzz::Library& library = lumfuzz::libraries()[libraryIndex];
    const LibraryFacts& known = facts()[libraryIndex];
    lum::IMpFactory& factory = library.library->factory();

    expect(library.library->entryPoint()(nullptr) == lum::kFailed, "MP_GetFactory(null) did not give -1");
    void* face = &face;
    const std::int32_t asked = factory.queryInterface(&iid, &face);
    const bool answers = iid == lum::kIidMpUnknown || iid == lum::kIidMpFactory;
    expect(asked == (answers ? lum::kOk : lum::kNotFound), "the factory's queryInterface gave the wrong status");
    expect(face == (answers ? static_cast<void*>(&factory) : nullptr),
           "the factory's queryInterface gave the wrong object");
    expect(factory.queryInterface(nullptr, &face) == lum::kNotFound && face == nullptr,
           "queryInterface with a null identifier was not refused");

    checkSdkInformation(factory, known, capacity, (flags & 64) != 0, (flags & 128) != 0);

    lumhost::RecordingHost& host = hostOffering(offer);
    host.clear();
    const std::int32_t referencesBefore = host.referencesHeld();
    void* made = &made;
    id.push_back(0);
    const std::int32_t status = factory.createInstance(nullId ? nullptr : id.c_str(), subtype,
                                                       nullHost ? nullptr : host.object(), nullOut ? nullptr : &made);
    if (nullOut) {
        expect(status == lum::kFailed, "createInstance with a null out did not give -1");
        return 0;
    }
    const auto found = known.modules.find(seen);
    const bool registered = !nullId && found != known.modules.end();
    const bool sideExists = registered && (subtype == lum::kSubtypeDsp || subtype == lum::kSubtypeGui) &&
                            static_cast<lumhost::Side>(subtype) == found->second;
    if (!sideExists) {
        expect(status == lum::kNotFound && made == nullptr, "an unknown identifier or side was not refused with -2");
        return 0;
    }
    const bool dsp = found->second == lumhost::Side::Dsp;
    const bool hostAnswers = !nullHost && (dsp ? (offer == 0 || offer == 1) : (offer == 0 || offer == 2));
    if (!hostAnswers) {
        expect(status == lum::kFailed && made == nullptr, "a host without the interface was not refused with -1");
        expect(host.referencesHeld() == referencesBefore, "a refused creation kept a host reference");
        return 0;
    }
    if (status != lum::kOk || made == nullptr) fail("a registered module was not created");
    checkCreated(static_cast<lum::IMpUnknown*>(made), found->second);
    if (dsp) expect(host.referencesHeld() == referencesBefore, "a released DSP module kept its host reference");
    return 0;
}
