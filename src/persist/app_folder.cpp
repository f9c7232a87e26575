#include "persist/app_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tarn {

namespace {

// Permission bits do not tell the whole story (read-only mounts, ACLs, root),
// so try to create a file there.
bool canCreateFilesIn(const QString &folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    QTemporaryFile probe(appFile(folder, QStringLiteral(".tarn-probe-XXXXXX")));
    return probe.open();
}

} // namespace

QString resolveAppFolder()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    return resolveAppFolder(installedDataFolder(executableFolder).isEmpty() ? executableFolder
                                                                            : QString());
}

QString installedDataFolder(const QString &executableFolder)
{
    const QDir bin(executableFolder);
    if (bin.dirName() != QLatin1String("bin"))
        return {};
    const QString data = QDir::cleanPath(bin.filePath(QStringLiteral("../share/tarn-player")));
    return QDir(data).exists() ? data : QString();
}

QString resolveDataFolder()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString installed = installedDataFolder(executableFolder);
    return installed.isEmpty() ? executableFolder : installed;
}

QString resolveAppFolder(const QString &preferred)
{
    if (canCreateFilesIn(preferred))
        return preferred;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // If this fails too, the writes report their failure and reads find nothing.
    QDir().mkpath(data);
    return data;
}

QString appFile(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

} // namespace tarn
