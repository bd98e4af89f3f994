#include "random_pin_value.h"

#include <cstdint>

namespace lumhost {

std::optional<PinValue> randomPinValue(const PinDescription& pin, std::mt19937& random) {
    if (pin.datatype == lum::kDatatypeFloat) {
        static const float kSpecial[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-40f, 1e30f, 0.5f, 3.0f};
        return PinValue::of(random() % 2 == 0 ? kSpecial[random() % 8]
                                              : std::uniform_real_distribution<float>(-100.0f, 100.0f)(random));
    }
    if (pin.datatype == lum::kDatatypeInt) {
        static const std::int32_t kSpecial[] = {0, 1, -1, 2, 3, 6, INT32_MAX, INT32_MIN};
        return PinValue::of(random() % 2 == 0 ? kSpecial[random() % 8] : static_cast<std::int32_t>(random() % 21) - 10);
    }
    if (pin.datatype == lum::kDatatypeBool) return PinValue::of(random() % 2 != 0);
    return std::nullopt;
}

}  // namespace lumhost
