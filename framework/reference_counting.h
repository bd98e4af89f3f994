// The IMpUnknown plumbing the factory and both module bases share.
#pragma once

#include <stdexcept>

#include "interfaces.h"

namespace lum {

// Answers IMpUnknown and `own` with `face` plus a reference; anything else with null
// and -2. A null `out` is never written: -1.
inline std::int32_t answerQueryInterface(IMpUnknown& face, const Guid& own, const Guid* iid, void** out) {
    if (out == nullptr) return kFailed;
    if (iid != nullptr && (*iid == kIidMpUnknown || *iid == own)) {
        *out = &face;
        face.addRef();
        return kOk;
    }
    *out = nullptr;
    return kNotFound;
}

// Drops one reference; the object deletes itself through its virtual destructor at 0.
template <class Object>
std::int32_t releaseReference(Object* object, std::int32_t& count) {
    if (--count == 0) {
        delete object;
        return 0;
    }
    return count;
}

// The glue both module bases share, written once: `Face` with its identifier answered,
// a reference count that deletes the `Module` base at 0, and the `Host` interface asked
// of the host's object. Adds no virtual operation, so `Face`'s slots stay as they are.
template <class Module, class Face, const Guid& kFaceIid, class Host, const Guid& kHostIid>
class MpModuleObject : public Face {
public:
    // What a creation function hands to the factory.
    using HostFace = Face;

    std::int32_t LUM_CALL queryInterface(const Guid* iid, void** out) noexcept override {
        return answerQueryInterface(*this, kFaceIid, iid, out);
    }
    std::int32_t LUM_CALL addRef() noexcept override { return ++refCount_; }
    std::int32_t LUM_CALL release() noexcept override {
        return releaseReference(static_cast<Module*>(this), refCount_);
    }

    Host& host() const { return *host_; }

protected:
    // Throws std::runtime_error when the host object is null or does not offer `Host`:
    // nothing the module does could reach anyone, and createInstance reports -1.
    explicit MpModuleObject(IMpUnknown* host) {
        void* answer = nullptr;
        if (host != nullptr) host->queryInterface(&kHostIid, &answer);
        if (answer == nullptr) throw std::runtime_error("host Interfaces not supported");
        host_ = static_cast<Host*>(answer);
    }
    ~MpModuleObject() = default;

private:
    std::int32_t refCount_ = 0;
    Host* host_ = nullptr;
};

}  // namespace lum
