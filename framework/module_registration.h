// How a module library enters its modules into the factory at load time.
#pragma once

#include "factory.h"

namespace lum {

// The creation function of `Module`: a new object with a reference count of 0. A
// throwing constructor frees the memory and the exception reaches createInstance.
template <class Module>
IMpUnknown* createModule(IMpUnknown* host) {
    return static_cast<typename Module::HostFace*>(new Module(host));
}

}  // namespace lum
