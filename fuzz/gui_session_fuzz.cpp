// GUI modules of KEL_MATH driven by arbitrary sequences of setPin (any index, size and
// data, null data included) and notifyPin, with a host that checks every writePin (a
// described pin, the pin's own size, voice 0). In the second mode the host answers each
// writePin by setting and notifying that pin again at once, from inside the write: the
// module must still come to rest.
//
// Input: the module (a byte, by remainder over every GUI module), the mode (bit 0: the
// host answers writes), then operations to the end; see run() for each.
#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "host/call_check.h"
#include "host/instances.h"
#include "host/recording_host.h"

namespace {

using lumfuzz::expect;
using lumfuzz::fail;

constexpr std::int32_t kMaxOperations = 256;
// Writes answered inside writes, nested: deeper than any chain of a module's pins.
constexpr std::int32_t kMaxAnswerDepth = 32;
// Writes one host call may cause in all: a module that keeps writing has not come to rest.
constexpr std::int32_t kMaxWritesPerCall = 1000;

class Session {
public:
    Session(const lumfuzz::ModuleChoice& choice, lumhost::RecordingHost& host, lumfuzz::Input& input, bool answers)
        : module_(*choice.module), host_(host), input_(input), answers_(answers) {
        auto created = lumhost::createGui(choice.library->factory(), module_.wideId(), host_.object());
        if (created.status != lum::kOk || !created.object) fail("a GUI module was not created");
        ui_ = std::move(created.object);
        host_.setWritePinListener(
            [this](std::int32_t pinIndex, std::int32_t size, const void* data) { onWrite(pinIndex, size, data); });
    }
    ~Session() { host_.setWritePinListener(nullptr); }

    void run() {
        expect(ui_->open() == lum::kOk, "open did not return 0");
        for (std::int32_t step = 0; step < kMaxOperations && !input_.done(); ++step) {
            writes_ = 0;
            const std::uint8_t op = input_.byte() % 8;
            const std::int32_t index = lumfuzz::choosePinIndex(input_, module_);
            switch (op) {
                case 0:
                case 1: setPin(index); break;
                case 2:
                case 3: notifyPin(index); break;
                case 4:
                case 5:
                case 6:
                    setPin(index);
                    notifyPin(index);
                    break;
                default:
                    expect(ui_->receiveMessage(input_.i32(), input_.i32(), nullptr) == lum::kOk &&
                               ui_->reservedSlot7() == lum::kOk && ui_->reservedSlot8(input_.i32()) == lum::kOk,
                           "a slot without a role did not return 0");
                    break;
            }
            host_.clear();
        }
    }

private:
    void setPin(std::int32_t index) {
        const lumhost::PinDescription* pin = module_.pinAt(index);
        const std::int32_t size = lumfuzz::chooseSize(input_, pin);
        const bool nullData = (input_.byte() & 0x0F) == 0;
        std::uint8_t value[8];
        input_.bytes(value, sizeof value);
        const std::unique_ptr<std::uint8_t[]> payload = lumfuzz::makePayload(value, size);
        const void* data = nullData ? nullptr : payload.get();
        const std::int32_t status = ui_->setPin(index, 0, size, data);
        const bool usable = size >= 0 && (size == 0 || data != nullptr);
        expect(status == (pin != nullptr && usable ? lum::kOk : lum::kFailed),
               "setPin's status does not match the pin and its data");
    }

    void notifyPin(std::int32_t index) {
        const std::int32_t status = ui_->notifyPin(index, 0);
        expect(status == (module_.pinAt(index) != nullptr ? lum::kOk : lum::kFailed),
               "notifyPin's status does not match the pin being registered");
    }

    void onWrite(std::int32_t pinIndex, std::int32_t size, const void* data) {
        const lumhost::PinDescription* pin = module_.pinAt(pinIndex);
        if (pin == nullptr) fail(module_.id + ": writePin on an undescribed pin " + std::to_string(pinIndex));
        if (size != lumhost::valueSize(pin->datatype)) fail(module_.id + ": writePin with the wrong size");
        if (data == nullptr) fail(module_.id + ": writePin without data");
        const lumhost::HostCall& call = host_.allCalls().back();
        expect(call.argument == 0, "writePin with a voice other than 0");
        if (++writes_ > kMaxWritesPerCall) fail(module_.id + ": keeps writing pins: it does not come to rest");
        if (!answers_) return;
        if (depth_ >= kMaxAnswerDepth) fail(module_.id + ": answered writes nest without end");
        // The host copies the bytes before it answers, as it must.
        std::uint8_t copy[4];
        std::memcpy(copy, data, static_cast<std::size_t>(size));
        ++depth_;
        expect(ui_->setPin(pinIndex, 0, size, copy) == lum::kOk, "setPin refused a pin the module wrote");
        expect(ui_->notifyPin(pinIndex, 0) == lum::kOk, "notifyPin refused a pin the module wrote");
        --depth_;
    }

    const lumhost::ModuleDescription& module_;
    lumhost::RecordingHost& host_;
    lumfuzz::Input& input_;
    const bool answers_;
    lumhost::Ref<lum::IMpUserInterface> ui_;
    std::int32_t depth_ = 0;
    std::int32_t writes_ = 0;
};

const std::vector<lumfuzz::ModuleChoice>& modules() {
    static const std::vector<lumfuzz::ModuleChoice> all = lumfuzz::modulesOfSide(lumhost::Side::Gui);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    modules();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static lumhost::RecordingHost host;
    lumfuzz::Input input(data, size);
    const lumfuzz::ModuleChoice& choice = modules()[input.byte() % modules().size()];
    const bool answers = (input.byte() & 1) != 0;
    host.clear();
    Session session(choice, host, input, answers);
    session.run();
    return 0;
}
