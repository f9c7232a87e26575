#include "desktop/track_tags.h"

#include "engine/file_tags.h"

namespace tarn {

TrackTags readTrackTags(const QString &path, engine::CancelToken cancel)
{
    const engine::FileTags tags = engine::readFileTags(path.toStdString(), cancel);
    if (cancel.cancelled())
        return {}; // what a cancelled read gave may be partial
    return {QString::fromUtf8(tags.title).trimmed(), QString::fromUtf8(tags.artist).trimmed(),
            QString::fromUtf8(tags.album).trimmed()};
}

} // namespace tarn
