// The kinds of thing that can sit at a file's name, for the tests of files
// that other programs may write. One notation both builds them (putAt) and
// describes them (whatIsAt), so a table row says what was there before and
// what must be there after:
//   BYTES        a regular file holding BYTES
//   <missing>    nothing
//   <dir>        a folder
//   <fifo>       a named pipe
//   <link>BYTES  a symbolic link to a regular file holding BYTES
//   <dangling>   a symbolic link to a file that does not exist
// A link at NAME points to targets/NAME, a subfolder of the folder: whatIsAt
// also tells a link that now points elsewhere, or whose target was created,
// replaced by another kind or changed by a single byte.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace tarn::test {

inline const QByteArray kMissingEntry = "<missing>";
inline const QByteArray kDirEntry = "<dir>";
inline const QByteArray kFifoEntry = "<fifo>";
inline const QByteArray kLinkEntry = "<link>";
inline const QByteArray kDanglingEntry = "<dangling>";

inline QString linkTarget(const QString &folder, const QString &name)
{
    return folder + QStringLiteral("/targets/") + name;
}

inline void putAt(const QString &folder, const QString &name, const QByteArray &what)
{
    const QString path = folder + QLatin1Char('/') + name;
    const QByteArray encoded = QFile::encodeName(path);
    const auto writeRegular = [](const QString &file, const QByteArray &bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate)); // in place, as `>` does
        QCOMPARE(f.write(bytes), bytes.size());
    };
    if (what == kMissingEntry) {
        QVERIFY(!QFileInfo::exists(path));
    } else if (what == kDirEntry) {
        QVERIFY(QDir(folder).mkdir(name));
    } else if (what == kFifoEntry) {
        QCOMPARE(::mkfifo(encoded.constData(), 0600), 0);
    } else if (what.startsWith(kLinkEntry) || what == kDanglingEntry) {
        QVERIFY(QDir(folder).mkpath(QStringLiteral("targets")));
        const QString target = linkTarget(folder, name);
        if (what != kDanglingEntry)
            writeRegular(target, what.sliced(kLinkEntry.size()));
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), encoded.constData()), 0);
    } else {
        writeRegular(path, what);
    }
}

inline QByteArray whatIsAt(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    const auto regularBytes = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    };
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return kMissingEntry;
    if (S_ISDIR(info.st_mode))
        return kDirEntry;
    if (S_ISFIFO(info.st_mode))
        return kFifoEntry;
    if (S_ISREG(info.st_mode))
        return regularBytes(path);
    if (!S_ISLNK(info.st_mode))
        return "<other>";
    const QString target = linkTarget(folder, name);
    char pointsTo[4096];
    const ssize_t length =
        ::readlink(QFile::encodeName(path).constData(), pointsTo, sizeof pointsTo);
    if (length < 0 || QByteArray(pointsTo, length) != QFile::encodeName(target))
        return "<link elsewhere>";
    if (::lstat(QFile::encodeName(target).constData(), &info) != 0)
        return kDanglingEntry;
    if (!S_ISREG(info.st_mode))
        return "<link to no file>";
    return kLinkEntry + regularBytes(target);
}

// A binary file's bytes (every byte value, NULs among them) after `start`.
inline QByteArray binaryBytes(const QByteArray &start, qsizetype size)
{
    QByteArray bytes = start;
    while (bytes.size() < size)
        bytes += char((bytes.size() * 131 + 7) & 0xff);
    return bytes;
}

} // namespace tarn::test
