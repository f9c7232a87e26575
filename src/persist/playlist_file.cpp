#include "persist/playlist_file.h"
#include "persist/line_decoder.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>
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

enum class LineStatus { Ok, AtEnd, TooLong, Error };

// Lines of a device, read a chunk at a time. Holds at most one line's limit
// and one chunk, so a huge file that is no playlist is refused after its
// first long line. A UTF-16 file is converted to UTF-8 as it is read, so one
// line splitter and one length limit serve every file.
class LineReader {
public:
    LineReader(QIODevice &in, std::optional<QStringConverter::Encoding> utf16) : in_(in)
    {
        if (utf16)
            utf16_.emplace(*utf16);
    }

    // The next line that is not blank, without its line end (LF or CR LF).
    // `lineNo` counts every line passed, blank ones included, and ends as
    // the number of the line returned (or refused).
    LineStatus next(QByteArray &line, qsizetype &lineNo)
    {
        qsizetype searchFrom = 0;
        for (;;) {
            skipBlankLines(lineNo);
            const qsizetype lf = pending_.indexOf('\n', std::max(pos_, searchFrom));
            if (lf >= 0) {
                const QByteArrayView raw(pending_.constData() + pos_, lf - pos_);
                pos_ = lf + 1;
                return take(raw, line, lineNo);
            }
            // Still no LF: the longest line and its CR may be waiting for one.
            if (pending_.size() - pos_ > kPlaylistMaxLine + 1) {
                ++lineNo;
                return LineStatus::TooLong;
            }
            if (atEnd_) {
                if (pos_ == pending_.size())
                    return LineStatus::AtEnd;
                const QByteArrayView raw(pending_.constData() + pos_, pending_.size() - pos_);
                pos_ = pending_.size();
                return take(raw, line, lineNo);
            }
            pending_.remove(0, pos_);
            pos_ = 0;
            searchFrom = pending_.size();
            if (!fill()) {
                ++lineNo;
                return LineStatus::Error;
            }
        }
    }

private:
    static constexpr qint64 kChunk = 64 * 1024;

    static LineStatus take(QByteArrayView raw, QByteArray &line, qsizetype &lineNo)
    {
        ++lineNo;
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.size() > kPlaylistMaxLine)
            return LineStatus::TooLong;
        line = raw.toByteArray();
        return LineStatus::Ok;
    }

    // Blank lines hold nothing. Passed here byte by byte, a file of millions
    // of them costs no more than reading it.
    void skipBlankLines(qsizetype &lineNo)
    {
        const char *p = pending_.constData();
        const qsizetype size = pending_.size();
        for (;;) {
            if (pos_ < size && p[pos_] == '\n')
                pos_ += 1;
            else if (pos_ + 1 < size && p[pos_] == '\r' && p[pos_ + 1] == '\n')
                pos_ += 2;
            else
                return;
            ++lineNo;
        }
    }

    // Appends the next chunk to `pending_`; false when the device fails.
    bool fill()
    {
        QByteArray &target = utf16_ ? chunk_ : pending_;
        const qsizetype before = utf16_ ? 0 : pending_.size();
        target.resize(before + kChunk);
        const qint64 got = in_.read(target.data() + before, kChunk);
        target.resize(before + std::max<qint64>(got, 0));
        if (got < 0)
            return false;
        atEnd_ = got == 0;
        if (utf16_)
            appendUtf16();
        return true;
    }

    // The decoder keeps a code unit cut at the chunk's end for the next chunk;
    // a surrogate pair cut there is put together here before it is converted.
    void appendUtf16()
    {
        QString text = heldSurrogate_ + QString((*utf16_)(QByteArrayView(chunk_)));
        heldSurrogate_.clear();
        if (!atEnd_ && !text.isEmpty() && text.back().isHighSurrogate()) {
            heldSurrogate_ = text.back();
            text.chop(1);
        }
        pending_ += text.toUtf8();
    }

    QIODevice &in_;
    std::optional<QStringDecoder> utf16_;
    QByteArray chunk_;      // raw UTF-16 bytes of the last read
    QString heldSurrogate_; // the first half of a pair cut at the last chunk's end
    QByteArray pending_;    // 8-bit text not yet returned, from `pos_` on
    qsizetype pos_ = 0;
    bool atEnd_ = false;
};

PlaylistReadResult readLines(LineReader &lines, qsizetype room, const QIODevice &in)
{
    PlaylistReadResult result;
    const auto refuse = [&result](PlaylistRefusal why, qsizetype lineNo) {
        result.entries.clear();
        result.refusal = why;
        result.refusedLine = lineNo;
        return result;
    };
    QByteArray line;
    LineDecoder decodeLine;
    for (qsizetype lineNo = 0;;) {
        switch (lines.next(line, lineNo)) {
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
        if (line.contains('\0'))
            return refuse(PlaylistRefusal::Binary, lineNo);
        if (lineNo == 1 || line.isEmpty()) // the count line is not used; blank lines hold nothing
            continue;
        if (line == kEndMarker) {
            result.endMarkerFound = true;
            return result;
        }
        if (result.entries.size() >= room) {
            // Full: whatever else the file holds is not read.
            result.stoppedFull = true;
            return result;
        }
        result.entries.append(splitEntryLine(decodeLine(line)));
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
        QByteArray line = entries[i].path.toUtf8() + '+' + entries[i].name.toUtf8();
        // A display name other than the file name (an M3U title) can make the
        // line split elsewhere when it is read, and the path with it: then
        // the file name is written as the name, which always splits right.
        if (splitEntryLine(QString::fromUtf8(line)) != entries[i])
            line = entries[i].path.toUtf8() + '+' + fileNamePart(entries[i].path).toUtf8();
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
    using Encoding = QStringConverter::Encoding;
    // Only a byte-order mark makes a file UTF-16 (or marks it UTF-8); a UTF-32
    // mark is left to the 8-bit reading, which refuses its NUL bytes.
    const std::optional<Encoding> marked = QStringConverter::encodingForData(in.peek(4));
    std::optional<Encoding> utf16;
    if (marked == Encoding::Utf16LE || marked == Encoding::Utf16BE)
        utf16 = marked; // its decoder drops the mark
    else if (marked == Encoding::Utf8)
        in.skip(3);

    const qint64 limit = utf16 ? kPlaylistMaxUtf16FileSize : kPlaylistMaxFileSize;
    if (!in.isSequential() && in.size() > limit) {
        PlaylistReadResult result;
        result.refusal = PlaylistRefusal::TooLarge;
        return result;
    }
    LineReader lines(in, utf16);
    return readLines(lines, room, in);
}

PlaylistReadResult readPlaylist(QByteArrayView bytes, qsizetype room)
{
    QByteArray data = QByteArray::fromRawData(bytes.data(), bytes.size());
    QBuffer device(&data);
    device.open(QIODevice::ReadOnly);
    return readPlaylist(device, room);
}

} // namespace tarn
