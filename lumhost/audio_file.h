// Audio files through libsndfile: read any format it knows, write 32-bit float WAV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumhost {

struct AudioData {
    std::int32_t sampleRate = 0;
    std::vector<std::vector<float>> channels;
};

// Throws UsageError naming the file and what libsndfile said.
AudioData readAudioFile(const std::string& path);

// Writes to a temporary file beside `path` and renames it into place, so a failed
// write leaves nothing half-written. Throws UsageError.
void writeAudioFile(const std::string& path, const AudioData& audio);

}  // namespace lumhost
