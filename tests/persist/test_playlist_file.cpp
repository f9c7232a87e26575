#include "fakes/data_rows.h"
#include "persist/playlist_file.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using tarn::PlaylistEntry;
using tarn::PlaylistReadResult;
using tarn::PlaylistRefusal;
using tarn::test::row;
using Entries = QList<PlaylistEntry>;

Q_DECLARE_METATYPE(PlaylistRefusal)
Q_DECLARE_METATYPE(QStringConverter::Encoding)

namespace {
constexpr qsizetype kRoom = 32767;

// The whole literal, embedded NUL bytes included.
template <qsizetype N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}
PlaylistReadResult read(const QByteArray &bytes, qsizetype room = kRoom)
{
    return tarn::readPlaylist(QByteArrayView(bytes), room);
}

// Reads a file holding `bytes`, grown with zero bytes to `size` when that is
// larger (a sparse file: no disk is used). `pos`: how far the file was read.
PlaylistReadResult readFile(const QByteArray &bytes, qint64 size, qsizetype room,
                            qint64 *pos = nullptr)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("p.TPL")));
    if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() ||
        (size > bytes.size() && !file.resize(size)) || !file.seek(0))
        qFatal("cannot prepare the test file");
    const PlaylistReadResult r = tarn::readPlaylist(file, room);
    if (pos)
        *pos = file.pos();
    return r;
}

// `text` as a file with a byte-order mark.
QByteArray encoded(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encode(encoding, QStringEncoder::Flag::WriteBom);
    return encode(text);
}

// The bytes of a playlist file, count line and "end" included, before encoding.
QString playlistText(const Entries &entries)
{
    QString text = QStringLiteral(" %1 \r\n").arg(entries.size());
    for (const PlaylistEntry &e : entries)
        text += e.path + u'+' + e.name + QStringLiteral("\r\n");
    return text + QStringLiteral("end\r\n");
}

// A device whose reads fail, as a disk error would.
class FailingDevice final : public QIODevice {
public:
    FailingDevice()
    {
        open(QIODevice::ReadOnly);
        setErrorString(QStringLiteral("Input/output error"));
    }
    bool atEnd() const override { return false; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64) override { return -1; }
};
} // namespace

