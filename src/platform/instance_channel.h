// One player per user and display: the first start claims the channel; a
// later start hands its files (possibly none) to that player and ends.
// UI thread only.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tarn {

class InstanceChannel {
public:
    virtual ~InstanceChannel() = default;

    enum class Claim {
        Claimed,     // this process is the player now
        Taken,       // another process holds the channel
        Unavailable, // the channel cannot be used at all; see error()
    };
    // Makes this process the running player: files handed over later arrive
    // through `received`, on the UI thread.
    virtual Claim claim(std::function<void(const QStringList &files)> received) = 0;

    enum class HandOver {
        Taken,    // the running player took the files
        NoPlayer, // nobody answers (yet, or any more): nothing was delivered
        NotTaken, // the holder of the channel did not take them; see error()
    };
    // Gives `files` (absolute paths) to the running player, waiting for its
    // answer up to `timeoutMs`.
    virtual HandOver handOver(const QStringList &files, int timeoutMs) = 0;

    // Why the last claim() or handOver() did not succeed, for a message.
    virtual QString error() const = 0;
};

} // namespace tarn
