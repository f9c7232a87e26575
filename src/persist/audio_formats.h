// The audio file types the player plays (anything FFmpeg decodes; these are
// the ones a folder search picks up and the desktop is told about), by file
// name extension and MIME type.
#pragma once

#include <QString>
#include <QStringList>

namespace tarn {

struct AudioFileType {
    const char *extension; // lower case, without the dot
    const char *mimeType;
};

inline constexpr AudioFileType kAudioFileTypes[] = {
    {"mp3", "audio/mpeg"},    {"wma", "audio/x-ms-wma"},    {"wav", "audio/x-wav"},
    {"wav", "audio/wav"},     {"flac", "audio/flac"},       {"ogg", "audio/ogg"},
    {"oga", "audio/ogg"},     {"opus", "audio/x-opus+ogg"}, {"m4a", "audio/mp4"},
    {"aac", "audio/aac"},     {"mp2", "audio/mpeg"},        {"aif", "audio/x-aiff"},
    {"aiff", "audio/x-aiff"},
};

// True when `fileName` ends in one of the extensions above, in any case.
inline bool isAudioFileName(const QString &fileName)
{
    for (const AudioFileType &type : kAudioFileTypes)
        if (fileName.endsWith(QLatin1Char('.') + QLatin1String(type.extension),
                              Qt::CaseInsensitive))
            return true;
    return false;
}

// Every MIME type above, once each.
inline QStringList audioMimeTypes()
{
    QStringList types;
    for (const AudioFileType &type : kAudioFileTypes)
        if (!types.contains(QLatin1String(type.mimeType)))
            types << QLatin1String(type.mimeType);
    return types;
}

} // namespace tarn
