#include "persist/m3u_file.h"
#include "persist/line_decoder.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tarn {

namespace {

// The longest start of `text` that takes at most `bytes` bytes in UTF-8,
// cut between characters.
QString utf8Prefix(const QString &text, qsizetype bytes)
{
    qsizetype used = 0, end = 0;
    while (end < text.size()) {
        const bool pair =
            text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        const char32_t c =
            pair ? QChar::surrogateToUcs4(text[end], text[end + 1]) : char32_t(text[end].unicode());
        const qsizetype size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (used + size > bytes)
            break;
        used += size;
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

// A path no file can have: a NUL in it, longer than the file system allows
// a path or its file name to be. Such a line is left out, so it cannot make
// the playlist unsavable later.
bool impossiblePath(const QString &path)
{
    return path.contains(QChar(0)) || path.toUtf8().size() >= kMaxPathBytes ||
           QFileInfo(path).fileName().toUtf8().size() > kMaxNameBytes;
}

} // namespace

bool isM3uFileName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive) ||
           fileName.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
}

QList<PlaylistEntry> readM3u(QByteArrayView bytes, const QString &listPath, qsizetype room)
{
    const bool utf8Only = listPath.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive);
    const QString folder = QFileInfo(listPath).absolutePath();
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
                // A display name as long as a file name can be, without NULs.
                title = utf8Prefix(title.remove(QChar(0)), kMaxNameBytes);
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
        // Joined by hand: QDir takes a name starting with ":" for one of
        // the program's own resources, not a file beside the list.
        if (!path.startsWith(QLatin1Char('/')))
            path = folder + QLatin1Char('/') + path;
        path = QDir::cleanPath(path);
        if (impossiblePath(path)) {
            title.clear();
            continue;
        }
        entries.append({path, title.isEmpty() ? QFileInfo(path).fileName() : title});
        title.clear();
    }
    return entries;
}

} // namespace tarn
