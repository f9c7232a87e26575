#include "persist/playlist_file.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringDecoder>

#include <cstring>

namespace tarn {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
const QByteArray kEndMarker = QByteArrayLiteral("end");

qsizetype lastSeparator(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash >= 0 ? slash : path.lastIndexOf(u'\\');
}

// UTF-8 when the line is valid UTF-8, Windows-1252 otherwise.
QString decodeLine(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows1252("windows-1252", QStringDecoder::Flag::Stateless);
    if (!windows1252.isValid()) // Qt without ICU: Latin-1 shares most of its letters
        return QString::fromLatin1(bytes);
    return windows1252(bytes);
}

// Reads one line of at most kPlaylistMaxLine bytes, line end removed.
enum class LineStatus { Ok, AtEnd, TooLong, Error };

LineStatus readLine(QIODevice &in, QByteArray &buffer, QByteArray &line)
{
    if (in.atEnd())
        return LineStatus::AtEnd;
    // Room for the longest accepted line, CR LF and one byte to notice more.
    buffer.resize(kPlaylistMaxLine + 4);
    const qint64 got = in.readLine(buffer.data(), buffer.size());
    if (got < 0)
        return LineStatus::Error;
    line = QByteArray(buffer.constData(), got);
    const bool complete = line.endsWith('\n') || in.atEnd();
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return complete && line.size() <= kPlaylistMaxLine ? LineStatus::Ok : LineStatus::TooLong;
}

} // namespace

QString fileNamePart(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

PlaylistEntry splitEntryLine(const QString &line)
{
    const QStringView view(line);
    // Separators seen so far, tracked while scanning so each "+" costs O(1)
    // unless its candidate name has the right length.
    qsizetype lastSlash = -1;
    qsizetype lastAny = -1;
    qsizetype firstPlus = -1;
    for (qsizetype i = 0; i < view.size(); ++i) {
        const QChar c = view[i];
        if (c == u'/')
            lastSlash = lastAny = i;
        else if (c == u'\\')
            lastAny = i;
        if (c != u'+')
            continue;
        if (firstPlus < 0)
            firstPlus = i;
        const QStringView rest = view.mid(i + 1);
        // The file-name part of the path before this "+", by "/" alone
        // (a Linux name may hold "\") or by either separator (Windows).
        for (const qsizetype sep : {lastSlash >= 0 ? lastSlash : lastAny, lastAny}) {
            const QStringView name = view.mid(sep + 1, i - sep - 1);
            if (name.size() == rest.size() && name == rest)
                return {line.left(i), rest.toString()};
        }
    }
    if (firstPlus < 0)
        return {line, fileNamePart(line)};
    const QStringView afterPlus = view.mid(firstPlus + 1);
    const qsizetype nextPlus = afterPlus.indexOf(u'+');
    return {line.left(firstPlus), (nextPlus < 0 ? afterPlus : afterPlus.left(nextPlus)).toString()};
}

PlaylistWriteResult writePlaylist(const QList<PlaylistEntry> &entries)
{
    PlaylistWriteResult result;
    QByteArray &out = result.bytes;
    out.reserve(16 + entries.size() * 96);
    out += ' ' + QByteArray::number(entries.size()) + ' ' + kLineEnd;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArray line = entries[i].path.toUtf8() + '+' + entries[i].name.toUtf8();
        const char *bad = nullptr;
        if (line.contains('\n'))
            bad = "it contains a line break";
        else if (line.contains('\0'))
            bad = "it contains a NUL character";
        else if (line.size() > kPlaylistMaxLine)
            bad = "its path and name are too long";
        if (bad) {
            result = {};
            result.badEntry = int(i);
            result.badReason = QString::fromLatin1(bad);
            return result;
        }
        out += line + kLineEnd;
    }
    out += kEndMarker + kLineEnd;
    return result;
}

PlaylistReadResult readPlaylist(QIODevice &in, qsizetype room)
{
    PlaylistReadResult result;
    const auto refuse = [&result](PlaylistRefusal why, qsizetype lineNo) {
        result.entries.clear();
        result.leftOut = 0;
        result.refusal = why;
        result.refusedLine = lineNo;
        return result;
    };
    QByteArray buffer;
    QByteArray line;
    for (qsizetype lineNo = 1;; ++lineNo) {
        switch (readLine(in, buffer, line)) {
        case LineStatus::AtEnd:
            return result;
        case LineStatus::TooLong:
            return refuse(PlaylistRefusal::LineTooLong, lineNo);
        case LineStatus::Error:
            result.error = in.errorString();
            return refuse(PlaylistRefusal::ReadError, lineNo);
        case LineStatus::Ok:
            break;
        }
        if (std::memchr(line.constData(), '\0', size_t(line.size())))
            return refuse(PlaylistRefusal::Binary, lineNo);
        if (lineNo == 1 || line.isEmpty()) // the count line is not used; blank lines hold nothing
            continue;
        if (line == kEndMarker) {
            result.endMarkerFound = true;
            return result;
        }
        if (result.entries.size() < room)
            result.entries.append(splitEntryLine(decodeLine(line)));
        else
            ++result.leftOut;
    }
}

PlaylistReadResult readPlaylist(const QByteArray &bytes, qsizetype room)
{
    QByteArray copy = bytes; // shared, not copied: QBuffer wants a non-const array
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readPlaylist(buffer, room);
}

} // namespace tarn
