// The sample rates and block sizes the validator sweeps: each rate against each size, so
// a module meets every corner instead of one random draw.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace lumhost {

struct ValidationOptions;

struct CoverageMatrix {
    std::vector<float> sampleRates;
    std::vector<std::int32_t> blockSizes;

    std::size_t cells() const { return sampleRates.size() * blockSizes.size(); }
    float sampleRate(std::size_t cell) const { return sampleRates[cell / blockSizes.size()]; }
    std::int32_t blockSize(std::size_t cell) const { return blockSizes[cell % blockSizes.size()]; }
};

// From this strictness on, sessions sweep the matrix and meet hostile but legal input.
inline constexpr std::int32_t kHostileStrictness = 6;

// The block sizes a common host uses, one drawn per session where no matrix is swept.
const std::vector<std::int32_t>& commonBlockSizes();

// The rates and sizes swept when the user names none; 44100.5 as the host's sample rate
// is a float.
const std::vector<float>& defaultSampleRates();
const std::vector<std::int32_t>& defaultBlockSizes();

// The matrix `options` choose: the user's rates and sizes at any strictness (the default
// for the one not given), the defaults from kHostileStrictness on, else none.
std::optional<CoverageMatrix> coverageMatrix(const ValidationOptions& options);

// One DSP session: its host's rate and block size, how many blocks, and whether it feeds
// ordinary values only (plain) or edges and hostile values too.
struct SessionShape {
    std::int32_t number;  // from 1
    float sampleRate;
    std::int32_t blockSize;
    bool plain;
    std::int32_t blocks;
};

// The sessions a module meets: without a matrix `strictness` sessions, each with a random
// common host block size at 44.1 kHz; with one, every cell at least once, the cells'
// sessions shorter so the whole costs about the same. Plain and other sessions alternate
// across the cells.
std::vector<SessionShape> dspSessionShapes(const ValidationOptions& options, std::mt19937& random);

}  // namespace lumhost
