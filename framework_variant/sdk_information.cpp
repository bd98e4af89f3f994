#include "framework/sdk_information.h"

namespace lum {

// The older SDK this library's framework variant reports.
const SdkInformation kSdkInformation = {30100, u"GCC Compiler V1002"};

}  // namespace lum
