// The player on the desktop's media controls (MPRIS 2): every method runs
// the main window's own handler for it, every property is read from the
// window when asked, and a change is announced only when a value the
// desktop was shown has changed.
//
// Track ids are object paths made from the track's path and display name,
// so the same entry keeps its id. Tags (title, artist, album) are read on a
// worker thread when the track changes and announced when they arrive.
// UI thread only.
#pragma once

#include "controls/player_controls.h"
#include "desktop/track_tags.h"
#include "platform/media_bus.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <cstdint>

namespace tarn {

class MprisPlayer final : public MediaBusHandler {
public:
    MprisPlayer(PlayerControls &player, MediaBus &bus);
    ~MprisPlayer() override;

    // Publishes the player on the bus. False (and nothing more happens) when
    // there is no bus or the name is taken.
    bool start();

    QVariantMap properties(const QString &interface) const override;
    bool setProperty(const QString &interface, const QString &name, const QVariant &value) override;
    bool call(const QString &interface, const QString &method, const QVariantList &args) override;

    // The desktop file's name, without ".desktop".
    static inline const QString kDesktopEntry = QStringLiteral("tarn-player");

private:
    QVariantMap metadata(const PlayerTrack &track) const;
    PlayerTrack knownLength(PlayerTrack track) const;
    void playerChanged(); // announces what changed since the last announcement
    void playerSeeked();
    void readTags(const PlayerTrack &track);

    PlayerControls &player_;
    MediaBus &bus_;
    bool published_ = false;
    QVariantMap announced_; // Player properties as last announced (Position aside)
    QString lengthTrackId_; // the track whose length was last known
    double knownLength_ = 0;
    QString tagsPath_; // the file `tags_` belong to
    TrackTags tags_;
    QObject tagsContext_; // the UI thread's side of the tag reader
    // A read for an older track, or any read at exit, is cancelled.
    std::atomic<std::uint64_t> tagsWanted_{0};
    std::atomic<bool> tagsQuit_{false};
    QThreadPool tagReader_; // one thread; waited for (after the cancel) before the rest goes
};

} // namespace tarn
