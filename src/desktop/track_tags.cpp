#include "desktop/track_tags.h"

#include "engine/file_tags.h"

namespace tarn {

TrackTags readTrackTags(const QString &path)
{
    const engine::FileTags tags = engine::readFileTags(path.toStdString());
    return {QString::fromUtf8(tags.title).trimmed(), QString::fromUtf8(tags.artist).trimmed(),
            QString::fromUtf8(tags.album).trimmed()};
}

} // namespace tarn
