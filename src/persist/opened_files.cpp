#include "persist/opened_files.h"
#include "persist/audio_formats.h"
#include "persist/file_access.h"
#include "persist/m3u_file.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tarn {

namespace {

// Natural order: runs of digits compare by their value ("2" before "10"),
// the rest case-insensitively. The system's collator does this only in
// some locales.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype si = i, sj = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Without leading zeros, the longer run is the larger number.
            QStringView x = QStringView(a).sliced(si, i - si),
                        y = QStringView(b).sliced(sj, j - sj);
            while (x.size() > 1 && x.front() == u'0')
                x = x.sliced(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.sliced(1);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int c = x.compare(y); c != 0)
                return c < 0;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The audio files under `folder`, in natural order of their paths below it.
QStringList audioFilesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isAudioFileName(path))
            files << path;
    }
    std::sort(files.begin(), files.end(), naturalLess);
    return files;
}

// The entries of a playlist file, or why there are none.
QString readListFile(const QString &path, qsizetype room, QList<PlaylistEntry> &entries)
{
    if (isM3uFileName(path)) {
        const SmallFileRead read = readSmallFile(path, kPlaylistMaxFileSize);
        if (read.status == SmallFileRead::Status::TooLarge)
            return QStringLiteral("too large for a playlist");
        if (read.status != SmallFileRead::Status::Read)
            return QStringLiteral("cannot be read");
        entries = readM3u(read.bytes, path, room);
        return {};
    }
    QFile file(path);
    if (QString failure = openRegularFile(file); !failure.isEmpty())
        return failure;
    const PlaylistReadResult read = readPlaylist(file, room);
    if (read.refusal != PlaylistRefusal::None)
        return read.refusal == PlaylistRefusal::ReadError ? read.error
                                                          : QStringLiteral("not a playlist file");
    entries = read.entries;
    return {};
}

} // namespace

OpenedFiles collectOpenedFiles(const QStringList &paths, qsizetype room)
{
    OpenedFiles result;
    const auto add = [&result, room](const PlaylistEntry &entry) {
        if (result.entries.size() >= room) {
            result.full = true;
            return false;
        }
        result.entries.append(entry);
        return true;
    };
    for (const QString &given : paths) {
        const QFileInfo info(given);
        const QString path = info.absoluteFilePath();
        if (info.isDir()) {
            for (const QString &file : audioFilesUnder(path))
                if (!add({file, QFileInfo(file).fileName()}))
                    return result;
        } else if (!info.exists()) {
            result.skipped.append({info.fileName(), QStringLiteral("no such file")});
        } else if (isM3uFileName(path) ||
                   path.endsWith(QLatin1String(".tpl"), Qt::CaseInsensitive)) {
            QList<PlaylistEntry> entries;
            const qsizetype left = room - result.entries.size();
            if (QString failure = readListFile(path, left + 1, entries); !failure.isEmpty())
                result.skipped.append({info.fileName(), failure});
            for (const PlaylistEntry &entry : entries)
                if (!add(entry))
                    return result;
        } else if (!info.isFile() || !isAudioFileName(path)) {
            result.skipped.append({info.fileName(), QStringLiteral("not an audio file")});
        } else if (!add({path, info.fileName()})) {
            return result;
        }
    }
    return result;
}

} // namespace tarn
