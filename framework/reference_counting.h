// The IMpUnknown plumbing the factory and both module bases share.
#pragma once

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

}  // namespace lum
