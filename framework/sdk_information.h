// What a library's factory reports from getSdkInformation. Each framework flavour
// links its own definition.
#pragma once

#include <cstdint>

namespace lum {

struct SdkInformation {
    std::int32_t sdkVersion;
    const char16_t* compilerText;  // zero-terminated
};

extern const SdkInformation kSdkInformation;

}  // namespace lum
