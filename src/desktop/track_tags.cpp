#include "desktop/track_tags.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace tarn {

namespace {

// The tag from the container, or else from the first stream that has it
// (Ogg and FLAC keep their comments with the stream).
QString tag(const AVFormatContext *context, const char *key)
{
    if (const AVDictionaryEntry *e = av_dict_get(context->metadata, key, nullptr, 0))
        return QString::fromUtf8(e->value).trimmed();
    for (unsigned i = 0; i < context->nb_streams; ++i)
        if (const AVDictionaryEntry *e =
                av_dict_get(context->streams[i]->metadata, key, nullptr, 0))
            return QString::fromUtf8(e->value).trimmed();
    return {};
}

} // namespace

TrackTags readTrackTags(const QString &path)
{
    AVFormatContext *context = nullptr;
    if (avformat_open_input(&context, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return {};
    TrackTags tags{tag(context, "title"), tag(context, "artist"), tag(context, "album")};
    avformat_close_input(&context);
    return tags;
}

} // namespace tarn
