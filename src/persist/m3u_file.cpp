#include "persist/m3u_file.h"
#include "persist/line_decoder.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tarn {

bool isM3uFileName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive) ||
           fileName.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
}

QList<PlaylistEntry> readM3u(QByteArrayView bytes, const QString &listPath, qsizetype room)
{
    const bool utf8Only = listPath.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
    const QDir folder = QFileInfo(listPath).absoluteDir();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);

    LineDecoder decode;
    QList<PlaylistEntry> entries;
    QString title; // of the #EXTINF line before the next path
    for (qsizetype start = 0; start < bytes.size() && entries.size() < room;) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QByteArray raw = bytes.sliced(start, end - start).toByteArray();
        start = end + 1;
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString line = (utf8Only ? QString::fromUtf8(raw) : decode(raw)).trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('#'))) {
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
                const qsizetype comma = line.indexOf(QLatin1Char(','));
                title = comma < 0 ? QString() : line.mid(comma + 1).trimmed();
            }
            continue;
        }
        QString path = line;
        if (line.contains(QLatin1String("://"))) {
            const QUrl url(line);
            if (!url.isLocalFile()) { // a web address: the engine plays files
                title.clear();
                continue;
            }
            path = url.toLocalFile();
        } else if (!path.contains(QLatin1Char('/'))) {
            path.replace(QLatin1Char('\\'), QLatin1Char('/')); // a list written on Windows
        }
        path = QDir::cleanPath(folder.absoluteFilePath(path));
        entries.append({path, title.isEmpty() ? QFileInfo(path).fileName() : title});
        title.clear();
    }
    return entries;
}

} // namespace tarn
