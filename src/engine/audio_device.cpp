#include "engine/audio_device.h"

#include <cstdlib>
#include <mutex>

namespace tarn::engine {

namespace {

std::mutex &sdlMutex()
{
    static std::mutex m;
    return m;
}

constexpr int kBufferFrames = 1024; // ~21 ms at 48 kHz: short, yet few wake-ups

// Formats the output callback can write.
bool writable(SDL_AudioFormat f)
{
    return f == AUDIO_F32SYS || f == AUDIO_S32SYS || f == AUDIO_S16SYS || f == AUDIO_U8;
}

// The rate every output device runs at (a sound server's own rate), so that
// files at that rate need no resampling here and the server need not resample
// what we send; 48 kHz when the driver does not tell or the devices differ.
// (SDL's query for the default device alone reads the default device's name
// while its PulseAudio hot-plug thread may be replacing it; the device list
// is guarded.)
int preferredRate()
{
    int rate = 0;
    const int devices = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < devices; ++i) {
        SDL_AudioSpec spec{};
        if (SDL_GetAudioDeviceSpec(i, 0, &spec) != 0 || spec.freq < 8000 || spec.freq > 192000 ||
            (rate != 0 && spec.freq != rate))
            return 48000;
        rate = spec.freq;
    }
    return rate != 0 ? rate : 48000;
}

} // namespace

void configureProcessAudio()
{
    setenv("PULSE_LATENCY_MSEC", "120", 0); // 0: a value the user set stays
}

bool AudioDevice::open(SDL_AudioCallback callback, void *userdata, std::string &error)
{
    std::lock_guard lock(sdlMutex());
    if (id_ != 0)
        return true;
    if (!subsystem_) {
        // The program handles SIGINT and SIGTERM itself; SDL must not eat them.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = std::string("no sound output is available: ") + SDL_GetError();
            return false;
        }
        subsystem_ = true;
    }
    const bool reopen = format_ != 0;
    SDL_AudioSpec want{};
    want.freq = reopen ? spec_.rate : preferredRate();
    want.format = reopen ? format_ : AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(reopen ? spec_.channels : 2);
    want.samples = kBufferFrames;
    want.callback = callback;
    want.userdata = userdata;
    SDL_AudioSpec got{};
    int changes = reopen ? 0
                         : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_FORMAT_CHANGE |
                               SDL_AUDIO_ALLOW_CHANNELS_CHANGE;
    id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, changes);
    if (id_ != 0 && (!writable(got.format) || got.channels > kMaxOutputChannels)) {
        // Let SDL convert to what the device wants from a format we write.
        SDL_CloseAudioDevice(id_);
        changes &= ~(SDL_AUDIO_ALLOW_FORMAT_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, changes);
    }
    if (id_ == 0) {
        error = std::string("cannot open the sound output: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
        return false;
    }
    if (reopen)
        return true; // SDL converts to the device's format: ours stays as it was
    format_ = got.format;
    spec_.rate = got.freq;
    spec_.channels = got.channels;
    spec_.isFloat = SDL_AUDIO_ISFLOAT(got.format);
    spec_.bytesPerSample = SDL_AUDIO_BITSIZE(got.format) / 8;
    bufferFrames_ = got.samples;
    silence_ = got.silence;
    return true;
}

void AudioDevice::close()
{
    std::lock_guard lock(sdlMutex());
    if (id_ != 0)
        SDL_CloseAudioDevice(id_); // returns once the callback has stopped for good
    id_ = 0;
    if (subsystem_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO); // reference-counted by SDL
    subsystem_ = false;
}

bool AudioDevice::lost() const
{
    return id_ != 0 && SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED;
}

void AudioDevice::setPaused(bool paused)
{
    if (id_ != 0)
        SDL_PauseAudioDevice(id_, paused ? 1 : 0);
}

} // namespace tarn::engine
