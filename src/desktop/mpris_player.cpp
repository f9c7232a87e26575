#include "desktop/mpris_player.h"
#include "persist/audio_formats.h"

#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace tarn {

namespace {

const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
constexpr double kMicroseconds = 1e6;

QString trackId(const PlayerTrack &track)
{
    if (track.path.isEmpty())
        return kNoTrack;
    const QByteArray key = (track.path + QLatin1Char('\n') + track.name).toUtf8();
    return QStringLiteral("/org/tarnplayer/track/") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Md5).toHex());
}

qlonglong microseconds(double seconds)
{
    return static_cast<qlonglong>(std::llround(std::max(seconds, 0.0) * kMicroseconds));
}

QString playbackStatus(PlayState status)
{
    switch (status) {
    case PlayState::Playing:
        return QStringLiteral("Playing");
    case PlayState::Paused:
        return QStringLiteral("Paused");
    case PlayState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

} // namespace

MprisPlayer::MprisPlayer(PlayerControls &player, MediaBus &bus) : player_(player), bus_(bus)
{
    tagReader_.setMaxThreadCount(1);
}

MprisPlayer::~MprisPlayer()
{
    if (published_)
        player_.setChangeHandlers({}, {});
    tagsQuit_.store(true); // the pool then waits only for a read to notice
}

bool MprisPlayer::start()
{
    if (published_ || !bus_.publish(*this))
        return false;
    published_ = true;
    announced_ = properties(kMprisPlayer);
    announced_.remove(QStringLiteral("Position"));
    readTags(player_.currentTrack());
    player_.setChangeHandlers([this] { playerChanged(); }, [this] { playerSeeked(); });
    return true;
}

QVariantMap MprisPlayer::properties(const QString &interface) const
{
    if (interface == kMprisRoot)
        return {
            {QStringLiteral("CanQuit"), true},
            {QStringLiteral("CanRaise"), true},
            {QStringLiteral("HasTrackList"), false},
            {QStringLiteral("Identity"), QStringLiteral("Tarn Player")},
            {QStringLiteral("DesktopEntry"), kDesktopEntry},
            {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
            {QStringLiteral("SupportedMimeTypes"), audioMimeTypes()},
        };
    if (interface != kMprisPlayer)
        return {};
    const PlayerTrack track = knownLength(player_.currentTrack());
    const bool hasTrack = !track.path.isEmpty();
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatus(player_.playStatus())},
        {QStringLiteral("LoopStatus"),
         player_.repeat() ? QStringLiteral("Playlist") : QStringLiteral("None")},
        {QStringLiteral("Rate"), 1.0},
        {QStringLiteral("MinimumRate"), 1.0},
        {QStringLiteral("MaximumRate"), 1.0},
        {QStringLiteral("Shuffle"), false},
        {QStringLiteral("Metadata"), metadata(track)},
        {QStringLiteral("Volume"), double(player_.volumePosition()) / kVolumeSteps},
        {QStringLiteral("Position"), microseconds(player_.positionSeconds())},
        {QStringLiteral("CanGoNext"), player_.canGoNext()},
        {QStringLiteral("CanGoPrevious"), player_.canGoBack()},
        {QStringLiteral("CanPlay"), hasTrack},
        {QStringLiteral("CanPause"), hasTrack},
        {QStringLiteral("CanSeek"), track.length > 0},
        {QStringLiteral("CanControl"), true},
    };
}

QVariantMap MprisPlayer::metadata(const PlayerTrack &track) const
{
    QVariantMap map{{QStringLiteral("mpris:trackid"), trackId(track)}};
    if (track.path.isEmpty())
        return map;
    map.insert(QStringLiteral("xesam:url"),
               QUrl::fromLocalFile(track.path).toString(QUrl::FullyEncoded));
    map.insert(QStringLiteral("xesam:title"), track.name);
    if (track.length > 0)
        map.insert(QStringLiteral("mpris:length"), microseconds(track.length));
    if (tagsPath_ != track.path)
        return map;
    if (!tags_.title.isEmpty())
        map.insert(QStringLiteral("xesam:title"), tags_.title);
    if (!tags_.artist.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{tags_.artist});
    if (!tags_.album.isEmpty())
        map.insert(QStringLiteral("xesam:album"), tags_.album);
    return map;
}

