#include "desktop/one_player.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace tarn {

namespace {

// Between two tries at a holder that does not answer yet.
constexpr int kRetryMs = 200;
// The least time a hand-over is given, even at the end of the patience.
constexpr int kLeastHandOverMs = 500;

} // namespace

PlayerStart startPlayer(InstanceChannel &channel, const QStringList &files,
                        std::function<void(const QStringList &files)> received, int patienceMs)
{
    using Outcome = PlayerStart::Outcome;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        switch (channel.claim(received)) {
        case InstanceChannel::Claim::Claimed:
            return {Outcome::Player, {}};
        case InstanceChannel::Claim::Unavailable:
            return {Outcome::PlayerAlone,
                    QStringLiteral("cannot offer the one-player channel (%1); this player runs "
                                   "alone, later starts will not reach it")
                        .arg(channel.error())};
        case InstanceChannel::Claim::Taken:
            break;
        }
        const int left = int(std::max<qint64>(patienceMs - timer.elapsed(), kLeastHandOverMs));
        switch (channel.handOver(files, left)) {
        case InstanceChannel::HandOver::Taken:
            return {Outcome::HandedOver, {}};
        case InstanceChannel::HandOver::NotTaken:
            return {Outcome::Failed,
                    QStringLiteral("a player runs already but did not take the files (%1)")
                        .arg(channel.error())};
        case InstanceChannel::HandOver::NoPlayer:
            break;
        }
        if (timer.elapsed() >= patienceMs)
            return {Outcome::Failed,
                    QStringLiteral("another start holds the one-player channel but did not "
                                   "answer within %1 s (%2)")
                        .arg((patienceMs + 999) / 1000)
                        .arg(channel.error())};
        QThread::msleep(kRetryMs);
    }
}

} // namespace tarn
