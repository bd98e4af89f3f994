// Audio files through libsndfile: read any format it knows, write the format a file's
// extension names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output_file.h"

namespace lumhost {

struct AudioData {
    std::int32_t sampleRate = 0;
    std::vector<std::vector<float>> channels;
};

struct AudioFormat {
    int sndfileFormat;
    std::string name;  // "WAV (Microsoft), 32 bit float"
    bool fixedPoint;   // samples beyond full scale clip
};

// The format for `path`'s extension (32-bit float where the format allows it, else the
// widest integer); WAV for "-". Throws UserError for an extension libsndfile cannot write.
AudioFormat audioFormatFor(const std::string& path);

// Throws UserError naming the file and what libsndfile said.
AudioData readAudioFile(const std::string& path);

// Writes `audio` into `out` in `format`; the caller commits. Throws UserError.
void writeAudioFile(const OutputFile& out, const AudioFormat& format, const AudioData& audio);

}  // namespace lumhost
