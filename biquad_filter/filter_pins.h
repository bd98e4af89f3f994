// What a host patch sends the QX-DaRovoVIR3 filter: its pin indices and shape values.
#pragma once

#include <cstdint>

namespace biquad {

// Registration order.
enum Pin : std::int32_t {
    kFilterType = 0,
    kSignalIn = 1,
    kFrequency = 2,
    kQ = 3,
    kGain = 4,
    kSignalOut = 5,
    kSlope = 6,
};

// Values of the filter type pin.
enum FilterType : std::int32_t {
    kLowPass = 0,
    kHighPass = 1,
    kBandPass = 2,
    kNotch = 3,
    kPeak = 4,
    kLowShelf = 5,
    kHighShelf = 6,
};

}  // namespace biquad
