// Audio files through libsndfile: read any format it knows, write the format a file's
// extension names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output_file.h"

// libsndfile's SNDFILE.
struct sf_private_tag;

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

// An audio file read piece by piece. Throws UserError naming the file and what libsndfile said.
class AudioFileReader {
public:
    explicit AudioFileReader(const std::string& path);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    std::int32_t sampleRate() const { return sampleRate_; }
    std::size_t channelCount() const { return channels_; }
    // The frames the file holds.
    std::int64_t frames() const { return frames_; }
    // Where the file is shorter than its header says (cut short while written or copied),
    // libsndfile's word for it ("data : 192000 (should be 1956)"); empty otherwise.
    const std::string& shortfall() const { return shortfall_; }
    // Up to `count` frames into each of `channels`' buffers; returns how many were read,
    // fewer at the end of the file.
    std::int64_t read(float* const* channels, std::int64_t count);

private:
    ::sf_private_tag* file_ = nullptr;
    std::string path_;
    std::int32_t sampleRate_ = 0;
    std::size_t channels_ = 0;
    std::int64_t frames_ = 0;
    std::string shortfall_;
    std::vector<float> interleaved_;
};

// An audio file written piece by piece into `out`, in `format`; the caller commits `out`
// after close(). Throws UserError.
class AudioFileWriter {
public:
    AudioFileWriter(const OutputFile& out, const AudioFormat& format, std::int32_t sampleRate, std::size_t channels);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    void write(const float* const* channels, std::int64_t count);
    void close();

private:
    ::sf_private_tag* file_ = nullptr;
    std::string path_;
    std::size_t channels_;
    std::vector<float> interleaved_;
};

// A whole file at once. Throws UserError.
AudioData readAudioFile(const std::string& path);
void writeAudioFile(const OutputFile& out, const AudioFormat& format, const AudioData& audio);

}  // namespace lumhost
