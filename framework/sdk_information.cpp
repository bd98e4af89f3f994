#include "sdk_information.h"

namespace lum {

const SdkInformation kSdkInformation = {30400, u"MS Compiler V1800"};

}  // namespace lum
