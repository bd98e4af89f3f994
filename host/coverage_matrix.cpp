#include "coverage_matrix.h"

#include <algorithm>

#include "validator.h"

namespace lumhost {

const std::vector<float>& defaultSampleRates() {
    static const std::vector<float> rates = {8000, 22050, 44100, 44100.5f, 48000, 96000, 192000, 384000};
    return rates;
}

const std::vector<std::int32_t>& commonBlockSizes() {
    static const std::vector<std::int32_t> sizes = {16, 64, 128, 512};
    return sizes;
}

const std::vector<std::int32_t>& defaultBlockSizes() {
    static const std::vector<std::int32_t> sizes = {1, 7, 16, 64, 100, 512, 1024, 4096};
    return sizes;
}

std::optional<CoverageMatrix> coverageMatrix(const ValidationOptions& options) {
    const bool chosen = !options.sampleRates.empty() || !options.blockSizes.empty();
    if (!chosen && options.strictness < kHostileStrictness) return std::nullopt;
    return CoverageMatrix{options.sampleRates.empty() ? defaultSampleRates() : options.sampleRates,
                          options.blockSizes.empty() ? defaultBlockSizes() : options.blockSizes};
}

std::vector<SessionShape> dspSessionShapes(const ValidationOptions& options, std::mt19937& random) {
    const std::int32_t strictness = options.strictness;
    std::vector<SessionShape> shapes;
    const std::optional<CoverageMatrix> matrix = coverageMatrix(options);
    if (!matrix) {
        for (std::int32_t session = 0; session < strictness; ++session) {
            shapes.push_back({session + 1, 44100.0f, commonBlockSizes()[random() % commonBlockSizes().size()],
                              session % 2 == 0, 20 * strictness});
        }
        return shapes;
    }
    const auto cells = static_cast<std::int32_t>(matrix->cells());
    const std::int32_t sessions = std::max(strictness, cells);
    const std::int32_t blocks = std::max(8, 20 * strictness * strictness / sessions);
    const auto sizes = static_cast<std::int32_t>(matrix->blockSizes.size());
    for (std::int32_t session = 0; session < sessions; ++session) {
        const std::int32_t cell = session % cells;
        const bool plain = (cell / sizes + cell % sizes + session / cells) % 2 == 0;
        shapes.push_back({session + 1, matrix->sampleRate(static_cast<std::size_t>(cell)),
                          matrix->blockSize(static_cast<std::size_t>(cell)), plain, blocks});
    }
    return shapes;
}

}  // namespace lumhost
