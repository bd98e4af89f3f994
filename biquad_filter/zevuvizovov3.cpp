#include "zevuvizovov3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "biquad_design.h"
#include "flush_denormals.h"
#include "framework/module_registration.h"

using lum::MpBase;

Zevuvizovov3::Zevuvizovov3(lum::IMpUnknown* host) : MpBase(host) {
    using namespace biquad;
    registerPin(kFilterType, pinFilterType_);
    registerPin(kSignalIn, pinSignalIn_);
    registerPin(kFrequency, pinFrequency_);
    registerPin(kQ, pinQ_);
    registerPin(kGain, pinGain_);
    registerPin(kSignalOut, pinSignalOut_);
    registerPin(kSlope, pinSlope_);
}

std::int32_t Zevuvizovov3::open() noexcept {
    MpBase::open();
    float sampleRate = 0.0f;
    host().getSampleRate(&sampleRate);
    sampleRate_ = sampleRate;
    spanDesignValid_ = false;
    return lum::kOk;
}

void Zevuvizovov3::onSetPins() {
    pinSignalOut_.setStreaming(true);
    setSleep(false);
    if (!pinSignalIn_.isStreaming()) {
        setSubProcess(&Zevuvizovov3::processIdleInput);
        return;
    }
    // A slope outside 0-3 leaves the running sub-process in place.
    if (const SubProcess filter = chosenFilter()) setSubProcess(filter);
}

MpBase::SubProcess Zevuvizovov3::chosenFilter() const {
    static constexpr SubProcess kFixed[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processFixed<4>),
    };
    static constexpr SubProcess kModulated[kMaxSections] = {
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<1>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<2>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<3>),
        static_cast<SubProcess>(&Zevuvizovov3::processModulated<4>),
    };
    const std::int32_t slope = pinSlope_.getValue();
    if (slope < 0 || slope >= kMaxSections) return nullptr;
    const bool modulated = pinFrequency_.isStreaming() || pinQ_.isStreaming() || pinGain_.isStreaming();
    return (modulated ? kModulated : kFixed)[slope];
}

namespace {

// The chain's state pairs held in locals for one span, so they stay in registers.
template <std::int32_t Sections>
class Cascade {
public:
    explicit Cascade(const double* states) {
        for (std::int32_t k = 0; k < Sections; ++k) {
            s1_[k] = states[2 * k];
            s2_[k] = states[2 * k + 1];
        }
    }
    void store(double* states) const {
        for (std::int32_t k = 0; k < Sections; ++k) {
            states[2 * k] = s1_[k];
            states[2 * k + 1] = s2_[k];
        }
    }
    // One sample through every section, transposed direct form II, in series.
    double filter(const biquad::Coefficients& c, double y) {
        for (std::int32_t k = 0; k < Sections; ++k) {
            const double x = y;
            y = c.b0 * x + s1_[k];
            s1_[k] = c.b1 * x - c.a1 * y + s2_[k];
            s2_[k] = c.b2 * x - c.a2 * y;
        }
        return y;
    }

private:
    double s1_[Sections];
    double s2_[Sections];
};

// Out of line, so the loop's registers serve only the states and one coefficient set.
// Returns the last output.
template <std::int32_t Sections>
[[gnu::noinline]] double filterWithOneSet(const biquad::Coefficients& c, double* states, const float* in, float* out,
                                          std::int32_t sampleFrames) {
    Cascade<Sections> cascade(states);
    double y = 0.0;
    for (std::int32_t i = 0; i < sampleFrames; ++i) {
        y = cascade.filter(c, in[i]);
        out[i] = static_cast<float>(y);
    }
    cascade.store(states);
    return y;
}

}  // namespace

template <std::int32_t Sections>
void Zevuvizovov3::processFixed(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    countDownToSanitize();
    // An empty span reads no pin: its buffers may hold no sample at all.
    if (sampleFrames <= 0) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    const DesignInputs inputs{pinFilterType_.getValue(), pinFrequency_.buffer()[bufferOffset],
                              pinQ_.buffer()[bufferOffset], pinGain_.buffer()[bufferOffset]};
    // Static pins hold their values span after span: design again only on a change.
    if (!spanDesignValid_ || std::memcmp(&inputs, &spanDesignInputs_, sizeof inputs) != 0) {
        spanCoefficients_ =
            biquad::calcCoefficients(inputs.filterType, biquad::frequencyFromPin(inputs.frequency),
                                     biquad::qFromPin(inputs.q), biquad::gainFromPin(inputs.gain), sampleRate_);
        spanDesignInputs_ = inputs;
        spanDesignValid_ = true;
    }
    lastOutput_ = filterWithOneSet<Sections>(spanCoefficients_, states_, pinSignalIn_.buffer() + bufferOffset,
                                             pinSignalOut_.buffer() + bufferOffset, sampleFrames);
}

