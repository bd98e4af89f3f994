#include "audio_file.h"

#include <sndfile.h>

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

AudioData readAudioFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw UserError("cannot read " + path + ": " + sf_strerror(nullptr));
    AudioData audio;
    audio.sampleRate = info.samplerate;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    audio.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(read)));
    for (sf_count_t frame = 0; frame < read; ++frame) {
        for (int c = 0; c < info.channels; ++c) {
            audio.channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(frame)] =
                interleaved[static_cast<std::size_t>(frame * info.channels + c)];
        }
    }
    return audio;
}

void writeAudioFile(const OutputFile& out, const AudioFormat& format, const AudioData& audio) {
    if (audio.channels.empty())
        throw UserError("nothing to write to " + out.path() + ": the module has no audio output");
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = static_cast<int>(audio.channels.size());
    info.format = format.sndfileFormat;
    SNDFILE* file = sf_open_fd(out.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) throw UserError("cannot write " + out.path() + ": " + sf_strerror(nullptr));
    // The peak chunk carries a time stamp: without it the same input gives the same bytes.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const std::size_t frames = audio.channels.front().size();
    std::vector<float> interleaved(frames * audio.channels.size());
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t c = 0; c < audio.channels.size(); ++c) {
            interleaved[frame * audio.channels.size() + c] = audio.channels[c][frame];
        }
    }
    const sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    const int closed = sf_close(file);
    if (written != static_cast<sf_count_t>(frames) || closed != 0) {
        throw UserError("cannot write " + out.path() + ": the disk refused the samples");
    }
}

}  // namespace lumhost
