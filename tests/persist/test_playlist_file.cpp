#include "persist/playlist_file.h"

#include <QBuffer>
#include <QTest>

using tarn::PlaylistEntry;
using tarn::PlaylistReadResult;
using tarn::PlaylistRefusal;
using Entries = QList<PlaylistEntry>;

Q_DECLARE_METATYPE(PlaylistRefusal)

namespace {
constexpr qsizetype kRoom = 32767;

// The whole literal, embedded NUL bytes included.
template <qsizetype N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}
// Reads `bytes` from memory and through a device; both must agree.
PlaylistReadResult readBoth(const QByteArray &bytes, qsizetype room)
{
    const PlaylistReadResult fromBytes = tarn::readPlaylist(QByteArrayView(bytes), room);
    QByteArray copy = bytes;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    const PlaylistReadResult fromDevice = tarn::readPlaylist(device, room);
    const bool same = fromBytes.entries == fromDevice.entries &&
                      fromBytes.refusal == fromDevice.refusal &&
                      fromBytes.refusedLine == fromDevice.refusedLine &&
                      fromBytes.endMarkerFound == fromDevice.endMarkerFound &&
                      fromBytes.leftOut == fromDevice.leftOut;
    if (!same)
        qWarning("memory and device readers disagree");
    return same ? fromBytes : PlaylistReadResult{{}, PlaylistRefusal::ReadError, -1, {}, {}, {}};
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
        QTest::newRow("two entries, 54 bytes")
            << Entries{{"C:\\Music\\a.mp3", "a.mp3"}, {"D:\\Songs\\b.wma", "b.wma"}}
            << QByteArray(" 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n");
        QTest::newRow("empty, 10 bytes") << Entries{} << QByteArray(" 0 \r\nend\r\n");
        QTest::newRow("utf-8") << Entries{{"/m/Ærø é.mp3", "Ærø é.mp3"}}
                               << QByteArray(" 1 \r\n/m/\xc3\x86r\xc3\xb8 \xc3\xa9.mp3+"
                                             "\xc3\x86r\xc3\xb8 \xc3\xa9.mp3\r\nend\r\n");
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
        QTest::newRow("LF in path") << PlaylistEntry{"/m/a\nb.mp3", "b.mp3"};
        QTest::newRow("LF in name") << PlaylistEntry{"/m/a.mp3", "a\n.mp3"};
        QTest::newRow("NUL") << PlaylistEntry{QString("/m/a") + QChar(0) + ".mp3", "a.mp3"};
        QTest::newRow("too long") << PlaylistEntry{"/" + QString(40000, 'x'), "x"};
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
        QTest::addColumn<qsizetype>("room");
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<bool>("endFound");
        QTest::addColumn<qsizetype>("leftOut");
        const Entries ab{{"C:\\Music\\a.mp3", "a.mp3"}, {"D:\\Songs\\b.wma", "b.wma"}};

        QTest::newRow("original two-entry file")
            << QByteArray(" 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n")
            << kRoom << ab << true << qsizetype(0);
        QTest::newRow("count says 5, two entries")
            << QByteArray(" 5 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n")
            << kRoom << ab << true << qsizetype(0);
        QTest::newRow("empty playlist")
            << QByteArray(" 0 \r\nend\r\n") << kRoom << Entries{} << true << qsizetype(0);
        QTest::newRow("LF only")
            << QByteArray(" 2 \nC:\\Music\\a.mp3+a.mp3\nD:\\Songs\\b.wma+b.wma\nend\n") << kRoom
            << ab << true << qsizetype(0);
        QTest::newRow("END and End are entries")
            << QByteArray(" 2 \r\nEND\r\nEnd\r\nend\r\n") << kRoom
            << Entries{{"END", "END"}, {"End", "End"}} << true << qsizetype(0);
        QTest::newRow("end with a blank is an entry")
            << QByteArray(" 1 \r\nend \r\nend\r\n") << kRoom << Entries{{"end ", "end "}} << true
            << qsizetype(0);
        QTest::newRow("lines after end not read, even binary")
            << raw(" 1 \r\n/m/a.mp3+a.mp3\r\nend\r\n/m/b.mp3+b.mp3\r\n\0\0") << kRoom
            << Entries{{"/m/a.mp3", "a.mp3"}} << true << qsizetype(0);
        QTest::newRow("end without line end")
            << QByteArray(" 1 \r\n/m/a.mp3+a.mp3\r\nend") << kRoom << Entries{{"/m/a.mp3", "a.mp3"}}
            << true << qsizetype(0);
        QTest::newRow("no end marker")
            << QByteArray(" 3 \r\n/m/a.mp3+a.mp3\r\n/m/b.mp3+b.mp3") << kRoom
            << Entries{{"/m/a.mp3", "a.mp3"}, {"/m/b.mp3", "b.mp3"}} << false << qsizetype(0);
        QTest::newRow("empty file") << QByteArray() << kRoom << Entries{} << false << qsizetype(0);
        QTest::newRow("blank lines hold no entry")
            << QByteArray(" 1 \r\n\r\n/m/a.mp3+a.mp3\r\n\r\nend\r\n") << kRoom
            << Entries{{"/m/a.mp3", "a.mp3"}} << true << qsizetype(0);
        QTest::newRow("no plus: name is the file-name part")
            << QByteArray(" 2 \r\n/home/u/My Music/a b.mp3\r\nC:\\Music\\c.wav\r\nend\r\n") << kRoom
            << Entries{{"/home/u/My Music/a b.mp3", "a b.mp3"}, {"C:\\Music\\c.wav", "c.wav"}}
            << true << qsizetype(0);
        QTest::newRow("Windows-1252 lines")
            << QByteArray(" 2 \r\nC:\\Musik\\Caf\xe9.mp3+Caf\xe9.mp3\r\n"
                          "C:\\x\\\x80 Euro.wav+\x80 Euro.wav\r\nend\r\n")
            << kRoom
            << Entries{{"C:\\Musik\\Café.mp3", "Café.mp3"},
                       {QString::fromUtf8("C:\\x\\€ Euro.wav"), QString::fromUtf8("€ Euro.wav")}}
            << true << qsizetype(0);
        QTest::newRow("UTF-8 and Windows-1252 mixed")
            << QByteArray(" 2 \r\n/m/\xc3\xa9.mp3+\xc3\xa9.mp3\r\n/m/\xe9.mp3+\xe9.mp3\r\nend\r\n")
            << kRoom << Entries{{"/m/é.mp3", "é.mp3"}, {"/m/é.mp3", "é.mp3"}} << true
            << qsizetype(0);
        QTest::newRow("room for two of five")
            << QByteArray(" 5 \r\n/a+a\r\n/b+b\r\n/c+c\r\n/d+d\r\n/e+e\r\nend\r\n") << qsizetype(2)
            << Entries{{"/a", "a"}, {"/b", "b"}} << true << qsizetype(3);
        QTest::newRow("no room") << QByteArray(" 1 \r\n/a+a\r\nend\r\n") << qsizetype(0)
                                 << Entries{} << true << qsizetype(1);
        QTest::newRow("longest line accepted")
            << QByteArray(" 1 \r\n/" + QByteArray(tarn::kPlaylistMaxLine - 1, 'x') + "\r\nend\r\n")
            << kRoom
            << Entries{{"/" + QString(tarn::kPlaylistMaxLine - 1, 'x'),
                        QString(tarn::kPlaylistMaxLine - 1, 'x')}}
            << true << qsizetype(0);
    }
    // Guards: misreading the format: the count trusted, a marker in the wrong
    // case, reading past "end" or the file's end, mangled accented names, the cap.
    void reader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, room);
        QFETCH(Entries, entries);
        QFETCH(bool, endFound);
        QFETCH(qsizetype, leftOut);
        const PlaylistReadResult r = readBoth(bytes, room);
        QCOMPARE(r.refusal, PlaylistRefusal::None);
        QCOMPARE(r.entries, entries);
        QCOMPARE(r.endMarkerFound, endFound);
        QCOMPARE(r.leftOut, leftOut);
    }

    void readerRefusesNonPlaylists_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<PlaylistRefusal>("refusal");
        QTest::addColumn<qsizetype>("line");
        QTest::newRow("NUL after good entries")
            << raw(" 2 \r\n/m/a.mp3+a.mp3\r\n/m/\0b.mp3+b.mp3\r\nend\r\n")
            << PlaylistRefusal::Binary << qsizetype(3);
        QTest::newRow("binary header") << raw("\x7f"
                                              "ELF\x02\x01\x01\0\0\0")
                                       << PlaylistRefusal::Binary << qsizetype(1);
        QTest::newRow("line one byte too long")
            << QByteArray(" 1 \r\n/m/a+a\r\n" + QByteArray(tarn::kPlaylistMaxLine + 1, 'x') +
                          "\r\nend\r\n")
            << PlaylistRefusal::LineTooLong << qsizetype(3);
        QTest::newRow("huge last line without line end")
            << QByteArray(" 1 \r\n" + QByteArray(5 * tarn::kPlaylistMaxLine, '+'))
            << PlaylistRefusal::LineTooLong << qsizetype(2);
    }
    // Guards: a binary or runaway file half-loaded as garbage entries.
    void readerRefusesNonPlaylists()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PlaylistRefusal, refusal);
        QFETCH(qsizetype, line);
        const PlaylistReadResult r = readBoth(bytes, kRoom);
        QCOMPARE(r.refusal, refusal);
        QCOMPARE(r.refusedLine, line);
        QVERIFY(r.entries.isEmpty());
    }

    void splitKeepsPlusInPaths_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("plus in file name") << "/m/Rock + Roll.mp3+Rock + Roll.mp3"
                                           << "/m/Rock + Roll.mp3"
                                           << "Rock + Roll.mp3";
        QTest::newRow("plus in folder") << "/m/A+B/x.mp3+x.mp3"
                                        << "/m/A+B/x.mp3"
                                        << "x.mp3";
        QTest::newRow("windows plus in name") << "C:\\M\\a+b.mp3+a+b.mp3"
                                              << "C:\\M\\a+b.mp3"
                                              << "a+b.mp3";
        QTest::newRow("backslash inside a Linux name") << "/m/x\\y+z.mp3+x\\y+z.mp3"
                                                       << "/m/x\\y+z.mp3"
                                                       << "x\\y+z.mp3";
        QTest::newRow("plus only: unchanged original cut") << "C:\\x+y\\a.mp3+Custom"
                                                           << "C:\\x"
                                                           << "y\\a.mp3";
        QTest::newRow("name with plus that is no file name") << "/m/a.mp3+b+c"
                                                             << "/m/a.mp3"
                                                             << "b";
        QTest::newRow("empty name") << "/m/a.mp3+"
                                    << "/m/a.mp3"
                                    << "";
        QTest::newRow("path and name both a plus") << "+++"
                                                   << "+"
                                                   << "+";
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