template <std::int32_t Sections>
void Zevuvizovov3::processModulated(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    countDownToSanitize();
    if (sampleFrames <= 0) return;
    const biquad::ScopedFlushDenormals flushDenormals;
    const std::int32_t filterType = pinFilterType_.getValue();
    const float* in = pinSignalIn_.buffer();
    const float* frequency = pinFrequency_.buffer();
    const float* q = pinQ_.buffer();
    float* out = pinSignalOut_.buffer();
    // The gain holds for the whole span even when it streams.
    const double gainDb = biquad::gainFromPin(pinGain_.buffer()[bufferOffset]);
    // Each sample's set is designed ahead in short batches, so the design's temporaries
    // never crowd the section states out of the registers.
    constexpr std::int32_t kBatch = 32;
    biquad::Coefficients sets[kBatch];
    Cascade<Sections> cascade(states_);
    double y = 0.0;
    for (std::int32_t start = bufferOffset; start < bufferOffset + sampleFrames; start += kBatch) {
        const std::int32_t count = std::min(kBatch, bufferOffset + sampleFrames - start);
        for (std::int32_t j = 0; j < count; ++j) {
            sets[j] = biquad::calcCoefficients(filterType, biquad::frequencyFromPin(frequency[start + j]),
                                               biquad::qFromPin(q[start + j]), gainDb, sampleRate_);
        }
        for (std::int32_t j = 0; j < count; ++j) {
            y = cascade.filter(sets[j], in[start + j]);
            out[start + j] = static_cast<float>(y);
        }
    }
    cascade.store(states_);
    lastOutput_ = y;
}

void Zevuvizovov3::processIdleInput(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    const std::int32_t last = wrapPosition(bufferOffset + sampleFrames - 1);
    const std::int32_t beforeLast = wrapPosition(last - 1);
    const double input = pinSignalIn_.getValue(last);
    const double output = lastOutput_;
    const double earlier = pinSignalOut_.buffer()[beforeLast];
    // Unordered counts as equal here, so a NaN output settles too.
    const bool repeated = !(output < earlier) && !(output > earlier);
    // A NaN difference never counts as close.
    const bool close = 1.0e-6f > std::fabs(static_cast<float>(input - output));
    if (!repeated && !close) {
        if (const SubProcess filter = chosenFilter()) (this->*filter)(bufferOffset, sampleFrames);
        return;
    }
    setSubProcess(&Zevuvizovov3::processHold);
    // An output that settled by repeating itself far from the input (a high-pass or
    // band-pass fed a constant) holds what it settled on, not the input value; a
    // non-finite output gives way to the input.
    lastOutput_ = close || !std::isfinite(output) ? input : output;
    pinSignalOut_.setStreaming(false, last);
    setSleep(true);
    processHold(bufferOffset, sampleFrames);
}

void Zevuvizovov3::processHold(std::int32_t bufferOffset, std::int32_t sampleFrames) {
    if (sampleFrames <= 0) return;
    const float held = static_cast<float>(lastOutput_);
    float* out = pinSignalOut_.buffer();
    for (std::int32_t i = bufferOffset; i < bufferOffset + sampleFrames; ++i) out[i] = held;
    for (double& state : states_) state = 0.0;
}

std::int32_t Zevuvizovov3::wrapPosition(std::int32_t position) {
    if (position >= 0) return position;
    std::int32_t blockSize = 0;
    host().getBlockSize(&blockSize);
    // A host that reports no usable block size must still not make us read before the buffer.
    return position + blockSize >= 0 ? position + blockSize : 0;
}

void Zevuvizovov3::countDownToSanitize() {
    const std::int32_t countdown = sanitizeCountdown_;
    sanitizeCountdown_ = countdown - 1;
    if (countdown < 0) sanitizeState();
}

// Non-finite states (a NaN or infinite input, an unstable design) would ring forever.
void Zevuvizovov3::sanitizeState() {
    sanitizeCountdown_ = 10;
    for (double& state : states_) {
        if (!std::isfinite(state)) state = 0.0;
    }
    if (!std::isfinite(lastOutput_)) lastOutput_ = 0.0;
}

namespace {

[[maybe_unused]] const std::int32_t kRegistered =
    lum::registerDspCreator(u"QX-DaRovoVIR3", &lum::createModule<Zevuvizovov3>);

}  // namespace
