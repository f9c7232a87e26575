// The stream's volume: set by the player, and followed when the desktop's
// mixer changes it (see VOLUME in pulse_output.h).
#include "engine/pulse/pulse_output.h"
#include "engine/pulse/pulse_support.h"

#include <cstdlib>

namespace tarn::engine {

namespace {

// What the server gives back of a volume we set may differ by rounding.
constexpr pa_volume_t kSlack = 16; // of PA_VOLUME_NORM (65536): 0.02 %

bool sameVolume(const pa_cvolume &a, const pa_cvolume &b)
{
    if (a.channels != b.channels)
        return false;
    for (unsigned c = 0; c < a.channels; ++c)
        if (std::abs(std::int64_t(a.values[c]) - std::int64_t(b.values[c])) > kSlack)
            return false;
    return true;
}

} // namespace

using pulse_detail::linearToVolume;
using pulse_detail::MainloopLock;
using pulse_detail::release;

bool PulseOutput::setGain(float gain)
{
    MainloopLock lock(mainloop_.get());
    if (!stream_ || !context_)
        return true;
    // Scaled as a whole, so a balance the mixer set between the channels stays.
    pa_cvolume volume = ownVolume_;
    if (volume.channels != spec_.channels || pa_cvolume_valid(&volume) == 0)
        pa_cvolume_set(&volume, static_cast<unsigned>(spec_.channels), linearToVolume(gain));
    else
        pa_cvolume_scale(&volume, linearToVolume(gain));
    if (pa_cvolume_equal(&volume, &ownVolume_) != 0)
        return true; // the stream has it already (it opened at it)
    ownVolume_ = volume;
    if (release(pa_context_set_sink_input_volume(context_.get(), pa_stream_get_index(stream_.get()),
                                                 &volume, &PulseOutput::volumeSetCallback, this)))
        ++setsPending_;
    return true;
}

void PulseOutput::restoreVolume()
{
    if (release(pa_context_set_sink_input_volume(context_.get(), pa_stream_get_index(stream_.get()),
                                                 &ownVolume_, &PulseOutput::volumeSetCallback,
                                                 this)))
        ++setsPending_;
}

void PulseOutput::watchVolume()
{
    if (volume_.changed == nullptr)
        return; // nobody to tell
    pa_context_set_subscribe_callback(context_.get(), &PulseOutput::subscribeCallback, this);
    // Without the subscription the mixer's changes go unseen; playing goes on.
    release(
        pa_context_subscribe(context_.get(), PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr));
}

void PulseOutput::askVolume()
{
    if (askingVolume_) {
        askAgain_ = true; // it may have been answered before this change
        return;
    }
    askingVolume_ = release(pa_context_get_sink_input_info(
        context_.get(), pa_stream_get_index(stream_.get()), &PulseOutput::sinkInputCallback, this));
}

void PulseOutput::noteVolume(const pa_cvolume &volume)
{
    if (pa_cvolume_valid(&volume) == 0 || sameVolume(volume, ownVolume_))
        return; // our own set, or nothing new
    if (volumeClaimedUntil_ != 0 && pa_rtclock_now() < volumeClaimedUntil_ &&
        pa_cvolume_is_norm(&volume) != 0) {
        restoreVolume(); // PipeWire's reset of a new stream, not the mixer
        return;
    }
    ownVolume_ = volume;
    volume_.changed(volume_.userdata, float(pa_sw_volume_to_linear(pa_cvolume_max(&volume))));
}

// ---- callbacks (main loop thread, lock held) -------------------------------

void PulseOutput::subscribeCallback(pa_context *, pa_subscription_event_type_t type,
                                    std::uint32_t index, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT ||
        (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_CHANGE || !out->stream_ ||
        pa_stream_get_state(out->stream_.get()) != PA_STREAM_READY ||
        index != pa_stream_get_index(out->stream_.get()))
        return; // another program's stream, or ours not there yet
    if (out->setsPending_ > 0)
        out->askAgain_ = true; // asked once our sets are done
    else
        out->askVolume();
}

void PulseOutput::sinkInputCallback(pa_context *, const pa_sink_input_info *info, int eol,
                                    void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (eol == 0) {
        // While a set of ours is on its way this may be an older one of
        // ours: it is asked again when they are done.
        if (info != nullptr && out->setsPending_ == 0)
            out->noteVolume(info->volume);
        else if (info != nullptr)
            out->askAgain_ = true;
        return;
    }
    out->askingVolume_ = false;
    if (out->askAgain_ && out->setsPending_ == 0) {
        out->askAgain_ = false;
        out->askVolume();
    }
}

void PulseOutput::volumeSetCallback(pa_context *, int, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (--out->setsPending_ > 0 || !out->askAgain_ || out->askingVolume_)
        return; // a query still running asks again itself when it ends
    out->askAgain_ = false;
    out->askVolume();
}

} // namespace tarn::engine
