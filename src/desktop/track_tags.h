// Title, artist and album from an audio file's tags (ID3, ASF, Vorbis
// comments, RIFF INFO, ...): see engine/file_tags.h. Reads the file's header only.
// Any thread; no state.
#pragma once

#include "engine/cancel_token.h"

#include <QString>

namespace tarn {

struct TrackTags {
    QString title;
    QString artist;
    QString album;
    bool operator==(const TrackTags &) const = default;
};

// Empty fields for tags the file does not have, and for a file that cannot
// be opened. The read ends early, with no tags, once `cancel` says so.
TrackTags readTrackTags(const QString &path, engine::CancelToken cancel = {});

} // namespace tarn
