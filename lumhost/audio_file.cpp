#include "audio_file.h"

#include <sndfile.h>

#include <sstream>

#include "host/text.h"
#include "host/user_error.h"
#include "output_file.h"

namespace lumhost {
namespace {

SF_FORMAT_INFO formatInfo(int command, int index) {
    SF_FORMAT_INFO info{};
    info.format = index;
    sf_command(nullptr, command, &info, sizeof info);
    return info;
}

// Names people use that libsndfile lists under another extension.
std::string canonicalExtension(const std::string& extension) {
    if (extension == "aif") return "aiff";
    if (extension == "ogg") return "oga";
    return extension;
}

int majorFormatFor(const std::string& path) {
    const std::string extension = canonicalExtension(lowerCaseExtension(path));
    if (extension.empty()) {
        throw UserError("cannot write " + path + ": no extension names its audio format (.wav, .flac, ...)");
    }
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        const SF_FORMAT_INFO major = formatInfo(SFC_GET_FORMAT_MAJOR, i);
        if (extension == major.extension) return major.format;  // the first of a shared extension is the common one
    }
    throw UserError("cannot write " + path + ": libsndfile writes no '." + extension + "' format");
}

std::string subtypeName(int subtype) {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        const SF_FORMAT_INFO info = formatInfo(SFC_GET_FORMAT_SUBTYPE, i);
        if (info.format == subtype) return info.name;
    }
    return "subtype " + std::to_string(subtype);
}

}  // namespace

AudioFormat audioFormatFor(const std::string& path) {
    const int major = path == "-" ? SF_FORMAT_WAV : majorFormatFor(path);
    SF_INFO probe{};
    probe.samplerate = 44100;
    probe.channels = 1;
    for (int subtype : {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS}) {
        probe.format = major | subtype;
        if (sf_format_check(&probe) == SF_TRUE) {
            const bool fixedPoint = subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_16;
            return {probe.format,
                    std::string(formatInfo(SFC_GET_FORMAT_INFO, major).name) + ", " + subtypeName(subtype), fixedPoint};
        }
    }
    throw UserError("cannot write " + path + ": libsndfile writes that format with no sample type lumhost offers");
}

AudioFileReader::AudioFileReader(const std::string& path) : path_(path) {
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) throw UserError("cannot read " + path + ": " + sf_strerror(nullptr));
    sampleRate_ = info.samplerate;
    channels_ = static_cast<std::size_t>(info.channels);
    frames_ = info.frames;
    char log[4096] = {};
    sf_command(file_, SFC_GET_LOG_INFO, log, sizeof log - 1);
    std::istringstream lines(log);
    for (std::string line; shortfall_.empty() && std::getline(lines, line);) {
        // The sample data's chunk: WAV's and CAF's "data", AIFF's "SSND".
        const bool samples = startsWith(line, "data") || startsWith(line, "SSND");
        if (samples && line.find("(should be ") != std::string::npos) shortfall_ = line;
    }
}

AudioFileReader::~AudioFileReader() { sf_close(file_); }

std::int64_t AudioFileReader::read(float* const* channels, std::int64_t count) {
    interleaved_.resize(static_cast<std::size_t>(count) * channels_);
    const sf_count_t read = sf_readf_float(file_, interleaved_.data(), count);
    for (sf_count_t frame = 0; frame < read; ++frame) {
        for (std::size_t c = 0; c < channels_; ++c) {
            channels[c][frame] = interleaved_[static_cast<std::size_t>(frame) * channels_ + c];
        }
    }
    return read;
}

AudioFileWriter::AudioFileWriter(const OutputFile& out, const AudioFormat& format, std::int32_t sampleRate,
                                 std::size_t channels)
    : path_(out.path()), channels_(channels) {
    if (channels == 0) throw UserError("nothing to write to " + out.path() + ": the module has no audio output");
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = static_cast<int>(channels);
    info.format = format.sndfileFormat;
    file_ = sf_open_fd(out.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) throw UserError("cannot write " + out.path() + ": " + sf_strerror(nullptr));
    // The peak chunk carries a time stamp: without it the same input gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() {
    if (file_ != nullptr) sf_close(file_);
}

void AudioFileWriter::write(const float* const* channels, std::int64_t count) {
    interleaved_.resize(static_cast<std::size_t>(count) * channels_);
    for (std::int64_t frame = 0; frame < count; ++frame) {
        for (std::size_t c = 0; c < channels_; ++c) {
            interleaved_[static_cast<std::size_t>(frame) * channels_ + c] = channels[c][frame];
        }
    }
    if (sf_writef_float(file_, interleaved_.data(), count) != count) {
        throw UserError("cannot write " + path_ + ": the disk refused the samples");
    }
}

void AudioFileWriter::close() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) throw UserError("cannot write " + path_ + ": the disk refused the samples");
}

AudioData readAudioFile(const std::string& path) {
    AudioFileReader reader(path);
    AudioData audio{reader.sampleRate(),
                    std::vector<std::vector<float>>(reader.channelCount(), std::vector<float>(reader.frames()))};
    std::vector<float*> channels;
    for (auto& channel : audio.channels) channels.push_back(channel.data());
    const std::int64_t read = reader.read(channels.data(), reader.frames());
    for (auto& channel : audio.channels) channel.resize(static_cast<std::size_t>(read));
    return audio;
}

void writeAudioFile(const OutputFile& out, const AudioFormat& format, const AudioData& audio) {
    AudioFileWriter writer(out, format, audio.sampleRate, audio.channels.size());
    std::vector<const float*> channels;
    for (const auto& channel : audio.channels) channels.push_back(channel.data());
    writer.write(channels.data(), static_cast<std::int64_t>(audio.channels.front().size()));
    writer.close();
}

}  // namespace lumhost