class PlaylistFileTest : public QObject {
    Q_OBJECT
private slots:
    void writerIsByteExact_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QByteArray>("bytes");
        row("two entries, 54 bytes",
            Entries{{"C:\\Music\\a.mp3", "a.mp3"}, {"D:\\Songs\\b.wma", "b.wma"}},
            QByteArray(" 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n"));
        row("empty, 10 bytes", Entries{}, QByteArray(" 0 \r\nend\r\n"));
        row("utf-8", Entries{{"/m/Ærø é.mp3", "Ærø é.mp3"}},
            QByteArray(" 1 \r\n/m/\xc3\x86r\xc3\xb8 \xc3\xa9.mp3+"
                       "\xc3\x86r\xc3\xb8 \xc3\xa9.mp3\r\nend\r\n"));
        // Guards: an M3U title beside a "+" of the path (or holding one) cutting
        // the path short when the list is loaded again.
        row("titles that would split the line elsewhere",
            Entries{{"/m/Rock + Roll.mp3", "Song"}, {"/m/a.mp3", "A+B"}, {"/m/b.mp3", "T"}},
            QByteArray(" 3 \r\n/m/Rock + Roll.mp3+Rock + Roll.mp3\r\n/m/a.mp3+a.mp3\r\n"
                       "/m/b.mp3+T\r\nend\r\n"));
    }
    // Guards: any byte of the format (blanks, CR LF, marker, encoding) drifting.
    void writerIsByteExact()
    {
        QFETCH(Entries, entries);
        QFETCH(QByteArray, bytes);
        const tarn::PlaylistWriteResult w = tarn::writePlaylist(entries);
        QCOMPARE(w.badEntry, -1);
        QCOMPARE(w.bytes, bytes);
        QCOMPARE(w.bytes.size(), bytes.size());
    }

    void writerRefusesEntriesThatAreNotOneLine_data()
    {
        QTest::addColumn<PlaylistEntry>("bad");
        row("LF in path", PlaylistEntry{"/m/a\nb.mp3", "b.mp3"});
        row("LF in name", PlaylistEntry{"/m/a.mp3", "a\n.mp3"});
        row("NUL", PlaylistEntry{QString("/m/a") + QChar(0) + ".mp3", "a.mp3"});
        row("too long", PlaylistEntry{"/" + QString(40000, 'x'), "x"});
    }
    // Guards: a name with a line break silently becoming extra, wrong entries.
    void writerRefusesEntriesThatAreNotOneLine()
    {
        QFETCH(PlaylistEntry, bad);
        const tarn::PlaylistWriteResult w =
            tarn::writePlaylist({{"/m/ok.mp3", "ok.mp3"}, bad, {"/m/z.mp3", "z.mp3"}});
        QCOMPARE(w.badEntry, 1);
        QVERIFY(!w.badReason.isEmpty());
        QVERIFY(w.bytes.isEmpty());
    }

    void reader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<bool>("endFound");
        const Entries ab{{"C:\\Music\\a.mp3", "a.mp3"}, {"D:\\Songs\\b.wma", "b.wma"}};

        row("original two-entry file",
            QByteArray(" 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n"), ab,
            true);
        row("count says 5, two entries",
            QByteArray(" 5 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n"), ab,
            true);
        row("empty playlist", QByteArray(" 0 \r\nend\r\n"), Entries{}, true);
        row("LF only", QByteArray(" 2 \nC:\\Music\\a.mp3+a.mp3\nD:\\Songs\\b.wma+b.wma\nend\n"), ab,
            true);
        row("END and End are entries", QByteArray(" 2 \r\nEND\r\nEnd\r\nend\r\n"),
            Entries{{"END", "END"}, {"End", "End"}}, true);
        row("end with a blank is an entry", QByteArray(" 1 \r\nend \r\nend\r\n"),
            Entries{{"end ", "end "}}, true);
        row("lines after end not read, even binary",
            raw(" 1 \r\n/m/a.mp3+a.mp3\r\nend\r\n/m/b.mp3+b.mp3\r\n\0\0"),
            Entries{{"/m/a.mp3", "a.mp3"}}, true);
        row("end without line end", QByteArray(" 1 \r\n/m/a.mp3+a.mp3\r\nend"),
            Entries{{"/m/a.mp3", "a.mp3"}}, true);
        row("no end marker", QByteArray(" 3 \r\n/m/a.mp3+a.mp3\r\n/m/b.mp3+b.mp3"),
            Entries{{"/m/a.mp3", "a.mp3"}, {"/m/b.mp3", "b.mp3"}}, false);
        row("empty file", QByteArray(), Entries{}, false);
        row("blank lines hold no entry", QByteArray(" 1 \r\n\r\n/m/a.mp3+a.mp3\r\n\r\nend\r\n"),
            Entries{{"/m/a.mp3", "a.mp3"}}, true);
        row("blank first line: the next line is an entry", QByteArray("\r\n/m/a.mp3+a.mp3\nend\n"),
            Entries{{"/m/a.mp3", "a.mp3"}}, true);
        row("no plus: name is the file-name part",
            QByteArray(" 2 \r\n/home/u/My Music/a b.mp3\r\nC:\\Music\\c.wav\r\nend\r\n"),
            Entries{{"/home/u/My Music/a b.mp3", "a b.mp3"}, {"C:\\Music\\c.wav", "c.wav"}}, true);
        row("Windows-1252 lines",
            QByteArray(" 2 \r\nC:\\Musik\\Caf\xe9.mp3+Caf\xe9.mp3\r\n"
                       "C:\\x\\\x80 Euro.wav+\x80 Euro.wav\r\nend\r\n"),
            Entries{{"C:\\Musik\\Café.mp3", "Café.mp3"},
                    {QString::fromUtf8("C:\\x\\€ Euro.wav"), QString::fromUtf8("€ Euro.wav")}},
            true);
        row("UTF-8 and Windows-1252 mixed",
            QByteArray(" 2 \r\n/m/\xc3\xa9.mp3+\xc3\xa9.mp3\r\n/m/\xe9.mp3+\xe9.mp3\r\nend\r\n"),
            Entries{{"/m/é.mp3", "é.mp3"}, {"/m/é.mp3", "é.mp3"}}, true);
    }
    // Guards: misreading the format: the count trusted, a marker in the wrong
    // case, reading past "end" or the file's end, mangled accented names.
    void reader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Entries, entries);
        QFETCH(bool, endFound);
        const PlaylistReadResult r = read(bytes);
        QCOMPARE(r.refusal, PlaylistRefusal::None);
        QCOMPARE(r.entries, entries);
        QCOMPARE(r.endMarkerFound, endFound);
    }

    void readerRefusesNonPlaylists_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<PlaylistRefusal>("refusal");
        QTest::addColumn<qsizetype>("line");
        row("NUL after good entries", raw(" 2 \r\n/m/a.mp3+a.mp3\r\n/m/\0b.mp3+b.mp3\r\nend\r\n"),
            PlaylistRefusal::Binary, qsizetype(3));
        row("NUL after blank lines", raw(" 1 \r\n\r\n\n\r\n/m/\0"), PlaylistRefusal::Binary,
            qsizetype(5));
        row("binary header",
            raw("\x7f"
                "ELF\x02\x01\x01\0\0\0"),
            PlaylistRefusal::Binary, qsizetype(1));
        row("line one byte too long",
            QByteArray(" 1 \r\n/m/a+a\r\n" + QByteArray(tarn::kPlaylistMaxLine + 1, 'x') +
                       "\r\nend\r\n"),
            PlaylistRefusal::LineTooLong, qsizetype(3));
        row("huge last line without line end",
            QByteArray(" 1 \r\n" + QByteArray(5 * tarn::kPlaylistMaxLine, '+')),
            PlaylistRefusal::LineTooLong, qsizetype(2));
        row("UTF-16 line one character too long",
            encoded(" 1 \r\n" + QString(tarn::kPlaylistMaxLine + 1, u'x') + "\r\nend\r\n",
                    QStringConverter::Utf16LE),
            PlaylistRefusal::LineTooLong, qsizetype(2));
        row("UTF-16 without byte-order mark",
            QByteArray(QStringEncoder(QStringConverter::Utf16LE)(u" 0 \r\nend\r\n")),
            PlaylistRefusal::Binary, qsizetype(1));
    }
    // Guards: a binary or runaway file half-loaded as garbage entries.
    void readerRefusesNonPlaylists()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PlaylistRefusal, refusal);
        QFETCH(qsizetype, line);
        const PlaylistReadResult r = read(bytes);
        QCOMPARE(r.refusal, refusal);
        QCOMPARE(r.refusedLine, line);
        QVERIFY(r.entries.isEmpty());
    }

    void readerLimits_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("size"); // the file grown with zero bytes to this size
        QTest::addColumn<qsizetype>("room");
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<bool>("endFound");
        QTest::addColumn<bool>("stoppedFull");
        QTest::addColumn<PlaylistRefusal>("refusal");
        const qint64 max = tarn::kPlaylistMaxFileSize;
        const qint64 maxUtf16 = tarn::kPlaylistMaxUtf16FileSize;
        const QByteArray one(" 1 \r\n/a+a\r\nend\r\n");
        const QByteArray oneUtf16 = encoded(QString::fromLatin1(one), QStringConverter::Utf16LE);
        const QByteArray noEnd(" 3 \r\n/a+a\r\n/b+b\r\n/c+c\r\n");
        const auto line = [](const QByteArray &entry) { return " 1 \r\n" + entry + "\r\nend\r\n"; };
        using R = PlaylistRefusal;

        // The zero bytes after the last line are binary data: read, they refuse the file.
        row("full: stops before a binary tail", noEnd, max, qsizetype(2), qsizetype(2), false, true,
            R::None);
        row("no room: one entry line looked at", noEnd, max, qsizetype(0), qsizetype(0), false,
            true, R::None);
        row("filled exactly: nothing left out", QByteArray(" 2 \r\n/a+a\r\n/b+b\r\n\r\nend\r\n"),
            max, qsizetype(2), qsizetype(2), true, false, R::None);

        row("largest size accepted", one, max, kRoom, qsizetype(1), true, false, R::None);
        row("one byte more refused unread", one, max + 1, kRoom, qsizetype(0), false, false,
            R::TooLarge);
        row("UTF-16 may be twice as large", oneUtf16, max + 1, kRoom, qsizetype(1), true, false,
            R::None);
        row("UTF-16 one byte past its size refused", oneUtf16, maxUtf16 + 1, kRoom, qsizetype(0),
            false, false, R::TooLarge);

        row("longest path and display name",
            line("/" + QByteArray(tarn::kMaxPathBytes - 2, 'p') + "+" +
                 QByteArray(tarn::kMaxNameBytes, 'n')),
            qint64(0), kRoom, qsizetype(1), true, false, R::None);
        row("line at the limit", line(QByteArray(tarn::kPlaylistMaxLine, 'x')), qint64(0), kRoom,
            qsizetype(1), true, false, R::None);
        row("line one byte past the limit", line(QByteArray(tarn::kPlaylistMaxLine + 1, 'x')),
            qint64(0), kRoom, qsizetype(0), false, false, R::LineTooLong);
        row("8 KiB line: longer than any path and name", line(QByteArray(8 * 1024, 'x')), qint64(0),
            kRoom, qsizetype(0), false, false, R::LineTooLong);
        row("UTF-16 line at the limit",
            encoded(QString::fromLatin1(line(QByteArray(tarn::kPlaylistMaxLine, 'x'))),
                    QStringConverter::Utf16BE),
            qint64(0), kRoom, qsizetype(1), true, false, R::None);
    }
    // Guards: a huge file holding the window or its memory: read on after the
    // playlist is full, read at all when larger than a playlist can be, or
    // lines far longer than a path and a name accepted.
    void readerLimits()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, size);
        QFETCH(qsizetype, room);
        QFETCH(qsizetype, count);
        QFETCH(bool, endFound);
        QFETCH(bool, stoppedFull);
        QFETCH(PlaylistRefusal, refusal);
        qint64 pos = 0;
        const PlaylistReadResult r = readFile(bytes, size, room, &pos);
        QCOMPARE(r.refusal, refusal);
        QCOMPARE(r.entries.size(), count);
        QCOMPARE(r.endMarkerFound, endFound);
        QCOMPARE(r.stoppedFull, stoppedFull);
        QVERIFY2(pos < bytes.size() + (1 << 20), qPrintable(QString::number(pos)));
        if (refusal == PlaylistRefusal::TooLarge)
            QCOMPARE(pos, 0);
    }

    void unicodeFilesReadBack_data()
    {
        QTest::addColumn<QStringConverter::Encoding>("encoding");
        QTest::addColumn<Entries>("entries");
        const Entries names{
            {QString::fromUtf8("C:\\Musik\\Ærøskøbing\\Café ü.mp3"),
             QString::fromUtf8("Café ü.mp3")},
            {QString::fromUtf8("D:\\日本語\\歌 € 5.wma"), QString::fromUtf8("歌 € 5.wma")},
            {QString::fromUtf8("/m/🎵 Ünïcode.wav"), QString::fromUtf8("🎵 Ünïcode.wav")}};
        // Long files of characters outside the BMP: some chunk of the read ends
        // inside a surrogate pair in one of the two alignments.
        Entries longList;
        for (int i = 0; i < 400; ++i) {
            const QString name = QString::fromUtf8("🎵").repeated(20) + QStringLiteral(".mp3");
            longList.append(
                {QStringLiteral("/m/") + QString::fromUtf8("🎶").repeated(40) + u'/' + name, name});
        }
        Entries shifted = longList;
        shifted[0].path.prepend(u'/');
        using E = QStringConverter;
        row("UTF-16 LE, as Notepad saves Unicode", E::Utf16LE, names);
        row("UTF-16 BE", E::Utf16BE, names);
        row("UTF-8 with byte-order mark", E::Utf8, names);
        row("UTF-16 LE, long", E::Utf16LE, longList);
        row("UTF-16 LE, long, shifted", E::Utf16LE, shifted);
        row("UTF-8 with byte-order mark, long", E::Utf8, longList);
    }
    // Guards: a playlist saved as Unicode by Notepad refused as binary, or its
    // names mangled (a byte-order mark in the first entry, a cut character).
    void unicodeFilesReadBack()
    {
        QFETCH(QStringConverter::Encoding, encoding);
        QFETCH(Entries, entries);
        const PlaylistReadResult r = readFile(encoded(playlistText(entries), encoding), 0, kRoom);
        QCOMPARE(r.refusal, PlaylistRefusal::None);
        QVERIFY(r.endMarkerFound);
        QCOMPARE(r.entries, entries);
    }

    void splitKeepsPlusInPaths_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        row("plus in file name", "/m/Rock + Roll.mp3+Rock + Roll.mp3", "/m/Rock + Roll.mp3",
            "Rock + Roll.mp3");
        row("plus in folder", "/m/A+B/x.mp3+x.mp3", "/m/A+B/x.mp3", "x.mp3");
        row("windows plus in name", "C:\\M\\a+b.mp3+a+b.mp3", "C:\\M\\a+b.mp3", "a+b.mp3");
        row("backslash inside a Linux name", "/m/x\\y+z.mp3+x\\y+z.mp3", "/m/x\\y+z.mp3",
            "x\\y+z.mp3");
        row("plus only: unchanged original cut", "C:\\x+y\\a.mp3+Custom", "C:\\x", "y\\a.mp3");
        row("name with plus that is no file name", "/m/a.mp3+b+c", "/m/a.mp3", "b");
        row("empty name", "/m/a.mp3+", "/m/a.mp3", "");
        row("path and name both a plus", "+++", "+", "+");
    }
    // Guards: a path with "+" loaded as a broken path while old files change meaning.
    void splitKeepsPlusInPaths()
    {
        QFETCH(QString, line);
        QFETCH(QString, path);
        QFETCH(QString, name);
        const PlaylistEntry e = tarn::splitEntryLine(line);
        QCOMPARE(e.path, path);
        QCOMPARE(e.name, name);
    }

    // Guards: a failing disk read taken for the end of the file.
    void readErrorIsReported()
    {
        FailingDevice device;
        const PlaylistReadResult r = tarn::readPlaylist(device, kRoom);
        QCOMPARE(r.refusal, PlaylistRefusal::ReadError);
        QCOMPARE(r.error, QStringLiteral("Input/output error"));
        QVERIFY(r.entries.isEmpty());
    }

    // Guards: anything the writer emits not coming back as it went in.
    void roundTrip()
    {
        const Entries entries{
            {"/home/u/My Music/a b.mp3", "a b.mp3"},
            {"/m/Rock + Roll/A+B+C.mp3", "A+B+C.mp3"},
            {QString::fromUtf8("/m/Ærøskøbing/日本語 ü.wav"), QString::fromUtf8("日本語 ü.wav")},
            {"C:\\Music\\x+y.wma", "x+y.wma"},
            {"/m/end", "end"},
            {"/m/cr\r.mp3", "cr\r"}};
        const tarn::PlaylistWriteResult w = tarn::writePlaylist(entries);
        QCOMPARE(w.badEntry, -1);
        const PlaylistReadResult r = tarn::readPlaylist(w.bytes, kRoom);
        QCOMPARE(r.refusal, PlaylistRefusal::None);
        QVERIFY(r.endMarkerFound);
        QCOMPARE(r.entries, entries);
    }
};

QTEST_APPLESS_MAIN(PlaylistFileTest)
#include "test_playlist_file.moc"
