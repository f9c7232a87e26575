// Helpers shared by the PulseAudio output's source files.
#pragma once

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace tarn::engine::pulse_detail {

// A gain (0 silence, 1 full, more where the mixer goes beyond full) as
// PulseAudio's volume; anything that is not a positive number is silence.
inline pa_volume_t linearToVolume(float gain)
{
    if (!(gain > 0))
        return PA_VOLUME_MUTED;
    return pa_sw_volume_from_linear(std::min(double(gain), pa_sw_volume_to_linear(PA_VOLUME_MAX)));
}

// Drops our reference on an operation nobody waits for; false when the call
// that should have made it failed.
inline bool release(pa_operation *op)
{
    if (op == nullptr)
        return false;
    pa_operation_unref(op);
    return true;
}

// Keeps the main loop's thread out for a scope.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop *m) : m_(m)
    {
        if (m_ != nullptr)
            pa_threaded_mainloop_lock(m_);
    }
    ~MainloopLock()
    {
        if (m_ != nullptr)
            pa_threaded_mainloop_unlock(m_);
    }
    MainloopLock(const MainloopLock &) = delete;
    MainloopLock &operator=(const MainloopLock &) = delete;

private:
    pa_threaded_mainloop *m_;
};

} // namespace tarn::engine::pulse_detail
