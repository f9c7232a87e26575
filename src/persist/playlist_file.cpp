#include "persist/playlist_file.h"

#include <QIODevice>
#include <QStringDecoder>

#include <functional>
#include <optional>

namespace tarn {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
const QByteArray kEndMarker = QByteArrayLiteral("end");

qsizetype lastSeparator(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash >= 0 ? slash : path.lastIndexOf(u'\\');
}

// UTF-8 when a line is valid UTF-8, Windows-1252 otherwise. One per read:
// opening the ICU converter costs far more than decoding a line.
class LineDecoder {
public:
    QString operator()(const QByteArray &bytes)
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
        if (!windows1252_)
            windows1252_.emplace("windows-1252", QStringDecoder::Flag::Stateless);
        if (!windows1252_->isValid()) // Qt without ICU: Latin-1 shares most letters
            return QString::fromLatin1(bytes);
        return (*windows1252_)(bytes);
    }

private:
    std::optional<QStringDecoder> windows1252_;
};

// Line sources: each call yields the next line with its line end removed.
enum class LineStatus { Ok, AtEnd, TooLong, Error };
using LineSource = std::function<LineStatus(QByteArray &line)>;

// `raw` is a line as read, with its LF when it had one.
LineStatus finishLine(QByteArrayView raw, bool complete, QByteArray &line)
{
    if (raw.endsWith('\n'))
        raw.chop(1);
    if (raw.endsWith('\r'))
        raw.chop(1);
    if (!complete || raw.size() > kPlaylistMaxLine)
        return LineStatus::TooLong;
    line = raw.toByteArray();
    return LineStatus::Ok;
}

// Lines of a device. Never holds more than one line's limit in memory, so a
// huge file that is no playlist is refused after its first long line.
LineSource deviceLines(QIODevice &in)
{
    return [&in, buffer = QByteArray()](QByteArray &line) mutable {
        if (in.atEnd())
            return LineStatus::AtEnd;
        // Room for the longest accepted line, CR LF and one byte to notice more.
        buffer.resize(kPlaylistMaxLine + 4);
        const qint64 got = in.readLine(buffer.data(), buffer.size());
        if (got < 0)
            return LineStatus::Error;
        const QByteArrayView raw(buffer.constData(), got);
        return finishLine(raw, raw.endsWith('\n') || in.atEnd(), line);
    };
}

// Lines of bytes in memory (QBuffer reads lines one byte at a time).
LineSource byteLines(QByteArrayView bytes)
{
    return [rest = bytes](QByteArray &line) mutable {
        if (rest.isEmpty())
            return LineStatus::AtEnd;
        const qsizetype lf = rest.indexOf('\n');
        const QByteArrayView raw = lf < 0 ? rest : rest.first(lf + 1);
        rest = rest.sliced(raw.size());
        return finishLine(raw, true, line);
    };
}

PlaylistReadResult readLines(const LineSource &next, qsizetype room, QIODevice *device)
{
    PlaylistReadResult result;
    const auto refuse = [&result](PlaylistRefusal why, qsizetype lineNo) {
        result.entries.clear();
        result.leftOut = 0;
        result.refusal = why;
        result.refusedLine = lineNo;
        return result;
    };
    QByteArray line;
    LineDecoder decodeLine;
    for (qsizetype lineNo = 1;; ++lineNo) {
        switch (next(line)) {
        case LineStatus::AtEnd:
            return result;
        case LineStatus::TooLong:
            return refuse(PlaylistRefusal::LineTooLong, lineNo);
        case LineStatus::Error:
            result.error = device ? device->errorString() : QString();
            return refuse(PlaylistRefusal::ReadError, lineNo);
        case LineStatus::Ok:
            break;
        }
        if (line.contains('\0'))
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
    return readLines(deviceLines(in), room, &in);
}

PlaylistReadResult readPlaylist(QByteArrayView bytes, qsizetype room)
{
    return readLines(byteLines(bytes), room, nullptr);
}

} // namespace tarn
