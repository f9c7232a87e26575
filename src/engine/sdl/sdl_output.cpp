#include "engine/sdl/sdl_output.h"

#include <cstdlib>
#include <cstring>
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

SDL_AudioFormat sdlFormat(const OutputSpec &s)
{
    if (s.isFloat)
        return AUDIO_F32SYS;
    return s.bytesPerSample == 4 ? AUDIO_S32SYS : s.bytesPerSample == 2 ? AUDIO_S16SYS : AUDIO_U8;
}

// The rate every output device runs at, so that files at that rate need no
// resampling here; 48 kHz when the driver does not tell or the devices
// differ. (SDL's query for the default device alone races with its hot-plug
// thread; the device list is guarded.)
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

std::unique_ptr<SdlOutput> SdlOutput::open(RenderFn render, void *userdata,
                                           const OutputSpec *previous, std::string &error)
{
    std::unique_ptr<SdlOutput> out(new SdlOutput);
    out->render_ = render;
    out->userdata_ = userdata;
    std::lock_guard lock(sdlMutex());
    // The program handles SIGINT and SIGTERM itself; SDL must not eat them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = std::string("no sound output is available (") + SDL_GetError() + ")";
        return nullptr;
    }
    out->subsystem_ = true;
    const bool again = previous != nullptr && previous->rate > 0;
    SDL_AudioSpec want{};
    want.freq = again ? previous->rate : preferredRate();
    want.format = again ? sdlFormat(*previous) : AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(again ? previous->channels : 2);
    want.samples = kBufferFrames;
    want.callback = &SdlOutput::callback;
    want.userdata = out.get();
    SDL_AudioSpec got{};
    int changes = again ? 0
                        : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_FORMAT_CHANGE |
                              SDL_AUDIO_ALLOW_CHANNELS_CHANGE;
    out->id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, changes);
    if (out->id_ != 0 && (!writable(got.format) || got.channels > kMaxOutputChannels)) {
        // Let SDL convert to what the device wants from a format we write.
        SDL_CloseAudioDevice(out->id_);
        changes &= ~(SDL_AUDIO_ALLOW_FORMAT_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
        out->id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, changes);
    }
    if (out->id_ == 0) {
        error = std::string("the sound output cannot be opened (") + SDL_GetError() + ")";
        return nullptr; // the destructor releases the subsystem
    }
    if (again) {
        out->spec_ = *previous; // SDL converts to what the device has now
    } else {
        out->spec_.rate = got.freq;
        out->spec_.channels = got.channels;
        out->spec_.isFloat = SDL_AUDIO_ISFLOAT(got.format);
        out->spec_.bytesPerSample = SDL_AUDIO_BITSIZE(got.format) / 8;
    }
    out->bufferFrames_ = got.samples;
    out->silence_ = got.silence;
    return out;
}

void SdlOutput::close()
{
    std::lock_guard lock(sdlMutex());
    if (id_ != 0)
        SDL_CloseAudioDevice(id_); // returns once the callback has stopped for good
    id_ = 0;
    if (subsystem_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO); // reference-counted by SDL
    subsystem_ = false;
}

bool SdlOutput::lost() const
{
    return id_ != 0 && SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED;
}

void SdlOutput::setPaused(bool paused)
{
    paused_ = paused;
    if (id_ != 0)
        SDL_PauseAudioDevice(id_, paused ? 1 : 0);
}

void SDLCALL SdlOutput::callback(void *userdata, Uint8 *stream, int len)
{
    SdlOutput &out = *static_cast<SdlOutput *>(userdata);
    const int frameBytes = out.spec_.channels * out.spec_.bytesPerSample;
    const int frames = frameBytes > 0 ? len / frameBytes : 0;
    int written = out.render_(out.userdata_, stream, frames);
    written = written < 0 ? 0 : written > frames ? frames : written;
    // SDL must be fed at a steady pace: silence after what there was.
    std::memset(stream + std::size_t(written) * frameBytes, out.silence_,
                std::size_t(len) - std::size_t(written) * frameBytes);
    out.handed_.fetch_add(frames, std::memory_order_release);
}

} // namespace tarn::engine
