// The control values validation sends an input: edge cases half the time, ordinary values
// otherwise.
#pragma once

#include <optional>
#include <random>

#include "pin_value.h"

namespace lumhost {

// A value of `pin`'s type; none for a pin that takes no value event (audio, MIDI).
std::optional<PinValue> randomPinValue(const PinDescription& pin, std::mt19937& random);

}  // namespace lumhost
