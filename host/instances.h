// Creating module objects through a factory, the way a host does.
#pragma once

#include <string>
#include <utility>

#include "framework/interfaces.h"
#include "ref.h"
#include "user_error.h"

namespace lumhost {

enum class Side : std::int32_t { Dsp = lum::kSubtypeDsp, Gui = lum::kSubtypeGui };

// "dsp" or "gui", as descriptions and reports name a side.
inline const char* sideName(Side side) { return side == Side::Dsp ? "dsp" : "gui"; }

// The factory face of what an MP_GetFactory hands out (its IMpUnknown face), asked for
// properly; null when the entry fails or its object does not answer IMpFactory. The
// factory lives as long as its library: the references are never given back.
inline lum::IMpFactory* factoryFrom(lum::GetFactoryFunction getFactory) {
    void* unknown = nullptr;
    if (getFactory == nullptr || getFactory(&unknown) != lum::kOk || unknown == nullptr) return nullptr;
    void* face = nullptr;
    static_cast<lum::IMpUnknown*>(unknown)->queryInterface(&lum::kIidMpFactory, &face);
    return static_cast<lum::IMpFactory*>(face);
}

template <class Interface>
struct Created {
    std::int32_t status;
    Ref<Interface> object;
};

// The object `created` holds; throws UserError naming `id` when creation failed.
template <class Interface>
Ref<Interface> createdOrThrow(Created<Interface> created, const std::string& id) {
    if (created.status != lum::kOk) {
        throw UserError("cannot create " + id + " (status " + std::to_string(created.status) + ")");
    }
    return std::move(created.object);
}

// createInstance, then the side's own interface asked of the new object.
template <class Interface>
Created<Interface> create(lum::IMpFactory& factory, const std::u16string& id, Side side, lum::IMpUnknown* host) {
    void* made = nullptr;
    const std::int32_t status = factory.createInstance(id.c_str(), static_cast<std::int32_t>(side), host, &made);
    if (status != lum::kOk || made == nullptr) return {status, Ref<Interface>()};
    Ref<lum::IMpUnknown> unknown(static_cast<lum::IMpUnknown*>(made));
    const lum::Guid& iid = side == Side::Dsp ? lum::kIidMpPlugin : lum::kIidMpUserInterface;
    void* face = nullptr;
    const std::int32_t asked = unknown->queryInterface(&iid, &face);
    return {asked, Ref<Interface>(static_cast<Interface*>(face))};
}

inline Created<lum::IMpPlugin> createDsp(lum::IMpFactory& factory, const std::u16string& id, lum::IMpUnknown* host) {
    return create<lum::IMpPlugin>(factory, id, Side::Dsp, host);
}

inline Created<lum::IMpUserInterface> createGui(lum::IMpFactory& factory, const std::u16string& id,
                                                lum::IMpUnknown* host) {
    return create<lum::IMpUserInterface>(factory, id, Side::Gui, host);
}

}  // namespace lumhost
