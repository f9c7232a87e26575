// One player per user and display: the first start claims the channel; a
// later start hands its files (possibly none) to that player and ends.
// UI thread only.
#pragma once

#include <QStringList>

#include <functional>

namespace tarn {

class InstanceChannel {
public:
    virtual ~InstanceChannel() = default;

    // Makes this process the running player: files handed over later arrive
    // through `received`, on the UI thread. False when another player holds
    // the channel already.
    virtual bool claim(std::function<void(const QStringList &files)> received) = 0;
    // Gives `files` (absolute paths) to the running player. True when it took
    // them.
    virtual bool handOver(const QStringList &files) = 0;
};

} // namespace tarn
