// How a start of the player goes on: as the one player of this user and
// display, or by handing its files to the player that runs already.
//
// UI thread, before the window exists: it may wait (up to `patienceMs`) for
// a player that is still starting.
#pragma once

#include "platform/instance_channel.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tarn {

struct PlayerStart {
    enum class Outcome {
        Player,      // this start is the player
        PlayerAlone, // this start plays, but no later start can reach it; see message
        HandedOver,  // the running player took the files: this start ends
        Failed,      // a player holds the channel but did not take the files; see message
    };
    Outcome outcome = Outcome::Player;
    QString message;
};

// Waited at most for a player that holds the channel to take the files.
inline constexpr int kHandOverPatienceMs = 10000;

// Claims `channel`, or hands `files` to its holder. A holder that does not
// listen yet (a player still starting) or just went away is tried again
// until `patienceMs` have passed; never does a second player start while
// another holds the channel.
PlayerStart startPlayer(InstanceChannel &channel, const QStringList &files,
                        std::function<void(const QStringList &files)> received,
                        int patienceMs = kHandOverPatienceMs);

} // namespace tarn
