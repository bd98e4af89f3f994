#include "audio_file.h"

#include <sndfile.h>

#include <cstdio>

#include "host/dsp_run.h"
#include "host/output_file.h"

namespace lumhost {

AudioData readAudioFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw UsageError("cannot read " + path + ": " + sf_strerror(nullptr));
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

void writeAudioFile(const std::string& path, const AudioData& audio) {
    if (audio.channels.empty()) throw UsageError("nothing to write to " + path + ": the module has no audio output");
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = static_cast<int>(audio.channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const std::string temporary = temporaryPath(path);
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw UsageError("cannot write " + path + ": " + sf_strerror(nullptr));
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
        std::remove(temporary.c_str());
        throw UsageError("cannot write " + path + ": the disk refused the samples");
    }
    commitTemporary(temporary, path);
}

}  // namespace lumhost