bool MprisPlayer::setProperty(const QString &interface, const QString &name, const QVariant &value)
{
    if (interface != kMprisPlayer)
        return false;
    if (name == QLatin1String("LoopStatus")) {
        const QString loop = value.toString();
        if (loop != QLatin1String("Playlist") && loop != QLatin1String("None"))
            return false; // a single track never repeats by itself
        player_.setRepeat(loop == QLatin1String("Playlist"));
        return true;
    }
    if (name == QLatin1String("Volume")) {
        bool ok = false;
        const double volume = value.toDouble(&ok);
        if (!ok || std::isnan(volume))
            return false;
        player_.setVolumePosition(
            static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * kVolumeSteps)));
        return true;
    }
    // Shuffle and Rate stay as they are (false, 1.0): only those values are accepted.
    if (name == QLatin1String("Shuffle"))
        return !value.toBool();
    if (name == QLatin1String("Rate"))
        return value.toDouble() == 1.0;
    return false;
}

bool MprisPlayer::call(const QString &interface, const QString &method, const QVariantList &args)
{
    if (interface == kMprisRoot) {
        if (method == QLatin1String("Raise"))
            player_.bringToFront();
        else if (method == QLatin1String("Quit"))
            player_.exitProgram();
        else
            return false;
        return true;
    }
    if (interface != kMprisPlayer)
        return false;
    if (method == QLatin1String("Play")) {
        player_.play();
    } else if (method == QLatin1String("Pause")) {
        player_.pause();
    } else if (method == QLatin1String("PlayPause")) {
        if (player_.playStatus() == PlayState::Playing)
            player_.pause();
        else
            player_.play();
    } else if (method == QLatin1String("Stop")) {
        player_.stop();
    } else if (method == QLatin1String("Next")) {
        player_.next();
    } else if (method == QLatin1String("Previous")) {
        player_.back();
    } else if (method == QLatin1String("Seek")) {
        const PlayerTrack track = knownLength(player_.currentTrack());
        if (track.length > 0) {
            // Past the end the track ends, and the playlist goes on as it would.
            const double target =
                player_.positionSeconds() + args.value(0).toLongLong() / kMicroseconds;
            player_.seekTo(std::clamp(target, 0.0, track.length));
        }
    } else if (method == QLatin1String("SetPosition")) {
        const PlayerTrack track = knownLength(player_.currentTrack());
        const double target = args.value(1).toLongLong() / kMicroseconds;
        // A position for a track that is no longer current, or outside this one, is ignored.
        if (args.value(0).toString() == trackId(track) && target >= 0 && target <= track.length)
            player_.seekTo(target);
    } else if (method == QLatin1String("OpenUri")) {
        const QUrl url(args.value(0).toString());
        if (url.isLocalFile())
            player_.openFiles({url.toLocalFile()}, true);
    } else {
        return false;
    }
    return true;
}

// While a track is opened again (Back on the first entry, a restart) the
// engine does not know its length yet; the one known before still holds.
PlayerTrack MprisPlayer::knownLength(PlayerTrack track) const
{
    if (track.length <= 0 && trackId(track) == lengthTrackId_)
        track.length = knownLength_;
    return track;
}

void MprisPlayer::playerChanged()
{
    const PlayerTrack track = player_.currentTrack();
    if (track.path != tagsPath_)
        readTags(track);
    if (track.length > 0) {
        lengthTrackId_ = trackId(track);
        knownLength_ = track.length;
    }
    QVariantMap now = properties(kMprisPlayer);
    now.remove(QStringLiteral("Position"));
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    announced_ = std::move(now);
    if (!changed.isEmpty())
        bus_.propertiesChanged(kMprisPlayer, changed);
}

void MprisPlayer::playerSeeked()
{
    bus_.seeked(microseconds(player_.positionSeconds()));
}

void MprisPlayer::readTags(const PlayerTrack &track)
{
    tagsPath_ = track.path;
    tags_ = {};
    const std::uint64_t wanted = tagsWanted_.fetch_add(1) + 1; // an older read is not
    if (track.path.isEmpty())
        return;
    const engine::CancelToken cancel{&tagsWanted_, wanted, &tagsQuit_};
    tagReader_.start([this, path = track.path, cancel] {
        const TrackTags tags = readTrackTags(path, cancel);
        QMetaObject::invokeMethod(
            &tagsContext_,
            [this, path, tags] {
                if (path != tagsPath_ || tags == TrackTags{})
                    return;
                tags_ = tags;
                playerChanged();
            },
            Qt::QueuedConnection);
    });
}

} // namespace tarn
