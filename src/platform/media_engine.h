// The media engine as the windows see it: the members the player drives,
// called on the UI thread only. The real one wraps tarn::engine::Engine
// (EngineAdapter); tests use a fake.
//
// Opening is asynchronous: setFileName() returns at once and the outcome
// arrives later on the UI thread through the opened handler. Play() given
// before that plays as soon as the file is open. Length(), LastError() and
// PlayStatus() answer from the newest state known on the UI thread.
#pragma once

#include "engine/play_state.h"
#include "engine/video_sink.h"

#include <QString>

#include <functional>

namespace tarn {

class MediaEngine {
public:
    virtual ~MediaEngine() = default;

    // Starts opening the file and returns at once, leaving it stopped at 0.
    // The opened handler tells the outcome; until then Length() is 0 and
    // LastError() empty. A file that cannot be played leaves the engine with
    // no file (Length() 0) and LastError() saying why, in words for people.
    virtual void setFileName(const QString &path) = 0;
    virtual QString FileName() const = 0;
    virtual QString LastError() const = 0;

    // The file the automatic advance will play after the current one, or an
    // empty path for none. The engine prepares it ahead, so that when the
    // end-of-stream handler sets it as FileName and calls Play it follows the
    // current file with no gap. A wrong or stale hint costs only that.
    virtual void setNextFileName(const QString &path) = 0;

    virtual void Play() = 0; // the play-failed handler runs when no output could be opened
    virtual void Pause() = 0;
    virtual void Stop() = 0;

    virtual double Position() const = 0;
    virtual void setPosition(double seconds) = 0;
    virtual double Length() const = 0;

    virtual void setVolume(int hundredthsOfDb) = 0;
    virtual int Volume() const = 0;
    virtual PlayState PlayStatus() const = 0;
    // True while it plays but has had no sound output for a while: the sound
    // server or the device went away. It opens one again as soon as there is
    // one and plays on; meanwhile nothing is heard and the position stands.
    virtual bool outputLost() const = 0;

    virtual void setFlag1017(bool on) = 0;

    // Loads the sound output's library now, off the UI thread, and returns at
    // once; without it the first Play() loads it. A program that builds its
    // window first calls this once the window is up.
    virtual void preloadOutput() = 0;
    // Where the pictures of files opened from now on go; null for nowhere.
    // Once it returns, the previous sink is not called again; the sink must
    // outlive its use. An engine for sound alone never sets one.
    virtual void setVideoSink(engine::VideoSink *sink) = 0;

    // Runs on the UI thread once per natural end of the current file; never
    // for a file that was replaced, stopped or seeked away from its end.
    // An empty function unregisters.
    virtual void setEndOfStreamHandler(std::function<void()> handler) = 0;
    // Runs on the UI thread once per setFileName(), when the open finished:
    // true when the file plays, false when it cannot (LastError() says why).
    // Never for an open that a later setFileName() replaced. An empty
    // function unregisters.
    virtual void setOpenedHandler(std::function<void(bool ok)> handler) = 0;
    // Runs on the UI thread when Play() found no sound output (the engine
    // opens it on its own thread); LastError() says why. An empty function
    // unregisters.
    virtual void setPlayFailedHandler(std::function<void()> handler) = 0;
    // Runs on the UI thread when something other than setVolume() changed the
    // volume (the desktop's mixer moved the player's stream), with the new
    // Volume(); the engine already plays at it. An empty function unregisters.
    virtual void setVolumeChangedHandler(std::function<void(int hundredthsOfDb)> handler) = 0;
};

} // namespace tarn
