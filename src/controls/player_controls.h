// The main window as the desktop's media controls see it: the transport,
// volume and track of MainWindowControls, and what a remote control reads
// and sets besides (state, position, repeat, the track, which way the
// transport can go), each through the window's own handlers and controls.
// UI thread only.
#pragma once

#include "controls/main_window_controls.h"
#include "engine/play_state.h"

#include <QString>

#include <functional>

namespace tarn {

struct PlayerTrack {
    QString path;      // the file the engine holds; empty for none
    QString name;      // its display name in the playlist
    double length = 0; // seconds; 0 while unknown
    bool operator==(const PlayerTrack &) const = default;
};

class PlayerControls : public MainWindowControls {
public:
    // An entry being opened to play counts as playing already.
    virtual PlayState playStatus() const = 0;
    virtual double positionSeconds() const = 0;
    // Seeks as the position slider does: whole seconds within the track.
    virtual void seekTo(double seconds) = 0;
    virtual bool repeat() const = 0;
    virtual void setRepeat(bool on) = 0; // ticks or clears the Repeat box
    virtual PlayerTrack currentTrack() const = 0;
    // Whether Next and Back would play an entry (Next on the last entry
    // wraps only with Repeat ticked; Back on the first plays it again).
    virtual bool canGoNext() const = 0;
    virtual bool canGoBack() const = 0;
    // The main window, or the mini player when it stands in for it.
    virtual void bringToFront() = 0;
    virtual void exitProgram() = 0; // Exit: saves the settings and ends the run

    // `changed` runs, from the event loop and once for a burst of changes,
    // after anything above may have changed; `seeked` after a seek or a
    // restart of the track. Empty functions unregister.
    virtual void setChangeHandlers(std::function<void()> changed, std::function<void()> seeked) = 0;
};

} // namespace tarn
